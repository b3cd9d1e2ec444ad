#pragma once

#include <string>

// An advisory lock on a file under the system's lock directory, shared by every process on the
// machine that uses the same kind and name. The lock belongs to the open file, so it vanishes
// when its process dies: a crashed holder never leaves a stale lock behind.
class CLockFile
{
public:
    CLockFile() = default;
    ~CLockFile();
    CLockFile(const CLockFile&) = delete;
    CLockFile& operator=(const CLockFile&) = delete;

    // Opens (creating when needed) the lock file for kind and name. Refuses symbolic links and
    // anything but a regular file; a file this user creates is made shareable by every user.
    // A failure leaves its cause in errno.
    bool Open(const std::string& kind, const std::string& name);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Waits at most ms milliseconds for the exclusive lock (0: a single attempt).
    bool TryLock(int ms);
    void Unlock();

    // The folder that holds the lock files: one fixed folder for every program and user (the
    // package creates it, world-writable and sticky), or $ZR40_LOCK_DIR when set (tests). There
    // is no fallback: two programs that chose different folders would not exclude each other,
    // so a missing folder fails every lock, with a message on the standard error.
    static std::string LockDirectory();
    // A file name that stands for kind and name: characters that cannot stand in a file name are
    // escaped as %XX (so different names stay different), overlong names are shortened and
    // carry a hash of the whole name.
    static std::string LockFileName(const std::string& kind, const std::string& name);
    // The full path of the lock file for kind and name.
    static std::string LockFilePath(const std::string& kind, const std::string& name);

private:
    int m_fd = -1;
};
