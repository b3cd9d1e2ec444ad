// The panel on the simulator for a bounded time (ZR40_SOAK_SECONDS, 600 by default): random
// operations as a user makes them (jog keys in every step and held, the moves to the origin,
// origin sets, spindle, speed mode and override, the shown coordinate system, the Setup sheet
// confirmed or cancelled) and between them random faults (unplug, power-off, emergency stop,
// command errors paused and not, answers delayed past the handshake and past the acceptance
// waits, a simulator that stops answering, the simulator killed and restarted). Every message
// box is answered as a user might, choosing Retry when the machine was lost.
//
// After every step it checks: the window's event loop was never held for more than a second by
// the panel (while the machine answers late, for no longer than one transaction's waits); once the
// machine stands still, the read-out equals the simulator's position within one display step; the
// output list in the store is as it was; no file appeared that nobody asked for; and at the end,
// that memory stayed flat after the warm-up. It prints the steps, the faults survived and the
// violations, which must be none. ZR40_SOAK_SEED repeats a run.
#include "ApplicationDialogs.h"
#include "ColorLabel.h"
#include "ControlPanelDlg.h"
#include "JogButton.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "PositionFormat.h"
#include "SettingSheet.h"
#include "SimulatorProcess.h"
#include "UpDownArrows.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* Organisation = "Quenby Corporation";
constexpr int HeldLimitMs = 1000;
// While the machine answers late, one transaction may hold the window for as long as its waits
// allow (the command layer waits on the window's thread): the acceptance wait and one transfer.
constexpr int SlowHeldLimitMs = CModelingMachine::WaitLimitMs + 1000;
// Memory may grow this much after the warm-up (caches, fonts, the allocator's own slack).
constexpr long RssSlackKb = 20 * 1024;

long RssKb()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int EnvInt(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

class Soak
{
public:
    Soak(int seconds, unsigned seed) : m_seconds(seconds), m_random(seed) {}

    void Run();

    int steps = 0;
    int faults = 0;
    std::vector<std::string> violations;

private:
    using Clock = std::chrono::steady_clock;

    // --- set-up ---------------------------------------------------------------------------
    bool StartSimulator();
    void OpenPanel();
    void StoreOutputList();

    // --- operations and faults ------------------------------------------------------------
    void RandomOperation();
    void RandomFault();
    void SlowAnswers(const std::string& setting);
    void Restore();
    void Click(int id);
    CJogButton* Button(int id) const { return m_panel->GetButton(id); }
    QRadioButton* Radio(int id) const
    {
        return static_cast<QRadioButton*>(m_panel->GetControl(id));
    }
    bool Enabled(int id) const { return m_panel->GetControl(id)->isEnabled(); }
    // The driver's own blocking calls (the simulator's control socket, its restart) are not the
    // panel holding its window.
    std::string Control(const std::string& command);

    // --- modal windows --------------------------------------------------------------------
    void AnswerModal();

    // --- checks ---------------------------------------------------------------------------
    void Heartbeat();
    void CheckAfterStep();
    bool WaitConnected(int ms);
    void CheckPosition();
    void CheckStore();
    void CheckFiles();
    std::set<QString> Files() const;
    void Violation(const std::string& text);

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }
    void Pump(int ms);
    bool WaitUntil(const std::function<bool()>& done, int ms);

    const int m_seconds;
    std::mt19937 m_random;
    QTemporaryDir m_work;
    std::unique_ptr<CSimulatorProcess> m_sim;
    std::unique_ptr<CModelingMachine> m_machine;
    CApplicationDialogs m_dialogs;
    std::unique_ptr<CControlPanelDlg> m_panel;
    QTimer m_answerTimer;
    QTimer m_heartbeat;
    QElapsedTimer m_sinceBeat;
    bool m_driverBlocking = false;
    // Until then the machine answers late (and a little beyond, for a transaction under way).
    QDeadlineTimer m_slowAnswers;
    std::string m_lastFault = "none";
    // What undoes the fault in place; run when the panel reports it, else after the step.
    std::function<void()> m_restore;
    bool m_sheetOk = true;
    QWidget* m_otherModal = nullptr;
    QElapsedTimer m_otherModalSince;
    QMap<QString, QVariant> m_outputList;
    std::set<QString> m_files;
    QString m_settingsFile;
};

