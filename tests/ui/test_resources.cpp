// The string table, the captions, the fonts and the generated pictures, checked as the program
// will use them: through LoadString / LoadCaption and the compiled-in resources.

#include "FontSubstitutes.h"
#include "ResourceImages.h"
#include "StringTable.h"

#include <QColor>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRect>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// Readable failure messages for Qt strings.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

QGuiApplication& App()
{
    static int argc = 1;
    static char name[] = "test_resources";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

// The printf and QString::arg placeholders of a text, in order ("%s", "%03d", "%1", ...).
QStringList FormatSpecifiers(const QString& text)
{
    static const QRegularExpression placeholder(
        QStringLiteral("%(?:[-+ #0]*\\d*(?:\\.\\d+)?[sdiuxXfgc%]|\\d+)"));
    QStringList found;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        found << it.next().captured();
    }
    return found;
}

bool HasJapaneseCharacters(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x3000) {
            return true;
        }
    }
    return false;
}

class Language
{
public:
    explicit Language(bool japanese) { SetUiLanguageForTesting(japanese); }
    ~Language() { SetUiLanguageForTesting(false); }
};

QString English(int id)
{
    Language l(false);
    return LoadString(id);
}

QString Japanese(int id)
{
    Language l(true);
    return LoadString(id);
}

// Every string number the program's windows and messages use.
const std::vector<int> kNumberedStrings = {
    101,   102,   103,   105,   106,   107,   108,   109,   110,   111,   112,   113,
    114,   115,   116,   117,   118,   119,   120,   121,   122,   123,   20000, 20001,
    20002, 20003, 20004, 20005, 20006, 21001, 21002, 21003, 21008, 21009, 21010, 21013,
    21014, 21021, 21026, 21033, 21038, 21041, 21045, 21046, 21049, 21056, 21057, 21058,
    21062, 21073, 21074, 21081, 21082, 21094, 21097, 21099, 61715};

} // namespace

TEST(StringTable, EveryNumberedStringExistsInBothLanguages)
{
    for (int id : kNumberedStrings) {
        EXPECT_FALSE(English(id).isEmpty()) << "string " << id;
        EXPECT_FALSE(Japanese(id).isEmpty()) << "string " << id;
    }
}

TEST(StringTable, MessagesAreTranslated)
{
    // Names and file names stay as they are; every sentence has a Japanese text of its own.
    const std::vector<int> unchanged = {102, 103, 115, 20000};
    for (int id : kNumberedStrings) {
        if (std::find(unchanged.begin(), unchanged.end(), id) != unchanged.end()) {
            EXPECT_EQ(English(id), Japanese(id)) << "string " << id;
        } else {
            EXPECT_TRUE(HasJapaneseCharacters(Japanese(id))) << "string " << id;
        }
    }
}

TEST(StringTable, EscapesBecomeTheCharactersTheyStandFor)
{
    EXPECT_EQ(English(120), QStringLiteral("%s\n(Error : %03d)"));
    EXPECT_EQ(English(21010), QStringLiteral("No response is returned from machine.\r\nMake sure "
                                             "that the connection cable is connected securely "
                                             "and the machine is switched on."));
    EXPECT_EQ(English(116), QStringLiteral("The spindle motor experienced an excessive load\n"
                                           "       or it is not mounted."));
    EXPECT_EQ(English(111), QStringLiteral("This resets the total spindle[No%d] rotation time to "
                                           "zero (0).\r\nOnce reset, the original value cannot "
                                           "be restored.\r\nContinue?"));
    EXPECT_TRUE(Japanese(21010).contains(QStringLiteral("\r\n")));
    EXPECT_FALSE(English(21009).contains(u'\\'));
    // Leading and trailing blanks are part of the text.
    EXPECT_EQ(LoadString(50030), QStringLiteral(" [null]"));
    EXPECT_EQ(LoadString(50040), QStringLiteral("Reported at "));
}

