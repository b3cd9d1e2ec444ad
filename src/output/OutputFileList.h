#pragma once

#include "FileResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <string_view>

// The ordered list of cutting-data files that go to the machine. Entries are byte strings,
// as a rule paths: Linux paths need not be valid UTF-8, so an entry read from a list file or
// the settings store is written back unchanged and is decoded only to show it.
//
// Failures of list-file operations come back as results, for the dialogs to show.
class COutputFileList
{
public:
    static constexpr std::string_view Magic = "MILDEK_OUTPUT_FILE_LIST";
    static constexpr const char* Section = "OutputFiles";

    int GetCount() const { return int(m_entries.size()); }
    const QByteArray& GetEntry(int index) const { return m_entries[index]; }
    const QList<QByteArray>& GetEntries() const { return m_entries; }
    void Append(const QByteArray& entry) { m_entries.append(entry); }
    void Insert(int index, const QByteArray& entry) { m_entries.insert(index, entry); }
    void Remove(int index) { m_entries.removeAt(index); }
    void Clear() { m_entries.clear(); }

    // The list in the per-user settings store: "FileCount", then "File0", "File1", ...
    // Loading skips empty values; saving leaves values past the new count in place (reading
    // stops at the count).
    void LoadFromStore();
    // A failed write is a Write failure of the store's file.
    CFileResult SaveToStore() const;

    // Replaces the list with the entries of a list file ("View List..."). A missing or
    // unreadable file, or one whose first line is not the magic, leaves the list unchanged.
    CFileResult ReadListFile(const QByteArray& path);
    // Adds a file to the list: a list file adds its entries, any other file (or one that cannot
    // be read, whose failure comes back) its own path.
    CFileResult MergeFile(const QByteArray& path);
    // The entries of a list file's contents: its lines after the magic first line, each ending
    // at LF or CR LF (a lone CR is part of its line; the last line may lack a terminator).
    // Nothing when the first line is not the magic.
    static std::optional<QList<QByteArray>> ParseListFile(const QByteArray& data);
    // Whether a file that starts with these bytes (its first line with its LF, or the whole
    // file when it has no LF within them) is a list file: its first line is the magic.
    static bool IsMagicLine(const QByteArray& start);
    // Writes the list as a list file, replacing an existing one.
    CFileResult WriteListFile(const QByteArray& path) const;

    // Succeeds when path exists (a folder too); otherwise a NotFound failure.
    static CFileResult CheckFileExists(const QByteArray& path);
    // An entry as text for the user.
    static QString DisplayText(const QByteArray& entry);

private:
    QList<QByteArray> m_entries;
};
