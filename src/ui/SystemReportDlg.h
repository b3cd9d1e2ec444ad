#pragma once

#include <QByteArray>
#include <QDialog>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

class QPlainTextEdit;
class QPushButton;

// How a control follows the edges of a resizable dialog.
namespace AnchorFlag {
constexpr uint32_t MoveRight = 0x01;    // moves with the right edge
constexpr uint32_t MoveDown = 0x02;     // moves with the bottom edge
constexpr uint32_t StretchRight = 0x10; // its right side follows the right edge (wins over 0x01)
constexpr uint32_t StretchDown = 0x20;  // its bottom follows the bottom edge (wins over 0x02)
} // namespace AnchorFlag

// A control's rectangle as edges (right and bottom exclusive) in dialog client coordinates.
struct AnchorRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool IsEmpty() const { return right <= left || bottom <= top; }
    QRect ToQRect() const { return {left, top, right - left, bottom - top}; }
    static AnchorRect From(const QRect& rect)
    {
        return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    }
    friend bool operator==(const AnchorRect&, const AnchorRect&) = default;
};

struct ControlAnchor
{
    AnchorRect rect; // updated on every resize
    int controlId;
    uint32_t flags;
};

// The rectangle after the dialog grew by dx and dy (negative when it shrank).
AnchorRect AnchoredRect(const AnchorRect& rect, uint32_t flags, int dx, int dy);

// Where the report is saved: the path the dialog gave (which has added the chosen filter's
// extension to a name typed without one), except that a path ending in ".*" (longer than those
// two characters) loses them.
QString ReportSavePath(const QString& chosenPath);

// The System Report window: the report text, read-only, in a resizable window with a size grip,
// and Save, which writes the text's bytes unchanged (without a terminating NUL) to a file the
// user chooses. File errors are shown with the standard file-error message; the window stays.
class CSystemReportDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 155;
    static constexpr int ReportId = 1158;
    static constexpr int SaveId = 1159;
    static constexpr int CloseId = 2;
    static constexpr int FilterString = 50041;

    // The text ends at its first NUL byte, if it has one.
    CSystemReportDlg(const QByteArray& report, QWidget* parent = nullptr);

    const std::vector<ControlAnchor>& GetAnchors() const { return m_anchors; }
    QWidget* GetControl(int id) const;

    // Writes the report to path; false (after telling the user) when that failed.
    bool SaveReport(const QString& path);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void AddAnchor(int controlId, uint32_t flags);
    void OnSave();

    QByteArray m_report;
    int m_lastWidth = 0;
    int m_lastHeight = 0;
    std::vector<ControlAnchor> m_anchors;
    QPlainTextEdit* m_edit;
};
