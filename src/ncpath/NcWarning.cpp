#include "NcWarning.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

const char* Describe(NcWarningKind kind)
{
    switch (kind) {
    case NcWarningKind::UnknownCode:
        return "unknown code %s, the line is not run";
    case NcWarningKind::UnknownWord:
        return "unknown word %s, the line is not run";
    case NcWarningKind::BadNumber:
        return "%s has no number, the line is not run";
    case NcWarningKind::UnclosedComment:
        return "comment without \")\"%s";
    case NcWarningKind::NoMotionMode:
        return "no G0, G1, G2 or G3 in force for %s, the line is not run";
    case NcWarningKind::ArcRadius:
        return "arc radius %s does not reach the end point, drawn as a straight line";
    case NcWarningKind::ArcEndOffCircle:
        return "arc end is not on its circle%s";
    case NcWarningKind::NotShown:
        return "%s is not shown in the path";
    case NcWarningKind::OutOfRange:
        return "%s is out of range, the line is not run";
    case NcWarningKind::EndOfData:
        return "NUL byte%s, the rest of the file is not read";
    case NcWarningKind::TooManyLines:
        return "too many lines%s, the rest of the file is not read";
    }
    return "%s";
}

} // namespace

std::string FormatNcWarning(const CNcWarning& warning)
{
    char word[sizeof warning.word + 1] = {};
    for (size_t i = 0; i < sizeof warning.word && warning.word[i]; ++i)
        word[i] = warning.word[i];
    char text[160];
    int used = std::snprintf(text, sizeof text,
                             "Line %llu: ", static_cast<unsigned long long>(warning.line + 1));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(text + used, sizeof text - used, Describe(warning.kind), word);
#pragma GCC diagnostic pop
    return text;
}

void CNcWarningList::Add(const CNcWarning& warning)
{
    if (m_kept.size() < kKept)
        m_kept.push_back(warning);
    ++m_count;
}

namespace {

uint64_t Taken(const CNcWarningList& list, const CNcWarningList& other, uint64_t first)
{
    const uint64_t room = CNcWarningList::kKept - list.Kept().size();
    return std::min<uint64_t>(room, other.Count() - first);
}

} // namespace

bool CNcWarningList::CanAppend(const CNcWarningList& other, uint64_t first) const
{
    return first <= other.Count() && first + Taken(*this, other, first) <= other.Kept().size();
}

void CNcWarningList::Append(const CNcWarningList& other, uint64_t first)
{
    const uint64_t taken = Taken(*this, other, first);
    m_kept.insert(m_kept.end(), other.Kept().begin() + ptrdiff_t(first),
                  other.Kept().begin() + ptrdiff_t(first + taken));
    m_count += other.Count() - first;
}
