#include "StringTable.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStringList>

#include <optional>

// The tables are TAB-separated text files compiled in as resources (res/strings.tsv and
// res/captions.tsv): "id, English, Japanese" and "template, control, English, Japanese". They are
// read once, on the first lookup, and kept for the life of the program.

namespace {

struct TextPair
{
    QString english;
    QString japanese;
};

struct Tables
{
    QHash<int, TextPair> strings;
    QHash<qint64, TextPair> captions;
};

qint64 CaptionKey(int templateId, int controlId)
{
    return (static_cast<qint64>(templateId) << 32) | static_cast<quint32>(controlId);
}

// Turns the escapes of the table files (\n, \r, \t, \\) into the characters they stand for. An
// unknown escape is kept as it is written, so a stray backslash never loses text.
QString Unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out.append(c);
            continue;
        }
        const QChar next = text.at(i + 1);
        if (next == u'n') {
            out.append(u'\n');
        } else if (next == u'r') {
            out.append(u'\r');
        } else if (next == u't') {
            out.append(u'\t');
        } else if (next == u'\\') {
            out.append(u'\\');
        } else {
            out.append(c);
            out.append(next);
        }
        ++i;
    }
    return out;
}

// Calls row(fields) for every data line of a table file; comment and empty lines are skipped.
template <typename RowHandler>
void ReadTable(const QString& path, qsizetype columns, RowHandler row)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QString content = QString::fromUtf8(file.readAll());
    const QStringList lines = content.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const QStringList fields = line.split(u'\t');
        if (fields.size() != columns) {
            continue;
        }
        row(fields);
    }
}

const Tables& LoadedTables()
{
    static const Tables tables = [] {
        Tables t;
        ReadTable(QStringLiteral(":/strings/strings.tsv"), 3, [&t](const QStringList& f) {
            bool ok = false;
            const int id = f.at(0).toInt(&ok);
            if (ok) {
                t.strings.insert(id, TextPair{Unescape(f.at(1)), Unescape(f.at(2))});
            }
        });
        ReadTable(QStringLiteral(":/strings/captions.tsv"), 4, [&t](const QStringList& f) {
            bool templateOk = false;
            bool controlOk = false;
            const int templateId = f.at(0).toInt(&templateOk);
            const int controlId = f.at(1).toInt(&controlOk);
            if (templateOk && controlOk) {
                t.captions.insert(CaptionKey(templateId, controlId),
                                  TextPair{Unescape(f.at(2)), Unescape(f.at(3))});
            }
        });
        return t;
    }();
    return tables;
}

std::optional<bool>& LanguageOverride()
{
    static std::optional<bool> japanese;
    return japanese;
}

const QString& Pick(const TextPair& pair)
{
    return IsJapaneseUi() ? pair.japanese : pair.english;
}

} // namespace

QString LoadString(int id)
{
    const Tables& tables = LoadedTables();
    const auto it = tables.strings.constFind(id);
    return it == tables.strings.cend() ? QString() : Pick(*it);
}

QString LoadCaption(int templateId, int controlId)
{
    const Tables& tables = LoadedTables();
    const auto it = tables.captions.constFind(CaptionKey(templateId, controlId));
    return it == tables.captions.cend() ? QString() : Pick(*it);
}

bool IsJapaneseUi()
{
    if (const std::optional<bool>& forced = LanguageOverride(); forced.has_value()) {
        return *forced;
    }
    // Chosen once: the language of a running program does not change under it.
    static const bool systemIsJapanese = QLocale::system().language() == QLocale::Japanese;
    return systemIsJapanese;
}

void SetUiLanguageForTesting(bool japanese)
{
    LanguageOverride() = japanese;
}
