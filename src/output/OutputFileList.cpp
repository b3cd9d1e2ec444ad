#include "OutputFileList.h"

#include "FileReader.h"
#include "UserFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

using Failure = CFileResult::Failure;

CFileResult Failed(Failure failure, const QByteArray& path, int error = 0)
{
    return CFileResult::Failed(failure, COutputFileList::DisplayText(path), error);
}

// Reads a list file's bytes.
CFileResult ReadListData(const QByteArray& path, QByteArray& data)
{
    CFileReader reader;
    if (const int error = reader.Open(path); error != 0)
        return Failed(Failure::Open, path, error);
    if (const int error = reader.ReadAll(data); error != 0)
        return Failed(Failure::Read, path, error);
    return {};
}

// The store keeps text that is valid UTF-8 as text, so that the settings file stays readable,
// and anything else as bytes; both read back as the same bytes.
QVariant StoreValue(const QByteArray& entry)
{
    const QString text = QString::fromUtf8(entry);
    if (text.toUtf8() == entry)
        return text;
    return entry;
}

bool WriteAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

QString COutputFileList::DisplayText(const QByteArray& entry)
{
    return QFile::decodeName(entry);
}

void COutputFileList::LoadFromStore()
{
    QSettings store = Store();
    store.beginGroup(QString::fromLatin1(Section));
    const int count = store.value(QStringLiteral("FileCount"), 0).toInt();
    m_entries.clear();
    // Only the values present are visited, in the order of their numbers, so that a count
    // damaged in the store (negative, or in the millions) costs no more than the entries there
    // are instead of a lookup for every number up to it.
    std::map<int, QByteArray> present;
    for (const QString& key : store.childKeys()) {
        bool isNumber = false;
        const int index = key.startsWith(QLatin1String("File")) ? key.mid(4).toInt(&isNumber) : -1;
        if (!isNumber || index < 0 || index >= count || key != QStringLiteral("File%1").arg(index))
            continue;
        const QByteArray entry = store.value(key).toByteArray();
        if (!entry.isEmpty())
            present.emplace(index, entry);
    }
    for (const auto& [index, entry] : present)
        m_entries.append(entry);
}

CFileResult COutputFileList::SaveToStore() const
{
    QSettings store = Store();
    store.beginGroup(QString::fromLatin1(Section));
    store.setValue(QStringLiteral("FileCount"), GetCount());
    for (int i = 0; i < GetCount(); ++i)
        store.setValue(QStringLiteral("File%1").arg(i), StoreValue(m_entries[i]));
    store.endGroup();
    store.sync();
    if (store.status() == QSettings::NoError)
        return {};
    // The list would be lost when the dialog closes: the user hears of it, with the store's
    // file, as of any file that cannot be written.
    const int error = store.status() == QSettings::AccessError ? EACCES : EIO;
    return CFileResult::Failed(Failure::Write, store.fileName(), error);
}

CFileResult COutputFileList::ReadListFile(const QByteArray& path)
{
    QByteArray data;
    if (CFileResult exists = CheckFileExists(path); !exists.Ok())
        return exists;
    if (CFileResult read = ReadListData(path, data); !read.Ok())
        return read;
    std::optional<QList<QByteArray>> entries = ParseListFile(data);
    if (!entries)
        return Failed(Failure::BadFormat, path);
    m_entries = std::move(*entries);
    return {};
}

CFileResult COutputFileList::MergeFile(const QByteArray& path)
{
    CFileResult result = CheckFileExists(path);
    if (result.Ok()) {
        // Only the first line decides: a cutting-data file of gigabytes is never read here.
        // Only a list file is read whole.
        CFileReader reader;
        Failure failure = Failure::Open;
        int error = reader.Open(path);
        QByteArray first;
        if (error == 0) {
            failure = Failure::Read;
            error = reader.ReadLine(first, qsizetype(Magic.size()) + 2);
        }
        if (error == 0 && IsMagicLine(first)) {
            QByteArray data;
            error = reader.ReadAll(data);
            if (error == 0) {
                if (std::optional<QList<QByteArray>> entries = ParseListFile(data)) {
                    m_entries.append(*entries);
                    return {};
                }
            }
        }
        if (error != 0)
            result = Failed(failure, path, error);
    }
    m_entries.append(path);
    return result;
}

CFileResult COutputFileList::WriteListFile(const QByteArray& path) const
{
    int openError = 0;
    const int fd = OpenUserFile(path.constData(), UserFileAccess::Replace, openError);
    if (fd < 0)
        return Failed(Failure::Open, path, openError);
    QByteArray data(Magic.data(), qsizetype(Magic.size()));
    data += "\r\n";
    for (const QByteArray& entry : m_entries)
        data += entry + "\r\n";
    const bool written = WriteAll(fd, data);
    int error = written ? 0 : errno;
    // A full disk may show only when the data reaches it, at close.
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        return Failed(Failure::Write, path, error);
    return {};
}

CFileResult COutputFileList::CheckFileExists(const QByteArray& path)
{
    if (::access(path.constData(), F_OK) == 0)
        return {};
    return Failed(Failure::NotFound, path);
}