TEST(StringTable, TextsAreTheSystemsOwnWords)
{
    EXPECT_EQ(English(102), QStringLiteral("ZR-40"));
    EXPECT_EQ(English(122), QStringLiteral("The unkown error has occured."));
    EXPECT_EQ(English(21003), QStringLiteral("Retry"));
    EXPECT_EQ(English(21001), QStringLiteral("End"));
    EXPECT_EQ(English(21038), QStringLiteral("Command Error (%s)"));
    EXPECT_EQ(English(61715), QStringLiteral("Please enter a number between %1 and %2."));
    EXPECT_EQ(English(21074),
              English(21014) + QStringLiteral("\n\nIf command does not match the machine's "
                                              "command set,\nselect correct command set."));
    const QStringList buttons = {"OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    for (int code = 0; code < 7; ++code) {
        EXPECT_EQ(English(20000 + code), buttons.at(code));
    }
}

TEST(StringTable, JapaneseKeepsTheFormatSpecifiersInOrder)
{
    int checked = 0;
    for (int id = 0; id <= 0xFFFF; ++id) {
        const QString english = English(id);
        if (english.isEmpty()) {
            continue;
        }
        ++checked;
        EXPECT_EQ(FormatSpecifiers(Japanese(id)), FormatSpecifiers(english)) << "string " << id;
    }
    EXPECT_GE(checked, static_cast<int>(kNumberedStrings.size()));
    EXPECT_EQ(FormatSpecifiers(English(21033)), (QStringList{"%s", "%s"}));
    EXPECT_EQ(FormatSpecifiers(English(120)), (QStringList{"%s", "%03d"}));
}

TEST(StringTable, UnknownNumbersGiveEmptyTexts)
{
    EXPECT_TRUE(LoadString(0).isEmpty());
    EXPECT_TRUE(LoadString(-1).isEmpty());
    EXPECT_TRUE(LoadString(21000).isEmpty());
    EXPECT_TRUE(LoadCaption(102, 99999).isEmpty());
    EXPECT_TRUE(LoadCaption(99999, 0).isEmpty());
}

TEST(StringTable, LanguageSwitchChangesEveryLookup)
{
    SetUiLanguageForTesting(true);
    EXPECT_TRUE(IsJapaneseUi());
    EXPECT_EQ(LoadString(20001), QStringLiteral("キャンセル"));
    EXPECT_EQ(LoadCaption(144, 1096), QStringLiteral("追加"));
    SetUiLanguageForTesting(false);
    EXPECT_FALSE(IsJapaneseUi());
    EXPECT_EQ(LoadString(20001), QStringLiteral("Cancel"));
    EXPECT_EQ(LoadCaption(144, 1096), QStringLiteral("Add"));
}

TEST(Captions, TemplateCaptionsResolveInBothLanguages)
{
    const std::vector<std::pair<std::pair<int, int>, const char*>> captions = {
        {{102, 1164}, "Continue"},
        {{102, 1165}, "x100"},
        {{102, 1162}, "Set Origin Point"},
        {{102, 1175}, "Pause"},
        {{102, 40115}, "Cancel"},
        {{135, 0}, "Printer Select"},
        {{4001, 40008}, "Version 0, 0, 0, 0"},
        {{10001, 1066}, "NC Code setting..."},
        {{10001, -3}, "Direction of Y axis using keypad"},
        {{136, 1072}, "Calculator Method [IJKRXYZA]"},
        {{142, -1},
         "This setting is affected by the cutting precision.\nUse care when making "
         "this setting."},
        {{144, 1101}, "Test ..."},
        {{147, 1116}, "Quit Cutting"},
        {{153, 1058}, "Reset..."},
        {{154, -4}, "Backlash :"},
        {{155, 1159}, "&Save"},
        {{134, 0}, "CancelingData"},
    };
    for (const auto& [key, text] : captions) {
        Language english(false);
        EXPECT_EQ(LoadCaption(key.first, key.second), QString::fromUtf8(text))
            << key.first << "/" << key.second;
        SetUiLanguageForTesting(true);
        EXPECT_FALSE(LoadCaption(key.first, key.second).isEmpty())
            << key.first << "/" << key.second;
    }
}

