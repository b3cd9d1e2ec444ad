#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>

// The pure parts of the panel message box: decoding of the style number, the growth of the box
// to its text and the hidden key value. They hold no widgets, so they are tested on their own.

// Result codes of the box, the platform's standard message-box results.
namespace BoxResult {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Abort = 3;
constexpr int Retry = 4;
constexpr int Ignore = 5;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace BoxResult

// The styles the program's boxes use: the low nibble chooses the buttons, the second the icon.
namespace BoxStyle {
constexpr uint32_t Ok = 0x00;
constexpr uint32_t OkCancel = 0x01;
constexpr uint32_t ExclamationOk = 0x30;
constexpr uint32_t ExclamationOkCancel = 0x31;
constexpr uint32_t ExclamationYesNo = 0x34;
constexpr uint32_t InformationOk = 0x40;
} // namespace BoxStyle

// Icon chosen by the second nibble of the style.
enum class BoxIcon
{
    None,
    Stop,
    Question,
    Exclamation,
    Information
};

// The buttons of one style: result codes of buttons 1..3 (-1 = no button) and how many show.
struct BoxButtonSet
{
    int setNumber = 0;
    std::array<int, 3> results{-1, -1, -1};
    int count = 3;
    bool closeEnabled = true;
};

BoxButtonSet DecodeButtonSet(uint32_t style);
BoxIcon DecodeIcon(uint32_t style);
// The result of Escape and of the window's Close: 1 for the single-OK set, 2 for every other.
int EscapeResult(const BoxButtonSet& set);

// The geometry of the box template (resource 4000) in pixels, client coordinates.
struct BoxTemplate
{
    QSize client{230, 96};
    QRect icon{16, 16, 32, 32};
    QRect text{60, 24, 150, 16};
    QRect button1{77, 60, 75, 23};
};
const BoxTemplate& DefaultBoxTemplate();
// The template for a font of this line height: the text area holds one line, and the buttons
// and the bottom edge move down with it, as a template in font-relative units does.
BoxTemplate BoxTemplateForLineHeight(int lineHeight);

// Where everything goes once the text of size textSize is in and count buttons are shown.
struct BoxLayout
{
    QSize client;
    QRect text;
    std::array<QRect, 3> buttons;
    int pitch = 0;
};

// The box grows by the text's excess over the template's text area; the button row is centred
// under a wider text, and otherwise widens the box by one pitch per extra button.
BoxLayout ComputeBoxLayout(const BoxTemplate& box, QSize textSize, int count);

// Hot-key values: four bytes, high to low, 0x11 Ctrl, 0x12 Alt, 0x10 Shift, then the key code.
uint32_t BuildHotKey(int virtualKey, bool ctrl, bool alt, bool shift);
// The virtual key code of a Qt key (letters and digits are their ASCII codes), 0 if it has none.
int VirtualKeyFromQtKey(int qtKey);
