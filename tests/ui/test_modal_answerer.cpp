#include "FileDialog.h"
#include "ModalAnswerer.h"
#include "PanelMessageBox.h"
#include "WidgetTestApp.h"

#include <QDialog>

#include <gtest/gtest.h>

namespace {

using zr40_test::ModalAnswerer;

// The file-dialog seam: a test's runner answers in place of the real dialog, and putting back
// the one it replaced restores it.
TEST(FileDialogSeam, ReplacedRunnerAnswersAndIsRestored)
{
    FileDialogRequest asked;
    FileDialogRunner before = SetFileDialogRunner([&](QWidget*, const FileDialogRequest& request) {
        asked = request;
        return FileDialogAnswer{{QStringLiteral("/tmp/a.nc")}, request.filters.value(1)};
    });
    EXPECT_FALSE(before);
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("Save As");
    request.filters = {QStringLiteral("Lists (*.ofl)"), QStringLiteral("All files (*)")};
    const FileDialogAnswer answer = RunFileDialog(nullptr, request);
    EXPECT_TRUE(answer.Accepted());
    EXPECT_EQ(answer.paths, QStringList{QStringLiteral("/tmp/a.nc")});
    EXPECT_EQ(answer.selectedFilter, QStringLiteral("All files (*)"));
    EXPECT_EQ(asked.title, QStringLiteral("Save As"));
    EXPECT_TRUE(SetFileDialogRunner(std::move(before)));
}

// One answerer for boxes, other windows and file dialogs, each in the order planned; what it
// saw is kept, and it puts the real file dialog back when it ends.
TEST(ModalAnswerer, AnswersEachKindInTurnAndRestoresTheFileDialog)
{
    zr40_test::App();
    {
        ModalAnswerer answers;
        answers.AnswerBox(2);
        answers.Then([](QWidget* modal) { static_cast<QDialog*>(modal)->done(7); });
        answers.AnswerFileDialog({QStringLiteral("/tmp/list.ofl")});
        answers.AnswerFileDialog({});

        CPanelMessageBox box(QStringLiteral("Continue?"), 0x1); // OK / Cancel
        EXPECT_EQ(box.exec(), 2);
        QDialog other;
        EXPECT_EQ(other.exec(), 7);
        EXPECT_EQ(RunFileDialog(nullptr, {}).paths.value(0), QStringLiteral("/tmp/list.ofl"));
        EXPECT_FALSE(RunFileDialog(nullptr, {}).Accepted());

        ASSERT_EQ(answers.Count(), 1);
        EXPECT_EQ(answers.Seen()[0].text, QStringLiteral("Continue?"));
        EXPECT_EQ(answers.Seen()[0].captions.size(), 2);
        EXPECT_EQ(answers.Shown(), 2);
        EXPECT_EQ(answers.FileRequests().size(), 2u);
        EXPECT_TRUE(answers.AllUsed());
        EXPECT_EQ(answers.Unexpected(), 0);
    }
    FileDialogRunner none = SetFileDialogRunner({});
    EXPECT_FALSE(none);
}

} // namespace
