#include "FileReader.h"

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
    // O_NONBLOCK keeps the open of a named pipe from waiting for a writer; the type test below
    // then refuses it before anything is read.
    m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return errno;
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (!S_ISREG(info.st_mode))
        return EACCES;
    m_size = info.st_size;
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