// --- set-up ---------------------------------------------------------------------------------

bool Soak::StartSimulator()
{
    m_sim = std::make_unique<CSimulatorProcess>(
        std::vector<std::string>{"--speed", "50000", "--quit-skip-ms", "300"});
    return m_sim->Start();
}

void Soak::OpenPanel()
{
    m_machine = std::make_unique<CModelingMachine>();
    ASSERT_TRUE(m_machine->UseSimulator({}));
    MachineSettings settings;
    ASSERT_TRUE(m_machine->GetMachineSettings(settings));
    settings.commandSet = 2; // every coordinate system offered
    ASSERT_TRUE(m_machine->SetMachineSettings(settings));
    m_panel = std::make_unique<CControlPanelDlg>(m_machine.get());
    m_panel->SetDialogs(&m_dialogs);
    m_panel->show();
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::KeyXPlus); }, 10000));
}

// A list the panel has no business changing: every step must leave it as it is.
void Soak::StoreOutputList()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, Organisation,
                    QCoreApplication::applicationName());
    m_settingsFile = store.fileName();
    const QStringList entries = {"/soak/one.nc", "/soak/two.ofl", "/soak/three.nc"};
    store.setValue("OutputFiles/FileCount", entries.size());
    for (int i = 0; i < entries.size(); ++i)
        store.setValue(QStringLiteral("OutputFiles/File%1").arg(i), entries[i]);
    store.sync();
    store.beginGroup("OutputFiles");
    for (const QString& key : store.childKeys())
        m_outputList[key] = store.value(key);
}

// --- the run --------------------------------------------------------------------------------

void Soak::Run()
{
    ASSERT_TRUE(m_work.isValid());
    ASSERT_TRUE(QDir::setCurrent(m_work.path()));
    ASSERT_TRUE(StartSimulator());
    StoreOutputList();
    OpenPanel();
    if (::testing::Test::HasFatalFailure())
        return;
    m_files = Files();

    QObject::connect(&m_answerTimer, &QTimer::timeout, [this] { AnswerModal(); });
    m_answerTimer.start(5);
    QObject::connect(&m_heartbeat, &QTimer::timeout, [this] { Heartbeat(); });
    m_sinceBeat.start();
    m_heartbeat.start(50);

    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(m_seconds);
    const auto warmUp = start + std::chrono::seconds(std::max(30, m_seconds / 10));
    long baselineKb = 0;
    while (Clock::now() < end && m_panel->isVisible()) {
        if (Chance(0.2)) {
            RandomFault();
            ++faults;
        } else {
            RandomOperation();
        }
        ++steps;
        CheckAfterStep();
        if (baselineKb == 0 && Clock::now() >= warmUp)
            baselineKb = RssKb();
    }
    if (!m_panel->isVisible())
        Violation("the panel closed");
    const long finalKb = RssKb();
    if (baselineKb > 0 && finalKb - baselineKb > RssSlackKb)
        Violation("memory grew from " + std::to_string(baselineKb / 1024) +
                  " MB after the warm-up to " + std::to_string(finalKb / 1024) + " MB");
    std::printf("soak: %d steps, %d faults survived, %zu violations; RSS %ld MB after the warm-up, "
                "%ld MB at the end\n",
                steps, faults, violations.size(), baselineKb / 1024, finalKb / 1024);
    m_heartbeat.stop();
    m_answerTimer.stop();
    m_panel.reset();
    m_machine->CloseMachine();
}

// --- operations -----------------------------------------------------------------------------

void Soak::Click(int id)
{
    QWidget* control = m_panel->GetControl(id);
    if (!control->isEnabled())
        return;
    if (auto* button = qobject_cast<CJogButton*>(control))
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    else if (auto* radio = qobject_cast<QRadioButton*>(control))
        radio->click();
}

