#include "PanelProgram.h"

#include "AppVersion.h"
#include "ApplicationDialogs.h"
#include "CommandLine.h"
#include "ControlPanelApp.h"
#include "ControlPanelDlg.h"
#include "FontSubstitutes.h"
#include "ModelingMachine.h"
#include "QtTranslations.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

void RunControlPanel(CModelingMachine& machine)
{
    CApplicationDialogs dialogs;
    CControlPanelDlg panel(&machine);
    panel.SetDialogs(&dialogs);
    panel.exec();
}

namespace {

void NameProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("zr40-panel"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppVersion::Version));
}

int Print(const CommandLineResult& command)
{
    const QByteArray text = command.output.toLocal8Bit();
    std::fputs(text.constData(), command.isError ? stderr : stdout);
    return command.exitCode;
}

// Whether QApplication can find a window system; when it cannot, it aborts, so a command-line
// error is better reported before it is created.
bool HasWindowSystem(const QStringList& arguments)
{
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return true;
    }
    return arguments.contains(QStringLiteral("-platform")) ||
           arguments.contains(QStringLiteral("--platform"));
}

} // namespace

int RunPanelProgram(int argc, char** argv)
{
    // --help and --version are answered before any window system is needed, so they work
    // without a display. Everything else is decided after QApplication has taken its own
    // options (-platform, -display, ...) off the command line.
    {
        QCoreApplication probe(argc, argv);
        NameProgram();
        const CommandLineResult early = ParseCommandLine(QCoreApplication::arguments());
        if (early.action == CommandLineResult::Action::Exit &&
            (!early.isError || !HasWindowSystem(QCoreApplication::arguments())))
            return Print(early);
    }

    QApplication application(argc, argv);
    NameProgram();
    // Before the first window: the fonts the windows ask for, and Qt's own texts in the
    // interface language (a missing translation leaves Qt's English, nothing worse).
    InstallFontSubstitutes();
    InstallQtTranslations();
    const CommandLineResult command = ParseCommandLine(QCoreApplication::arguments());
    if (command.action == CommandLineResult::Action::Exit)
        return Print(command);

    CControlPanelApp app([] { return std::make_unique<CModelingMachine>(); }, RunControlPanel,
                         command.options);
    return app.InitInstance();
}
