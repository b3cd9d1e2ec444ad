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
    // The same line end as ParseListFile: LF, or CR LF; a lone CR belongs to the line.
    QByteArray line = start;
    if (line.endsWith('\n')) {
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
    } else if (line.size() > qsizetype(Magic.size())) {
        return false;
    }
    return line == QByteArray(Magic.data(), qsizetype(Magic.size()));
}
