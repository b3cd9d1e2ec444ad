#include "SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string ObjectName(const std::string& name)
{
    return name.starts_with('/') ? name : "/" + name;
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

bool CSharedMemory::Create(const std::string& name, size_t size)
{
    Close();
    Unlink(name);
    const mode_t oldMask = umask(0);
    m_fd = shm_open(ObjectName(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    umask(oldMask);
    if (m_fd < 0)
        return false;
    if (size == 0 || ftruncate(m_fd, static_cast<off_t>(size)) != 0 || !Map(size)) {
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
    if (fstat(m_fd, &info) != 0 || info.st_size <= 0 || !Map(static_cast<size_t>(info.st_size))) {
        Close();
        return false;
    }
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