void Soak::RandomOperation()
{
    static constexpr int Keys[] = {PanelId::KeyXPlus,  PanelId::KeyXMinus, PanelId::KeyYUpper,
                                   PanelId::KeyYLower, PanelId::KeyZPlus,  PanelId::KeyZMinus};
    const int key = Keys[Pick(6)];
    switch (Pick(10)) {
    case 0:
    case 1:
    case 2: // a step on a key
        Click(PanelId::StepX100 + Pick(3));
        Click(key);
        break;
    case 3: { // a key held in "continue", released after a while
        Click(PanelId::StepContinue);
        CJogButton* button = Button(key);
        if (!button->isEnabled())
            break;
        QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
        Pump(100 + Pick(900));
        QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
        break;
    }
    case 4: // to the origin, sometimes stopped on the way
        if (Chance(0.3))
            QTimer::singleShot(100 + Pick(500), m_panel.get(), [this] { Click(PanelId::Stop); });
        Click(Chance(0.5) ? PanelId::MoveXY : PanelId::MoveZ);
        break;
    case 5:
        Click(Chance(0.5) ? PanelId::SetOriginXY : PanelId::SetOriginZ);
        break;
    case 6:
        Click(Chance(0.5) ? PanelId::SpindleOn : PanelId::SpindleOff);
        break;
    case 7: { // speed mode and override
        Click(Chance(0.3) ? PanelId::SpeedAuto : PanelId::SpeedManual);
        auto* arrows = static_cast<CUpDownArrows*>(m_panel->GetControl(PanelId::OverrideArrows));
        if (arrows->isEnabled())
            for (int i = Pick(4); i >= 0; --i)
                QTest::mouseClick(Chance(0.5) ? arrows->GetUpButton() : arrows->GetDownButton(),
                                  Qt::LeftButton);
        break;
    }
    case 8: { // the shown coordinate system
        auto* list = static_cast<QComboBox*>(m_panel->GetControl(PanelId::ShownSystemList));
        if (list->isEnabled() && list->count() > 0) {
            list->setCurrentIndex(Pick(list->count()));
            emit list->activated(list->currentIndex());
        }
        break;
    }
    case 9: // the Setup sheet, confirmed or cancelled
        m_sheetOk = Chance(0.5);
        Click(PanelId::Setup);
        break;
    }
    Pump(Pick(300));
}

std::string Soak::Control(const std::string& command)
{
    m_lastFault = command;
    m_driverBlocking = true;
    const std::string answer = m_sim->Control(command);
    m_driverBlocking = false;
    m_sinceBeat.restart();
    return answer;
}

// Delays the simulator's answers past the panel's waits with the given control setting; while
// the delay is in place (and one transaction's limit after), the window may be held longer.
void Soak::SlowAnswers(const std::string& setting)
{
    Control(setting + " 3500");
    m_slowAnswers.setRemainingTime(-1);
    m_restore = [this, setting] {
        Control(setting + " 0");
        m_slowAnswers.setRemainingTime(SlowHeldLimitMs);
    };
}

void Soak::RandomFault()
{
    Restore();
    switch (Pick(9)) {
    case 0:
        Control("unplug");
        m_restore = [this] { Control("replug"); };
        break;
    case 1:
        Control(Chance(0.5) ? "power-off" : "power-off auto");
        m_restore = [this] { Control("power-on"); };
        break;
    case 2:
        Control("estop " + std::to_string(1 + Pick(20)));
        m_restore = [this] { Control("state 2"); };
        break;
    case 3:
        Control("command-error " + std::to_string(100 + Pick(100)) +
                (Chance(0.5) ? " paused" : ""));
        break;
    case 4: // every answer later than a handshake waits
        SlowAnswers("delay");
        break;
    case 5: // commands accepted later than the acceptance wait
        SlowAnswers("accept-delay");
        break;
    case 6:
        Control("stop-answering");
        m_restore = [this] { Control("resume-answering"); };
        break;
    case 7: { // killed and restarted: another machine as far as the panel knows
        m_lastFault = "kill and restart";
        m_driverBlocking = true;
        m_sim->Kill();
        const bool started = m_sim->Start();
        m_driverBlocking = false;
        m_sinceBeat.restart();
        if (!started)
            Violation("the simulator did not restart");
        break;
    }
    case 8: // a fault during an operation: the operation first, then the fault lands in it
        QTimer::singleShot(50 + Pick(300), m_panel.get(), [this] {
            Control("unplug");
            m_restore = [this] { Control("replug"); };
        });
        RandomOperation();
        break;
    }
    Pump(200 + Pick(1800));
    Restore();
}

