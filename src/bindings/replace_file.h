// Putting a file in place of another so that no crash, power cut, odd folder or second
// writer leaves it damaged. Windows and POSIX each have their own calls.
#pragma once

#include "bindings/bindings.h"

// Writes `size` bytes to `temp`, made new for this save beside `name`, pushes them to
// the disk and then puts that file in place of `name` in one step. A read-only `name`
// is never replaced; a short lock by another program is waited out for about 100 ms.
// Says whether `name` now holds the data safely, or why not. On failure `temp` is gone
// and `name` is as it was, unless only the flush of the folder after the replace
// failed (POSIX).
SaveResult ReplaceFileWith(const char* name, const char* temp, const unsigned char* data, int size);

// An open file or folder as the system names it.
#ifdef _WIN32
typedef void* FileHandle;  // a HANDLE
#else
typedef int FileHandle;  // a descriptor
#endif

// Pushes what was written to the disk itself. Alone in its own file with the pause
// below, so that a test can make it fail as a failing disk does.
bool FlushToDisk(FileHandle file);

// The pause between two tries of a save that met a lock; a test lets go of its lock
// in it, once the save is seen to wait.
void PauseBeforeRetry(int ms);

// Virus scanners, indexers and the game itself open files for a moment: a save or a load
// that meets such a lock tries again for about this long in all before it gives up.
const int RETRY_PAUSE_MS = 10;
const int RETRY_TOTAL_MS = 100;

enum Outcome { DONE, BUSY, FAILED };

// Each system's own clock.
unsigned long long NowMs();

// Calls `attempt` until it is done, fails, or stays busy for the whole wait (BUSY).
template <typename Attempt>
Outcome Retry(Attempt attempt) {
    unsigned long long start = NowMs();
    for (;;) {
        Outcome outcome = attempt();
        if (outcome != BUSY || NowMs() - start >= (unsigned long long)RETRY_TOTAL_MS) return outcome;
        PauseBeforeRetry(RETRY_PAUSE_MS);
    }
}
