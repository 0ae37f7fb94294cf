// The save's flush to the disk, as tests supply it: a switch that makes it fail as a
// full disk does, a hook run once inside the next flush (what another program does
// while a save is between its write and its replace), and a record of what went to the
// disk: "file", or "folder: " and the names the folder held then. And the pause between
// a save's tries: how many it made, and a hook run once inside the next (where another
// program lets go of a lock the save waits on).
#pragma once

#include <string>
#include <vector>

extern bool flushFails;
extern void (*duringFlush)();
extern std::vector<std::string> flushed;
extern int pauses;
extern void (*duringPause)();
