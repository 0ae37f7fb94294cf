// The bindings table: which input triggers each action of each player, and its file.
#pragma once

const int PLAYER_COUNT = 4;
const int ACTION_COUNT = 9;
const int CONFIG_FILE_SIZE = 2 + PLAYER_COUNT * ACTION_COUNT * 2;  // 74 bytes

const unsigned char SOURCE_KEYBOARD = 0;

// source: 0 keyboard, n controller n. code: a virtual-key code, or 0 up, 1 down,
// 2 right, 3 left, 4 + b button b.
struct Binding {
    unsigned char source;
    unsigned char code;
};

inline bool operator==(Binding a, Binding b) { return a.source == b.source && a.code == b.code; }
inline bool operator!=(Binding a, Binding b) { return !(a == b); }

// 0..8 in the dialog's order: up, down, left, right, then the five buttons.
typedef int ActionSlot;

// Player-major, as in the file.
struct BindingTable {
    Binding entries[PLAYER_COUNT][ACTION_COUNT];
};

// The one table of the process.
extern BindingTable bindingTable;

inline Binding& BindingAt(int player, ActionSlot slot) { return bindingTable.entries[player][slot]; }

// Whether "config.ini" could not be read though it is there (held without sharing by
// another program, an access list, a cloud file offline): every entry then has its
// default, and a save would replace the file. No file at all is no failure.
struct LoadResult {
    bool failed;
    unsigned long error;  // the system's code for why (GetLastError's or errno); 0 when read
};

// Fills the table from "config.ini" in the current directory; entries the file does
// not hold (no file, a short file, an unreadable one) get their defaults: keyboard keys
// A..I. A file that cannot be read is tried again for a moment, as a save waits out a lock.
LoadResult LoadBindings();

// Why a save did not happen: the player is told what to do about each.
enum SaveStatus {
    SAVED,
    SAVE_FOLDER_DENIED,  // the folder takes no new file from this user (a protected folder)
    SAVE_READ_ONLY,      // "config.ini" is marked read-only
    SAVE_IN_USE,         // another program held "config.ini" longer than the save waits
    SAVE_FAILED,         // anything else: `error` says what
};

struct SaveResult {
    SaveStatus status;
    unsigned long error;  // the system's code for the failure (GetLastError or errno); 0 when saved
};

// Writes the table to "config.ini" through a temporary file, so a failed save leaves
// the old file exactly as it was.
SaveResult SaveBindings();


// The text naming a binding on screen: at most 12 characters.
const int LABEL_CAPACITY = 16;
struct BindingLabel {
    char text[LABEL_CAPACITY];
};

BindingLabel FormatBindingLabel(Binding binding);
