#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A named POSIX shared-memory block. The simulator creates it, maps it and holds it for its
// whole life; the link opens an existing one and reaches it through its descriptor only.
//
// The creator keeps an exclusive lock on the block while it has it open. The lock vanishes
// with the creator's process (a killed simulator too), so a user of the block can tell whether
// anybody still serves it.
class CSharedMemory
{
public:
    CSharedMemory() = default;
    ~CSharedMemory();
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Removes a block of that name left behind, then creates, maps and locks a zeroed one that
    // only this user may open. Fails while a living creator still holds a block of that name.
    bool Create(const std::string& name, size_t size);
    // Opens an existing block read-write without mapping it. Refuses a block that another
    // user owns or that others may write: its contents could be changed under our feet.
    bool Open(const std::string& name);
    // Unmaps and closes (which gives up the creator's lock); the block stays until Unlink.
    void Close();
    static void Unlink(const std::string& name);
    // True when a block of that name exists and its creator still holds it.
    static bool IsServed(const std::string& name);

    bool IsOpen() const { return m_fd >= 0; }
    // The mapping of a created block; nullptr for an opened one.
    uint8_t* Data() const { return m_data; }
    // The size mapped (created) or found when opened.
    size_t Size() const { return m_size; }
    int Fd() const { return m_fd; }
    // False when the block was shrunk below the size found when it was opened.
    bool StillCovers() const;
    // True while the block's creator holds it.
    bool IsServed() const;

    // Copies bytes out of or into an opened block through its descriptor. A block shrunk
    // meanwhile makes a read fail instead of faulting, as an access to a mapping would. A write
    // does not look at the size (that costs a call of its own): a write past a shrunk end grows
    // the block again, short of the size found, so the user asks StillCovers before and after a
    // run of writes, once per transaction.
    bool Read(size_t offset, void* data, size_t length) const;
    bool Write(size_t offset, const void* data, size_t length);

private:
    bool Map(size_t size);
    bool Fits(size_t offset, size_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }

    int m_fd = -1;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};
