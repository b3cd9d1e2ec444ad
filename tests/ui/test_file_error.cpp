// The standard file-error message: the text chosen for each cause and the box that shows it.

#include "FileErrorMessage.h"
#include "WidgetTestApp.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <cerrno>

namespace {

TEST(FileErrorMessage, EachCauseGetsItsTextWithThePath)
{
    struct Row
    {
        int error;
        FileOperation operation;
        const char* text;
    };
    const Row rows[] = {
        {ENOENT, FileOperation::Open, "/d/a.ofl was not found."},
        {EACCES, FileOperation::Open, "Access to /d/a.ofl was denied."},
        {EISDIR, FileOperation::Open, "Access to /d/a.ofl was denied."},
        {ETXTBSY, FileOperation::Open, "A sharing violation occurred while accessing /d/a.ofl."},
        {ENOSPC, FileOperation::Write, "Disk full while accessing /d/a.ofl."},
        {ENOTDIR, FileOperation::Open, "/d/a.ofl contains an invalid path."},
        {EMFILE, FileOperation::Open,
         "/d/a.ofl could not be opened because there are too many open files."},
        {EIO, FileOperation::Open, "An unexpected error occurred while accessing /d/a.ofl."},
        {EIO, FileOperation::Read, "An error occurred while reading /d/a.ofl."},
        {EIO, FileOperation::Write, "An error occurred while writing /d/a.ofl."},
        {0, FileOperation::Read, "An attempt was made to access /d/a.ofl past its end."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatFileError(row.error, "/d/a.ofl", row.operation), row.text) << row.error;
}

TEST(FileErrorMessage, ShownInAModalBoxWithTheApplicationTitle)
{
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    ShowFileError(nullptr, EACCES, "/d/x.nc", FileOperation::Open);
    EXPECT_EQ(title, QApplication::applicationDisplayName());
    EXPECT_EQ(text, "Access to /d/x.nc was denied.");
}

} // namespace
