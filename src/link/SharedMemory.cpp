#include "SharedMemory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string ObjectName(const std::string& name)
{
    return name.starts_with('/') ? name : "/" + name;
}

// Whether another open description holds the creator's exclusive lock on fd.
bool HeldByCreator(int fd)
{
    for (;;) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
            flock(fd, LOCK_UN);
            return false;
        }
        if (errno != EINTR)
            return errno == EWOULDBLOCK;
    }
}
} // namespace

CSharedMemory::~CSharedMemory()
{
    Close();
}

bool CSharedMemory::Map(size_t size)
{
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (data == MAP_FAILED)
        return false;
    m_data = static_cast<uint8_t*>(data);
    m_size = size;
    return true;
}

bool CSharedMemory::IsServed(const std::string& name)
{
    const int fd = shm_open(ObjectName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool served = HeldByCreator(fd);
    close(fd);
    return served;
}

bool CSharedMemory::Create(const std::string& name, size_t size)
{
    Close();
    // A block whose creator has gone is a leftover; one still held belongs to a living owner.
    if (IsServed(name))
        return false;
    Unlink(name);
    m_fd = shm_open(ObjectName(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return false;
    // The mode is not left to the umask: private to this user, whatever it says.
    if (fchmod(m_fd, 0600) != 0 || flock(m_fd, LOCK_EX | LOCK_NB) != 0 || size == 0 ||
        ftruncate(m_fd, static_cast<off_t>(size)) != 0 || !Map(size)) {
        Close();
        Unlink(name);
        return false;
    }
    return true;
}

bool CSharedMemory::Open(const std::string& name)
{
    Close();
    m_fd = shm_open(ObjectName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    struct stat info
    {
    };
    if (fstat(m_fd, &info) != 0 || info.st_size <= 0 || info.st_uid != geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        Close();
        return false;
    }
    m_size = static_cast<size_t>(info.st_size);
    return true;
}

void CSharedMemory::Close()
{
    if (m_data)
        munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

void CSharedMemory::Unlink(const std::string& name)
{
    shm_unlink(ObjectName(name).c_str());
}

bool CSharedMemory::StillCovers() const
{
    struct stat info
    {
    };
    return m_fd >= 0 && fstat(m_fd, &info) == 0 && static_cast<size_t>(info.st_size) >= m_size;
}

bool CSharedMemory::IsServed() const
{
    return m_fd >= 0 && HeldByCreator(m_fd);
}

bool CSharedMemory::Read(size_t offset, void* data, size_t length) const
{
    if (m_fd < 0 || !Fits(offset, length))
        return false;
    return pread(m_fd, data, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
}

bool CSharedMemory::Write(size_t offset, const void* data, size_t length)
{
    if (m_fd < 0 || !Fits(offset, length))
        return false;
    return pwrite(m_fd, data, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
}
