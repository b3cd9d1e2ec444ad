#pragma once

// The one QApplication of a widget test program, and the runner for a dialog under test.

#include "WaitUntil.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace zr40_test {

// The private settings folder (XDG_CONFIG_HOME) of this test program.
inline QTemporaryDir& ConfigDir()
{
    static QTemporaryDir dir;
    return dir;
}

// The application, created on first use with the settings store (XDG_CONFIG_HOME) and the lock
// files (ZR40_LOCK_DIR) in private temporary folders, so that a test never meets a panel running
// on this computer, nor another test program. It lives until the process ends. Tests name the
// application themselves where the settings profile matters.
inline QApplication& App()
{
    static QTemporaryDir lockDir;
    static int argc = 1;
    static char name[] = "zr40_widget_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("XDG_CONFIG_HOME", ConfigDir().path().toLocal8Bit().constData(), 1);
        ::setenv("ZR40_LOCK_DIR", lockDir.path().toLocal8Bit().constData(), 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Creates the application before the first test of every program that includes this header.
class WidgetTestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { App(); }
};

inline ::testing::Environment* const widgetTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetTestEnvironment);

// Runs the dialog under test modally while action runs inside its loop, once it is shown. A
// dialog still open after limitMs is ended with -99, so that a failing test cannot hang.
inline int RunModal(QDialog& dialog, const std::function<void()>& action, int limitMs = 5000)
{
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, action);
    QTimer::singleShot(limitMs, &dialog, [guard] {
        if (guard && guard->isVisible())
            guard->done(-99);
    });
    return dialog.exec();
}


} // namespace zr40_test
