#include "AboutDlg.h"

#include "ResourceImages.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"
#include "VersionRecord.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel* MakeLabel(int id, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::number(id));
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

CAboutDlg::CAboutDlg(const QString& firmwareText, QWidget* parent)
    : CAboutDlg(firmwareText, &CVersionRecord::OfExecutable(), parent)
{
}

CAboutDlg::CAboutDlg(const QString& firmwareText, const CVersionRecord* record, QWidget* parent)
    : QDialog(parent), m_firmwareText(firmwareText), m_record(record),
      m_executablePath(QCoreApplication::applicationFilePath().left(MaxPathLength))
{
    setWindowTitle(LoadCaption(TemplateId, 0));

    auto* icon = new QLabel(this);
    icon->setObjectName(QString::number(IconId));
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_versionLabel = MakeLabel(VersionId, LoadCaption(TemplateId, VersionId), this);
    m_firmwareLabel = MakeLabel(FirmwareId, LoadCaption(TemplateId, FirmwareId), this);
    m_legalNoticeLabel = MakeLabel(LegalNoticeId, LoadCaption(TemplateId, LegalNoticeId), this);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    auto* ok = new QPushButton(LoadCaption(TemplateId, OkId), this);
    ok->setObjectName(QString::number(OkId));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_versionLabel);
    texts->addWidget(m_firmwareLabel);
    texts->addWidget(separator);
    texts->addWidget(m_legalNoticeLabel);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    top->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutDlg::ReadVersionRecord(const CVersionRecord* record, QString& versionText,
                                  QString& legalNoticeText)
{
    const std::optional<QString> version =
        record ? record->Query(QString::fromLatin1(CVersionRecord::FileVersionKey)) : std::nullopt;
    const std::optional<QString> legalNotice =
        record ? record->Query(QString::fromLatin1(CVersionRecord::LegalNoticeKey)) : std::nullopt;
    if (version && legalNotice) {
        versionText = FormatTemplate(LoadString(Str::VersionFormat), {*version});
        legalNoticeText = *legalNotice;
        return;
    }
    versionText = LoadString(Str::VersionMissing);
    legalNoticeText = LoadString(Str::LegalNoticeFallback);
}

int CAboutDlg::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

void CAboutDlg::OnInitDialog()
{
    ReadVersionRecord(m_record, m_versionText, m_legalNoticeText);
    m_versionLabel->setText(m_versionText);
    m_legalNoticeLabel->setText(m_legalNoticeText);
    setWindowTitle(QCoreApplication::applicationName());
    m_firmwareLabel->setText(FormatTemplate(LoadString(Str::FirmwareFormat), {m_firmwareText}));
}
