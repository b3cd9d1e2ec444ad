// The Cut dialog driven through its buttons, without a machine: button enabling, the selection
// after a delete, the preview of NC-code files only, list files through Add, Save List...,
// View List... and a drop, Output of an empty list, and Cancel dropping unsaved changes.

#include "CutDataFile.h"
#include "CutDlg.h"
#include "FileErrorMessage.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "OutputTestSupport.h"
#include "TextViewCtrl.h"
#include "WidgetTestApp.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace zr40_test;

namespace {

class CutDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        UseEmptyStore("cut-dlg-test");
        m_nc = m_files.Write("a.nc", "%\r\nG0X1\r\n%\r\n");
        m_zml = m_files.Write("b.zml", "ZML1;\r\n");
        m_nc2 = m_files.Write("c.nc", "(part)\nG1\n");
    }

    static QPushButton* Button(CCutDlg& dialog, int id)
    {
        return dialog.findChild<QPushButton*>(QString::number(id));
    }
    static QListWidget* List(CCutDlg& dialog)
    {
        return dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId));
    }
    static const CTextLines* Previewed(CCutDlg& dialog)
    {
        return dialog.findChild<CTextViewCtrl*>(QString::number(CCutDlg::PreviewId))->GetFile();
    }
    // Which of Delete, Delete All, Save List..., up, down and Test ... are enabled.
    static std::vector<bool> Enabled(CCutDlg& dialog)
    {
        std::vector<bool> enabled;
        for (int id : {CCutDlg::DeleteId, CCutDlg::DeleteAllId, CCutDlg::SaveListId,
                       CCutDlg::MoveUpId, CCutDlg::MoveDownId, CCutDlg::TestId})
            enabled.push_back(Button(dialog, id)->isEnabled());
        return enabled;
    }

    TempFiles m_files;
    CModelingMachine m_machine;
    QByteArray m_nc, m_zml, m_nc2;
};

TEST_F(CutDlgTest, ButtonsFollowTheListTheSelectionAndThePreview)
{
    StoreList({m_nc, m_zml, m_nc2});
    ModalAnswerer answerer;
    CCutDlg dialog(m_machine, nullptr);
    dialog.SetTestAllowed(true);
    const int result = RunModal(dialog, [&] {
        QListWidget* list = List(dialog);
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(Enabled(dialog), (std::vector<bool>{true, true, true, false, false, false}));

        // An NC-code file is previewed and may be test cut; a ZML-1 file is neither.
        list->setCurrentRow(2);
        EXPECT_EQ(Enabled(dialog), (std::vector<bool>{true, true, true, true, false, true}));
        ASSERT_TRUE(Previewed(dialog));
        EXPECT_EQ(Previewed(dialog)->LineCount(), 3);
        list->setCurrentRow(1);
        EXPECT_EQ(Enabled(dialog), (std::vector<bool>{true, true, true, true, true, false}));
        EXPECT_FALSE(Previewed(dialog));

        // Moving the first entry down, then deleting from the end: the new last is selected.
        list->setCurrentRow(0);
        Button(dialog, CCutDlg::MoveDownId)->click();
        EXPECT_EQ(dialog.GetList().GetEntries(), (QList<QByteArray>{m_zml, m_nc, m_nc2}));
        EXPECT_EQ(list->currentRow(), 1);
        list->setCurrentRow(2);
        Button(dialog, CCutDlg::DeleteId)->click();
        EXPECT_EQ(list->currentRow(), 1);
        Button(dialog, CCutDlg::DeleteId)->click();
        Button(dialog, CCutDlg::DeleteId)->click();
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(Enabled(dialog), (std::vector<bool>{false, false, false, false, false, false}));
        Button(dialog, CCutDlg::CancelId)->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);

    // Cancel kept the stored list.
    CCutDlg again(m_machine, nullptr);
    RunModal(again, [&] {
        EXPECT_EQ(again.GetList().GetEntries(), (QList<QByteArray>{m_nc, m_zml, m_nc2}));
        again.reject();
    });
    EXPECT_TRUE(answerer.AllUsed());
}

TEST_F(CutDlgTest, TestStaysOffForNcCodeWhenTheMachineDoesNotRunIt)
{
    StoreList({m_nc});
    CCutDlg dialog(m_machine, nullptr);
    RunModal(dialog, [&] {
        List(dialog)->setCurrentRow(0);
        EXPECT_TRUE(Previewed(dialog));
        EXPECT_FALSE(Button(dialog, CCutDlg::TestId)->isEnabled());
        dialog.reject();
    });
}

TEST_F(CutDlgTest, ListFilesThroughAddSaveViewAndDrop)
{
    ModalAnswerer answerer;
    answerer.AnswerFileDialog({QString::fromLocal8Bit(m_nc), QString::fromLocal8Bit(m_nc2)});
    const QString typed = QString::fromLocal8Bit(m_files.Path("mine"));
    answerer.AnswerFileDialog({typed});
    answerer.AnswerFileDialog({typed + ".ofl"});
    answerer.AnswerFileDialog({typed + ".ofl"});
    CCutDlg dialog(m_machine, nullptr);
    RunModal(dialog, [&] {
        Button(dialog, CCutDlg::AddId)->click();
        Button(dialog, CCutDlg::SaveListId)->click();
        EXPECT_EQ(dialog.GetCurrentListFile(), m_files.Path("mine.ofl"));
        EXPECT_EQ(TempFiles::Read(m_files.Path("mine.ofl")), "MILDEK_OUTPUT_FILE_LIST\r\n" +
                                                                 m_nc.toStdString() + "\r\n" +
                                                                 m_nc2.toStdString() + "\r\n");

        Button(dialog, CCutDlg::DeleteAllId)->click();
        Button(dialog, CCutDlg::ViewListId)->click();
        EXPECT_EQ(dialog.GetList().GetEntries(), (QList<QByteArray>{m_nc, m_nc2}));

        // A list file through Add brings its entries; a dropped one too, and a dropped
        // ordinary file itself.
        Button(dialog, CCutDlg::AddId)->click();
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(typed + ".ofl"),
                         QUrl::fromLocalFile(QString::fromLocal8Bit(m_zml))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&dialog, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&dialog, &drop);
        EXPECT_TRUE(drop.isAccepted());
        EXPECT_EQ(dialog.GetList().GetEntries(),
                  (QList<QByteArray>{m_nc, m_nc2, m_nc, m_nc2, m_nc, m_nc2, m_zml}));
        dialog.reject();
    });
    ASSERT_EQ(answerer.FileRequests().size(), 4u);
    EXPECT_EQ(answerer.FileRequests()[1].defaultSuffix, "ofl");
    EXPECT_EQ(answerer.FileRequests()[0].filters,
              (QStringList{"Output File (*.zml *.prn *.nc *.ncd *.nct *.txt)", "All (*)"}));
    EXPECT_TRUE(answerer.AllUsed());
}

