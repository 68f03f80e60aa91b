#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "resources/Icons.h"

namespace dorvanta {
namespace {

constexpr IconId kAllToolIcons[] = {
    IconId::New,     IconId::Open,       IconId::Save,         IconId::NewKey,
    IconId::DelKey,  IconId::ShowData,   IconId::CompressView, IconId::Exit,
    IconId::NewData, IconId::DeleteData, IconId::Copy,
};

// True when the picture has at least one pixel that is not fully transparent.
bool HasInk(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

void ExpectDrawsAt(const QIcon& icon, int size, const char* what) {
    ASSERT_FALSE(icon.isNull()) << what;
    const QPixmap pixmap = icon.pixmap(size, size);
    ASSERT_FALSE(pixmap.isNull()) << what << " at " << size;
    EXPECT_EQ(pixmap.size(), QSize(size, size)) << what << " at " << size;
    EXPECT_TRUE(HasInk(pixmap)) << what << " is empty at " << size;
}

TEST(Icons, EveryToolIconDrawsAtToolBarSizes) {
    for (IconId id : kAllToolIcons) {
        const std::string what = "tool icon " + std::to_string(static_cast<int>(id));
        for (int size : {24, 32}) ExpectDrawsAt(ToolIcon(id), size, what.c_str());
    }
}

TEST(Icons, ToolIconsDifferFromEachOther) {
    // A wrong name table would hand out one picture twice (or an empty one).
    for (IconId a : kAllToolIcons) {
        for (IconId b : kAllToolIcons) {
            if (a < b) {
                EXPECT_NE(ToolIcon(a).pixmap(32, 32).toImage(),
                          ToolIcon(b).pixmap(32, 32).toImage())
                    << static_cast<int>(a) << " and " << static_cast<int>(b);
            }
        }
    }
}

TEST(Icons, AppIconDrawsLargeAndSmall) {
    for (int size : {16, 32, 64, 256}) ExpectDrawsAt(AppIcon(), size, "app icon");
}

}  // namespace
}  // namespace dorvanta
