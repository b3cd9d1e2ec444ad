// The program in Japanese: started with LANG=ja_JP.UTF-8 (set by the test's environment), every
// window the user can meet is opened on the simulator as the program opens it, and every text
// on it is checked: it is Japanese (or a name, unit or number that stays as it is), and it fits
// the control that shows it, measured in the control's own font.

#include "AboutDlg.h"
#include "ApplicationDialogs.h"
#include "CancelingDataDlg.h"
#include "ClearSettingsDlg.h"
#include "ColorLabel.h"
#include "ControlPanelApp.h"
#include "ControlPanelDlg.h"
#include "CutDataSet.h"
#include "CutDlg.h"
#include "FontSubstitutes.h"
#include "JogButton.h"
#include "MachineSelectDlg.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "PropertyPage.h"
#include "QtTranslations.h"
#include "SettingSheet.h"
#include "SimulatorProcess.h"
#include "StringTable.h"
#include "SystemReportDlg.h"
#include "TestCutDlg.h"
#include "ToolpathDlg.h"
#include "WaitSetupDlg.h"
#include "WidgetTestApp.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace zr40_test;

namespace {

// Latin words that stay as they are in the Japanese program: names of the product, the machine
// and its coordinate systems, units, and the button caption "OK".
const QStringList KeptWords = {
    QStringLiteral("Quenby"), QStringLiteral("Miltaro"),   QStringLiteral("Controller"),
    QStringLiteral("for"),    QStringLiteral("ZR"),        QStringLiteral("ZML"),
    QStringLiteral("EXOFS"),  QStringLiteral("NC"),        QStringLiteral("OK"),
    QStringLiteral("ON"),     QStringLiteral("OFF"),       QStringLiteral("mm"),
    QStringLiteral("inch"),   QStringLiteral("um"),        QStringLiteral("rpm"),
    QStringLiteral("No"),     QStringLiteral("Copyright"), QStringLiteral("Corporation"),
    QStringLiteral("All"),    QStringLiteral("rights"),    QStringLiteral("reserved"),
    QStringLiteral("nc"),     QStringLiteral("prn"),       QStringLiteral("IJKRXYZA"),
    QStringLiteral("V"),      QStringLiteral("simulated"), QStringLiteral("firmware"),
};

// A text reads as English when a Latin word of two letters or more is left after the kept words
// (G54, X, P1 and the like are one letter and digits).
bool ReadsAsEnglish(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    for (auto it = word.globalMatch(text); it.hasNext();)
        if (!KeptWords.contains(it.next().captured()))
            return true;
    return false;
}

QString Plain(QString text)
{
    // A mnemonic marker is not drawn ("&&" draws one ampersand).
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// Every problem found, one line each: "window / control: problem: text".
class TextAudit
{
public:
    // Checks the window and every visible control on it.
    void Window(QWidget* window, const std::string& name)
    {
        m_window = name;
        ++m_windows;
        Language(window->windowTitle(), "title");
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->isVisibleTo(window))
                Control(widget);
        }
    }

