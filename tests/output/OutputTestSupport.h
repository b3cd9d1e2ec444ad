#pragma once

// Files for the output tests, written byte for byte into one temporary folder per test, and the
// settings store the output list is kept in.

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>

namespace zr40_test {

class TempFiles
{
public:
    // The path of name in the folder, as the bytes the output list keeps.
    QByteArray Path(std::string_view name) const
    {
        return m_dir.path().toLocal8Bit() + '/' + QByteArray(name.data(), qsizetype(name.size()));
    }
    QByteArray Write(std::string_view name, std::string_view content) const
    {
        const QByteArray path = Path(name);
        std::ofstream(path.constData(), std::ios::binary)
            .write(content.data(), std::streamsize(content.size()));
        return path;
    }
    static std::string Read(const QByteArray& path)
    {
        std::ifstream in(path.constData(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    QTemporaryDir m_dir;
};

// The per-user settings store of the application, as the product opens it.
inline QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

// Names the application (and with it the store) for this test program and empties the store.
inline void UseEmptyStore(const char* applicationName)
{
    QCoreApplication::setOrganizationName("Quenby Corporation");
    QCoreApplication::setApplicationName(applicationName);
    Store().clear();
}

// Puts entries into the store's output list, as a previous Output would have left them.
inline void StoreList(const QList<QByteArray>& entries)
{
    QSettings store = Store();
    store.setValue("OutputFiles/FileCount", int(entries.size()));
    for (int i = 0; i < entries.size(); ++i)
        store.setValue(QString("OutputFiles/File%1").arg(i), entries[i]);
}

} // namespace zr40_test
