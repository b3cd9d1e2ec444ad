#include "FileErrorMessage.h"

#include "StringIds.h"
#include "StringTable.h"

#include <QApplication>
#include <QMessageBox>

#include <cerrno>

namespace {

int FileErrorString(int errnoValue, FileOperation operation)
{
    switch (errnoValue) {
    case ENOENT:
        return Str::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return Str::FileBadPath;
    case EMFILE:
    case ENFILE:
        return Str::FileTooManyOpen;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return Str::FileAccessDenied;
    case ETXTBSY:
    case EBUSY:
        return Str::FileSharingViolation;
    case ENOLCK:
    case EDEADLK:
        return Str::FileLockViolation;
    case ENOMEM:
        return Str::FileOutOfMemory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Str::FileDiskFull;
    default:
        break;
    }
    switch (operation) {
    case FileOperation::Read:
        return errnoValue <= 0 ? Str::FileEndOfFile : Str::FileReadFault;
    case FileOperation::Write:
        return Str::FileWriteFault;
    case FileOperation::Open:
        break;
    }
    return Str::FileGeneric;
}

} // namespace

QString FormatFileError(int errnoValue, const QString& path, FileOperation operation)
{
    return LoadString(FileErrorString(errnoValue, operation)).arg(path);
}

void ShowFileError(QWidget* parent, int errnoValue, const QString& path, FileOperation operation)
{
    ShowFileMessage(parent, FormatFileError(errnoValue, path, operation));
}

void ShowFileMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("FileErrorMessage"));
    box.exec();
}
