#include "CommandLine.h"

#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

CommandLineResult ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        FormatTemplate(LoadString(Str::SingleMachineTitle), {LoadString(Str::ModelName)}));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption simulatorOption(QStringLiteral("simulator"),
                                             LoadString(Str::SimulatorOption));
    parser.addOption(simulatorOption);

    CommandLineResult result;
    if (!parser.parse(arguments)) {
        result.action = CommandLineResult::Action::Exit;
        result.exitCode = 2;
        result.isError = true;
        result.output = parser.errorText() + u'\n';
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLineResult::Action::Exit;
        result.exitCode = 2;
        result.isError = true;
        result.output =
            LoadString(Str::UnexpectedArgument).arg(parser.positionalArguments().first()) + u'\n';
        return result;
    }
    // --help-all (Qt's options as well) gets the same text: the panel's own options are all
    // there is to know.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLineResult::Action::Exit;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.action = CommandLineResult::Action::Exit;
        result.output = QCoreApplication::applicationName() + u' ' +
                        QCoreApplication::applicationVersion() + u'\n';
        return result;
    }
    result.options.simulatorFirst = parser.isSet(simulatorOption);
    return result;
}
