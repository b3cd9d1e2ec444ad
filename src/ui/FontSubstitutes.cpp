#include "FontSubstitutes.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutes()
{
    const QStringList sansSerif = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                   QStringLiteral("DejaVu Sans")};
    // Japanese Gothic faces first, so Japanese text does not fall back glyph by glyph.
    const QStringList gothic = {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")};

    QFont::insertSubstitutions(QStringLiteral("Arial"), sansSerif);
    QFont::insertSubstitutions(QStringLiteral("Helvetica"), sansSerif);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sansSerif);
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), sansSerif);
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg 2"), sansSerif);
    for (const char* family : {"MS UI Gothic", "MS Gothic", "MS PGothic", "Meiryo", "Meiryo UI"}) {
        QFont::insertSubstitutions(QString::fromLatin1(family), gothic);
    }
}
