// The panel message box: the style decoding, the layout rules, and the box driven with real
// clicks and keys inside its modal loop.

#include "PanelMessageBox.h"
#include "StringTable.h"
#include "WidgetTestApp.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

QPushButton* Button(CPanelMessageBox& box, int index)
{
    return box.findChild<QPushButton*>(QString::number(CPanelMessageBox::ButtonIds[index]));
}

QLabel* TextLabel(CPanelMessageBox& box)
{
    return box.findChild<QLabel*>(QString::number(CPanelMessageBox::TextId));
}

// --- pure parts ----------------------------------------------------------------------------------

TEST(MessageBoxStyle, ButtonSetsGiveTheirResultsCountsAndCloseItem)
{
    struct Row
    {
        uint32_t style;
        std::array<int, 3> results;
        int count;
        bool closeEnabled;
    };
    const Row rows[] = {
        {0x30, {1, -1, -1}, 1, true},  {0x31, {1, 2, -1}, 2, true},   {0x12, {3, 4, 5}, 3, false},
        {0x23, {6, 7, 2}, 3, true},    {0x34, {6, 7, -1}, 2, false},  {0x45, {4, 2, -1}, 2, true},
        {0x06, {-1, -1, -1}, 3, true}, {0x0F, {-1, -1, -1}, 3, true},
    };
    for (const Row& row : rows) {
        const BoxButtonSet set = DecodeButtonSet(row.style);
        EXPECT_EQ(set.results, row.results) << std::hex << row.style;
        EXPECT_EQ(set.count, row.count) << std::hex << row.style;
        EXPECT_EQ(set.closeEnabled, row.closeEnabled) << std::hex << row.style;
    }
}

TEST(MessageBoxStyle, EscapeGivesOneOnlyForTheSingleOkSet)
{
    EXPECT_EQ(EscapeResult(DecodeButtonSet(0x30)), 1);
    for (uint32_t set = 1; set <= 6; ++set)
        EXPECT_EQ(EscapeResult(DecodeButtonSet(set)), 2) << set;
}

TEST(MessageBoxStyle, IconNibble)
{
    EXPECT_EQ(DecodeIcon(0x10), BoxIcon::Stop);
    EXPECT_EQ(DecodeIcon(0x21), BoxIcon::Question);
    EXPECT_EQ(DecodeIcon(0x34), BoxIcon::Exclamation);
    EXPECT_EQ(DecodeIcon(0x40), BoxIcon::Information);
    EXPECT_EQ(DecodeIcon(0x00), BoxIcon::None);
    EXPECT_EQ(DecodeIcon(0x50), BoxIcon::None);
}

TEST(MessageBoxLayout, ShortOneLineTextKeepsTheTemplateSizeWithOneButton)
{
    const BoxTemplate& box = DefaultBoxTemplate();
    const BoxLayout layout = ComputeBoxLayout(box, QSize(40, box.text.height()), 1);
    EXPECT_EQ(layout.client, box.client);
    EXPECT_EQ(layout.buttons[0], box.button1);
    EXPECT_EQ(layout.text, QRect(box.text.topLeft(), QSize(40, box.text.height())));
}

TEST(MessageBoxLayout, EachExtraButtonWidensByOnePitch)
{
    const BoxTemplate& box = DefaultBoxTemplate();
    const int pitch = box.button1.width() + 8;
    for (int count = 2; count <= 3; ++count) {
        const BoxLayout layout = ComputeBoxLayout(box, QSize(40, 10), count);
        EXPECT_EQ(layout.pitch, pitch);
        EXPECT_EQ(layout.client,
                  QSize(box.client.width() + pitch * (count - 1), box.client.height()));
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(layout.buttons[static_cast<size_t>(i)], box.button1.translated(i * pitch, 0));
    }
}

TEST(MessageBoxLayout, LongTextCentresTheButtonRowAndGrowsDownward)
{
    const BoxTemplate& box = DefaultBoxTemplate();
    const QSize text(box.text.width() + 301, box.text.height() + 30);
    const BoxLayout one = ComputeBoxLayout(box, text, 1);
    EXPECT_EQ(one.client, QSize(box.client.width() + 301, box.client.height() + 30));
    EXPECT_EQ(one.buttons[0], box.button1.translated(150, 30));
    EXPECT_LE(std::abs(one.buttons[0].left() - (one.client.width() - one.buttons[0].right() - 1)),
              2);

    const BoxLayout three = ComputeBoxLayout(box, text, 3);
    EXPECT_EQ(three.client.width(), box.client.width() + 301);
    const int shift = (301 - 2 * three.pitch) / 2;
    EXPECT_EQ(three.buttons[0], box.button1.translated(shift, 30));
    EXPECT_EQ(three.buttons[2].left() - three.buttons[0].left(), 2 * three.pitch);
}

TEST(MessageBoxLayout, TextWiderThanTemplateButNarrowerThanTheRowAddsTheRow)
{
    const BoxTemplate& box = DefaultBoxTemplate();
    const int pitch = box.button1.width() + 8;
    const BoxLayout layout = ComputeBoxLayout(box, QSize(box.text.width() + pitch - 1, 10), 2);
    EXPECT_EQ(layout.client.width(), box.client.width() + pitch);
    EXPECT_EQ(layout.buttons[0], box.button1);
}

