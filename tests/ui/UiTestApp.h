#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// One QApplication for the whole test program, created before the first test runs.
class UiTestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "ui_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationDisplayName(QStringLiteral("ZR-40 test"));
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

inline ::testing::Environment* const uiTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new UiTestEnvironment);

// Runs a dialog modally while action runs inside its loop, once it is shown. A dialog that is
// still open after limitMs is ended with -99 so that a failing test cannot hang.
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
