// The pictures compiled into the program decode through the JPEG plug-in at their sizes.
#include "app/Artwork.h"

#include <gtest/gtest.h>

TEST(Artwork, PicturesDecodeAtTheirSizes) {
    const QImage banner = BannerPicture();
    ASSERT_FALSE(banner.isNull());
    EXPECT_EQ(banner.size(), QSize(609, 60));
    const QImage welcome = WelcomePicture();
    ASSERT_FALSE(welcome.isNull());
    EXPECT_EQ(welcome.size(), QSize(609, 445));
    // Deep green on the left, near white on the right.
    for (const QImage* image : {&banner, &welcome}) {
        const QColor left = image->pixelColor(2, image->height() - 3);
        const QColor right = image->pixelColor(image->width() - 3, 2);
        EXPECT_GT(left.green(), left.red() + 20);
        EXPECT_LT(left.lightness(), 90);
        EXPECT_GT(right.lightness(), 230);
    }
    EXPECT_FALSE(ApplicationIcon().isNull());
    EXPECT_TRUE(ApplicationIcon().availableSizes().contains(QSize(32, 32)));
}