TEST(Captions, JapaneseCaptionsKeepTheirMnemonicsAndSpecifiers)
{
    const std::vector<int> templates = {102, 131, 134, 135, 136, 137,  142,  144,
                                        147, 153, 154, 155, 156, 4000, 4001, 10001};
    int checked = 0;
    for (int templateId : templates) {
        for (int control = -20; control <= 0xFFFF; ++control) {
            QString english;
            QString japanese;
            {
                Language l(false);
                english = LoadCaption(templateId, control);
            }
            if (english.isEmpty()) {
                continue;
            }
            {
                Language l(true);
                japanese = LoadCaption(templateId, control);
            }
            ++checked;
            EXPECT_FALSE(japanese.isEmpty()) << templateId << "/" << control;
            EXPECT_EQ(english.count(u'&'), japanese.count(u'&')) << templateId << "/" << control;
            EXPECT_EQ(FormatSpecifiers(english), FormatSpecifiers(japanese));
        }
    }
    EXPECT_GT(checked, 150);
}

TEST(Fonts, ArialAndTheJapaneseFacesResolveToInstalledFonts)
{
    App();
    InstallFontSubstitutes();
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"), 14)).family(),
              QStringLiteral("Liberation Sans"));
    EXPECT_TRUE(QFontInfo(QFont(QStringLiteral("MS UI Gothic"), 9))
                    .family()
                    .startsWith(QStringLiteral("IPA")));
}

namespace {

QRect Ltrb(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// The panel's image buttons at their client rectangles (dialog 102).
const std::vector<std::pair<int, QRect>> kPanelButtons = {
    {1172, Ltrb(40, 244, 85, 274)},    {1173, Ltrb(86, 244, 131, 274)},
    {1026, Ltrb(244, 85, 283, 123)},   {1032, Ltrb(244, 173, 283, 213)},
    {1028, Ltrb(200, 129, 239, 169)},  {1030, Ltrb(288, 129, 327, 169)},
    {1024, Ltrb(355, 85, 394, 125)},   {1027, Ltrb(355, 173, 394, 213)},
    {1178, Ltrb(206, 300, 245, 340)},  {1039, Ltrb(258, 300, 297, 340)},
    {1038, Ltrb(297, 300, 336, 340)},  {1174, Ltrb(350, 300, 389, 340)},
    {1176, Ltrb(548, 107, 587, 147)},  {1177, Ltrb(587, 107, 626, 147)},
    {40115, Ltrb(606, 170, 652, 216)}, {1175, Ltrb(606, 230, 652, 276)},
    {1015, Ltrb(536, 300, 582, 346)},  {1105, Ltrb(606, 300, 652, 346)},
};
const QRect kKeypadCentre = Ltrb(244, 124, 283, 172);
constexpr int kHalf = 680;

int DifferingPixels(const QImage& skin, const QRect& r)
{
    int differing = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            differing += skin.pixel(x, y) != skin.pixel(x + kHalf, y) ? 1 : 0;
        }
    }
    return differing;
}

