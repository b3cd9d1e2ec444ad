// The image button (image list from an indexed picture, offsets, greying) and the colour label
// (caption seeding, colours, margins, repaint rules), checked on rendered pixels.

#include "ColorLabel.h"
#include "ImageButton.h"
#include "WidgetTestApp.h"

#include <QPainter>
#include <QTest>

namespace {

const QRgb MaskColour = qRgb(255, 0, 255);
const QRgb ImageColours[3] = {qRgb(220, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 180)};

// Three 10 x 8 pictures side by side in an 8-bit palette image, each a solid block with a
// one-pixel border in the mask colour.
QImage IndexedStrip()
{
    QImage strip(30, 8, QImage::Format_Indexed8);
    strip.setColorTable({MaskColour, ImageColours[0], ImageColours[1], ImageColours[2]});
    strip.fill(0);
    for (int i = 0; i < 3; ++i)
        for (int y = 1; y < 7; ++y)
            for (int x = 1; x < 9; ++x)
                strip.setPixel(i * 10 + x, y, static_cast<uint>(i + 1));
    return strip;
}

TEST(ImageButton, IndexedPictureBecomesAListWithTheFirstPixelTransparent)
{
    CImageButton button;
    button.resize(40, 30);
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 3));
    EXPECT_EQ(button.GetImageIndex(), 0);
    EXPECT_EQ(button.GetImageCount(), 3);
    EXPECT_EQ(button.GetImageSize(), QSize(10, 8));

    const QImage face = button.grab().toImage();
    const QPoint at = CImageButton::ImagePosition(button.rect(), QSize(10, 8), false, false);
    EXPECT_EQ(face.pixel(at + QPoint(4, 4)), ImageColours[0]);
    // The mask-coloured border shows the button beneath it.
    EXPECT_NE(face.pixel(at), MaskColour);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            ASSERT_NE(face.pixel(x, y), MaskColour) << x << "," << y;
}

TEST(ImageButton, FullColourPictureFailsAndLeavesNoPicture)
{
    CImageButton button;
    button.resize(40, 30);
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 3));
    EXPECT_FALSE(button.SetImage(IndexedStrip().convertToFormat(QImage::Format_RGB888), 3));
    EXPECT_EQ(button.GetImageIndex(), -1);
    const QImage face = button.grab().toImage();
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            ASSERT_NE(face.pixel(x, y), ImageColours[0]) << x << "," << y;

    EXPECT_FALSE(button.SetImage(QImage(), 1));
    EXPECT_FALSE(button.SetImage(-12345, 1)) << "no such resource";
    EXPECT_EQ(button.GetImageIndex(), -1);
}

TEST(ImageButton, ImageCountBelowOneMeansOneImage)
{
    CImageButton button;
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 0));
    EXPECT_EQ(button.GetImageCount(), 1);
    EXPECT_EQ(button.GetImageSize(), QSize(30, 8));
}

TEST(ImageButton, PushedAndCheckedOffsets)
{
    const QRect client(0, 0, 40, 30);
    const QSize image(10, 8);
    const QPoint centred(15, 11);
    EXPECT_EQ(CImageButton::ImagePosition(client, image, false, false), centred);
    EXPECT_EQ(CImageButton::ImagePosition(client, image, true, false), centred + QPoint(2, 2));
    EXPECT_EQ(CImageButton::ImagePosition(client, image, false, true), centred + QPoint(2, 2));
    EXPECT_EQ(CImageButton::ImagePosition(client, image, true, true), centred + QPoint(3, 3));
}

TEST(ImageButton, PushedPictureMovesOnScreen)
{
    CImageButton button;
    button.resize(40, 30);
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 3));
    const QPoint released = CImageButton::ImagePosition(button.rect(), QSize(10, 8), false, false);
    button.setDown(true);
    const QImage face = button.grab().toImage();
    // The released picture's first inner column is now mask border or button face...
    EXPECT_NE(face.pixel(released + QPoint(1, 4)), ImageColours[0]);
    // ...and the picture sits two pixels to the right and down.
    EXPECT_EQ(face.pixel(released + QPoint(3, 3)), ImageColours[0]);
}

