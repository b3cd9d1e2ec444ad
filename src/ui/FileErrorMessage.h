#pragma once

#include <QString>

class QWidget;

// The standard file-error message: what went wrong with a file, in the words users know from
// the desktop's own file dialogs, with the file's path. One helper for every window that opens,
// reads or writes a user's file (list files, cutting data, report files).

// What was being done when the failure happened; it picks the generic text for causes that
// have no text of their own.
enum class FileOperation
{
    Open,
    Read,
    Write,
};

// The text for the errno of a failed open, read or write of path (the path as shown to the
// user). errnoValue 0 or negative on a read means the file ended early; ENOMEM says that the
// file does not fit in memory.
QString FormatFileError(int errnoValue, const QString& path, FileOperation operation);

// Shows that text in the standard message box (application title, exclamation icon, OK) and
// returns when the user has closed it.
void ShowFileError(QWidget* parent, int errnoValue, const QString& path,
                   FileOperation operation = FileOperation::Open);

// Shows another text about a file (such as "%1 has a bad format.") in the same box.
void ShowFileMessage(QWidget* parent, const QString& text);