QImage Skin()
{
    App();
    return LoadBitmapResource(130).convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(PanelSkin, HasTwoHalvesOfTheWindowSize)
{
    const QImage skin = Skin();
    ASSERT_FALSE(skin.isNull());
    EXPECT_EQ(skin.size(), QSize(1360, 360));
}

TEST(PanelSkin, EveryButtonLooksDifferentWhenPressed)
{
    const QImage skin = Skin();
    ASSERT_EQ(skin.size(), QSize(1360, 360));
    for (const auto& [id, rect] : kPanelButtons) {
        // Most of the face changes, not a stray pixel: a pressed key must be obvious.
        EXPECT_GT(DifferingPixels(skin, rect), rect.width() * rect.height() / 4) << "button " << id;
    }
    EXPECT_GT(DifferingPixels(skin, kKeypadCentre), 0);
}

TEST(PanelSkin, HalvesAgreeOutsideTheButtons)
{
    // Only button faces and the keypad centre may differ, otherwise a button drawn from the
    // right half would carry a piece of a neighbour or of the face with it.
    const QImage skin = Skin();
    ASSERT_EQ(skin.size(), QSize(1360, 360));
    int differing = 0;
    for (int y = 0; y < skin.height(); ++y) {
        for (int x = 0; x < kHalf; ++x) {
            const QPoint point(x, y);
            bool inButton = kKeypadCentre.contains(point);
            for (const auto& button : kPanelButtons) {
                inButton = inButton || button.second.contains(point);
            }
            if (!inButton && skin.pixel(x, y) != skin.pixel(x + kHalf, y)) {
                ++differing;
            }
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(PanelSkin, RadioGroupsSitOnASolidColour)
{
    // The panel paints the radio groups with the colour of their top-left pixel.
    const QImage skin = Skin();
    for (const QRect& area : {Ltrb(196, 250, 398, 265), Ltrb(465, 200, 535, 230)}) {
        const QRgb colour = skin.pixel(area.topLeft());
        int other = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                other += skin.pixel(x, y) != colour ? 1 : 0;
            }
        }
        EXPECT_EQ(other, 0) << area.x() << "," << area.y();
    }
}

TEST(PanelSkin, ValueWindowsAreLitAndDarkEnoughForWhiteText)
{
    const QImage skin = Skin();
    const QColor face = skin.pixelColor(420, 40);
    for (const QRect& value :
         {Ltrb(37, 107, 134, 131), Ltrb(37, 218, 133, 241), Ltrb(489, 247, 558, 270)}) {
        const QColor c = skin.pixelColor(value.center());
        EXPECT_NE(c, face);
        EXPECT_GT(c.blue(), c.red() + 20) << "a back-lit window, not the face";
        EXPECT_LT(c.lightness(), 110) << "white text must stand out";
    }
}

TEST(ImageLists, AreEightBitIndexedWithTheMaskInTheFirstPixel)
{
    App();
    const std::vector<std::pair<int, QSize>> lists = {
        {145, {16, 16}}, {146, {16, 16}}, {148, {64, 16}}, {149, {16, 16}},
        {150, {16, 16}}, {151, {16, 16}}, {152, {16, 16}}};
    for (const auto& [id, size] : lists) {
        const QString path = BitmapResourcePath(id);
        ASSERT_FALSE(path.isEmpty()) << id;
        const QImage image(path);
        EXPECT_EQ(image.format(), QImage::Format_Indexed8) << id;
        EXPECT_EQ(image.size(), size) << id;

        // The loader takes the mask from the colour-table entry of the first byte of the pixel
        // data, which in a bottom-up bitmap is the lower-left pixel: every corner must carry it.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GT(bytes.size(), 54);
        auto u16 = [&](int at) {
            return static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8);
        };
        auto u32 = [&](int at) { return u16(at) | (u16(at + 2) << 16); };
        EXPECT_EQ(u16(28), 8) << "bits per pixel of " << id;
        const int firstIndex = static_cast<quint8>(bytes[u32(10)]);
        const int table = 14 + u32(14);
        const QRgb mask = qRgb(static_cast<quint8>(bytes[table + 4 * firstIndex + 2]),
                               static_cast<quint8>(bytes[table + 4 * firstIndex + 1]),
                               static_cast<quint8>(bytes[table + 4 * firstIndex]));
        const int w = image.width() - 1;
        const int h = image.height() - 1;
        for (QPoint corner : {QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h)}) {
            EXPECT_EQ(image.pixel(corner), mask) << id;
        }
        if (id == 148) {
            EXPECT_EQ(mask, qRgb(255, 255, 255)) << "the state pictures are white-transparent";
        }
        // There is a picture on the mask.
        int drawn = 0;
        for (int y = 0; y <= h; ++y) {
            for (int x = 0; x <= w; ++x) {
                drawn += image.pixel(x, y) != mask ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 10) << id;
    }
}

TEST(Pictures, PagePicturesAndTheIconExist)
{
    App();
    EXPECT_FALSE(LoadBitmapResource(141).isNull());
    EXPECT_FALSE(LoadBitmapResource(8000).isNull());
    EXPECT_FALSE(LoadBitmapResource(128).isNull());
    const QIcon icon = ApplicationIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_GE(icon.availableSizes().size(), 4);
    EXPECT_TRUE(BitmapResourcePath(9999).isEmpty());
}