TEST_F(CutDlgTest, OutputOfAnEmptyListStoresACountOfZeroAndCloses)
{
    StoreList({m_nc, m_zml});
    CCutDlg dialog(m_machine, nullptr);
    const int result = RunModal(dialog, [&] {
        Button(dialog, CCutDlg::DeleteAllId)->click();
        Button(dialog, CCutDlg::OutputId)->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(Store().value("OutputFiles/FileCount").toInt(), 0);
}

// A click, a key or Ctrl+click: the preview, "Test ..." and the arrows follow the row the user
// selected, from the first click on, with one entry as with several.
TEST_F(CutDlgTest, SelectionUpdateFollowsTheRowTheUserSelected)
{
    const QByteArray shortNc = m_files.Write("d.nc", "%\nG0");
    struct Step
    {
        std::function<void(QListWidget*)> act;
        int lines; // of the preview; 0: none
        std::vector<bool> arrowsAndTest;
    };
    const auto click = [](int row, Qt::KeyboardModifiers modifiers = {}) {
        return [row, modifiers](QListWidget* list) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                              list->visualItemRect(list->item(row)).center());
        };
    };
    const auto key = [](Qt::Key k) { return [k](QListWidget* list) { QTest::keyClick(list, k); }; };
    struct Case
    {
        QList<QByteArray> entries;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {{m_nc, m_zml, m_nc2, shortNc},
         {{click(3), 2, {true, false, true}},
          {click(0), 4, {false, true, true}},
          {click(2), 3, {true, true, true}},
          {key(Qt::Key_Up), 0, {true, true, false}},
          {key(Qt::Key_Down), 3, {true, true, true}},
          {click(2, Qt::ControlModifier), 0, {false, false, false}}}},
        {{m_nc2}, {{click(0), 3, {false, false, true}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries.size());
        StoreList(c.entries);
        CCutDlg dialog(m_machine, nullptr);
        dialog.SetTestAllowed(true);
        RunModal(dialog, [&] {
            QListWidget* list = List(dialog);
            for (size_t i = 0; i < c.steps.size(); ++i) {
                SCOPED_TRACE(i);
                c.steps[i].act(list);
                const CTextLines* shown = Previewed(dialog);
                EXPECT_EQ(shown ? shown->LineCount() : 0, c.steps[i].lines);
                EXPECT_EQ((std::vector<bool>{Button(dialog, CCutDlg::MoveUpId)->isEnabled(),
                                             Button(dialog, CCutDlg::MoveDownId)->isEnabled(),
                                             Button(dialog, CCutDlg::TestId)->isEnabled()}),
                          c.steps[i].arrowsAndTest);
            }
            dialog.reject();
        });
    }
}

// Enter and Return in the list and the preview start nothing; Space on the focused Output does.
TEST_F(CutDlgTest, OnlyTheOutputButtonItselfStartsTheJob)
{
    StoreList({m_nc});
    CCutDlg dialog(m_machine, nullptr);
    const int result = RunModal(dialog, [&] {
        List(dialog)->setCurrentRow(0);
        for (QWidget* target : std::initializer_list<QWidget*>{
                 List(dialog), dialog.findChild<QWidget*>(QString::number(CCutDlg::PreviewId))})
            for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter}) {
                target->setFocus();
                QTest::keyClick(target, k);
                EXPECT_TRUE(dialog.isVisible()) << target->objectName().toStdString();
            }
        QPushButton* output = Button(dialog, CCutDlg::OutputId);
        output->setFocus();
        QTest::keyClick(output, Qt::Key_Space);
    });
    EXPECT_EQ(result, QDialog::Accepted);
}

