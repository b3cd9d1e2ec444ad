#include "OutputFileList.h"

#include "AlarmText.h"
#include "FileErrorMessage.h"
#include "FileReader.h"
#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"
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

// Reads a list file's bytes; the errno of a failure is shown with the path, giving false.
bool ReadListData(const QByteArray& path, QWidget* parent, QByteArray& data)
{
    CFileReader reader;
    if (const int error = reader.Open(path); error != 0) {
        ShowFileError(parent, error, COutputFileList::DisplayText(path), FileOperation::Open);
        return false;
    }
    if (const int error = reader.ReadAll(data); error != 0) {
        ShowFileError(parent, error, COutputFileList::DisplayText(path), FileOperation::Read);
        return false;
    }
    return true;
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

bool COutputFileList::SaveToStore(QWidget* parent) const
{
    QSettings store = Store();
    store.beginGroup(QString::fromLatin1(Section));
    store.setValue(QStringLiteral("FileCount"), GetCount());
    for (int i = 0; i < GetCount(); ++i)
        store.setValue(QStringLiteral("File%1").arg(i), StoreValue(m_entries[i]));
    store.endGroup();
    store.sync();
    if (store.status() == QSettings::NoError)
        return true;
    // The list would be lost when the dialog closes: the user hears of it, with the store's
    // file, as of any file that cannot be written.
    const int error = store.status() == QSettings::AccessError ? EACCES : EIO;
    ShowFileError(parent, error, store.fileName(), FileOperation::Write);
    return false;
}

COutputFileList::ReadResult COutputFileList::ReadListFile(const QByteArray& path, QWidget* parent)
{
    QByteArray data;
    if (!CheckFileExists(path, parent) || !ReadListData(path, parent, data))
        return ReadResult::NotOpened;
    std::optional<QList<QByteArray>> entries = ParseListFile(data);
    if (!entries) {
        ShowFileMessage(parent, LoadString(Str::FileBadFormat).arg(DisplayText(path)));
        return ReadResult::BadFormat;
    }
    m_entries = std::move(*entries);
    return ReadResult::Replaced;
}

void COutputFileList::MergeFile(const QByteArray& path, QWidget* parent)
{
    if (CheckFileExists(path, parent)) {
        // Only the first line decides: a cutting-data file of gigabytes is never read here.
        // Only a list file is read whole.
        CFileReader reader;
        FileOperation operation = FileOperation::Open;
        int error = reader.Open(path);
        QByteArray first;
        if (error == 0) {
            operation = FileOperation::Read;
            error = reader.ReadLine(first, qsizetype(Magic.size()) + 2);
        }
        if (error == 0 && IsMagicLine(first)) {
            QByteArray data;
            error = reader.ReadAll(data);
            if (error == 0) {
                if (std::optional<QList<QByteArray>> entries = ParseListFile(data)) {
                    m_entries.append(*entries);
                    return;
                }
            }
        }
        if (error != 0)
            ShowFileError(parent, error, DisplayText(path), operation);
    }
    m_entries.append(path);
}

bool COutputFileList::WriteListFile(const QByteArray& path, QWidget* parent) const
{
    int openError = 0;
    const int fd = OpenUserFile(path.constData(), UserFileAccess::Replace, openError);
    if (fd < 0) {
        ShowFileError(parent, openError, DisplayText(path), FileOperation::Open);
        return false;
    }
    QByteArray data(Magic.data(), qsizetype(Magic.size()));
    data += "\r\n";
    for (const QByteArray& entry : m_entries)
        data += entry + "\r\n";
    const bool written = WriteAll(fd, data);
    int error = written ? 0 : errno;
    // A full disk may show only when the data reaches it, at close.
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ShowFileError(parent, error, DisplayText(path), FileOperation::Write);
        return false;
    }
    return true;
}

bool COutputFileList::CheckFileExists(const QByteArray& path, QWidget* parent)
{
    if (::access(path.constData(), F_OK) == 0)
        return true;
    CPanelMessageBox box(FormatConnectionError(ConnectionErrorKind::NotFound, DisplayText(path)),
                         BoxStyle::ExclamationOk, parent);
    box.SetCaption(BoxResult::Ok, LoadString(Str::Ok));
    box.exec();
    return false;
}
