#include "PanelMessageBox.h"

#include "StringTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

CPanelMessageBox::CPanelMessageBox(const QString& text, uint32_t style, QWidget* parent)
    : QDialog(parent), m_text(text), m_style(style), m_buttonSet(DecodeButtonSet(style))
{
    for (size_t i = 0; i < m_captions.size(); ++i)
        m_captions[i] = LoadString(FirstCaptionString + static_cast<int>(i));

    m_template = BoxTemplateForLineHeight(QFontMetrics(font()).height());
    const BoxTemplate& box = m_template;
    m_iconLabel = new QLabel(this);
    m_iconLabel->setObjectName(QString::number(IconId));
    m_iconLabel->setGeometry(box.icon);
    m_textLabel = new QLabel(this);
    m_textLabel->setObjectName(QString::number(TextId));
    m_textLabel->setTextFormat(Qt::PlainText);
    m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_textLabel->setWordWrap(false);
    m_textLabel->setGeometry(box.text);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        QPushButton* button = new QPushButton(this);
        button->setObjectName(QString::number(ButtonIds[i]));
        button->setGeometry(box.button1);
        button->setVisible(i == 0);
        // The focused button sees the keys first; the hot key must match there too.
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, i] {
            const int result = m_buttonSet.results[i];
            if (result != -1)
                done(result);
        });
        m_buttons[i] = button;
    }
    setFixedSize(box.client);
}

void CPanelMessageBox::SetCaption(int resultCode, const QString& caption)
{
    if (resultCode >= 1 && resultCode <= static_cast<int>(m_captions.size()))
        m_captions[static_cast<size_t>(resultCode - 1)] = caption;
}

void CPanelMessageBox::SetHotKey(int virtualKey, bool ctrl, bool alt, bool shift)
{
    m_hotKey = BuildHotKey(virtualKey, ctrl, alt, shift);
}

int CPanelMessageBox::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

void CPanelMessageBox::LoadIcon()
{
    QStyle::StandardPixmap pixmap;
    switch (DecodeIcon(m_style)) {
    case BoxIcon::Stop:
        pixmap = QStyle::SP_MessageBoxCritical;
        break;
    case BoxIcon::Question:
        pixmap = QStyle::SP_MessageBoxQuestion;
        break;
    case BoxIcon::Exclamation:
        pixmap = QStyle::SP_MessageBoxWarning;
        break;
    case BoxIcon::Information:
        pixmap = QStyle::SP_MessageBoxInformation;
        break;
    default:
        m_iconLabel->clear();
        return;
    }
    m_iconLabel->setPixmap(
        style()->standardIcon(pixmap, nullptr, this).pixmap(m_iconLabel->size()));
}

void CPanelMessageBox::OnInitDialog()
{
    setWindowTitle(m_title.isEmpty() ? QApplication::applicationDisplayName() : m_title);
    LoadIcon();

    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const int result = m_buttonSet.results[i];
        m_buttons[i]->setText(result >= 1 ? m_captions[static_cast<size_t>(result - 1)]
                                          : QString());
    }

    // One block that keeps its line breaks; an empty text still has one line's height.
    const QFontMetrics metrics(m_textLabel->font());
    const QSize textSize = metrics.size(0, m_text);
    m_textLabel->setText(m_text);
    const BoxLayout layout = ComputeBoxLayout(m_template, textSize, m_buttonSet.count);
    m_textLabel->setGeometry(layout.text);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setGeometry(layout.buttons[i]);
        m_buttons[i]->setVisible(static_cast<int>(i) < m_buttonSet.count);
    }
    setFixedSize(layout.client);

    // Sets 2 and 4 have no Close item; the frame loses its close button.
    setWindowFlag(Qt::WindowCloseButtonHint, m_buttonSet.closeEnabled);
    m_buttons[0]->setFocus();
}

void CPanelMessageBox::reject()
{
    done(EscapeResult(m_buttonSet));
}

void CPanelMessageBox::closeEvent(QCloseEvent* event)
{
    if (!m_buttonSet.closeEnabled) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool CPanelMessageBox::EndOnHotKey(const QKeyEvent& event)
{
    const int virtualKey = VirtualKeyFromQtKey(event.key());
    if (m_hotKey == 0 || virtualKey == 0)
        return false;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const uint32_t pressed =
        BuildHotKey(virtualKey, modifiers.testFlag(Qt::ControlModifier),
                    modifiers.testFlag(Qt::AltModifier), modifiers.testFlag(Qt::ShiftModifier));
    if (pressed != m_hotKey)
        return false;
    done(virtualKey);
    return true;
}

bool CPanelMessageBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && EndOnHotKey(static_cast<QKeyEvent&>(*event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void CPanelMessageBox::keyPressEvent(QKeyEvent* event)
{
    if (EndOnHotKey(*event))
        return;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter only activates a focused button, which handles the key itself.
        event->accept();
        return;
    case Qt::Key_Escape:
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