// A named pipe chosen as the list file is refused at once with the path, not waited on.
TEST_F(CutDlgTest, SaveListOntoANamedPipeIsReportedAtOnce)
{
    const QByteArray fifo = m_files.Path("pipe.ofl");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    StoreList({m_nc});
    ModalAnswerer answerer;
    answerer.AnswerFileDialog({QString::fromLocal8Bit(fifo)});
    answerer.Then([](QWidget*) {}); // the Cut dialog, while the message is open
    QString message;
    answerer.Then([&](QWidget* box) {
        message = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    CCutDlg dialog(m_machine, nullptr);
    RunModal(dialog, [&] {
        QElapsedTimer clock;
        clock.start();
        Button(dialog, CCutDlg::SaveListId)->click();
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_TRUE(dialog.GetCurrentListFile().isEmpty());
        dialog.reject();
    });
    EXPECT_EQ(message, FormatFileError(EACCES, QString::fromLocal8Bit(fifo), FileOperation::Open));
    EXPECT_TRUE(answerer.AllUsed());
}

// The selected file's image is read once and kept while the file is unchanged on disk; a large
// image is given back when another entry is selected.
TEST_F(CutDlgTest, PreviewImageIsKeptUntilTheFileChangesAndALargeOneIsReleased)
{
    std::string large = "%\n";
    while (large.size() <= size_t(CCutDlg::KeptCapacity))
        large += "G1 X1 Y2 Z3\n";
    const QByteArray big = m_files.Write("big.nc", large);
    StoreList({m_nc2, m_zml, big});
    CCutDlg dialog(m_machine, nullptr);
    RunModal(dialog, [&] {
        QListWidget* list = List(dialog);
        const auto lines = [&] {
            const CTextLines* shown = Previewed(dialog);
            return shown ? shown->LineCount() : 0;
        };
        list->setCurrentRow(0);
        ASSERT_EQ(lines(), 3);
        struct stat before
        {
        };
        ASSERT_EQ(::stat(m_nc2.constData(), &before), 0);
        // Unchanged: not read again.
        const char* shownBytes = Previewed(dialog)->LineText(0).data();
        Button(dialog, CCutDlg::MoveDownId)->click();
        EXPECT_EQ(lines(), 3);
        EXPECT_EQ(Previewed(dialog)->LineText(0).data(), shownBytes);
        // Rewritten with the same size and modification time: the image maps the file, so it
        // is read again rather than shown mixed.
        m_files.Write("c.nc", "(p)\nG\nG\nG\n");
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, m_nc2.constData(), times, 0), 0);
        Button(dialog, CCutDlg::MoveUpId)->click();
        EXPECT_EQ(lines(), 5);
        // A new modification time: read again.
        m_files.Write("c.nc", "(p)\nG\nG\n");
        const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, m_nc2.constData(), later, 0), 0);
        Button(dialog, CCutDlg::MoveDownId)->click();
        EXPECT_EQ(lines(), 4);
        Button(dialog, CCutDlg::MoveUpId)->click();
        EXPECT_EQ(lines(), 4);

        list->setCurrentRow(2);
        ASSERT_GT(lines(), 1);
        list->setCurrentRow(0);
        const auto* image = dynamic_cast<const CCutDataFile*>(Previewed(dialog));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetCapacity(), CCutDataFile::CapacityFor(image->GetLength()));
        dialog.reject();
    });
}

// A settings store that cannot be written is reported with its file; the job still goes on.
TEST_F(CutDlgTest, UnwritableStoreIsReportedWithItsFile)
{
    StoreList({m_nc});
    const QString storeFile = Store().fileName();
    Store().sync();
    ASSERT_TRUE(QFile::remove(storeFile));
    ASSERT_TRUE(QDir().mkpath(storeFile));
    ModalAnswerer answerer;
    answerer.Then([](QWidget*) {}); // the Cut dialog, while the message is open
    QString message;
    answerer.Then([&](QWidget* box) {
        message = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    CCutDlg dialog(m_machine, nullptr);
    const int result = RunModal(dialog, [&] { Button(dialog, CCutDlg::OutputId)->click(); });
    QDir(storeFile).removeRecursively();
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(message.contains(storeFile)) << message.toStdString();
    EXPECT_TRUE(answerer.AllUsed());
}

} // namespace
