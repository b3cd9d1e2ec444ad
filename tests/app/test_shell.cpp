// The command line, the selection dialog and the about box.

#include "AboutDlg.h"
#include "AppTestSupport.h"
#include "CommandLine.h"
#include "MachineSelectDlg.h"
#include "VersionRecord.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// --- command line
// ------------------------------------------------------------------------------------

CommandLineResult Parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("zr40-panel"));
    return ParseCommandLine(arguments);
}

TEST(CommandLine, WithoutOptionsTheStartUpRunsAsUsual)
{
    const CommandLineResult result = Parse({});
    EXPECT_EQ(result.action, CommandLineResult::Action::Run);
    EXPECT_FALSE(result.options.simulatorFirst);
}

TEST(CommandLine, SimulatorOption)
{
    const CommandLineResult result = Parse({QStringLiteral("--simulator")});
    EXPECT_EQ(result.action, CommandLineResult::Action::Run);
    EXPECT_TRUE(result.options.simulatorFirst);
}

TEST(CommandLine, HelpListsTheOptionsAndEnds)
{
    for (const QString& option :
         {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--help-all")}) {
        const CommandLineResult result = Parse({option});
        EXPECT_EQ(result.action, CommandLineResult::Action::Exit);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_FALSE(result.isError);
        EXPECT_TRUE(result.output.contains(QStringLiteral("--simulator")));
        EXPECT_TRUE(
            result.output.contains(QStringLiteral("Start on the machine simulator first.")));
        EXPECT_TRUE(result.output.contains(QStringLiteral("--version")));
    }
}

TEST(CommandLine, VersionPrintsTheProjectVersion)
{
    QCoreApplication::setApplicationName(QStringLiteral("zr40-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZR40_PROJECT_VERSION));
    const CommandLineResult result = Parse({QStringLiteral("--version")});
    EXPECT_EQ(result.action, CommandLineResult::Action::Exit);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, QStringLiteral("zr40-panel " ZR40_PROJECT_VERSION "\n"));
}

TEST(CommandLine, UnknownOptionsAndArgumentsAreErrors)
{
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--simulater")}, QStringList{QStringLiteral("extra")},
          QStringList{QStringLiteral("--simulator"), QStringLiteral("extra")}}) {
        const CommandLineResult result = Parse(arguments);
        EXPECT_EQ(result.action, CommandLineResult::Action::Exit)
            << arguments.join(' ').toStdString();
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.isError);
        EXPECT_FALSE(result.output.isEmpty());
    }
}

// --- selection dialog
// ------------------------------------------------------------------------------

TEST(MachineSelect, SortsWithoutRegardToCaseAndIndependentlyOfTheInputOrder)
{
    const QStringList sorted = {QStringLiteral("alpha"), QStringLiteral("Beta"),
                                QStringLiteral("ZR-40 (1)"), QStringLiteral("ZR-40 (2)"),
                                QStringLiteral("zr-40 (2)")};
    EXPECT_EQ(
        CMachineSelectDlg::SortedNames({sorted[4], sorted[2], sorted[1], sorted[3], sorted[0]}),
        sorted);
    EXPECT_EQ(
        CMachineSelectDlg::SortedNames({sorted[3], sorted[4], sorted[0], sorted[2], sorted[1]}),
        sorted);
}

QComboBox* List(CMachineSelectDlg& dialog)
{
    return dialog.findChild<QComboBox*>(QString::number(CMachineSelectDlg::MachineListId));
}

void Click(QWidget& dialog, int id)
{
    auto* button = dialog.findChild<QPushButton*>(QString::number(id));
    ASSERT_NE(button, nullptr);
    button->click();
}

