#include <gtest/gtest.h>

#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "dialogs/AboutBox.h"
#include "resources/Icons.h"
#include "platform/System.h"

namespace dorvanta {
namespace {

// Shown twice, closed by Escape, then Enter: band, icon frame, caption, and the
// place where it was closed kept for the next showing.
TEST(AboutBoxTest, ShownModallyWithBandCaptionAndKeptPlace) {
    TAboutBox info;
    const int colours[][5] = {
        {0, 1, 74, 160, 255},    {163, 1, 164, 207, 255}, {325, 1, 254, 254, 255},
        {326, 1, 255, 255, 255}, {327, 1, 254, 255, 255}, {380, 1, 166, 208, 255},
        {434, 1, 76, 161, 255},  {40, 15, 96, 171, 255},  {7, 48, 77, 162, 255}};
    const QPoint centred = info.screen()->availableGeometry().center() - QPoint(217, 66);
    for (const auto& [key, expectedPos] :
         {std::pair{Qt::Key_Escape, centred}, std::pair{Qt::Key_Return, QPoint(50, 60)}}) {
        QString caption;
        QImage band;  // LogoPB
        QPoint pos;
        QTimer::singleShot(0, [&, key = key] {
            caption = info.windowTitle();
            band = info.LogoPB->grab().toImage();
            pos = info.pos();
            info.move(50, 60);
            QTest::keyClick(&info, key);
        });
        info.ShowInfoDialog("Dorvanta", "2003–2024", AppIcon());
        EXPECT_EQ(caption, "Info über Dorvanta");
        EXPECT_EQ(info.result(), QDialog::Accepted) << key;
        EXPECT_EQ(pos, expectedPos) << key;
        for (auto [x, y, r, g, b] : colours)
            EXPECT_EQ(band.pixelColor(x, y).name(), QColor(r, g, b).name()) << x;
        for (QPoint corner : {QPoint(7, 15), QPoint(39, 15), QPoint(7, 47), QPoint(39, 47)})
            EXPECT_EQ(band.pixelColor(corner).name(),
                      info.palette().color(QPalette::Window).name());
    }
}

// Mask ORed, then logo ANDed: black stays black, white shows the band (as on row 1,
// above the logo), other colours darken it.
TEST(AboutBoxTest, LogoBlackStaysBlackAndWhiteShowsTheBand) {
    TAboutBox info;
    const QImage shot = info.LogoPB->grab().toImage();
    const QPoint at(326 - 71, 4);
    int counts[3] = {};  // black, white, other logo pixels
    for (int y = 0; y + at.y() < shot.height(); ++y) {
        for (int x = 0; x < info.Logo.width(); ++x) {
            const QRgb logo = info.Logo.pixel(x, y) & 0xffffff;
            const QRgb band = shot.pixel(at.x() + x, 1) & 0xffffff;
            ++counts[logo == 0 ? 0 : logo == 0xffffff ? 1 : 2];
            ASSERT_EQ(shot.pixel(at + QPoint(x, y)) & 0xffffff, band & logo) << x << "," << y;
        }
    }
    for (int count : counts) EXPECT_GT(count, 100);
}

// Hovering underlines, leaving drops every style, pressing reddens, releasing turns
// blue again and opens the target.
TEST(AboutBoxTest, LinksReactAndOpenTheirTargets) {
    TAboutBox info;
    for (const auto& [label, target] : {std::pair{info.EMailLbl, "mailto:info@qz-software.example"},
                                        std::pair{info.URLLbl, "http://www.qz-software.example"}}) {
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(label, &enter);
        EXPECT_TRUE(label->font().underline());
        QTest::mousePress(label, Qt::LeftButton);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), Qt::red);
        QTest::mouseRelease(label, Qt::LeftButton);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), Qt::blue);
        EXPECT_EQ(OpenedUrlsInTestMode().last(), target);
        label->setFont(QFont("Serif", 8, QFont::Bold, true));
        QApplication::sendEvent(label, &leave);
        EXPECT_EQ(label->font(), QFont("Serif", 8));
    }
}

}  // namespace
}  // namespace dorvanta
