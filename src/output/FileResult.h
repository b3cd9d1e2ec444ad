#pragma once

#include <QString>

// How an operation on a user's file went, as the data classes (the output list, the
// cutting-data file) report it. They never talk to the user themselves; the dialogs turn a
// failure into the message the user sees (ReportFileResult).
struct CFileResult
{
    enum class Failure
    {
        None,
        NotFound,  // the file does not exist
        Open,      // opening it failed with error
        Read,      // reading it failed with error (0 or less: it ended early; ENOMEM: too large)
        Write,     // writing or closing it failed with error
        BadFormat, // a list file whose first line is not the magic
    };

    Failure failure = Failure::None;
    // The file as shown to the user.
    QString path;
    // The errno of an Open, Read or Write failure.
    int error = 0;

    bool Ok() const { return failure == Failure::None; }
    static CFileResult Failed(Failure failure, const QString& path, int error = 0)
    {
        return {failure, path, error};
    }
};
