// An advisory, exclusive, cross-process lock on a path, held until Release() or destruction.
//
// Create(Exclusive, path) does not block: it answers false when another holder (another
// process, or another FileLock in this one) has the path. The lock lives on a companion
// file beside the path (the path with ".korrin-lock" appended, a name no user file is
// expected to have, since the holder removes it on release), so it keeps excluding other
// holders after the path itself has been replaced by a move. A FileLock is used by one
// thread at a time; it cannot be copied.
#ifndef VANTREL_FILELOCK_H
#define VANTREL_FILELOCK_H

#include <cstdint>
#include <string>

#include <Vantrel/KorrinExport.h>

class KORRIN_API FileLock {
public:
    enum FileLockType { Exclusive = 0 };

    FileLock();
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `path`. Asked again for the path it holds, the object keeps its lock
    // without letting go in between, so a caller may take it early and hand the object on to
    // code that takes it again later; a lock on another path is released first. False when
    // the lock is held elsewhere or the companion file cannot be made.
    bool Create(FileLockType type, const wchar_t* path);
    // Gives the lock up; nothing happens when none is held.
    void Release();
    bool IsHeld() const;

private:
    std::intptr_t handle_; // the companion file, open while the lock is held; -1 otherwise
    std::wstring lockPath_;
};

#endif