TEST(MessageBoxLayout, TemplateTextAreaHoldsOneLineOfTheFont)
{
    const BoxTemplate& base = DefaultBoxTemplate();
    EXPECT_EQ(BoxTemplateForLineHeight(base.text.height() - 3).client, base.client);
    const BoxTemplate tall = BoxTemplateForLineHeight(base.text.height() + 5);
    EXPECT_EQ(tall.text.height(), base.text.height() + 5);
    EXPECT_EQ(tall.button1, base.button1.translated(0, 5));
    EXPECT_EQ(tall.client, base.client + QSize(0, 5));
}

TEST(MessageBoxHotKey, ValueBytesAndKeyCodes)
{
    EXPECT_EQ(BuildHotKey('J', true, true, true), 0x1112104Au);
    EXPECT_EQ(BuildHotKey('J', true, false, true), 0x1100104Au);
    EXPECT_EQ(BuildHotKey('J', false, false, false), 0x4Au);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_J), 74);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_5), '5');
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_F1), 0x70);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Escape), 27);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_unknown), 0);
}

// --- the box itself ---------------------------------------------------------------------------

TEST(MessageBox, EveryButtonOfEverySetEndsWithItsResult)
{
    for (uint32_t set = 0; set <= 5; ++set) {
        const BoxButtonSet decoded = DecodeButtonSet(set);
        for (int i = 0; i < decoded.count; ++i) {
            CPanelMessageBox box(QStringLiteral("Question?"), 0x30 | set);
            const int result = zr40_test::RunModal(box, [&] {
                QPushButton* button = Button(box, i);
                ASSERT_TRUE(button && button->isVisible());
                QTest::mouseClick(button, Qt::LeftButton);
            });
            EXPECT_EQ(result, decoded.results[static_cast<size_t>(i)]) << set << " " << i;
        }
    }
}

TEST(MessageBox, ButtonsShowTheCaptionsOfTheirResultCodes)
{
    CPanelMessageBox box(QStringLiteral("Answer"), 0x23);
    zr40_test::RunModal(box, [&] {
        EXPECT_EQ(Button(box, 0)->text(), LoadString(20005));
        EXPECT_EQ(Button(box, 1)->text(), LoadString(20006));
        EXPECT_EQ(Button(box, 2)->text(), LoadString(20001));
        box.done(0);
    });
}

TEST(MessageBox, ReplacedCaptionsKeepTheResults)
{
    for (int i = 0; i < 2; ++i) {
        CPanelMessageBox box(QStringLiteral("Connection lost"), 0x31);
        box.SetCaption(1, QStringLiteral("Retry"));
        box.SetCaption(2, QStringLiteral("End"));
        const int result = zr40_test::RunModal(box, [&] {
            EXPECT_EQ(Button(box, 0)->text(), QStringLiteral("Retry"));
            EXPECT_EQ(Button(box, 1)->text(), QStringLiteral("End"));
            QTest::mouseClick(Button(box, i), Qt::LeftButton);
        });
        EXPECT_EQ(result, i + 1);
    }
}

TEST(MessageBox, EscapeAndCloseResults)
{
    const std::pair<uint32_t, int> cases[] = {{0x30, 1}, {0x31, 2}, {0x33, 2}, {0x35, 2}};
    for (const auto& [style, expected] : cases) {
        CPanelMessageBox escaped(QStringLiteral("Text"), style);
        EXPECT_EQ(zr40_test::RunModal(escaped, [&] { QTest::keyClick(&escaped, Qt::Key_Escape); }),
                  expected)
            << style;
        CPanelMessageBox closed(QStringLiteral("Text"), style);
        EXPECT_EQ(zr40_test::RunModal(closed, [&] { closed.close(); }), expected) << style;
    }
}

