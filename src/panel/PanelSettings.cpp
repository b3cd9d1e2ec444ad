#include "PanelSettings.h"

#include <QCoreApplication>
#include <QString>

CPanelSettingsExchange::CPanelSettingsExchange(bool load, const char* section)
    : m_load(load),
      m_settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                 QCoreApplication::applicationName())
{
    m_settings.beginGroup(QString::fromLatin1(section));
}

CPanelSettingsExchange::~CPanelSettingsExchange()
{
    m_settings.endGroup();
    // A failed write is not reported: the panel goes on with what it has.
    if (!m_load)
        m_settings.sync();
}

void CPanelSettingsExchange::Exchange(const char* name, bool& value)
{
    int number = value ? 1 : 0;
    Exchange(name, number);
    if (m_load)
        value = number != 0;
}

void CPanelSettingsExchange::Exchange(const char* name, int& value)
{
    const QString key = QString::fromLatin1(name);
    if (!m_load) {
        m_settings.setValue(key, value);
        return;
    }
    bool ok = false;
    const int stored = m_settings.value(key, value).toInt(&ok);
    if (ok)
        value = stored;
}
