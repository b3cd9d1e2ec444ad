#include "PanelMessageBoxLayout.h"

#include <Qt>

#include <algorithm>

BoxButtonSet DecodeButtonSet(uint32_t style)
{
    using namespace BoxResult;
    BoxButtonSet set;
    set.setNumber = static_cast<int>(style & 0xF);
    switch (set.setNumber) {
    case 0:
        set.results = {Ok, -1, -1};
        set.count = 1;
        break;
    case 1:
        set.results = {Ok, Cancel, -1};
        set.count = 2;
        break;
    case 2:
        set.results = {Abort, Retry, Ignore};
        set.count = 3;
        set.closeEnabled = false;
        break;
    case 3:
        set.results = {Yes, No, Cancel};
        set.count = 3;
        break;
    case 4:
        set.results = {Yes, No, -1};
        set.count = 2;
        set.closeEnabled = false;
        break;
    case 5:
        set.results = {Retry, Cancel, -1};
        set.count = 2;
        break;
    default:
        break;
    }
    return set;
}

BoxIcon DecodeIcon(uint32_t style)
{
    switch (style & 0xF0) {
    case 0x10:
        return BoxIcon::Stop;
    case 0x20:
        return BoxIcon::Question;
    case 0x30:
        return BoxIcon::Exclamation;
    case 0x40:
        return BoxIcon::Information;
    default:
        return BoxIcon::None;
    }
}

int EscapeResult(const BoxButtonSet& set)
{
    return set.setNumber == 0 ? BoxResult::Ok : BoxResult::Cancel;
}

const BoxTemplate& DefaultBoxTemplate()
{
    static const BoxTemplate box;
    return box;
}

BoxTemplate BoxTemplateForLineHeight(int lineHeight)
{
    BoxTemplate box;
    const int growth = std::max(0, lineHeight - box.text.height());
    box.text.setHeight(box.text.height() + growth);
    box.button1.translate(0, growth);
    box.client.rheight() += growth;
    return box;
}

BoxLayout ComputeBoxLayout(const BoxTemplate& box, QSize textSize, int count)
{
    count = std::clamp(count, 1, 3);
    BoxLayout layout;
    layout.pitch = box.button1.width() + 8;
    const int extraWidth = std::max(0, textSize.width() - box.text.width());
    const int extraHeight = std::max(0, textSize.height() - box.text.height());
    layout.text = QRect(box.text.topLeft(), textSize);

    const int row = layout.pitch * (count - 1);
    int shift = 0;
    int growth = row;
    if (row < extraWidth) {
        shift = (extraWidth - row) / 2;
        growth = extraWidth;
    }
    layout.client = QSize(box.client.width() + growth, box.client.height() + extraHeight);
    for (int i = 0; i < 3; ++i)
        layout.buttons[static_cast<size_t>(i)] =
            box.button1.translated(shift + i * layout.pitch, extraHeight);
    return layout;
}

uint32_t BuildHotKey(int virtualKey, bool ctrl, bool alt, bool shift)
{
    return (ctrl ? 0x11000000u : 0u) | (alt ? 0x120000u : 0u) | (shift ? 0x1000u : 0u) |
           (static_cast<uint32_t>(virtualKey) & 0xFFu);
}

int VirtualKeyFromQtKey(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}
