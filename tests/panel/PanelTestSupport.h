#pragma once

// Shared pieces of the panel's widget tests, over the one application and the one answerer of
// tests/support: the application named as the panel's settings profile, the panel's stored
// settings, and the answerer set up the way the panel tests use it.

#include "ModalAnswerer.h"
#include "PanelMessageBox.h"
#include "WidgetTestApp.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QSettings>
#include <QThread>

#include <functional>
#include <ostream>
#include <string>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace panel_test {

inline const QString Organisation = QStringLiteral("Quenby Corporation");
inline const QString Profile = QStringLiteral("Quenby Miltaro Controller for ZR-40");

// The one application of the test program (private settings and lock folders), named as the
// panel's settings profile.
inline QApplication& App()
{
    static QApplication& app = []() -> QApplication& {
        QApplication& created = zr40_test::App();
        QCoreApplication::setOrganizationName(Organisation);
        QCoreApplication::setApplicationName(Profile);
        return created;
    }();
    return app;
}

using zr40_test::ConfigDir;

// The panel's section of the store, as another program would see it.
inline QSettings StoredSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, Organisation,
                     QCoreApplication::applicationName());
}

inline void ClearStoredSettings()
{
    QSettings settings = StoredSettings();
    settings.clear();
    settings.sync();
}

using zr40_test::WaitUntil;

// Keeps the event loop running for ms, for the checks that nothing happens meanwhile.
inline void Pump(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

using zr40_test::SeenBox;

// The panel tests' use of the one answerer: message boxes take the planned answers in turn and
// OK when none is planned; an action planned with an answer runs while the box is still open
// (to change the device model, or to look at the panel). Other modal windows (the wait dialogs,
// which close by themselves) go to OnOtherModal.
class BoxAnswerer : public zr40_test::ModalAnswerer
{
public:
    explicit BoxAnswerer(std::function<bool()> pollingProbe = {})
        : ModalAnswerer(Unplanned::AnswerBoxesOnly, std::move(pollingProbe))
    {
    }
    void Plan(int result, BoxAction action = {}) { AnswerBox(result, std::move(action)); }
};

} // namespace panel_test