void Soak::Restore()
{
    if (!m_restore)
        return;
    const std::function<void()> restore = std::move(m_restore);
    m_restore = nullptr;
    restore();
}

// --- modal windows --------------------------------------------------------------------------

void Soak::AnswerModal()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<CPanelMessageBox*>(modal)) {
        if (!box->isVisible())
            return;
        // The user answers after the cause has gone away (a cable plugged back in).
        Restore();
        std::vector<QPushButton*> buttons;
        bool retry = false;
        for (int id : CPanelMessageBox::ButtonIds)
            if (auto* button = box->findChild<QPushButton*>(QString::number(id));
                button && button->isVisible()) {
                buttons.push_back(button);
                retry = retry || button->text().remove('&') == QStringLiteral("Retry");
            }
        if (buttons.empty())
            return;
        // A lost machine is always retried: ending would end the run.
        if (retry)
            box->done(6);
        else
            buttons[static_cast<size_t>(Pick(static_cast<int>(buttons.size())))]->click();
        return;
    }
    if (auto* sheet = qobject_cast<CSettingSheet*>(modal)) {
        auto* buttons =
            sheet->findChild<QWidget*>(QStringLiteral("buttons"), Qt::FindDirectChildrenOnly);
        const int id = m_sheetOk ? CSettingSheet::OkId : CSettingSheet::CancelId;
        if (auto* button =
                buttons ? buttons->findChild<QAbstractButton*>(QString::number(id)) : nullptr)
            button->click();
        return;
    }
    // Other windows (the waits while the machine sets itself up or skips data) close by
    // themselves; one that stays for half a minute is stuck.
    if (modal != m_otherModal) {
        m_otherModal = modal;
        m_otherModalSince.start();
    } else if (modal && m_otherModalSince.elapsed() > 30000) {
        Violation("a window stayed open: " + modal->windowTitle().toStdString() + " (" +
                  modal->metaObject()->className() + ")");
        modal->close();
        m_otherModal = nullptr;
    }
}

// --- checks ---------------------------------------------------------------------------------

void Soak::Heartbeat()
{
    const qint64 gap = m_sinceBeat.restart();
    const int limit = m_slowAnswers.hasExpired() ? HeldLimitMs : SlowHeldLimitMs;
    if (gap > limit && !m_driverBlocking)
        Violation("the window's event loop was held for " + std::to_string(gap) + " ms");
}

void Soak::CheckAfterStep()
{
    Restore();
    if (!WaitConnected(20000)) {
        Violation("the panel did not reconnect");
        return;
    }
    CheckPosition();
    CheckStore();
    CheckFiles();
}

bool Soak::WaitConnected(int ms)
{
    return WaitUntil(
        [this] {
            return m_panel->IsConnected() && !QApplication::activeModalWidget() &&
                   !m_panel->IsWaiting();
        },
        ms);
}