    const std::vector<std::string>& Problems() const { return m_problems; }
    int Windows() const { return m_windows; }
    int Texts() const { return m_texts; }

private:
    void Control(QWidget* widget)
    {
        const QFontMetrics metrics(widget->font());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
                return;
            Language(label->text(), Name(widget));
            const QRect room = label->contentsRect();
            const int flags = int(label->alignment()) |
                              (label->wordWrap() ? int(Qt::TextWordWrap) : 0) |
                              (label->hasSelectedText() ? 0 : int(Qt::TextShowMnemonic));
            const QRect needed = metrics.boundingRect(room, flags, label->text());
            Fit(needed.width() <= room.width() && needed.height() <= room.height(), widget,
                label->text(), needed.size(), room.size());
        } else if (auto* color = qobject_cast<CColorLabel*>(widget)) {
            if (color->GetText().isEmpty())
                return;
            Language(color->GetText(), Name(widget));
            const int room = widget->width() - 2 * CColorLabel::Margin;
            Fit(metrics.horizontalAdvance(color->GetText()) <= room, widget, color->GetText(),
                {metrics.horizontalAdvance(color->GetText()), 0}, {room, 0});
        } else if (auto* jog = qobject_cast<CJogButton*>(widget)) {
            if (jog->GetText().isEmpty())
                return;
            Language(jog->GetText(), Name(widget));
            Fit(metrics.horizontalAdvance(jog->GetText()) <= widget->width(), widget,
                jog->GetText(), {metrics.horizontalAdvance(jog->GetText()), 0},
                {widget->width(), 0});
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text().isEmpty())
                return;
            Language(button->text(), Name(widget));
            ButtonFit(button, metrics);
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            if (group->title().isEmpty())
                return;
            Language(group->title(), Name(widget));
            const int needed = metrics.horizontalAdvance(Plain(group->title()));
            Fit(needed <= group->width(), widget, group->title(), {needed, 0}, {group->width(), 0});
        } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                Language(tabs->tabText(i), Name(widget));
                const int needed = metrics.horizontalAdvance(Plain(tabs->tabText(i)));
                Fit(needed <= tabs->tabRect(i).width(), widget, tabs->tabText(i), {needed, 0},
                    tabs->tabRect(i).size());
            }
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i) {
                Language(combo->itemText(i), Name(widget));
                const int needed = metrics.horizontalAdvance(combo->itemText(i));
                Fit(needed <= field.width(), widget, combo->itemText(i), {needed, 0}, field.size());
            }
        } else if (auto* header = qobject_cast<QHeaderView*>(widget)) {
            QAbstractItemModel* model = header->model();
            for (int i = 0; model && i < header->count(); ++i) {
                const QString text = model->headerData(i, header->orientation()).toString();
                Language(text, Name(widget));
            }
        }
    }

    void ButtonFit(QAbstractButton* button, const QFontMetrics& metrics)
    {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(button))
            contents = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(button))
            contents = QStyle::SE_RadioButtonContents;
        QRect room = button->style()->subElementRect(contents, &option, button);
        if (!button->icon().isNull())
            room.setWidth(room.width() - button->iconSize().width() - 4);
        const QRect needed =
            metrics.boundingRect(room, Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
        Fit(needed.width() <= room.width() && needed.height() <= room.height(), button,
            button->text(), needed.size(), room.size());
    }

    void Language(const QString& text, const std::string& where)
    {
        if (text.isEmpty())
            return;
        ++m_texts;
        if (ReadsAsEnglish(Plain(text)))
            m_problems.push_back(m_window + " / " + where +
                                 ": not Japanese: " + text.toStdString());
    }

    void Fit(bool fits, QWidget* widget, const QString& text, QSize needed, QSize room)
    {
        if (!fits)
            m_problems.push_back(
                m_window + " / " + Name(widget) + ": needs " + std::to_string(needed.width()) +
                "x" + std::to_string(needed.height()) + ", has " + std::to_string(room.width()) +
                "x" + std::to_string(room.height()) + ": " + text.toStdString());
    }

    static std::string Name(QWidget* widget)
    {
        return std::string(widget->metaObject()->className()) + " " +
               widget->objectName().toStdString();
    }

    std::string m_window;
    std::vector<std::string> m_problems;
    int m_windows = 0;
    int m_texts = 0;
};

class JapaneseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        sim = std::make_unique<CSimulatorProcess>(std::vector<std::string>{"--speed", "200000"});
        ASSERT_TRUE(sim->Start());
    }

    // Starts the way the program starts: the fonts and Qt's texts installed, then the
    // application shell, which names the program, takes the simulator and runs inside(machine)
    // as its panel.
    void RunProgram(const std::function<void(CModelingMachine&)>& inside)
    {
        InstallFontSubstitutes();
        ASSERT_TRUE(InstallQtTranslations()) << "Qt's Japanese translation is not installed";
        StartupOptions options;
        options.simulatorFirst = true;
        bool ran = false;
        CControlPanelApp app([] { return std::make_unique<CModelingMachine>(); },
                             [&](CModelingMachine& machine) {
                                 ran = true;
                                 inside(machine);
                             },
                             options);
        EXPECT_EQ(app.InitInstance(), 0);
        EXPECT_TRUE(ran);
    }

    // The panel with the application's dialogs, after its first poll enabled Setup.
    void OpenPanel(CModelingMachine& machine)
    {
        answerer = std::make_unique<ModalAnswerer>(ModalAnswerer::Unplanned::AnswerOk);
        panel = std::make_unique<CControlPanelDlg>(&machine);
        panel->SetDialogs(&dialogs);
        panel->show();
        ASSERT_TRUE(WaitUntil([this] { return panel->GetControl(PanelId::Setup)->isEnabled(); }));
    }

    void TearDown() override
    {
        panel.reset();
        answerer.reset();
    }

    // Runs a modal window opened by open(): each of its tabs is audited under name, then the
    // window is rejected. inside runs after the audit, while the window is still open.
    void AuditModal(const std::string& name, const std::function<void()>& open,
                    const std::function<void(QWidget*)>& inside = {})
    {
        bool shown = false;
        answerer->Then([&, name](QWidget* window) {
            shown = true;
            AuditTabs(window, name);
            if (inside)
                inside(window);
            if (window->isVisible())
                QMetaObject::invokeMethod(window, "reject");
        });
        open();
        EXPECT_TRUE(shown) << name << " did not open";
    }

    // A window with tabs is audited once per tab, each tab shown.
    void AuditTabs(QWidget* window, const std::string& name)
    {
        auto* tabs = window->findChild<QTabWidget*>();
        if (!tabs) {
            audit.Window(window, name);
            return;
        }
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            audit.Window(window, name + " [" + tabs->tabText(i).toStdString() + "]");
        }
        tabs->setCurrentIndex(0);
    }

    // A window shown without a loop of its own, audited and closed.
    void AuditShown(QWidget& window, const std::string& name)
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window)) << name;
        AuditTabs(&window, name);
        window.close();
    }

    QByteArray WriteProgram(const char* name, const std::string& text)
    {
        const QByteArray path = folder.path().toLocal8Bit() + '/' + name;
        std::ofstream(path.constData(), std::ios::binary) << text;
        return path;
    }

    void AuditEveryWindow(CModelingMachine& machine);

    QTemporaryDir folder;
    TextAudit audit;
    std::unique_ptr<CSimulatorProcess> sim;
    CApplicationDialogs dialogs;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<CControlPanelDlg> panel;
};

