#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// What an open or save dialog asks the user.
struct FileDialogRequest
{
    enum class Mode
    {
        OpenOne,  // one existing file
        OpenMany, // one or more existing files
        Save      // a file name to write, existing or not
    };
    Mode mode = Mode::OpenOne;
    QString title;
    QString directory;      // the folder shown first, or a file in it to preselect
    QStringList filters;    // "Cutting data (*.nc *.prn)", "All files (*)", ...
    QString selectedFilter; // one of filters, shown first; empty for the first
    QString defaultSuffix;  // added to a typed name without one (Save)
    // Save: the suffix added is the selected filter's extension instead, following the user's
    // choice of filter ("Text file (*.txt)" adds "txt", "all (*)" nothing). The dialog adds it
    // before it asks whether to replace an existing file, so the question names the final file.
    bool suffixFromFilter = false;
};

// What the user chose: no paths when the dialog was cancelled.
struct FileDialogAnswer
{
    QStringList paths;
    QString selectedFilter;

    bool Accepted() const { return !paths.isEmpty(); }
};

// Every open and save dialog of the program goes through RunFileDialog, so that a test can put
// its own answers in place of the modal QFileDialog, which it could not click.
using FileDialogRunner = std::function<FileDialogAnswer(QWidget* parent, const FileDialogRequest&)>;

// Shows the dialog (QFileDialog, modal to parent) or asks the runner a test put in place.
FileDialogAnswer RunFileDialog(QWidget* parent, const FileDialogRequest& request);

// Qt's own dialog, never the desktop's, whatever runner is in place: for tests that drive the
// real dialog with their own keys and clicks.
FileDialogAnswer RunOwnFileDialog(QWidget* parent, const FileDialogRequest& request);

// Puts runner in place of the real dialog and returns the one it replaces; an empty runner
// restores the real dialog.
FileDialogRunner SetFileDialogRunner(FileDialogRunner runner);
