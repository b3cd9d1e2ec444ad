#pragma once

#include <QDialog>
#include <QPointer>

#include <vector>

class CPropertyPage;
class QPushButton;
class QStackedWidget;
class QTabBar;

// The modal property sheet of every settings dialog: a caption from the string table, one tab
// per page and only OK and Cancel. The sheet commits nothing itself; the code that opened it
// reads the pages after OK. A page that refuses to be left (OnKillActive false) keeps the user
// on it, both when another tab is chosen and on OK; Cancel, Escape and the window's close
// button ask the active page first (OnQueryCancel).
//
// The sheet does not own its pages: they are the opener's, and live at least as long as the
// sheet runs. Ctrl+Tab and Ctrl+Shift+Tab change pages from the keyboard.
class CSettingSheet : public QDialog
{
    Q_OBJECT

public:
    // Object names of the two buttons, as the platform's ids.
    static constexpr int OkId = 1;
    static constexpr int CancelId = 2;

    explicit CSettingSheet(int captionStringId, QWidget* parent = nullptr);
    ~CSettingSheet() override;

    void AddPage(CPropertyPage* page);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const;
    int GetActiveIndex() const;
    CPropertyPage* GetActivePage() const;
    // Changes to page index as a click on its tab does; false when the active page refused to
    // be left (or index is no page).
    bool SetActivePage(int index);

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void OnTabChosen(int index);

    QTabBar* m_tabs;
    QStackedWidget* m_stack;
    std::vector<QPointer<CPropertyPage>> m_pages;
    bool m_initialised = false;
    bool m_changingPage = false;
};
