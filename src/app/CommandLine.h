#pragma once

#include <QString>
#include <QStringList>

// How the start-up is to run, as the command line asked.
struct StartupOptions
{
    // Try the simulator before any installed machine, as if the hidden key had been pressed
    // in the first no-machine box.
    bool simulatorFirst = false;
};

// What main does after the command line was read.
struct CommandLineResult
{
    enum class Action
    {
        Run, // start the panel with options
        Exit // print output and end with exitCode
    };
    Action action = Action::Run;
    int exitCode = 0;
    QString output;       // help or version text (standard output), or an error (standard error)
    bool isError = false; // output goes to standard error
    StartupOptions options;
};

// Reads --simulator, --help and --version; arguments[0] is the program. Nothing is printed
// here and the process is never ended, so the caller (and a test) decides what happens.
CommandLineResult ParseCommandLine(const QStringList& arguments);