// Once the machine stands still the read-out shows where it is, relative to the shown system.
void Soak::CheckPosition()
{
    AxisTriple position{};
    const auto standing = [&] {
        const std::map<std::string, std::string> status = m_sim->Status();
        const auto state = status.find("state");
        const std::vector<long> p = m_sim->Position();
        if (state == status.end() || state->second != "2" || p.size() != 3)
            return false;
        const AxisTriple now{static_cast<int32_t>(p[0]), static_cast<int32_t>(p[1]),
                             static_cast<int32_t>(p[2])};
        const bool still = now == position;
        position = now;
        return still;
    };
    m_driverBlocking = true;
    const bool stands = WaitUntil(standing, 15000);
    m_driverBlocking = false;
    m_sinceBeat.restart();
    if (!stands)
        return; // a job, an emergency stop or a power-off: nothing to compare
    const double step = m_panel->Metric ? 0.01 : 0.001;
    const std::array<int, 3> ids = {PanelId::ValueX, PanelId::ValueY, PanelId::ValueZ};
    const auto matches = [&] {
        if (!m_panel->IsConnected())
            return true;
        const AxisTriple origin = m_panel->GetCurrentOrigin();
        for (size_t axis = 0; axis < 3; ++axis) {
            const QString shown =
                static_cast<CColorLabel*>(m_panel->GetControl(ids[axis]))->GetText();
            const double expected =
                FormatPosition(position[axis] - origin[axis], m_panel->Metric).toDouble();
            bool number = false;
            const double value = shown.toDouble(&number);
            if (!number || std::abs(value - expected) > step * 1.001)
                return false;
        }
        return true;
    };
    if (!WaitUntil(matches, 3000)) {
        const AxisTriple origin = m_panel->GetCurrentOrigin();
        std::string shown;
        for (int id : ids)
            shown +=
                static_cast<CColorLabel*>(m_panel->GetControl(id))->GetText().toStdString() + " ";
        Violation("read-out " + shown + "for the machine at " + std::to_string(position[0]) + " " +
                  std::to_string(position[1]) + " " + std::to_string(position[2]) +
                  " with the origin " + std::to_string(origin[0]) + " " +
                  std::to_string(origin[1]) + " " + std::to_string(origin[2]));
    }
}

void Soak::CheckStore()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, Organisation,
                    QCoreApplication::applicationName());
    store.beginGroup("OutputFiles");
    QMap<QString, QVariant> now;
    for (const QString& key : store.childKeys())
        now[key] = store.value(key);
    if (now != m_outputList)
        Violation("the output list in the store changed");
}

std::set<QString> Soak::Files() const
{
    std::set<QString> files;
    for (const QString& root : {m_work.path(), QFileInfo(m_settingsFile).path()}) {
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.insert(it.next());
    }
    return files;
}

// Only the settings file may appear (the panel saves its settings when asked to).
void Soak::CheckFiles()
{
    for (const QString& file : Files())
        if (!m_files.contains(file) && file != m_settingsFile && !file.endsWith(".lock")) {
            Violation("a file appeared that nobody asked for: " + file.toStdString());
            m_files.insert(file);
        }
}

void Soak::Violation(const std::string& text)
{
    if (violations.size() < 50)
        std::printf("violation after step %d: %s (last simulator command: %s)\n", steps,
                    text.c_str(), m_lastFault.c_str());
    violations.push_back(text);
}

void Soak::Pump(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool Soak::WaitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(Soak, RandomOperationsAndFaultsLeaveNoViolation)
{
    const int seconds = EnvInt("ZR40_SOAK_SECONDS", 600);
    const auto seed =
        static_cast<unsigned>(EnvInt("ZR40_SOAK_SEED", static_cast<int>(time(nullptr))));
    std::printf("soak: %d s, seed %u\n", seconds, seed);
    Soak soak(seconds, seed);
    soak.Run();
    EXPECT_GT(soak.steps, 0);
    EXPECT_TRUE(soak.violations.empty());
}

} // namespace

int main(int argc, char** argv)
{
    // Private settings and lock files, so that a panel of this computer's user is never met.
    QTemporaryDir config;
    QTemporaryDir locks;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("ZR40_LOCK_DIR", locks.path().toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(Organisation));
    QCoreApplication::setApplicationName(QStringLiteral("zr40-soak"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