TEST(MessageBox, YesNoEscapeGivesTwoAndItsCloseIsGreyed)
{
    CPanelMessageBox box(QStringLiteral("Continue?"), 0x34);
    EXPECT_EQ(zr40_test::RunModal(box, [&] { QTest::keyClick(Button(box, 0), Qt::Key_Escape); }),
              2);
    EXPECT_FALSE(box.IsCloseEnabled());
    EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

TEST(MessageBox, GreyedCloseDoesNotEndTheBox)
{
    for (uint32_t style : {0x12u, 0x34u}) {
        CPanelMessageBox box(QStringLiteral("Text"), style);
        bool openAfterClose = false;
        const int result = zr40_test::RunModal(box, [&] {
            box.close();
            openAfterClose = box.isVisible();
            QTest::mouseClick(Button(box, 1), Qt::LeftButton);
        });
        EXPECT_TRUE(openAfterClose) << style;
        EXPECT_EQ(result, DecodeButtonSet(style).results[1]);
    }
}

TEST(MessageBox, EnterActivatesOnlyTheFocusedButton)
{
    CPanelMessageBox box(QStringLiteral("Answer"), 0x33);
    const int result = zr40_test::RunModal(box, [&] {
        Button(box, 1)->setFocus();
        QTest::keyClick(Button(box, 1), Qt::Key_Return);
    });
    EXPECT_EQ(result, 7);

    CPanelMessageBox unfocused(QStringLiteral("Answer"), 0x31);
    bool stillOpen = false;
    const int second = zr40_test::RunModal(unfocused, [&] {
        unfocused.setFocus();
        QTest::keyClick(&unfocused, Qt::Key_Return);
        stillOpen = unfocused.isVisible();
        QTest::keyClick(&unfocused, Qt::Key_Escape);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(second, 2);
}

TEST(MessageBox, HotKeyNeedsAllThreeModifiers)
{
    CPanelMessageBox box(QStringLiteral("No machine"), 0x35);
    box.SetHotKey('J', true, true, true);
    EXPECT_EQ(box.GetHotKey(), 0x1112104Au);
    const int result = zr40_test::RunModal(box, [&] {
        QTest::keyClick(Button(box, 0), Qt::Key_J,
                        Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    });
    EXPECT_EQ(result, 74);

    CPanelMessageBox unfocused(QStringLiteral("No machine"), 0x35);
    unfocused.SetHotKey('J', true, true, true);
    EXPECT_EQ(zr40_test::RunModal(unfocused,
                                  [&] {
                                      QTest::keyClick(&unfocused, Qt::Key_J,
                                                      Qt::ControlModifier | Qt::AltModifier |
                                                          Qt::ShiftModifier);
                                  }),
              74);

    const Qt::KeyboardModifiers partial[] = {Qt::ControlModifier | Qt::ShiftModifier,
                                             Qt::ControlModifier | Qt::AltModifier,
                                             Qt::AltModifier | Qt::ShiftModifier, Qt::NoModifier};
    for (Qt::KeyboardModifiers modifiers : partial) {
        CPanelMessageBox other(QStringLiteral("No machine"), 0x35);
        other.SetHotKey('J', true, true, true);
        bool stillOpen = false;
        const int answer = zr40_test::RunModal(other, [&] {
            QTest::keyClick(Button(other, 0), Qt::Key_J, modifiers);
            stillOpen = other.isVisible();
            QTest::mouseClick(Button(other, 0), Qt::LeftButton);
        });
        EXPECT_TRUE(stillOpen) << modifiers.toInt();
        EXPECT_EQ(answer, 4) << modifiers.toInt();
    }
}

TEST(MessageBox, NoHotKeyNeverMatches)
{
    CPanelMessageBox box(QStringLiteral("Text"), 0x30);
    bool stillOpen = false;
    const int result = zr40_test::RunModal(box, [&] {
        QTest::keyClick(&box, Qt::Key_J);
        stillOpen = box.isVisible();
        box.done(5);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, 5);
}

TEST(MessageBox, OneLineTwoButtonBoxGrowsByOnePitch)
{
    CPanelMessageBox box(QStringLiteral("OK?"), 0x31);
    const BoxTemplate& layout = box.GetTemplate();
    zr40_test::RunModal(box, [&] {
        EXPECT_EQ(box.size(), QSize(layout.client.width() + layout.button1.width() + 8,
                                    layout.client.height()));
        EXPECT_EQ(Button(box, 1)->x() - Button(box, 0)->x(), layout.button1.width() + 8);
        EXPECT_FALSE(Button(box, 2)->isVisible());
        box.done(0);
    });
}

TEST(MessageBox, LongTextCentresItsSingleButton)
{
    const QString text = QStringLiteral("A message that is a good deal wider than the box\n"
                                        "on two lines, each of them long enough");
    CPanelMessageBox box(text, 0x40);
    zr40_test::RunModal(box, [&] {
        const QSize measured = QFontMetrics(TextLabel(box)->font()).size(0, text);
        EXPECT_EQ(TextLabel(box)->size(), measured);
        EXPECT_GT(box.width(), box.GetTemplate().client.width());
        const QRect button = Button(box, 0)->geometry();
        EXPECT_LE(std::abs(button.left() - (box.width() - button.right() - 1)), 2);
        EXPECT_GE(Button(box, 0)->y(), TextLabel(box)->geometry().bottom());
        EXPECT_FALSE(Button(box, 1)->isVisible());
        box.done(0);
    });
}

TEST(MessageBox, TitleDefaultsToTheApplicationTitle)
{
    CPanelMessageBox plain(QStringLiteral("Text"), 0);
    zr40_test::RunModal(plain, [&] {
        EXPECT_EQ(plain.windowTitle(), QApplication::applicationDisplayName());
        plain.done(0);
    });
    CPanelMessageBox titled(QStringLiteral("Text"), 0);
    titled.SetTitle(QStringLiteral("Setup"));
    zr40_test::RunModal(titled, [&] {
        EXPECT_EQ(titled.windowTitle(), QStringLiteral("Setup"));
        titled.done(0);
    });
}

} // namespace
