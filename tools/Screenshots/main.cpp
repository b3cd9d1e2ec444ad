// zr40-screenshots: draws the pictures of the README from the real windows. The panel runs on a
// simulator that is already running; the Cut dialog lists two sample programs, the test cut
// steps through the first lines of one, and its toolpath view follows the tool; then Output
// hands the part over and the job window follows the machine. Each window is
// saved with QWidget::grab as a PNG file into the folder given.
//
// Usage: zr40-screenshots FOLDER [PROGRAM-FOLDER]
// The sample programs are written into PROGRAM-FOLDER; without it only the panel is taken.
// tools/screenshots.sh runs it under Xvfb.

#include "ApplicationDialogs.h"
#include "ControlPanelDlg.h"
#include "CutDataSet.h"
#include "CutDlg.h"
#include "FontSubstitutes.h"
#include "JobDlg.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "QtTranslations.h"
#include "StringTable.h"
#include "TestCutDlg.h"
#include "ToolpathDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// A square pocket outline, a circle of two arcs and a short slope: enough lines for the views.
// Coordinates carry a decimal point: without one an NC number counts in the smallest increment.
const char* const PartProgram = "%\r\n"
                                "G90 G21 G54\r\n"
                                "G0 Z5.\r\n"
                                "G0 X5. Y5.\r\n"
                                "G1 Z-1. F200\r\n"
                                "G1 X35. F600\r\n"
                                "G1 Y35.\r\n"
                                "G1 X5.\r\n"
                                "G1 Y5.\r\n"
                                "G0 Z5.\r\n"
                                "G0 X30. Y20.\r\n"
                                "G1 Z-1. F200\r\n"
                                "G2 X10. Y20. I-10. J0. F600\r\n"
                                "G2 X30. Y20. I10. J0.\r\n"
                                "G0 Z5.\r\n"
                                "G0 X20. Y20.\r\n"
                                "G1 Z-2. F200\r\n"
                                "G1 X25. Y25. F400\r\n"
                                "G0 Z5.\r\n"
                                "G0 X0. Y0.\r\n"
                                "%\r\n";
const char* const LogoProgram = "%\r\nG90 G0 Z5.\r\nG0 X2. Y2.\r\nG1 Z-0.5 F150\r\nG1 X12. Y2. "
                                "F500\r\nG1 X2. Y12.\r\nG1 X12. Y12.\r\nG0 Z5.\r\n%\r\n";
// The outline cut while the job window is taken: it stays within the travel, so that Output
// sends it without asking.
const char* const JobProgram = "%\r\nG90 G21\r\nG0 Z0.\r\nG0 X5. Y5.\r\nG1 Z-1. F200\r\n"
                               "G1 X35. F600\r\nG1 Y35.\r\nG1 X5.\r\nG1 Y5.\r\nG1 X35. Y35.\r\n"
                               "G0 Z0.\r\nG0 X0. Y0.\r\n%\r\n";

// A carved relief of waves over 60 x 40 mm, as CAM output finishes one with a 2 mm ball end
// mill: zig-zag passes 0.4 mm apart along X, a point every 0.5 mm.
std::string ReliefProgram()
{
    std::string text = "%\nG90 G21 G17\nG0 Z5.\nG0 X0. Y0.\n";
    char line[80];
    for (int pass = 0; pass <= 100; ++pass) {
        const double y = pass * 0.4;
        for (int step = 0; step <= 120; ++step) {
            const double x = (pass % 2 == 0 ? step : 120 - step) * 0.5;
            const double z =
                -2.5 + 1.2 * std::sin(x / 6.0) * std::cos(y / 7.0) + 0.6 * std::sin((x + y) / 3.5);
            std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f Z%.3f F1200\n", x, y,
                          std::min(z, 0.0));
            text += line;
        }
    }
    return text + "G0 Z5.\n%\n";
}

