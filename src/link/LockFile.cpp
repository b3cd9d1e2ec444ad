// The fuzz build compiles this file without the link target's definitions.
#ifndef ZR40_LOCK_DIR_DEFAULT
#define ZR40_LOCK_DIR_DEFAULT "/run/lock/zr40"
#endif
#include "LockFile.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool IsPlainFileNameChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ' ';
}

uint64_t Fnv1a(const std::string& text)
{
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Says once per process why no lock can be had: every program that drives the machine needs the
// folder, and without it they would not exclude each other.
void ReportMissingFolder(const std::string& folder)
{
    static bool reported = false;
    if (reported)
        return;
    reported = true;
    std::fprintf(stderr,
                 "zr40: the lock folder %s is missing; the package creates it at start-up "
                 "(systemd-tmpfiles --create zr40-panel.conf, as root)\n",
                 folder.c_str());
}

// Opens an existing lock file, or creates it exclusively. Opening without O_CREAT first keeps
// sticky world-writable folders (protected_regular) from refusing another user's file.
int OpenLockPath(const std::string& path, bool& created)
{
    const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
            return fd;
        }
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            created = fd >= 0;
            return fd;
        }
    }
    return -1;
}

} // namespace

CLockFile::~CLockFile()
{
    Close();
}

std::string CLockFile::LockDirectory()
{
    if (const char* dir = std::getenv("ZR40_LOCK_DIR"); dir && *dir)
        return dir;
    return ZR40_LOCK_DIR_DEFAULT;
}

std::string CLockFile::LockFileName(const std::string& kind, const std::string& name)
{
    std::string escaped;
    for (unsigned char c : name) {
        if (IsPlainFileNameChar(c)) {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    const size_t maxEscaped = 160;
    if (escaped.size() > maxEscaped) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(name)));
        escaped = escaped.substr(0, maxEscaped) + hash;
    }
    return "zr40 " + kind + " " + escaped + ".lock";
}

std::string CLockFile::LockFilePath(const std::string& kind, const std::string& name)
{
    return LockDirectory() + "/" + LockFileName(kind, name);
}

bool CLockFile::Open(const std::string& kind, const std::string& name)
{
    Close();
    const std::string path = LockFilePath(kind, name);
    bool created = false;
    int fd = OpenLockPath(path, created);
    if (fd < 0) {
        const int error = errno;
        struct stat folder
        {
        };
        if (stat(LockDirectory().c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            ReportMissingFolder(LockDirectory());
        errno = error;
        return false;
    }
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = error;
        return false;
    }
    // The umask would keep other users' programs out of a lock they must share.
    if (created || st.st_uid == geteuid())
        (void)fchmod(fd, 0666);
    m_fd = fd;
    return true;
}

void CLockFile::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool CLockFile::TryLock(int ms)
{
    if (m_fd < 0)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (elapsed >= ms)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
}

void CLockFile::Unlock()
{
    if (m_fd >= 0)
        flock(m_fd, LOCK_UN);
}
