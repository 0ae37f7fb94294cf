// The save's flush to the disk, as tests supply it: a switch that makes it fail as a
// full disk does, and a hook run once inside the next flush (what another program does
// while a save is between its write and its replace).
#pragma once

extern bool flushFails;
extern void (*duringFlush)();
