#include "JogButton.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimerEvent>

#include <algorithm>

QRegion JogHitRegion(JogFaceKind kind)
{
    switch (kind) {
    case JogFaceKind::Round:
        return QRegion(0, 0, 46, 46, QRegion::Ellipse);
    case JogFaceKind::Switch:
        return QRegion(0, 0, 45, 30);
    case JogFaceKind::Key:
        return QRegion(0, 0, 39, 40);
    }
    return {};
}

CJogButton::CJogButton(int controlId, QWidget* parent) : QWidget(parent), m_controlId(controlId)
{
    setObjectName(QString::number(controlId));
    setFocusPolicy(Qt::StrongFocus);
}

CJogButton::~CJogButton()
{
    KillRepeatTimer();
}

void CJogButton::SetFace(const QRect& faceRect, const QPixmap* bitmap,
                         std::optional<QRegion> region)
{
    m_faceBitmap = bitmap;
    m_halfWidth = bitmap ? bitmap->width() / 2 : 0;
    m_faceRect = faceRect;
    m_hitRegion = std::move(region);
    // The face covers the whole control, so the background is never erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent, bitmap != nullptr);
    update();
}

void CJogButton::SetAutoRepeat(bool on)
{
    m_autoRepeat = on;
    if (!on)
        KillRepeatTimer();
}

void CJogButton::SetTextColor(const QColor& colour)
{
    m_textColor = colour;
    update();
}

void CJogButton::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

void CJogButton::Latch()
{
    if (m_latchMode && m_pressCount == 0) {
        m_pressCount = 1;
        Repaint();
    }
}

void CJogButton::Unlatch()
{
    if (m_latchMode && m_pressCount > 0) {
        m_pressCount = 0;
        Repaint();
    }
}

void CJogButton::KillRepeatTimer()
{
    if (m_repeatTimer != 0) {
        killTimer(m_repeatTimer);
        m_repeatTimer = 0;
    }
}

// Repaints and keeps the repeat timer in step with the pressed state: it lives only while
// the button is pressed with auto-repeat on.
void CJogButton::Repaint()
{
    update();
    if (m_pressCount == 0)
        KillRepeatTimer();
    else if (m_autoRepeat && m_repeatTimer == 0)
        m_repeatTimer =
            startTimer(std::max(m_repeatInterval, MinRepeatIntervalMs), Qt::PreciseTimer);
}

void CJogButton::Press()
{
    if (m_latchMode && m_pressCount > 0) {
        ++m_pressCount;
        return;
    }
    ++m_pressCount;
    Repaint();
    if (m_notifyFlags & NotifyOnPress)
        emit Command(m_controlId);
}

void CJogButton::Release()
{
    if (m_latchMode && m_pressCount < 2)
        return;
    KillRepeatTimer();
    m_pressCount = 0;
    Repaint();
    if (m_notifyFlags & NotifyOnRelease)
        emit Command(m_controlId);
}

void CJogButton::MousePress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (m_hitRegion && !m_hitRegion->contains(event->position().toPoint()))
        return;
    m_hasCapture = true;
    Press();
}

void CJogButton::mousePressEvent(QMouseEvent* event)
{
    MousePress(event);
}

void CJogButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    MousePress(event);
}

void CJogButton::mouseReleaseEvent(QMouseEvent* event)
{
    // A press outside the hit region took no capture, so its release does nothing either:
    // otherwise a click beside a round key would still send the key's release command.
    if (event->button() != Qt::LeftButton || !m_hasCapture)
        return;
    m_hasCapture = false;
    Release();
}

void CJogButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space) {
        QWidget::keyPressEvent(event);
        return;
    }
    KeyDown(event->isAutoRepeat());
}

void CJogButton::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    KeyUp(event->isAutoRepeat());
}

void CJogButton::KeyDown(bool autoRepeat)
{
    if (!autoRepeat && isEnabled())
        Press();
}

void CJogButton::KeyUp(bool autoRepeat)
{
    if (!autoRepeat && m_pressCount > 0)
        Release();
}

// A press ends when nothing can release it the usual way any more: the mouse button or the
// Space key goes up elsewhere, so the button would stay pressed and keep repeating. The end is
// an ordinary release (with its notification), so the owner stops as after a real one.
void CJogButton::ReleaseUnheld()
{
    m_hasCapture = false;
    if (m_pressCount > 0)
        Release();
}

void CJogButton::focusOutEvent(QFocusEvent* event)
{
    ReleaseUnheld();
    QWidget::focusOutEvent(event);
}

bool CJogButton::event(QEvent* event)
{
    // Hidden or disabled, the button receives neither the mouse nor the key release; in a
    // window that is no longer active the key release goes elsewhere.
    const QEvent::Type type = event->type();
    if (type == QEvent::Hide || type == QEvent::WindowDeactivate ||
        (type == QEvent::EnabledChange && !isEnabled()))
        ReleaseUnheld();
    return QWidget::event(event);
}

void CJogButton::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_repeatTimer || m_repeatTimer == 0) {
        QWidget::timerEvent(event);
        return;
    }
    // A modal box of another window has the input from the moment it is shown, while the focus
    // and activation changes that end the press arrive only later: no repeat goes out meanwhile.
    const QWidget* modal = QApplication::activeModalWidget();
    if (!isEnabled() || !isVisible() || (modal && modal != window())) {
        ReleaseUnheld();
        return;
    }
    emit Command(m_controlId);
}

void CJogButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_faceBitmap) {
        const int left = m_faceRect.left() + (IsPressed() ? m_halfWidth : 0);
        painter.drawPixmap(QPoint(0, 0), *m_faceBitmap,
                           QRect(left, m_faceRect.top(), m_faceRect.width(), m_faceRect.height()));
    }
    if (!m_text.isEmpty()) {
        painter.setFont(font());
        painter.setPen(m_textColor.isValid() ? m_textColor : palette().color(QPalette::WindowText));
        const QRect textRect =
            m_faceRect.isValid() ? QRect(QPoint(0, 0), m_faceRect.size()) : rect();
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, m_text);
    }
}
