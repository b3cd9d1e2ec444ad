#pragma once

#include <QSettings>

// One pass over the panel's section of the per-user settings store, reading or writing: the
// same calls, in the same order, serve both directions, so that loading and saving can never
// differ in names or order. The store is the application's (organisation and application name
// of QCoreApplication, an INI file per user), section "Settings".
class CPanelSettingsExchange
{
public:
    static constexpr const char* Section = "Settings";
    // The panel's options beyond the five settings, in a section of their own.
    static constexpr const char* OptionsSection = "Options";

    explicit CPanelSettingsExchange(bool load, const char* section = Section);
    ~CPanelSettingsExchange();
    CPanelSettingsExchange(const CPanelSettingsExchange&) = delete;
    CPanelSettingsExchange& operator=(const CPanelSettingsExchange&) = delete;

    bool IsLoading() const { return m_load; }

    // Loading reads the stored integer with the current value as the default, and any non-zero
    // value is true; saving writes 1 or 0.
    void Exchange(const char* name, bool& value);
    // Loading reads the stored integer with the current value as the default (also when the
    // stored text is not a number); saving writes it as it is.
    void Exchange(const char* name, int& value);

private:
    bool m_load;
    QSettings m_settings;
};