TEST_F(JapaneseTest, EveryWindowShowsJapaneseTextsThatFitTheirControls)
{
    ASSERT_TRUE(IsJapaneseUi()) << "the test runs with LANG=ja_JP.UTF-8";
    RunProgram([this](CModelingMachine& machine) { AuditEveryWindow(machine); });
    for (const std::string& problem : audit.Problems())
        ADD_FAILURE() << problem;
    EXPECT_GE(audit.Windows(), 15);
    EXPECT_GT(audit.Texts(), 150);
}

void JapaneseTest::AuditEveryWindow(CModelingMachine& machine)
{
    OpenPanel(machine);
    audit.Window(panel.get(), "panel");

    // The sheets, as the panel opens them, and the sheet opened from the setup page.
    AuditModal(
        "Setup",
        [this] {
            QWidget* setup = panel->GetControl(PanelId::Setup);
            QTest::mouseClick(setup, Qt::LeftButton, {}, setup->rect().center());
        },
        [this](QWidget* sheet) {
            auto* page = static_cast<CSettingSheet*>(sheet)->GetPage(0);
            auto* ncCode = qobject_cast<QAbstractButton*>(page->GetControl(1066));
            ASSERT_NE(ncCode, nullptr);
            if (ncCode->isEnabled())
                AuditModal("NC Code setting", [ncCode] { ncCode->click(); });
        });
    AuditModal("Maintenance", [this] { panel->OnSysCommand(PanelMenu::Maintenance); });
    AuditModal("About", [this] { panel->OnSysCommand(PanelMenu::About); });

    // Cutting-data output: the Cut dialog with a program in its list, the test cut on it and
    // the toolpath view.
    const QByteArray program =
        WriteProgram("a1.nc", "%\r\nG90 G0 X2 Y2\r\nG1 X10 F300\r\nG2 X20 Y2 I5 J0\r\n");
    {
        CCutDlg cut(machine, panel.get());
        AuditShown(cut, "Cut");
    }
    {
        MachineSettings settings;
        ASSERT_TRUE(machine.GetMachineSettings(settings));
        settings.commandSet = 1; // NC code: the test cut runs NC programs
        ASSERT_TRUE(machine.SetMachineSettings(settings));
        CCutDataSet set;
        ASSERT_TRUE(set.AddFile(program).Ok());
        CTestCutDlg testCut(*panel, set);
        answerer->Then([&](QWidget* window) {
            AuditTabs(window, "Test Cut");
            CToolpathDlg toolpath(window);
            toolpath.OpenData("a1.nc", "G90 G0 X2 Y2\nG1 X10 F300\nG2 X20 Y2 I5 J0\n", {});
            AuditShown(toolpath, "Toolpath");
            testCut.reject();
        });
        testCut.exec();
    }

    // The wait dialogs, the report, the machine choice and the message boxes.
    {
        CWaitSetupDlg wait(&machine);
        AuditShown(wait, "WaitSetup");
        CCancelingDataDlg canceling(&machine);
        AuditShown(canceling, "CancelingData");
        CClearSettingsDlg clearing(&machine);
        AuditShown(clearing, "ClearSettings");
    }
    {
        CSystemReportDlg report("X 1\r\n");
        AuditShown(report, "System report");
        CMachineSelectDlg select({QStringLiteral("ZR-40"), QStringLiteral("ZR-40 (2)")});
        AuditShown(select, "Machine select");
    }
    // Message boxes with each set of buttons (the platform's style numbers: abort / retry /
    // ignore, yes / no, OK / cancel, retry / cancel, yes / no / cancel), laid out as they open.
    for (const auto& [id, style] : std::vector<std::pair<int, uint32_t>>{
             {21010, 0x12}, {111, 0x24}, {21074, 0x31}, {21049, 0x35}, {122, 0x43}}) {
        CPanelMessageBox box(LoadString(id), style, panel.get());
        AuditModal("message " + std::to_string(id), [&box] { box.exec(); });
    }
    // The panel goes before the machine it shows.
    panel.reset();
}

} // namespace
