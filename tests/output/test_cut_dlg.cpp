// The Cut dialog driven through its buttons, without a machine: button enabling, the selection
// after a delete, the preview of NC-code files only, list files through Add, Save List...,
// View List... and a drop, Output of an empty list, and Cancel dropping unsaved changes.

#include "CutDlg.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "OutputTestSupport.h"
#include "TextViewCtrl.h"
#include "WidgetTestApp.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QUrl>

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

} // namespace
