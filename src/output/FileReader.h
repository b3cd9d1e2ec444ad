#pragma once

#include <QByteArray>

#include <cstdint>

// A user's file opened for reading without ever blocking the user-interface thread: a named
// pipe or a device would hold an ordinary open or read until someone writes to it, so only
// regular files are read. Failures come back as errno values for the standard file-error
// message.
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
    int64_t GetSize() const { return m_size; }
    // Reads exactly length bytes; 0 on success, the errno of a failed read, or -1 when the file
    // ended early.
    int ReadExactly(char* buffer, int64_t length);
    // Reads the whole file into data; 0 or the errno / -1 as above.
    int ReadAll(QByteArray& data);

private:
    int m_fd = -1;
    int64_t m_size = 0;
};