TEST(ImageButton, DisabledPictureIsGreyed)
{
    CImageButton button;
    button.resize(40, 30);
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 3));
    button.setEnabled(false);
    const QImage face = button.grab().toImage();
    const QPoint at = CImageButton::ImagePosition(button.rect(), QSize(10, 8), false, false);
    const QColor greyed = face.pixelColor(at + QPoint(4, 4));
    EXPECT_EQ(greyed, QColor(220 | 192, 192, 192));
}

TEST(ImageButton, OwnerDrawnButtonShowsItsPictureToo)
{
    CImageButton button;
    button.resize(40, 30);
    button.SetOwnerDraw(true);
    ASSERT_TRUE(button.SetImage(IndexedStrip(), 3));
    const QImage face = button.grab().toImage();
    const QPoint at = CImageButton::ImagePosition(button.rect(), QSize(10, 8), false, false);
    EXPECT_EQ(face.pixel(at + QPoint(4, 4)), ImageColours[0]);
}

// --- colour label -------------------------------------------------------------------------------

TEST(ColorLabelPlacement, MarginsByAlignment)
{
    const QRect client(0, 0, 100, 24);
    const LabelTextPlacement left = PlaceLabelText(client, LabelStyle::Left);
    EXPECT_EQ(left.rect, QRect(4, 0, 96, 24));
    EXPECT_TRUE(left.flags & Qt::AlignLeft);
    const LabelTextPlacement centre = PlaceLabelText(client, LabelStyle::Center);
    EXPECT_EQ(centre.rect, client);
    EXPECT_TRUE(centre.flags & Qt::AlignHCenter);
    const LabelTextPlacement right = PlaceLabelText(client, LabelStyle::Right);
    EXPECT_EQ(right.rect, QRect(0, 0, 96, 24));
    EXPECT_TRUE(right.flags & Qt::AlignRight);
    const LabelTextPlacement other = PlaceLabelText(client, 3);
    EXPECT_EQ(other.rect, client);
    EXPECT_TRUE(other.flags & Qt::AlignLeft);
    EXPECT_TRUE(PlaceLabelText(client, LabelStyle::Right | LabelStyle::CenterImage).flags &
                Qt::AlignVCenter);
    EXPECT_TRUE(left.flags & Qt::AlignTop);
    for (const auto& placement : {left, centre, right, other})
        EXPECT_TRUE(placement.flags & Qt::TextSingleLine);
}

// A label that counts its paints.
class CountingLabel : public CColorLabel
{
public:
    using CColorLabel::CColorLabel;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        CColorLabel::paintEvent(event);
    }
};

// Pixels of the rendered label that have exactly this colour.
int CountColour(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour.rgb();
    return count;
}

QFont BigFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(20);
    font.setBold(true);
    return font;
}

TEST(ColorLabel, CaptionSeedsTheTextAtTheFirstPaint)
{
    CColorLabel label(nullptr, QStringLiteral("123.45"));
    label.resize(120, 24);
    EXPECT_TRUE(label.GetText().isEmpty());
    label.grab();
    EXPECT_EQ(label.GetText(), QStringLiteral("123.45"));
    EXPECT_TRUE(label.GetCaption().isEmpty());
    label.SetText(QStringLiteral("7.00"));
    label.grab();
    EXPECT_EQ(label.GetText(), QStringLiteral("7.00"));
    EXPECT_TRUE(label.GetCaption().isEmpty());
}

TEST(ColorLabel, SetTextBeforeThePaintDropsTheCaption)
{
    CColorLabel label(nullptr, QStringLiteral("123.45"));
    label.resize(120, 24);
    label.SetText(QStringLiteral("0.00"));
    label.grab();
    EXPECT_EQ(label.GetText(), QStringLiteral("0.00"));
}

TEST(ColorLabel, SameTextTwiceRepaintsOnce)
{
    QWidget window;
    window.resize(200, 60);
    auto* label = new CountingLabel(&window);
    label->setGeometry(10, 10, 120, 24);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(label->paints > 0);
    QTest::qWait(50);
    label->paints = 0;
    label->SetText(QStringLiteral("1.00"));
    QTRY_COMPARE(label->paints, 1);
    label->SetText(QStringLiteral("1.00"));
    QTest::qWait(100);
    EXPECT_EQ(label->paints, 1);
    label->SetTextColor(Qt::red, false);
    QTest::qWait(100);
    EXPECT_EQ(label->paints, 1) << "no repaint asked for";
    label->SetTextColor(Qt::red, true);
    QTRY_COMPARE(label->paints, 2);
}