// Runs the event loop until done() or the deadline; false on the deadline.
bool WaitUntil(const std::function<bool()>& done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void Pause(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget& window, const QString& path)
{
    window.raise();
    window.activateWindow();
    Pause(300);
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

QByteArray WriteFile(const QDir& folder, const char* name, const char* content)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path.toLocal8Bit();
}

// A question the windows ask on the way (a program beyond the travel, leaving a test cut in
// the middle) is answered with its first button, so that nothing waits for a user.
void AnswerQuestions()
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->accept();
        else if (auto* panelBox = qobject_cast<CPanelMessageBox*>(modal))
            panelBox->done(1);
    });
    timer->start(100);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    InstallFontSubstitutes();
    InstallQtTranslations();
    if (argc < 2) {
        std::fputs("usage: zr40-screenshots FOLDER [PROGRAM-FOLDER]\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    // Without a folder for the sample programs only the panel is taken.
    const bool panelOnly = argc < 3;
    const QString suffix = IsJapaneseUi() ? QStringLiteral("-ja") : QString();
    QCoreApplication::setOrganizationName(QStringLiteral("Quenby Corporation"));
    QCoreApplication::setApplicationName(QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    AnswerQuestions();

    CModelingMachine machine;
    if (!machine.UseSimulator({})) {
        std::fputs("zr40-screenshots: no simulator answers\n", stderr);
        return 1;
    }
    MachineSettings settings;
    if (machine.GetMachineSettings(settings)) {
        settings.commandSet = 1; // NC code: the panel offers the test cut
        machine.SetMachineSettings(settings);
    }
    CApplicationDialogs dialogs;
    CControlPanelDlg panel(&machine);
    panel.SetDialogs(&dialogs);
    panel.show();
    if (!WaitUntil([&] { return panel.GetControl(PanelId::Setup)->isEnabled(); })) {
        std::fputs("zr40-screenshots: the panel did not come up\n", stderr);
        return 1;
    }
    // A read-out away from zero: the table moved to a point of the part.
    machine.MoveTo(-1, {12500, 8000, 0});
    WaitUntil([&] { return false; }, 2500);
    bool saved = Save(panel, out.filePath(QStringLiteral("panel%1.png").arg(suffix)));
    if (panelOnly)
        return saved ? 0 : 1;

    const QDir folder(QString::fromLocal8Bit(argv[2]));
    const QByteArray part = WriteFile(folder, "bracket.nc", PartProgram);
    const QByteArray logo = WriteFile(folder, "logo.nc", LogoProgram);
    {
        // The Cut dialog shows the output list kept from the last time.
        QSettings store(QSettings::IniFormat, QSettings::UserScope,
                        QCoreApplication::organizationName(), QCoreApplication::applicationName());
        store.setValue(QStringLiteral("OutputFiles/FileCount"), 2);
        store.setValue(QStringLiteral("OutputFiles/File0"), part);
        store.setValue(QStringLiteral("OutputFiles/File1"), logo);
    }
    {
        CCutDlg cut(machine, &panel);
        cut.SetTestAllowed(true); // as the panel opens it in NC-code mode
        cut.show();
        if (auto* list = cut.findChild<QListWidget*>(QString::number(CCutDlg::FileListId)))
            list->setCurrentRow(0);
        saved = Save(cut, out.filePath(QStringLiteral("cut%1.png").arg(suffix))) && saved;
    }

    CCutDataSet set;
    if (!set.AddFile(part).Ok())
        return 1;
    CTestCutDlg testCut(panel, set);
    QTimer::singleShot(0, &testCut, [&] {
        for (int step = 0; step < 6; ++step) {
            testCut.Button(CTestCutDlg::StepId)->click();
            WaitUntil([&] { return !testCut.IsModeRunning(); }, 5000);
            Pause(300);
        }
        saved = Save(testCut, out.filePath(QStringLiteral("testcut%1.png").arg(suffix))) && saved;
        if (auto* button = testCut.findChild<QPushButton*>(CTestCutDlg::ToolpathName))
            button->click();
        CToolpathDlg* toolpath = testCut.GetToolpathWindow();
        if (toolpath && WaitUntil([toolpath] { return toolpath->IsReady(); })) {
            toolpath->resize(900, 560);
            Pause(500);
            saved = Save(*toolpath, out.filePath(QStringLiteral("toolpath%1.png").arg(suffix))) &&
                    saved;
        } else {
            saved = false;
        }
        testCut.reject();
    });
    testCut.exec();

    // The cut surface of the relief program under a 2 mm ball end mill, from above and turned.
    CToolpathDlg relief;
    const std::string program = ReliefProgram();
    relief.OpenData("relief.nc", program, CNcReadOptions{});
    relief.resize(900, 760);
    relief.show();
    if (auto* tool = relief.findChild<QComboBox*>("reliefTool"))
        tool->setCurrentIndex(int(NcTool::Ball));
    if (auto* diameter = relief.findChild<QDoubleSpinBox*>("reliefDiameter"))
        diameter->setValue(2);
    if (auto* stockTopGiven = relief.findChild<QCheckBox*>("reliefStockTopGiven"))
        stockTopGiven->setChecked(true);
    if (auto* show = relief.findChild<QCheckBox*>("reliefShow"))
        show->setChecked(true);
    // Taken once the moves are checked too, with the list of them in place of the progress bar.
    const auto* dangers = relief.findChild<QWidget*>("toolpathDangers");
    if (WaitUntil([&] { return relief.Relief() != nullptr && dangers && dangers->isVisible(); },
                  60000)) {
        saved = Save(relief, out.filePath(QStringLiteral("relief%1.png").arg(suffix))) && saved;
        if (auto* tabs = relief.findChild<QTabWidget*>("toolpathTabs"))
            tabs->setCurrentWidget(relief.OrbitView());
        saved = Save(relief, out.filePath(QStringLiteral("relief-3d%1.png").arg(suffix))) && saved;
    } else {
        saved = false;
    }

    // The job window while the machine cuts the outline Output handed over to it.
    const QByteArray outline = WriteFile(folder, "outline.nc", JobProgram);
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope,
                        QCoreApplication::organizationName(), QCoreApplication::applicationName());
        store.setValue(QStringLiteral("OutputFiles/FileCount"), 1);
        store.setValue(QStringLiteral("OutputFiles/File0"), outline);
    }
    // The test cut's quit leaves the machine skipping data for a moment.
    WaitUntil([&] { return panel.GetStatus().State() == MachineState::Ready; });
    {
        CCutDlg cut(machine, &panel);
        QTimer::singleShot(0, &cut, [&cut] {
            if (auto* output = cut.findChild<QPushButton*>(QString::number(CCutDlg::OutputId)))
                output->click();
        });
        cut.exec();
    }
    CJobDlg* job = CJobDlg::Current();
    if (job && WaitUntil([job] { return job->CurrentLine().value_or(0) >= 6; }, 30000)) {
        saved = Save(*job, out.filePath(QStringLiteral("job%1.png").arg(suffix))) && saved;
        // The next run finds the machine ready again.
        machine.QuitCutting();
        WaitUntil([&] { return panel.GetStatus().State() == MachineState::Ready; });
    } else {
        std::fprintf(stderr, "zr40-screenshots: the job window did not follow the job (%s)\n",
                     job ? qPrintable(job->findChild<QLabel*>("jobState")->text()) : "none");
        saved = false;
    }
    return saved ? 0 : 1;
}
