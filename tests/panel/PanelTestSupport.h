#pragma once

// Shared pieces of the panel's widget tests: one application with a private settings store, a
// wait that keeps the event loop running, and one helper that answers the modal boxes the panel
// raises.

#include "PanelMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace panel_test {

inline const QString Organisation = QStringLiteral("Quenby Corporation");
inline const QString Profile = QStringLiteral("Quenby Miltaro Controller for ZR-40");

// The settings store lives in a temporary folder, chosen before anything reads a setting.
inline QTemporaryDir& ConfigDir()
{
    static QTemporaryDir dir;
    return dir;
}

inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "panel_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("XDG_CONFIG_HOME", ConfigDir().path().toLocal8Bit().constData(), 1);
        auto* created = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(Organisation);
        QCoreApplication::setApplicationName(Profile);
        return created;
    }();
    return *app;
}

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

// Keeps the event loop running until done() holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

inline void Pump(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

// What a message box showed.
struct SeenBox
{
    QString text;
    QStringList captions; // of the visible buttons, left to right
    bool pollingWhileOpen = false;
};

// Watches for modal message boxes and answers each with the next planned answer (a result
// code), or with OK when nothing is planned. An action planned with the answer runs first,
// while the box is still open (to change the device model, or to look at the panel).
class BoxAnswerer
{
public:
    using Action = std::function<void(const SeenBox&)>;

    explicit BoxAnswerer(std::function<bool()> pollingProbe = {})
        : m_pollingProbe(std::move(pollingProbe))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Check(); });
        m_timer.start();
    }

    void Plan(int result, Action action = {}) { m_plan.push_back({result, std::move(action)}); }

    // Called once for each other modal window (the wait dialogs), which close by themselves.
    void OnOtherModal(std::function<void(QWidget*)> action) { m_otherModal = std::move(action); }

    const std::vector<SeenBox>& Seen() const { return m_seen; }
    int Count() const { return static_cast<int>(m_seen.size()); }

private:
    struct Answer
    {
        int result;
        Action action;
    };

    void Check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<CPanelMessageBox*>(modal);
        if (modal && !box && modal != m_lastOther) {
            m_lastOther = modal;
            if (m_otherModal)
                m_otherModal(modal);
        }
        if (!box || !box->isVisible() || box == m_answering)
            return;
        SeenBox seen;
        if (auto* label = box->findChild<QLabel*>(QString::number(CPanelMessageBox::TextId)))
            seen.text = label->text();
        for (int id : CPanelMessageBox::ButtonIds)
            if (auto* button = box->findChild<QPushButton*>(QString::number(id));
                button && button->isVisible())
                seen.captions << button->text();
        seen.pollingWhileOpen = m_pollingProbe && m_pollingProbe();
        m_seen.push_back(seen);
        Answer answer{1, {}};
        if (!m_plan.empty()) {
            answer = std::move(m_plan.front());
            m_plan.pop_front();
        }
        if (answer.action)
            answer.action(seen);
        m_answering = box;
        // Answering through done() gives the result exactly as a click on its button would.
        box->done(answer.result);
        m_answering = nullptr;
    }

    QTimer m_timer;
    std::function<bool()> m_pollingProbe;
    std::deque<Answer> m_plan;
    std::vector<SeenBox> m_seen;
    QObject* m_answering = nullptr;
    std::function<void(QWidget*)> m_otherModal;
    QPointer<QWidget> m_lastOther;
};

} // namespace panel_test
