#pragma once

#include <QColor>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <optional>

class QPixmap;

// Shapes of the panel's image buttons, each with the region a press must fall into.
enum class JogFaceKind
{
    Round,  // circular face: elliptic region 46 x 46
    Switch, // spindle switches: rectangle 45 x 30
    Key     // keypad and move keys: rectangle 39 x 40
};

// The hit region of a face kind, in the button's own coordinates.
QRegion JogHitRegion(JogFaceKind kind);

// A button drawn from one rectangle of a shared face bitmap (released faces in its left half,
// pressed faces in its right half). It can limit presses to a region, latch, and repeat its
// command while held; it tells its owner through Command(controlId).
class CJogButton : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RepeatTimerId = 1;
    static constexpr int NotifyOnPress = 1;
    static constexpr int NotifyOnRelease = 2;
    // The finest repeat a desktop timer offers in practice. A shorter interval (0 asks for
    // "as often as possible") would fire on every pass of the event loop and spin a core.
    static constexpr int MinRepeatIntervalMs = 10;

    explicit CJogButton(int controlId, QWidget* parent = nullptr);
    ~CJogButton() override;

    int GetControlId() const { return m_controlId; }

    // bitmap is not owned and must outlive the button; region may be empty (no limit).
    void SetFace(const QRect& faceRect, const QPixmap* bitmap, std::optional<QRegion> region);
    void SetRepeatInterval(int ms) { m_repeatInterval = ms; }
    int GetRepeatInterval() const { return m_repeatInterval; }
    void SetAutoRepeat(bool on);
    void SetNotifyFlags(int flags) { m_notifyFlags = flags; }
    void SetLatchMode(bool on) { m_latchMode = on; }
    // An invalid colour draws the caption in the palette's text colour.
    void SetTextColor(const QColor& colour);
    void SetText(const QString& text);
    const QString& GetText() const { return m_text; }

    bool IsPressed() const { return m_pressCount > 0; }
    int GetPressCount() const { return m_pressCount; }
    bool IsRepeating() const { return m_repeatTimer != 0; }
    // Latch mode only: show the button latched (or released) without telling anyone.
    void Latch();
    void Unlatch();
    // A keyboard key standing for this button goes down or up (the Space key, or a key the
    // owner maps to it). The keyboard's own auto-repeat is ignored both ways: the button
    // repeats with its own timer, and an auto-repeated release is followed by another press.
    // A disabled button takes no key press.
    void KeyDown(bool autoRepeat);
    void KeyUp(bool autoRepeat);

signals:
    void Command(int controlId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void MousePress(QMouseEvent* event);
    void Press();
    void Release();
    void ReleaseUnheld();
    void Repaint();
    void KillRepeatTimer();

    int m_controlId;
    const QPixmap* m_faceBitmap = nullptr;
    int m_halfWidth = 0;
    QRect m_faceRect;
    std::optional<QRegion> m_hitRegion;
    int m_pressCount = 0;
    bool m_autoRepeat = false;
    bool m_latchMode = false;
    int m_repeatInterval = 1000;
    int m_repeatTimer = 0;
    int m_notifyFlags = NotifyOnPress;
    QColor m_textColor;
    QString m_text;
    // Set while a mouse press of this button is being held (the platform's mouse grab).
    bool m_hasCapture = false;
};
