// The jog button driven with real mouse, key and focus events: hit regions, press counts,
// notifications, latch mode, auto-repeat and the face drawn from the two halves of a skin.

#include "JogButton.h"
#include "WidgetTestApp.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <functional>
#include <vector>

namespace {

// A window holding jog buttons, recording every command they send.
class JogButtonTest : public ::testing::Test
{
protected:
    void SetUp() override { window.resize(300, 200); }

    CJogButton* AddButton(int id, const QRect& geometry)
    {
        auto* button = new CJogButton(id, &window);
        button->setGeometry(geometry);
        button->show(); // also when the window is already shown
        QObject::connect(button, &CJogButton::Command, &window,
                         [this](int controlId) { commands.push_back(controlId); });
        return button;
    }

    void ShowActive()
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QWidget window;
    std::vector<int> commands;
};

TEST(JogHitRegion, ShapesOfTheThreeFaceKinds)
{
    const QRegion round = JogHitRegion(JogFaceKind::Round);
    EXPECT_EQ(round.boundingRect(), QRect(0, 0, 46, 46));
    EXPECT_TRUE(round.contains(QPoint(23, 23)));
    EXPECT_TRUE(round.contains(QPoint(2, 23)));
    for (QPoint corner : {QPoint(2, 2), QPoint(43, 2), QPoint(2, 43), QPoint(43, 43)})
        EXPECT_FALSE(round.contains(corner)) << corner.x() << "," << corner.y();

    const QRegion switchRegion = JogHitRegion(JogFaceKind::Switch);
    EXPECT_TRUE(switchRegion.contains(QPoint(0, 0)));
    EXPECT_TRUE(switchRegion.contains(QPoint(44, 29)));
    EXPECT_FALSE(switchRegion.contains(QPoint(45, 10)));
    EXPECT_FALSE(switchRegion.contains(QPoint(10, 30)));

    const QRegion key = JogHitRegion(JogFaceKind::Key);
    EXPECT_TRUE(key.contains(QPoint(38, 39)));
    EXPECT_FALSE(key.contains(QPoint(39, 20)));
    EXPECT_FALSE(key.contains(QPoint(20, 40)));
}

TEST_F(JogButtonTest, ClickOutsideARoundKeysRegionDoesNothing)
{
    CJogButton* key = AddButton(1015, QRect(10, 10, 46, 46));
    key->SetFace(QRect(0, 0, 46, 46), nullptr, JogHitRegion(JogFaceKind::Round));
    key->SetNotifyFlags(3);
    ShowActive();

    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(key->IsPressed());
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(commands.empty());

    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(23, 23));
    EXPECT_EQ(commands, (std::vector<int>{1015, 1015}));
    EXPECT_FALSE(key->IsPressed());
}

TEST_F(JogButtonTest, DefaultNotifiesOnPressOnly)
{
    CJogButton* key = AddButton(1030, QRect(10, 10, 39, 40));
    ShowActive();
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(key->IsPressed());
    EXPECT_EQ(commands.size(), 1u);
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(key->IsPressed());
    EXPECT_EQ(commands.size(), 1u);
}

TEST_F(JogButtonTest, NotifyFlagsThreeSendPressAndRelease)
{
    CJogButton* key = AddButton(1172, QRect(10, 10, 45, 30));
    key->SetFace(QRect(0, 0, 45, 30), nullptr, JogHitRegion(JogFaceKind::Switch));
    key->SetNotifyFlags(3);
    ShowActive();
    bool pressedAtFirst = false;
    bool pressedAtSecond = true;
    QObject::connect(key, &CJogButton::Command, &window, [&] {
        if (commands.size() == 1)
            pressedAtFirst = key->IsPressed();
        else
            pressedAtSecond = key->IsPressed();
    });
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(commands.size(), 2u);
    // The owner acts on release: the second command comes when the key is already up.
    EXPECT_TRUE(pressedAtFirst);
    EXPECT_FALSE(pressedAtSecond);

    key->SetNotifyFlags(2);
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(commands.size(), 3u);
    key->SetNotifyFlags(0);
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(commands.size(), 3u);
}

