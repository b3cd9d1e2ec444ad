#pragma once

// How every user's file (cutting data, list files) is opened: without ever blocking the caller,
// and only when it is a regular file. A named pipe or a device would hold an ordinary open, or
// the first read, until someone writes to it or reads from it; a panel that waits there is
// frozen for good while the machine may be moving.
enum class UserFileAccess
{
    Read,
    // For writing, created when missing, emptied when it exists.
    Replace,
};

// The open descriptor, or -1 with the errno of the failure in error: EISDIR for a folder,
// EACCES for anything else that is not a regular file, otherwise what the system said.
int OpenUserFile(const char* path, UserFileAccess access, int& error);
