#include "FileReader.h"

#include "UserFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

CFileReader::~CFileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int CFileReader::Open(const QByteArray& path)
{
    int error = 0;
    m_fd = OpenUserFile(path.constData(), UserFileAccess::Read, error);
    if (m_fd < 0)
        return error;
    if (::fstat(m_fd, &m_info) != 0)
        return errno;
    m_size = m_info.st_size;
    return 0;
}

int CFileReader::ReadExactly(char* buffer, int64_t length)
{
    // One read returns at most about 2 GiB on Linux; larger files take several.
    constexpr int64_t MaxPiece = int64_t(1) << 30;
    int64_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(m_fd, buffer + done, size_t(std::min(length - done, MaxPiece)));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return -1;
        done += got;
    }
    return 0;
}

int CFileReader::ReadAll(QByteArray& data)
{
    if (m_size > std::numeric_limits<qsizetype>::max() - 1)
        return ENOMEM;
    data.resize(qsizetype(m_size));
    return ReadExactly(data.data(), m_size);
}

int CFileReader::ReadLine(QByteArray& line, int64_t limit)
{
    // Read at the file's start without moving the position, so that ReadAll still reads the
    // whole file afterwards.
    constexpr int64_t Piece = 4096;
    line.clear();
    int64_t done = 0;
    while (done < limit) {
        const int64_t want = std::min(Piece, limit - done);
        line.resize(qsizetype(done + want));
        const ssize_t got = ::pread(m_fd, line.data() + done, size_t(want), off_t(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            line.clear();
            return errno;
        }
        line.resize(qsizetype(done + got));
        const qsizetype end = line.indexOf('\n', qsizetype(done));
        if (end >= 0) {
            line.resize(end + 1);
            return 0;
        }
        if (got == 0)
            break;
        done += got;
    }
    return 0;
}

int64_t CFileReader::ReadSome(char* buffer, int64_t length)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size_t(length));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

int CFileReader::TakeDescriptor()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}
