#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QWidget>
#include <ostream>
#include <string>

#include "PlatformTestApp.h"
#include "platform/ScreenFit.h"

// Failures name rectangles and sizes as "x,y wxh" and "wxh" (found by argument lookup).
static void PrintTo(const QSize& s, std::ostream* out) {
    *out << s.width() << 'x' << s.height();
}
static void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << ',' << r.y() << ' ';
    PrintTo(r.size(), out);
}

namespace dorvanta {
namespace {

std::string Str(const QRect& r) {
    return ::testing::PrintToString(r);
}

// A screen of 1366x768 at the origin, and one right of it whose panel takes 24 pixels at the top.
const QRect kLaptop(0, 0, 1366, 768);
const QRect kRight(1366, 24, 1920, 1056);

TEST(ScreenFitTest, FramesAreMovedAndShrunkIntoTheArea) {
    struct Case {
        const char* what;
        QRect frame, area;
        QSize minimum;
        QRect expected;
    };
    const Case cases[] = {
        {"inside already", {100, 100, 400, 300}, kLaptop, {200, 100}, {100, 100, 400, 300}},
        {"over the right edge", {1200, 100, 400, 300}, kLaptop, {200, 100}, {966, 100, 400, 300}},
        {"over the bottom, fixed size",
         {100, 700, 300, 200},
         kLaptop,
         {300, 200},
         {100, 568, 300, 200}},
        {"above and left of it", {-50, -20, 400, 300}, kLaptop, {0, 0}, {0, 0, 400, 300}},
        {"larger: main window at scale 2",
         {0, 0, 1580, 900},
         kLaptop,
         {201, 350},
         {0, 0, 1366, 768}},
        {"larger and off: file dialog",
         {300, 200, 1862, 900},
         kLaptop,
         {400, 300},
         {0, 0, 1366, 768}},
        {"minimum wider: overhangs right",
         {200, 100, 1600, 400},
         kLaptop,
         {1500, 300},
         {0, 100, 1500, 400}},
        {"minimum taller, second screen",
         {1400, 500, 800, 1200},
         kRight,
         {400, 1100},
         {1400, 24, 800, 1100}},
        {"left of the second screen", {1000, 0, 600, 400}, kRight, {0, 0}, {1366, 24, 600, 400}},
        {"never grown to the minimum", {10, 10, 100, 80}, kLaptop, {300, 200}, {10, 10, 100, 80}},
        {"no screen", {-500, -500, 3000, 3000}, QRect(), {0, 0}, {-500, -500, 3000, 3000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitFrameIntoArea(c.frame, c.area, c.minimum), c.expected) << c.what;
    }
}

TEST(ScreenFitTest, TheFirstSizeIsSevenTenthsOfTheScreenWithinTheDesign) {
    struct Case {
        const char* what;
        QRect area;
        QSize expected;
    };
    // The main window: 790x327 designed, a menu bar of 21 pixels around it.
    const Case cases[] = {
        {"1366x768", kLaptop, {956, 516}},
        {"1366x768 at scale 2: the design where it fits, else the screen",
         {0, 0, 683, 384},
         {683, 327}},
        {"second screen below its panel", kRight, {1344, 718}},
        {"lower than the design", {0, 0, 800, 300}, {790, 279}},
        {"no screen", QRect(), {790, 327}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirstWindowSize(c.area, QSize(790, 327), QSize(0, 21)), c.expected) << c.what;
    }
}

// The application fits every window it shows into its screen, after a dialog
// has placed itself; popups stay where they were put.
TEST(ScreenFitTest, ShownWindowsLieInsideTheirScreen) {
    testing::PlatformTestApp();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_FALSE(area.isEmpty());
    const auto inside = [&area](const QWidget& w) { return area.contains(w.frameGeometry()); };

    QWidget owner;
    owner.resize(300, 200);
    owner.show();

    QDialog huge(&owner);  // centred over its owner, far larger than the screen
    huge.resize(area.width() * 3, area.height() * 2);
    huge.show();
    QApplication::processEvents();
    EXPECT_TRUE(inside(huge)) << Str(huge.frameGeometry());
    EXPECT_LT(huge.width(), area.width());
    // Hidden and shown again it still fits, and Qt still centres it: the fit
    // counted as no move of the program's own.
    EXPECT_FALSE(huge.testAttribute(Qt::WA_Moved));
    huge.hide();
    huge.show();
    QApplication::processEvents();
    EXPECT_TRUE(inside(huge)) << Str(huge.frameGeometry());

    QWidget stubborn;  // cannot get narrower than the screen: its left edge stays on it
    stubborn.setMinimumSize(area.width() + 100, 100);
    stubborn.setGeometry(area.right() - 50, area.bottom() - 50, area.width() + 200, 150);
    stubborn.show();
    QApplication::processEvents();
    EXPECT_EQ(stubborn.width(), area.width() + 100);
    EXPECT_EQ(stubborn.frameGeometry().left(), area.left());
    EXPECT_LE(stubborn.frameGeometry().bottom(), area.bottom());

    QWidget corner;  // placed half off the bottom right corner
    corner.setGeometry(area.right() - 100, area.bottom() - 60, 300, 200);
    corner.show();
    QApplication::processEvents();
    EXPECT_TRUE(inside(corner)) << Str(corner.frameGeometry());
    EXPECT_EQ(corner.size(), QSize(300, 200));

    QWidget popup(nullptr, Qt::Popup);
    const QRect put(area.right() - 10, area.top() + 10, 100, 100);
    popup.setGeometry(put);
    popup.show();
    QApplication::processEvents();
    EXPECT_EQ(popup.geometry(), put);
    popup.hide();
}

}  // namespace
}  // namespace dorvanta
