#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A named POSIX shared-memory block mapped into this process. The simulator creates it; the
// link opens an existing one and maps all of it.
class CSharedMemory
{
public:
    CSharedMemory() = default;
    ~CSharedMemory();
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Removes a block of that name left behind, then creates and maps a zeroed one.
    bool Create(const std::string& name, size_t size);
    // Opens an existing block read-write and maps its whole current size.
    bool Open(const std::string& name);
    // Unmaps and closes; the block itself stays until Unlink.
    void Close();
    static void Unlink(const std::string& name);

    bool IsOpen() const { return m_data != nullptr; }
    uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    int Fd() const { return m_fd; }
    // False when the block was shrunk under the mapping (reading past its end would fault).
    bool StillCovers() const;

private:
    bool Map(size_t size);

    int m_fd = -1;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};