TEST(ColorLabel, DisabledTextIsGreyWhateverItsColour)
{
    CColorLabel label(nullptr, QStringLiteral("MMMM"));
    label.resize(120, 30);
    label.setFont(BigFont());
    label.SetBackColor(Qt::black, false);
    label.SetTextColor(QColor(255, 0, 0), false);
    EXPECT_GT(CountColour(label.grab().toImage(), QColor(255, 0, 0)), 20);
    label.setEnabled(false);
    const QColor grey = label.palette().color(QPalette::Disabled, QPalette::WindowText);
    const QImage disabled = label.grab().toImage();
    EXPECT_EQ(CountColour(disabled, QColor(255, 0, 0)), 0);
    EXPECT_GT(CountColour(disabled, grey), 20);
    label.setEnabled(true);
    EXPECT_GT(CountColour(label.grab().toImage(), QColor(255, 0, 0)), 20);
}

TEST(ColorLabel, BrushReplacesTheBackColour)
{
    CColorLabel label;
    label.resize(60, 20);
    EXPECT_EQ(label.grab().toImage().pixelColor(1, 1), QColor(255, 255, 255));
    label.SetBackColor(QColor(0, 0, 255), true);
    EXPECT_EQ(label.grab().toImage().pixelColor(1, 1), QColor(0, 0, 255));
    label.SetBackBrush(QBrush(QColor(0, 128, 0)), true);
    label.SetBackColor(QColor(255, 255, 0), true);
    EXPECT_EQ(label.grab().toImage().pixelColor(1, 1), QColor(0, 128, 0));
    label.SetBackBrush(std::nullopt, true);
    EXPECT_EQ(label.grab().toImage().pixelColor(1, 1), QColor(255, 255, 0));
}

// The first and last columns that hold text pixels (not the background colour).
std::pair<int, int> TextColumns(const QImage& image, const QColor& background)
{
    int first = image.width();
    int last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != background) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

TEST(ColorLabel, RightTextEndsFourPixelsBeforeTheEdgeAndCentredHasNoMargin)
{
    CColorLabel label(nullptr, QStringLiteral("|"), LabelStyle::Right);
    label.resize(100, 30);
    label.setFont(BigFont());
    label.SetTextColor(Qt::black, false);
    const auto [first, last] = TextColumns(label.grab().toImage(), Qt::white);
    ASSERT_GE(last, 0);
    EXPECT_LE(last, 100 - 5);
    EXPECT_GE(last, 100 - 5 - 4);

    CColorLabel left(nullptr, QStringLiteral("|"), LabelStyle::Left);
    left.resize(100, 30);
    left.setFont(BigFont());
    const auto [leftFirst, leftLast] = TextColumns(left.grab().toImage(), Qt::white);
    EXPECT_GE(leftFirst, 4);
    EXPECT_LE(leftFirst, 4 + 4);

    CColorLabel centred(nullptr, QStringLiteral("|"), LabelStyle::Center);
    centred.resize(100, 30);
    centred.setFont(BigFont());
    const auto [centreFirst, centreLast] = TextColumns(centred.grab().toImage(), Qt::white);
    EXPECT_LE(std::abs((centreFirst + centreLast) - 99), 3);
}

TEST(ColorLabel, SunkenFrameShadowAboveLightBelow)
{
    CColorLabel label(nullptr, {}, LabelStyle::Left | LabelStyle::Sunken);
    label.resize(60, 20);
    label.SetBackColor(QColor(10, 20, 30), false);
    const QImage image = label.grab().toImage();
    const QPalette& colours = label.palette();
    EXPECT_EQ(image.pixel(30, 0), colours.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(0, 10), colours.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(30, 19), colours.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(59, 10), colours.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(30, 10), qRgb(10, 20, 30));
}

} // namespace