TEST_F(JogButtonTest, HeldKeyRepeatsEveryIntervalAndStopsAtRelease)
{
    CJogButton* key = AddButton(1028, QRect(10, 10, 39, 40));
    key->SetRepeatInterval(100);
    key->SetAutoRepeat(true);
    ShowActive();

    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_TRUE(key->IsRepeating());
    QTest::qWait(1000);
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
    const size_t repeats = commands.size() - 1;
    EXPECT_GE(repeats, 7u);
    EXPECT_LE(repeats, 13u);
    EXPECT_FALSE(key->IsRepeating());
    QTest::qWait(350);
    EXPECT_EQ(commands.size(), repeats + 1);
}

TEST_F(JogButtonTest, SwitchingAutoRepeatOffStopsARunningRepeat)
{
    CJogButton* key = AddButton(1024, QRect(10, 10, 39, 40));
    key->SetRepeatInterval(50);
    key->SetAutoRepeat(true);
    ShowActive();
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(key->IsRepeating());
    key->SetAutoRepeat(false);
    EXPECT_FALSE(key->IsRepeating());
    const size_t sent = commands.size();
    QTest::qWait(200);
    EXPECT_EQ(commands.size(), sent);
    EXPECT_TRUE(key->IsPressed());
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
}

TEST_F(JogButtonTest, LatchModeHoldsTheKeyUntilTheSecondClick)
{
    CJogButton* pause = AddButton(1175, QRect(10, 10, 46, 46));
    pause->SetFace(QRect(0, 0, 46, 46), nullptr, JogHitRegion(JogFaceKind::Round));
    pause->SetNotifyFlags(3);
    pause->SetLatchMode(true);
    ShowActive();
    const QPoint centre(23, 23);

    QTest::mouseClick(pause, Qt::LeftButton, {}, centre);
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_TRUE(pause->IsPressed());
    EXPECT_EQ(pause->GetPressCount(), 1);

    QTest::mousePress(pause, Qt::LeftButton, {}, centre);
    EXPECT_EQ(pause->GetPressCount(), 2);
    EXPECT_EQ(commands.size(), 1u);
    QTest::mouseRelease(pause, Qt::LeftButton, {}, centre);
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_FALSE(pause->IsPressed());
}

TEST_F(JogButtonTest, LatchModeWithPressNotificationOnlySendsNothingOnTheSecondClick)
{
    CJogButton* key = AddButton(1, QRect(10, 10, 39, 40));
    key->SetLatchMode(true);
    ShowActive();
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_FALSE(key->IsPressed());
}

TEST_F(JogButtonTest, LatchAndUnlatchChangeTheFaceWithoutNotifying)
{
    CJogButton* key = AddButton(1175, QRect(10, 10, 39, 40));
    key->SetNotifyFlags(3);
    key->Latch();
    EXPECT_FALSE(key->IsPressed()) << "only in latch mode";
    key->SetLatchMode(true);
    key->Latch();
    EXPECT_TRUE(key->IsPressed());
    key->Unlatch();
    EXPECT_FALSE(key->IsPressed());
    EXPECT_TRUE(commands.empty());
}

// Whatever way a held key loses the chance of its own release (the mouse button or the Space
// key would go up elsewhere), it is released at once, as by a real release: its repeat stops
// and the release is told.
TEST_F(JogButtonTest, HeldKeyIsReleasedWhenItsReleaseCanNoLongerArrive)
{
    struct Row
    {
        const char* name;
        bool bySpace;
        std::function<void(CJogButton* held, CJogButton* other, QWidget& elsewhere)> event;
    };
    const auto focusElsewhere = [](CJogButton*, CJogButton* other, QWidget&) { other->setFocus(); };
    const auto disable = [](CJogButton* held, CJogButton*, QWidget&) { held->setEnabled(false); };
    const auto hide = [](CJogButton* held, CJogButton*, QWidget&) { held->hide(); };
    const auto otherWindow = [](CJogButton*, CJogButton*, QWidget& elsewhere) {
        elsewhere.show();
        elsewhere.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    };
    const Row rows[] = {
        {"mouse, focus moves", false, focusElsewhere},
        {"Space, focus moves", true, focusElsewhere},
        {"mouse, disabled", false, disable},
        {"Space, disabled", true, disable},
        {"mouse, hidden", false, hide},
        {"Space, hidden", true, hide},
        {"mouse, other window", false, otherWindow},
        {"Space, other window", true, otherWindow},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        commands.clear();
        QWidget elsewhere;
        elsewhere.resize(100, 100);
        CJogButton* held = AddButton(1026, QRect(10, 10, 39, 40));
        CJogButton* other = AddButton(1032, QRect(100, 10, 39, 40));
        held->SetNotifyFlags(3);
        held->SetRepeatInterval(50);
        held->SetAutoRepeat(true);
        ShowActive();
        held->setFocus();
        if (row.bySpace)
            QTest::keyPress(held, Qt::Key_Space);
        else
            QTest::mousePress(held, Qt::LeftButton, {}, QPoint(10, 10));
        ASSERT_TRUE(held->IsRepeating());

        row.event(held, other, elsewhere);
        EXPECT_FALSE(held->IsPressed());
        EXPECT_FALSE(held->IsRepeating());
        EXPECT_EQ(commands, (std::vector<int>{1026, 1026}));
        QTest::qWait(150);
        EXPECT_EQ(commands.size(), 2u);
        delete held;
        delete other;
    }
}

