#include "bindings/replace_file.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>

namespace {

// A temporary file stays open from its making until it has replaced the file: while
// it is open, deleting and renaming it are refused, so a second save waits instead of
// removing or replacing it.
const DWORD TEMP_SHARING = FILE_SHARE_READ;

#ifndef ERROR_DIRECTORY_NOT_SUPPORTED  // not in every MinGW's headers
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif

bool IsLockError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

bool DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool FinalName(HANDLE file, WCHAR* name, DWORD capacity) {
    DWORD length = GetFinalPathNameByHandleW(file, name, capacity, FILE_NAME_NORMALIZED);
    return length > 0 && length < capacity;
}

// Whether `file`, opened by `name`, is that entry of the current folder itself and not
// what a link of that name leads to. Wine opens through links, and deleting or renaming
// such a handle deletes or moves the link's target instead.
bool IsEntryOfFolder(HANDLE file, const char* name) {
    WCHAR expected[MAX_PATH * 2], actual[MAX_PATH * 2], leaf[MAX_PATH];
    HANDLE folder = CreateFileA(".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE) return false;
    bool named = FinalName(folder, expected, MAX_PATH);
    CloseHandle(folder);
    if (!named || !FinalName(file, actual, MAX_PATH * 2) ||
        MultiByteToWideChar(CP_ACP, 0, name, -1, leaf, MAX_PATH) == 0)
        return false;
    size_t length = wcslen(expected);
    if (length > 0 && expected[length - 1] != L'\\') expected[length++] = L'\\';
    if (length + wcslen(leaf) >= MAX_PATH * 2) return false;
    wcscpy(expected + length, leaf);
    return _wcsicmp(expected, actual) == 0;
}

// Whether nothing at all is named `name`: not even a file that is being deleted.
bool Absent(const char* name) {
    return GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Removes a temporary file that a save left behind: the file, or a link of that name
// (never its target). One that another save holds open is busy. Leaves the reason for
// a failure in GetLastError.
Outcome RemoveStale(const char* temp) {
    HANDLE stale = CreateFileA(temp, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (stale == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return DONE;
        return error == ERROR_SHARING_VIOLATION ? BUSY : FAILED;  // a folder, say
    }
    // A link that the system followed cannot be removed without harming its target:
    // it stays, and the file of that name is in the way.
    bool entry = IsEntryOfFolder(stale, temp);
    bool removed = entry && DeleteByHandle(stale);
    DWORD error = entry ? GetLastError() : ERROR_FILE_EXISTS;
    CloseHandle(stale);
    SetLastError(error);
    return removed ? DONE : FAILED;
}

// Makes the temporary file new for this save; on failure, says why in `result`.
HANDLE CreateTemp(const char* temp, SaveResult& result) {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    bool folderDenied = false;
    Outcome outcome = Retry([&] {
        Outcome removed = RemoveStale(temp);
        if (removed != DONE) {
            error = GetLastError();
            return removed;
        }
        file = CreateFileA(temp, GENERIC_WRITE | DELETE, TEMP_SHARING, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) return DONE;
        error = GetLastError();
        // Refused with nothing of that name there: the folder takes no new files from
        // this user, as "Program Files" without administrator rights.
        if (error == ERROR_ACCESS_DENIED && Absent(temp)) {
            folderDenied = true;
            return FAILED;
        }
        // Another save made it, or is removing it, between the two calls.
        return error == ERROR_FILE_EXISTS || error == ERROR_ACCESS_DENIED ? BUSY : FAILED;
    });
    if (outcome == BUSY) result = SaveResult{SAVE_IN_USE, error};
    if (outcome == FAILED) result = SaveResult{folderDenied ? SAVE_FOLDER_DENIED : SAVE_FAILED, error};
    return file;
}

// Renames the open file itself, so that what is renamed is what this save wrote.
SaveResult RenameOnto(HANDLE file, const char* name) {
    union {
        FILE_RENAME_INFO info;
        char bytes[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(WCHAR)];
    } request = {};
    request.info.ReplaceIfExists = TRUE;
    int length = MultiByteToWideChar(CP_ACP, 0, name, -1, request.info.FileName, MAX_PATH);
    if (length == 0) return SaveResult{SAVE_FAILED, GetLastError()};
    request.info.FileNameLength = (DWORD)(length - 1) * sizeof(WCHAR);
    DWORD error = 0;
    Outcome outcome = Retry([&] {
        if (SetFileInformationByHandle(file, FileRenameInfo, &request, sizeof request)) return DONE;
        error = GetLastError();
        return IsLockError(error) ? BUSY : FAILED;
    });
    if (outcome == DONE) return SaveResult{SAVED, 0};
    return SaveResult{outcome == BUSY ? SAVE_IN_USE : SAVE_FAILED, error};
}

// Writes and flushes the whole image, or says what the system refused.
SaveResult WriteThrough(HANDLE file, const unsigned char* data, int size) {
    DWORD written = 0;
    if (!WriteFile(file, data, (DWORD)size, &written, NULL)) return SaveResult{SAVE_FAILED, GetLastError()};
    if (written != (DWORD)size) return SaveResult{SAVE_FAILED, ERROR_DISK_FULL};
    if (!FlushToDisk(file)) return SaveResult{SAVE_FAILED, GetLastError()};
    return SaveResult{SAVED, 0};
}

}  // namespace

unsigned long long NowMs() { return GetTickCount64(); }

SaveResult ReplaceFileWith(const char* name, const char* temp, const unsigned char* data, int size) {
    // Windows refuses to replace a read-only file, but only after the wait for a lock,
    // and Wine replaces it: look first.
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return SaveResult{SAVE_FAILED, ERROR_DIRECTORY_NOT_SUPPORTED};
        if (attributes & FILE_ATTRIBUTE_READONLY) return SaveResult{SAVE_READ_ONLY, ERROR_ACCESS_DENIED};
    }

    SaveResult result = {SAVED, 0};
    HANDLE file = CreateTemp(temp, result);
    if (file == INVALID_HANDLE_VALUE) return result;
    result = WriteThrough(file, data, size);
    if (result.status == SAVED) result = RenameOnto(file, name);
    if (result.status != SAVED) DeleteByHandle(file);
    CloseHandle(file);
    return result;
}

#else
#include <cerrno>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

unsigned long long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (unsigned long long)now.tv_sec * 1000 + (unsigned long long)now.tv_nsec / 1000000;
}

namespace {

// Every save holds this lock on the folder from removing a stale temporary file until
// its own has replaced the file, so two saves never touch each other's temporary file.
Outcome LockFolder(int folder) {
    if (flock(folder, LOCK_EX | LOCK_NB) == 0) return DONE;
    return errno == EWOULDBLOCK || errno == EINTR ? BUSY : FAILED;
}

bool IsReadOnly(const char* name) {
    struct stat status;
    return stat(name, &status) == 0 && S_ISREG(status.st_mode) && !(status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

// A stale temporary file goes, and a link of that name goes itself, never its target.
bool RemoveStale(const char* temp) { return unlink(temp) == 0 || errno == ENOENT; }

bool WriteAll(int file, const unsigned char* data, int size) {
    while (size > 0) {
        ssize_t written = write(file, data, (size_t)size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= (int)written;
    }
    return true;
}

// Writes the new file whole, flushes it and puts it in place of `name`.
SaveResult WriteAndReplace(int file, const char* name, const char* temp, const unsigned char* data, int size) {
    bool saved = WriteAll(file, data, size) && FlushToDisk(file);
    int error = errno;
    if (close(file) != 0 && saved) {
        saved = false;
        error = errno;
    }
    if (saved && std::rename(temp, name) != 0) {
        saved = false;
        error = errno;
    }
    if (saved) return SaveResult{SAVED, 0};
    unlink(temp);
    return SaveResult{SAVE_FAILED, (unsigned long)error};
}

}  // namespace

SaveResult ReplaceFileWith(const char* name, const char* temp, const unsigned char* data, int size) {
    if (IsReadOnly(name)) return SaveResult{SAVE_READ_ONLY, EACCES};
    int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return SaveResult{SAVE_FAILED, (unsigned long)errno};
    SaveResult result;
    Outcome locked = Retry([&] { return LockFolder(folder); });
    if (locked == BUSY) {
        result = SaveResult{SAVE_IN_USE, EWOULDBLOCK};
    } else if (locked == FAILED) {
        result = SaveResult{SAVE_FAILED, (unsigned long)errno};
    } else if (!RemoveStale(temp)) {
        result = SaveResult{SAVE_FAILED, (unsigned long)errno};
    } else {
        // New and exclusive, never through a link: nothing in the folder steers the write.
        int file = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (file < 0) {
            bool denied = errno == EACCES || errno == EPERM || errno == EROFS;
            result = SaveResult{denied ? SAVE_FOLDER_DENIED : SAVE_FAILED, (unsigned long)errno};
        } else {
            result = WriteAndReplace(file, name, temp, data, size);
            // The new name lasts a power cut only once the folder is on the disk.
            if (result.status == SAVED && !FlushToDisk(folder)) result = SaveResult{SAVE_FAILED, (unsigned long)errno};
        }
    }
    close(folder);  // and with it the lock
    return result;
}

#endif
