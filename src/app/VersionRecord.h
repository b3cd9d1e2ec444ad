#pragma once

#include <QString>

#include <map>
#include <optional>

// The program's version record: named text entries as an executable's version resource
// carries them ("FileVersion", "LegalCopyright", ...). The record of this executable is made
// from the project version and the legal notice the build compiles in.
class CVersionRecord
{
public:
    static constexpr const char* FileVersionKey = "FileVersion";
    static constexpr const char* LegalNoticeKey = "LegalCopyright";

    explicit CVersionRecord(std::map<QString, QString> entries) : m_entries(std::move(entries)) {}

    static const CVersionRecord& OfExecutable();

    // The entry's text; nothing when the record has no such entry.
    std::optional<QString> Query(const QString& key) const;

private:
    std::map<QString, QString> m_entries;
};
