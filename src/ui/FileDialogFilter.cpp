#include "FileDialogFilter.h"

#include <QRegularExpression>

QStringList FileDialogFilters(const QString& classic)
{
    const QStringList parts = classic.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            break;
        // The description often repeats its patterns in parentheses; they are rebuilt here.
        QString description = parts[i];
        if (const qsizetype open = description.lastIndexOf(QLatin1Char('(')); open > 0)
            description.truncate(open);
        description = description.trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

QString FilterExtension(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([^*?;.) ]+)[ )]"));
    return pattern.match(filter).captured(1);
}
