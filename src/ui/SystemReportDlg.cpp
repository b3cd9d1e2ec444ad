#include "SystemReportDlg.h"

#include "FileDialog.h"
#include "FileDialogFilter.h"
#include "FileErrorMessage.h"
#include "StringTable.h"
#include "UserFile.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Layout of the template, in pixels of the client area.
constexpr QSize ClientSize{480, 320};
constexpr QRect ReportRect{8, 8, 464, 268};
constexpr QRect SaveRect{304, 286, 80, 26};
constexpr QRect CloseRect{392, 286, 80, 26};
} // namespace

AnchorRect AnchoredRect(const AnchorRect& rect, uint32_t flags, int dx, int dy)
{
    AnchorRect moved = rect;
    if (flags & AnchorFlag::StretchRight) {
        moved.right += dx;
    } else if (flags & AnchorFlag::MoveRight) {
        moved.left += dx;
        moved.right += dx;
    }
    if (flags & AnchorFlag::StretchDown) {
        moved.bottom += dy;
    } else if (flags & AnchorFlag::MoveDown) {
        moved.top += dy;
        moved.bottom += dy;
    }
    return moved;
}

QString ReportSavePath(const QString& chosenPath)
{
    QString path = chosenPath;
    if (path.size() > 2 && path.endsWith(QStringLiteral(".*")))
        path.chop(2);
    return path;
}

CSystemReportDlg::CSystemReportDlg(const QByteArray& report, QWidget* parent)
    : QDialog(parent), m_report(report.contains('\0') ? report.left(report.indexOf('\0')) : report),
      m_edit(new QPlainTextEdit(this))
{
    setWindowTitle(LoadCaption(TemplateId, 0));
    setSizeGripEnabled(true);
    m_edit->setObjectName(QString::number(ReportId));
    m_edit->setReadOnly(true);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setGeometry(ReportRect);
    auto* save = new QPushButton(LoadCaption(TemplateId, SaveId), this);
    save->setObjectName(QString::number(SaveId));
    save->setGeometry(SaveRect);
    save->setAutoDefault(false);
    auto* close = new QPushButton(LoadCaption(TemplateId, CloseId), this);
    close->setObjectName(QString::number(CloseId));
    close->setGeometry(CloseRect);
    close->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &CSystemReportDlg::OnSave);
    connect(close, &QPushButton::clicked, this, &CSystemReportDlg::reject);

    resize(ClientSize);
    m_lastWidth = ClientSize.width();
    m_lastHeight = ClientSize.height();
    AddAnchor(CloseId, AnchorFlag::MoveRight | AnchorFlag::MoveDown);
    AddAnchor(SaveId, AnchorFlag::MoveRight | AnchorFlag::MoveDown);
    AddAnchor(ReportId, AnchorFlag::StretchRight | AnchorFlag::StretchDown);
    m_edit->setPlainText(QString::fromLocal8Bit(m_report));
}

QWidget* CSystemReportDlg::GetControl(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CSystemReportDlg::AddAnchor(int controlId, uint32_t flags)
{
    m_anchors.push_back({AnchorRect::From(GetControl(controlId)->geometry()), controlId, flags});
}

void CSystemReportDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int width = event->size().width();
    const int height = event->size().height();
    for (ControlAnchor& anchor : m_anchors) {
        const AnchorRect moved =
            AnchoredRect(anchor.rect, anchor.flags, width - m_lastWidth, height - m_lastHeight);
        if (moved == anchor.rect)
            continue;
        anchor.rect = moved;
        // A control whose rectangle has become empty stays where it was until it has room again.
        if (!moved.IsEmpty())
            GetControl(anchor.controlId)->setGeometry(moved.ToQRect());
    }
    m_lastWidth = width;
    m_lastHeight = height;
}

void CSystemReportDlg::OnSave()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.filters = FileDialogFilters(LoadString(FilterString));
    // The dialog adds the extension itself, so that it asks before replacing the final file.
    request.suffixFromFilter = true;
    const FileDialogAnswer answer = RunFileDialog(this, request);
    if (!answer.Accepted())
        return;
    SaveReport(ReportSavePath(answer.paths.first()));
}

bool CSystemReportDlg::SaveReport(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Opened as every user's file is: a named pipe chosen here is refused, not waited on.
    int openError = 0;
    const int fd = OpenUserFile(name.constData(), UserFileAccess::Replace, openError);
    if (fd < 0) {
        ShowFileError(this, openError, path, FileOperation::Open);
        return false;
    }
    const char* data = m_report.constData();
    qsizetype left = m_report.size();
    int error = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        left -= written;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ShowFileError(this, error, path, FileOperation::Write);
        return false;
    }
    return true;
}
