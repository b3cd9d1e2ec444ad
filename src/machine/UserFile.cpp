#include "UserFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenUserFile(const char* path, UserFileAccess access, int& error)
{
    // O_NONBLOCK keeps the open of a named pipe from waiting for the other side; the type test
    // then refuses it before anything is read or written. The file is emptied only after that
    // test, so nothing but a regular file is ever truncated.
    const int flags = access == UserFileAccess::Read ? O_RDONLY : O_WRONLY | O_CREAT;
    const int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A pipe without a reader, or a device node without its device, refuses a non-blocking
        // open for writing with ENXIO: neither is a regular file.
        error = errno == ENXIO ? EACCES : errno;
        return -1;
    }
    struct stat info
    {
    };
    error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EACCES;
    else if (access == UserFileAccess::Replace && ::ftruncate(fd, 0) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
