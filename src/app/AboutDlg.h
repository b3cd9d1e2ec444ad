#pragma once

#include <QDialog>
#include <QString>

class CVersionRecord;
class QLabel;

// Shows the program's version and legal notice from its version record, and the firmware
// version of the connected machine, which the caller reads and passes in.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    // Control ids of template 4001.
    static constexpr int TemplateId = 4001;
    static constexpr int IconId = 128;
    static constexpr int VersionId = 40008;
    static constexpr int LegalNoticeId = 40009;
    static constexpr int FirmwareId = 40010;
    static constexpr int OkId = 1;
    static constexpr int MaxPathLength = 1024;

    // record: the version record to show; nullptr stands for an executable without one.
    explicit CAboutDlg(const QString& firmwareText, QWidget* parent = nullptr);
    CAboutDlg(const QString& firmwareText, const CVersionRecord* record, QWidget* parent = nullptr);

    int exec() override;

    // The texts as they stand after opening.
    QString GetVersionText() const { return m_versionText; }
    QString GetLegalNoticeText() const { return m_legalNoticeText; }
    const QString& GetExecutablePath() const { return m_executablePath; }

    // The two texts a version record gives: "Version: %s" with its file version and its legal
    // notice; "Version : ----" and the program's fixed line when the record or an entry is
    // missing.
    static void ReadVersionRecord(const CVersionRecord* record, QString& versionText,
                                  QString& legalNoticeText);

private:
    void OnInitDialog();

    QString m_firmwareText;
    const CVersionRecord* m_record;
    QString m_executablePath;
    QString m_versionText;
    QString m_legalNoticeText;
    QLabel* m_versionLabel;
    QLabel* m_legalNoticeLabel;
    QLabel* m_firmwareLabel;
};
