#include "MachineWaitDlg.h"

#include "StringTable.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>

CMachineWaitDlg::CMachineWaitDlg(CModelingMachine* machine, QWidget* parent, int messageStringId,
                                 bool resizeToMessage, bool hasOkButton)
    : QDialog(parent), m_machine(machine), m_messageStringId(messageStringId),
      m_resizeToMessage(resizeToMessage)
{
    m_message = new QLabel(this);
    m_message->setObjectName(QString::number(MessageId));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setGeometry(TemplateMessageRect());
    // The template's buttons exist but are never shown, so the user has nothing to click.
    if (hasOkButton) {
        auto* ok = new QPushButton(this);
        ok->setObjectName(QStringLiteral("1"));
        ok->hide();
    }
    auto* cancel = new QPushButton(this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->hide();
    setFixedSize(TemplateSize());
}

CMachineWaitDlg::~CMachineWaitDlg()
{
    KillTimer();
}

QSize CMachineWaitDlg::SizeForMessage(QSize dialogSize, QSize staticSize, QSize textSize)
{
    return {dialogSize.width() + textSize.width() - staticSize.width(),
            dialogSize.height() + textSize.height() - staticSize.height()};
}

void CMachineWaitDlg::OnInitDialog()
{
    setWindowTitle(QApplication::applicationDisplayName());
    const QString text = LoadString(m_messageStringId);
    m_message->setText(text);
    if (m_resizeToMessage) {
        const QSize textSize = QFontMetrics(m_message->font()).size(0, text);
        const QSize newSize = SizeForMessage(size(), m_message->size(), textSize);
        // The static follows the text too, so a longer translation is not clipped.
        m_message->resize(textSize);
        setFixedSize(newSize);
    }
    if (m_timer == 0)
        m_timer = startTimer(TimerPeriodMs);
    m_initialised = true;
}

int CMachineWaitDlg::exec()
{
    if (!m_initialised || m_timer == 0)
        OnInitDialog();
    return QDialog::exec();
}

void CMachineWaitDlg::done(int result)
{
    KillTimer();
    QDialog::done(result);
}

void CMachineWaitDlg::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter ||
        (key == Qt::Key_Escape && !EscapeCancels())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMachineWaitDlg::reject()
{
    done(CancelResult);
}

void CMachineWaitDlg::KillTimer()
{
    if (m_timer != 0) {
        killTimer(m_timer);
        m_timer = 0;
    }
}

void CMachineWaitDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer || m_timer == 0) {
        QDialog::timerEvent(event);
        return;
    }
    OnTick();
}
