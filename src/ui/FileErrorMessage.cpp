#include "FileErrorMessage.h"

#include "StringTable.h"

#include <QApplication>
#include <QMessageBox>

#include <cerrno>

namespace {

// String numbers of the file-error texts; each has %1 for the path.
namespace Str {
constexpr int Generic = 50060;
constexpr int NotFound = 50061;
constexpr int BadPath = 50062;
constexpr int TooManyOpenFiles = 50063;
constexpr int AccessDenied = 50064;
constexpr int SharingViolation = 50065;
constexpr int LockViolation = 50066;
constexpr int DiskFull = 50067;
constexpr int EndOfFile = 50068;
constexpr int WriteFault = 50070;
constexpr int ReadFault = 50071;
constexpr int OutOfMemory = 50072;
} // namespace Str

int FileErrorString(int errnoValue, FileOperation operation)
{
    switch (errnoValue) {
    case ENOENT:
        return Str::NotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return Str::BadPath;
    case EMFILE:
    case ENFILE:
        return Str::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return Str::AccessDenied;
    case ETXTBSY:
    case EBUSY:
        return Str::SharingViolation;
    case ENOLCK:
    case EDEADLK:
        return Str::LockViolation;
    case ENOMEM:
        return Str::OutOfMemory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Str::DiskFull;
    default:
        break;
    }
    switch (operation) {
    case FileOperation::Read:
        return errnoValue <= 0 ? Str::EndOfFile : Str::ReadFault;
    case FileOperation::Write:
        return Str::WriteFault;
    case FileOperation::Open:
        break;
    }
    return Str::Generic;
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
