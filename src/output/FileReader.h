#pragma once

#include <QByteArray>

#include <cstdint>
#include <sys/stat.h>

// A user's file opened for reading as every user's file is (OpenUserFile: without blocking,
// regular files only), so that the user-interface thread never waits on a named pipe or a
// device. Failures come back as errno values for the standard file-error message.
class CFileReader
{
public:
    CFileReader() = default;
    ~CFileReader();
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    // 0 on success, else the errno of the failure (EISDIR for a folder, EACCES for anything
    // else that is not a regular file).
    int Open(const QByteArray& path);
    // Reads up to the first LF (included) or the end of the file into line, at most limit
    // bytes; 0 or the errno of a failed read.
    int ReadLine(QByteArray& line, int64_t limit);
    int64_t GetSize() const { return m_size; }
    // What the system said of the open file (its size, modification time, ...).
    const struct stat& GetInfo() const { return m_info; }
    // Reads exactly length bytes; 0 on success, the errno of a failed read, or -1 when the file
    // ended early.
    int ReadExactly(char* buffer, int64_t length);
    // Reads what comes next, at most length bytes: the count (0 at the end of the file), or -1
    // when the read failed.
    int64_t ReadSome(char* buffer, int64_t length);
    // Reads the whole file into data; 0 or the errno / -1 as above.
    int ReadAll(QByteArray& data);
    // The open descriptor, handed over to the caller, who closes it; -1 when none is open.
    int TakeDescriptor();
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    int64_t m_size = 0;
    struct stat m_info
    {
    };
};
