#include "QtTranslations.h"

#include "StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallQtTranslations()
{
    if (!IsJapaneseUi())
        return true;
    // Lives as long as the program: the application keeps only a pointer to it.
    static QTranslator translator;
    if (!translator.isEmpty())
        return true;
    if (!translator.load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
