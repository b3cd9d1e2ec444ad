#pragma once

#include "PanelMessageBoxLayout.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

class QLabel;
class QPushButton;

// The program's own modal message box: the platform's style numbers (button set and icon), a
// replaceable caption per result code, sized to its text, and one optional hidden key that
// ends the box with the key's code.
class CPanelMessageBox : public QDialog
{
    Q_OBJECT

public:
    // Control ids of template 4000.
    static constexpr int TemplateId = 4000;
    static constexpr int TextId = 40000;
    static constexpr int IconId = 40004;
    static constexpr int ButtonIds[3] = {40001, 40002, 40003};
    // Captions of result codes 1..7 are strings 20000..20006.
    static constexpr int FirstCaptionString = 20000;

    CPanelMessageBox(const QString& text, uint32_t style, QWidget* parent = nullptr);

    void SetTitle(const QString& title) { m_title = title; }
    // Replaces the caption of one result code (1..7); other codes are ignored.
    void SetCaption(int resultCode, const QString& caption);
    void SetHotKey(int virtualKey, bool ctrl, bool alt, bool shift);

    // Runs the box modally: the clicked button's result, the Escape / Close result, or the hot
    // key's code.
    int exec() override;

    // The state after opening, for the callers' and the tests' inspection.
    const BoxButtonSet& GetButtonSet() const { return m_buttonSet; }
    bool IsCloseEnabled() const { return m_buttonSet.closeEnabled; }
    uint32_t GetHotKey() const { return m_hotKey; }
    const BoxTemplate& GetTemplate() const { return m_template; }

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void LoadIcon();
    // Ends the box with the key's code when the key and the modifiers held match the hot key.
    bool EndOnHotKey(const QKeyEvent& event);

    QString m_text;
    uint32_t m_style;
    QString m_title;
    std::array<QString, 7> m_captions;
    uint32_t m_hotKey = 0;
    BoxButtonSet m_buttonSet;
    BoxTemplate m_template;

    QLabel* m_textLabel;
    QLabel* m_iconLabel;
    std::array<QPushButton*, 3> m_buttons{};
};
