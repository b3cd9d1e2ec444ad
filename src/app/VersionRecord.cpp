#include "VersionRecord.h"

#include "AppVersion.h"

const CVersionRecord& CVersionRecord::OfExecutable()
{
    static const CVersionRecord record({
        {QString::fromLatin1(FileVersionKey), QString::fromUtf8(AppVersion::FileVersion)},
        {QString::fromLatin1(LegalNoticeKey), QString::fromUtf8(AppVersion::LegalNotice)},
    });
    return record;
}

std::optional<QString> CVersionRecord::Query(const QString& key) const
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return std::nullopt;
    return it->second;
}
