// The system report window: the anchor rules when it is resized, and Save.
#include "FileDialogFilter.h"
#include "ModalAnswerer.h"
#include "SystemReportDlg.h"
#include "WidgetTestApp.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

TEST(SystemReportDlg, AnchorsMoveOrStretchWithTheEdges)
{
    const AnchorRect r{10, 20, 110, 70};
    struct Row
    {
        uint32_t flags;
        AnchorRect moved;
    };
    const Row rows[] = {
        {0, r},
        {AnchorFlag::MoveRight | AnchorFlag::MoveDown, {110, 70, 210, 120}},
        {AnchorFlag::StretchRight | AnchorFlag::StretchDown, {10, 20, 210, 120}},
        // Stretching wins over moving.
        {AnchorFlag::StretchRight | AnchorFlag::MoveRight | AnchorFlag::MoveDown,
         {10, 70, 210, 120}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(AnchoredRect(r, row.flags, 100, 50), row.moved) << row.flags;
}

TEST(SystemReportDlg, ResizingMovesTheButtonsAndStretchesTheReport)
{
    CSystemReportDlg dialog("line\r\n");
    dialog.show();
    QWidget* edit = dialog.GetControl(CSystemReportDlg::ReportId);
    QWidget* save = dialog.GetControl(CSystemReportDlg::SaveId);
    QWidget* close = dialog.GetControl(CSystemReportDlg::CloseId);
    const QSize size = dialog.size();
    const QRect editAt = edit->geometry();
    const QRect saveAt = save->geometry();
    const QRect closeAt = close->geometry();

    const auto resized = [&](QSize to) {
        dialog.resize(to);
        return zr40_test::WaitUntil([&] { return dialog.size() == to; });
    };
    ASSERT_TRUE(resized(size + QSize(100, 50)));
    EXPECT_EQ(edit->geometry(), editAt.adjusted(0, 0, 100, 50));
    EXPECT_EQ(save->geometry(), saveAt.translated(100, 50));
    EXPECT_EQ(close->geometry(), closeAt.translated(100, 50));

    // So narrow that the report's rectangle is empty: it stays where it was.
    ASSERT_TRUE(resized(size - QSize(editAt.width() + 6, 0)));
    EXPECT_EQ(close->geometry(), closeAt.translated(-editAt.width() - 6, 0));
    EXPECT_EQ(edit->geometry(), editAt.adjusted(0, 0, 100, 50));
    ASSERT_TRUE(resized(size));
    EXPECT_EQ(edit->geometry(), editAt);
    EXPECT_EQ(save->geometry(), saveAt);
}

TEST(SystemReportDlg, TheDialogAddsTheFilterExtensionAndAFinalDotStarIsDropped)
{
    const std::pair<const char*, const char*> filters[] = {
        {"Text file (*.txt)", "txt"},
        {"all (*)", ""},
        {"Output File (*.zml *.prn)", "zml"},
        {"Logs (*.l?g)", ""},
    };
    for (const auto& [filter, extension] : filters)
        EXPECT_EQ(FilterExtension(filter), extension) << filter;
    const std::pair<const char*, const char*> paths[] = {
        {"/d/report.txt", "/d/report.txt"},
        {"/d/report", "/d/report"},
        {"/d/report.*", "/d/report"},
        {".*", ".*"},
    };
    for (const auto& [chosen, path] : paths)
        EXPECT_EQ(ReportSavePath(chosen), path) << chosen;
}

TEST(SystemReportDlg, SaveWritesTheTextsBytesAndShowsFileErrors)
{
    QTemporaryDir folder;
    const QByteArray text = "ZR-40 report\r\nline 2\r\n-----\r\nReported at 2030-01-02 12:00:00";
    CSystemReportDlg dialog(text + '\0');
    zr40_test::ModalAnswerer answerer;
    QString error;
    QString pipeError;
    dialog.show();
    {
        EXPECT_EQ(static_cast<QPlainTextEdit*>(dialog.GetControl(CSystemReportDlg::ReportId))
                      ->toPlainText(),
                  QString::fromLatin1(text).replace("\r\n", "\n"));
        auto* save = static_cast<QAbstractButton*>(dialog.GetControl(CSystemReportDlg::SaveId));
        answerer.AnswerFileDialog({folder.filePath("report.txt")}, "Text file (*.txt)");
        save->click();
        // A folder that does not exist: the message, and the window stays.
        answerer.AnswerFileDialog({folder.filePath("missing/report.txt")}, "Text file (*.txt)");
        answerer.Then([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr);
            error = box->text();
            box->accept();
        });
        save->click();
        EXPECT_TRUE(dialog.isVisible());
        // A named pipe: refused at once, not waited on.
        ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe.txt")).constData(), 0600), 0);
        answerer.AnswerFileDialog({folder.filePath("pipe.txt")}, "Text file (*.txt)");
        answerer.Then([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr);
            pipeError = box->text();
            box->accept();
        });
        save->click();
        dialog.reject();
    }
    ASSERT_EQ(answerer.FileRequests().size(), 3u);
    EXPECT_EQ(answerer.FileRequests()[0].filters, QStringList({"Text file (*.txt)", "all (*)"}));
    EXPECT_TRUE(answerer.FileRequests()[0].suffixFromFilter);
    QFile saved(folder.filePath("report.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), text);
    EXPECT_EQ(error, folder.filePath("missing/report.txt") + " was not found.");
    EXPECT_EQ(pipeError, "Access to " + folder.filePath("pipe.txt") + " was denied.");
}

// Qt's own save dialog, driven for real: the name is typed without extension, the dialog adds
// ".txt" itself and so asks before it replaces the existing report.txt. No keeps the old file
// and the dialog open; Yes replaces it.
TEST(SystemReportDlg, SaveAsksBeforeReplacingTheFileTheAddedExtensionNames)
{
    QTemporaryDir folder;
    QFile existing(folder.filePath("report.txt"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("older report");
    existing.close();
    CSystemReportDlg dialog("new report");
    zr40_test::ModalAnswerer answerer;
    dialog.show();

    QStringList questions;
    QByteArray afterNo;
    const auto planAnswer = [&](QMessageBox::StandardButton button) {
        answerer.Then([&questions, button](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->button(button)) {
                ADD_FAILURE() << "not the overwrite question";
                window->close();
                return;
            }
            questions << box->text();
            box->button(button)->click();
        });
    };
    answerer.LetFileDialogRun();
    answerer.Then([&](QWidget* window) {
        QFileDialog* files = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QFileDialog*>(top); found && found->isVisible())
                files = found;
        auto* name = files ? files->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        auto* buttons = files ? files->findChild<QDialogButtonBox*>("buttonBox") : nullptr;
        QAbstractButton* save = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr;
        if (!name || !save) {
            ADD_FAILURE() << "no save dialog of Qt's own";
            window->close();
            return;
        }
        files->setDirectory(folder.path());
        name->setFocus();
        QTest::keyClicks(name, "report");
        planAnswer(QMessageBox::No);
        save->click();
        EXPECT_TRUE(files->isVisible());
        QFile kept(folder.filePath("report.txt"));
        if (kept.open(QIODevice::ReadOnly))
            afterNo = kept.readAll();
        planAnswer(QMessageBox::Yes);
        save->click();
        if (files->isVisible()) {
            ADD_FAILURE() << "the save dialog stayed open";
            files->reject();
        }
    });
    static_cast<QAbstractButton*>(dialog.GetControl(CSystemReportDlg::SaveId))->click();
    dialog.reject();

    EXPECT_TRUE(answerer.AllUsed());
    const QString question = "report.txt already exists.\nDo you want to replace it?";
    EXPECT_EQ(questions, QStringList({question, question}));
    EXPECT_EQ(afterNo, "older report");
    QFile saved(folder.filePath("report.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "new report");
    EXPECT_FALSE(QFile::exists(folder.filePath("report")));
}

} // namespace
