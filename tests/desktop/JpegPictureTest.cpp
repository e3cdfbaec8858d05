#include "JpegPicture.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

using namespace vvp;

TEST(JpegPictureTest, DecodesTheSplashAndRefusesBrokenPicturesWithoutEndingTheProgram) {
    auto bytes = ReadWholeFile(VVP_SPLASH_JPEG);
    ASSERT_TRUE(bytes.ok());
    auto picture = DecodeJpeg(*bytes);
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(picture->width, 420);
    EXPECT_EQ(picture->height, 240);
    EXPECT_EQ(picture->pixels.size(), 420u * 240u * 3u);

    struct Case {
        const char* what;
        std::string bytes;
        int maxSide;
    } cases[] = {
        {"empty", "", 4096},
        {"not a JPEG", "GIF89a this is not a jpeg at all", 4096},
        {"header cut short", bytes->substr(0, 40), 4096},
        {"larger than allowed", *bytes, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto broken = DecodeJpeg(c.bytes, c.maxSide);
        EXPECT_FALSE(broken.ok());
    }
    // A picture cut short after its header still shows what arrived, as libjpeg does.
    EXPECT_TRUE(DecodeJpeg(bytes->substr(0, bytes->size() / 2)).ok());
}
