#include "TextFormat.h"

#include <QVariant>

QString FormatTemplate(const QString& format, const QVariantList& args)
{
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 == format.size()) {
            out.append(c);
            continue;
        }
        qsizetype j = i + 1;
        if (format.at(j) == u'%') {
            out.append(u'%');
            i = j;
            continue;
        }
        const bool zeroPad = format.at(j) == u'0';
        if (zeroPad)
            ++j;
        int width = 0;
        while (j < format.size() && format.at(j).isDigit()) {
            width = width * 10 + format.at(j).digitValue();
            ++j;
        }
        if (j == format.size() || (format.at(j) != u's' && format.at(j) != u'd')) {
            // Not a conversion this formatter knows: the text stays as written.
            out.append(c);
            continue;
        }
        const QVariant arg = next < args.size() ? args.at(next) : QVariant();
        ++next;
        if (format.at(j) == u's') {
            out.append(arg.toString().rightJustified(width, u' '));
        } else {
            const qlonglong value = arg.toLongLong();
            QString digits = QString::number(value < 0 ? -value : value);
            const int padWidth = width - (value < 0 ? 1 : 0);
            digits = digits.rightJustified(padWidth, zeroPad ? u'0' : u' ');
            if (value < 0) {
                if (zeroPad)
                    digits.prepend(u'-');
                else
                    digits = (QStringLiteral("-") + digits.trimmed()).rightJustified(width, u' ');
            }
            out.append(digits);
        }
        i = j;
    }
    return out;
}
