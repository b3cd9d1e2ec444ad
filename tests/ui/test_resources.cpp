// The string table, the captions, the fonts and the generated pictures, checked as the program
// will use them: through LoadString / LoadCaption and the compiled-in resources.

#include "FontSubstitutes.h"
#include "ResourceImages.h"
#include "StringTable.h"

#include <QColor>
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
    static const QRegularExpression spec(
        QStringLiteral("%(?:[-+ #0]*\\d*(?:\\.\\d+)?[sdiuxXfgc%]|\\d+)"));
    QStringList found;
    for (auto it = spec.globalMatch(text); it.hasNext();) {
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