// An interval of 0 asks for "as often as possible"; the repeat still waits the floor between
// two commands instead of firing on every pass of the event loop.
TEST_F(JogButtonTest, RepeatIntervalHasAFloor)
{
    CJogButton* key = AddButton(1030, QRect(10, 10, 39, 40));
    key->SetRepeatInterval(0);
    key->SetAutoRepeat(true);
    ShowActive();
    QElapsedTimer held;
    held.start();
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([this] { return commands.size() >= 4; }, 5000));
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
    // The press, then at most one repeat per floor that has passed.
    const qint64 floorsPassed = held.elapsed() / CJogButton::MinRepeatIntervalMs;
    EXPECT_LE(static_cast<qint64>(commands.size()), floorsPassed + 1);
}

TEST_F(JogButtonTest, SpaceKeyPressesAndReleases)
{
    CJogButton* key = AddButton(1174, QRect(10, 10, 39, 40));
    key->SetNotifyFlags(3);
    ShowActive();
    key->setFocus();
    QTest::keyPress(key, Qt::Key_Space);
    EXPECT_TRUE(key->IsPressed());
    // The keyboard's own repeat adds nothing; the button has its own.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(key, &repeat);
    EXPECT_EQ(key->GetPressCount(), 1);
    QTest::keyRelease(key, Qt::Key_Space);
    EXPECT_FALSE(key->IsPressed());
    EXPECT_EQ(commands.size(), 2u);
}

TEST_F(JogButtonTest, RightButtonDoesNotPress)
{
    CJogButton* key = AddButton(1174, QRect(10, 10, 39, 40));
    ShowActive();
    QTest::mouseClick(key, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_FALSE(key->IsPressed());
    EXPECT_TRUE(commands.empty());
}

TEST_F(JogButtonTest, FaceComesFromTheLeftHalfReleasedAndTheRightHalfPressed)
{
    QPixmap skin(200, 60);
    {
        QPainter painter(&skin);
        painter.fillRect(0, 0, 100, 60, QColor(200, 0, 0));
        painter.fillRect(100, 0, 100, 60, QColor(0, 0, 200));
        painter.fillRect(30, 10, 20, 20, QColor(0, 200, 0));    // this key's released face
        painter.fillRect(130, 10, 20, 20, QColor(200, 200, 0)); // and its pressed face
    }
    CJogButton* key = AddButton(1178, QRect(10, 10, 20, 20));
    key->SetFace(QRect(30, 10, 20, 20), &skin, std::nullopt);
    ShowActive();
    EXPECT_EQ(key->grab().toImage().pixelColor(10, 10), QColor(0, 200, 0));
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(key->grab().toImage().pixelColor(10, 10), QColor(200, 200, 0));
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(key->grab().toImage().pixelColor(10, 10), QColor(0, 200, 0));
}

TEST_F(JogButtonTest, CaptionIsDrawnInItsTextColour)
{
    QPixmap skin(200, 60);
    skin.fill(Qt::black);
    CJogButton* key = AddButton(1015, QRect(10, 10, 46, 46));
    key->SetFace(QRect(10, 10, 46, 46), &skin, std::nullopt);
    QFont font = key->font();
    font.setPixelSize(30);
    font.setBold(true);
    key->setFont(font);
    key->SetText(QStringLiteral("I"));
    key->SetTextColor(Qt::white);
    const QImage face = key->grab().toImage();
    int white = 0;
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            white += face.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(white, 10);
    EXPECT_EQ(face.pixelColor(1, 1), QColor(Qt::black));
}

} // namespace
