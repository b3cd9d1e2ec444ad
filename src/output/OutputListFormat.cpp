// The list-file format on its own, without files or messages, so that it can be exercised with
// arbitrary bytes.
#include "OutputFileList.h"

std::optional<QList<QByteArray>> COutputFileList::ParseListFile(const QByteArray& data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const qsizetype next = end < 0 ? data.size() : end + 1;
        if (end < 0)
            end = data.size();
        else if (end > start && data[end - 1] == '\r')
            --end;
        lines.append(data.mid(start, end - start));
        start = next;
    }
    if (lines.isEmpty() || lines.first() != QByteArray(Magic.data(), qsizetype(Magic.size())))
        return std::nullopt;
    lines.removeFirst();
    return lines;
}

bool COutputFileList::IsMagicLine(const QByteArray& start)
{
    // The first line read on its own is a list file of no entries exactly when it is the magic
    // line, so the line ends are those of ParseListFile by construction.
    return ParseListFile(start).has_value();
}