TEST(MachineSelect, OkStoresTheSelectedNameCancelLeavesItEmpty)
{
    CMachineSelectDlg dialog({QStringLiteral("Beta"), QStringLiteral("Alpha")});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Printer Select"));
    EXPECT_EQ(List(dialog)->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(zr40_test::RunModal(dialog, [&] { Click(dialog, CMachineSelectDlg::OkId); }),
              QDialog::Accepted);
    EXPECT_EQ(dialog.GetSelectedName(), QStringLiteral("Alpha"));

    EXPECT_EQ(zr40_test::RunModal(dialog,
                                  [&] {
                                      List(dialog)->setCurrentIndex(1);
                                      Click(dialog, CMachineSelectDlg::CancelId);
                                  }),
              QDialog::Rejected);
    EXPECT_TRUE(dialog.GetSelectedName().isEmpty());

    EXPECT_EQ(zr40_test::RunModal(dialog, [&] { dialog.reject(); }),
              QDialog::Rejected); // Escape, Close
    EXPECT_TRUE(dialog.GetSelectedName().isEmpty());
}

TEST(MachineSelect, OkWithoutEntriesChoosesNothing)
{
    CMachineSelectDlg dialog({});
    EXPECT_EQ(zr40_test::RunModal(dialog, [&] { Click(dialog, CMachineSelectDlg::OkId); }),
              QDialog::Accepted);
    EXPECT_TRUE(dialog.GetSelectedName().isEmpty());
}

// --- about box
// -----------------------------------------------------------------------------------------

QString LabelText(QWidget& dialog, int id)
{
    auto* label = dialog.findChild<QLabel*>(QString::number(id));
    return label ? label->text() : QStringLiteral("<missing>");
}

struct AboutTexts
{
    QString version, legalNotice, firmware, title;
};

AboutTexts OpenAbout(CAboutDlg& dialog)
{
    AboutTexts texts;
    zr40_test::RunModal(dialog, [&] {
        texts.version = LabelText(dialog, CAboutDlg::VersionId);
        texts.legalNotice = LabelText(dialog, CAboutDlg::LegalNoticeId);
        texts.firmware = LabelText(dialog, CAboutDlg::FirmwareId);
        texts.title = dialog.windowTitle();
        Click(dialog, CAboutDlg::OkId);
    });
    return texts;
}

TEST(AboutBox, ShowsTheRecordsVersionAndLegalNoticeAndTheFirmware)
{
    QCoreApplication::setApplicationName(QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    const CVersionRecord record({{QStringLiteral("FileVersion"), QStringLiteral("1, 0, 3, 0")},
                                 {QStringLiteral("LegalCopyright"), QStringLiteral("(C) Test")}});
    CAboutDlg dialog(QStringLiteral("V1.20:0815"), &record);
    const AboutTexts texts = OpenAbout(dialog);
    EXPECT_EQ(texts.version, QStringLiteral("Version: 1, 0, 3, 0"));
    EXPECT_EQ(texts.legalNotice, QStringLiteral("(C) Test"));
    EXPECT_EQ(texts.firmware, QStringLiteral("Firmware: V1.20:0815"));
    EXPECT_EQ(texts.title, QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    EXPECT_EQ(dialog.GetExecutablePath(), QCoreApplication::applicationFilePath());
}

TEST(AboutBox, AMissingRecordOrEntryGivesTheFallbackTexts)
{
    const QString fallbackNotice =
        QStringLiteral("Copyright (C) Quenby Corporation. All rights reserved.");
    using Entries = std::map<QString, QString>;
    const CVersionRecord versionOnly(
        Entries{{QStringLiteral("FileVersion"), QStringLiteral("1, 0, 3, 0")}});
    const CVersionRecord noticeOnly(
        Entries{{QStringLiteral("LegalCopyright"), QStringLiteral("(C) Test")}});
    for (const CVersionRecord* record :
         {static_cast<const CVersionRecord*>(nullptr), &versionOnly, &noticeOnly}) {
        QString version;
        QString notice;
        CAboutDlg::ReadVersionRecord(record, version, notice);
        EXPECT_EQ(version, QStringLiteral("Version : ----"));
        EXPECT_EQ(notice, fallbackNotice);
    }
}

TEST(AboutBox, TheExecutablesRecordCarriesTheProjectVersion)
{
    QStringList numbers = QStringLiteral(ZR40_PROJECT_VERSION).split(u'.');
    while (numbers.size() < 4)
        numbers.append(QStringLiteral("0"));
    const CVersionRecord& record = CVersionRecord::OfExecutable();
    EXPECT_EQ(record.Query(QStringLiteral("FileVersion")), numbers.join(QStringLiteral(", ")));
    EXPECT_TRUE(record.Query(QStringLiteral("LegalCopyright")).has_value());
}

} // namespace
