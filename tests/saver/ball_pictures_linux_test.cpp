// Tests for the Linux ball pictures: which folders load, and thumbnails that
// average and keep an opaque picture's colour up to the edge.
#include "saver/ball_pictures_linux.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/png_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kOpaqueGreen = 0xff0ac81e;
constexpr uint32_t kGreens[8] = {kOpaqueGreen, kOpaqueGreen, kOpaqueGreen, kOpaqueGreen,
                                 kOpaqueGreen, kOpaqueGreen, kOpaqueGreen, kOpaqueGreen};

// One of the eight valid pictures, 16 x 16 and opaque.
Bytes validPicture()
{
    return solidPng(16, 16, kOpaqueGreen);
}

// The valid picture after edit.
template <typename Edit>
Bytes edited(Edit edit)
{
    Bytes png = validPicture();
    edit(png);
    return png;
}

const Bytes kJpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                  0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0xFF, 0xD9};

enum class Change { write, remove, makeDirectory, removeFolder };

struct FolderCase {
    const char* name;
    Change change;
    int n;  // the picture changed
    Bytes bytes;
    int expected;
};

void PrintTo(const FolderCase& row, std::ostream* out)
{
    *out << row.name;
}

class BallPictureFolders : public ::testing::TestWithParam<FolderCase> {
protected:
    void TearDown() override { releaseBallPictures(); }
};

TEST_P(BallPictureFolders, LoadGivesTheStatedResult)
{
    const TempDir folder;
    const FolderCase& row = GetParam();
    const std::string file = solidPictures(folder, kGreens, 16) + "/" + std::to_string(row.n) + ".png";
    switch (row.change) {
    case Change::write: ASSERT_TRUE(writeFile(file, row.bytes)); break;
    case Change::remove: fs::remove(file); break;
    case Change::makeDirectory:
        fs::remove(file);
        fs::create_directory(file);
        break;
    case Change::removeFolder: fs::remove_all(folder.path); break;
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(row.expected, loadBallPictures(folder.path.c_str()).exitCode);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    // Whatever a file claims, a load takes no more than its small pictures and a few MiB.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "KiB more at the peak";
    if (row.expected != 0) {
        EXPECT_FALSE(pictures[0].pixels) << "a failed load keeps no picture";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BallPictureFolders,
    ::testing::Values(FolderCase{"all eight", Change::write, 1, validPicture(), 0},
                      FolderCase{"folder missing", Change::removeFolder, 0, {}, 3},
                      FolderCase{"5.png missing", Change::remove, 5, {}, 3},
                      FolderCase{"0-byte file", Change::write, 1, {}, 3},
                      FolderCase{"truncated", Change::write, 1,
                                 edited([](Bytes& png) { png.resize(png.size() / 2); }), 3},
                      FolderCase{"bad CRC in the image data", Change::write, 1,
                                 edited([](Bytes& png) {  // a byte of the compressed data
                                     png.at(std::string(png.begin(), png.end()).find("IDAT") + 6) ^= 0x40;
                                 }),
                                 3},
                      FolderCase{"bad CRC of the header chunk", Change::write, 1,
                                 edited([](Bytes& png) { png.at(29) ^= 0x5A; }), 3},
                      FolderCase{"text file", Change::write, 1, {'h', 'e', 'l', 'l', 'o'}, 3},
                      FolderCase{"JPEG", Change::write, 1, kJpeg, 3},
                      // Refused from the header: decoding it would need 40 GB.
                      FolderCase{"header claims 100000 x 100000", Change::write, 7,
                                 edited([](Bytes& png) { setPngSize(png, 100000, 100000); }), 3},
                      // Refused before libpng allocates the gigabyte the text chunk claims.
                      FolderCase{"57 bytes with a 1 GiB text chunk", Change::write, 1, edited([](Bytes& png) {
                                     png.resize(8 + 25);  // the signature and the header chunk
                                     const Bytes text{0x40, 0,   0,   0, 't', 'E', 'X', 't', 'C', 'o', 'm', 'm',
                                                      'e',  'n', 't', 0, 'h', 'o', 's', 't', 'i', 'l', 'e', '!'};
                                     png.insert(png.end(), text.begin(), text.end());
                                 }),
                                 3},
                      FolderCase{"8193 wide", Change::write, 2, solidPng(8193, 1, kOpaqueGreen), 3},
                      FolderCase{"8192 tall", Change::write, 2, solidPng(1, 8192, kOpaqueGreen), 0},
                      FolderCase{"directory named 3.png", Change::makeDirectory, 3, {}, 3},
                      FolderCase{"1 x 1", Change::write, 4, solidPng(1, 1, kOpaqueGreen), 0},
                      FolderCase{"non-square", Change::write, 6, solidPng(40, 7, kOpaqueGreen), 0}));

// A picture in memory whose pixel (x, y) is colourAt(x, y), premultiplied a8r8g8b8.
template <typename ColourAt>
Picture pictureOf(int32_t width, int32_t height, ColourAt colourAt)
{
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.reset(new uint32_t[static_cast<size_t>(width) * height]);
    for (int32_t i = 0; i < width * height; ++i) {
        picture.pixels[i] = colourAt(i % width, i / width);
    }
    return picture;
}

// Calls check(pixel, x, y) for every pixel of a size x size thumbnail of picture.
template <typename Check>
void forEachThumbnailPixel(const Picture& picture, int32_t size, Check check)
{
    pixman_image_t* thumbnail = makeThumbnail(picture, size);
    ASSERT_NE(nullptr, thumbnail);
    ASSERT_EQ(size, pixman_image_get_width(thumbnail));
    ASSERT_EQ(size, pixman_image_get_height(thumbnail));
    const uint32_t* pixels = pixman_image_get_data(thumbnail);
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            check(pixels[y * pixman_image_get_stride(thumbnail) / 4 + x], x, y);
        }
    }
    pixman_image_unref(thumbnail);
}

struct OpaqueCase {
    int32_t width;
    int32_t height;
    int32_t size;
};

void PrintTo(const OpaqueCase& row, std::ostream* out)
{
    *out << row.width << " x " << row.height << " to " << row.size;
}

class OpaqueThumbnails : public ::testing::TestWithParam<OpaqueCase> {};

// Every pixel, the edges included, is the picture's own colour, fully opaque.
TEST_P(OpaqueThumbnails, KeepTheColourToTheEdge)
{
    const OpaqueCase row = GetParam();
    const Picture picture = pictureOf(row.width, row.height, [](int, int) { return 0xff0ac81eu; });
    forEachThumbnailPixel(picture, row.size, [](uint32_t pixel, int x, int y) {
        ASSERT_EQ(0xff0ac81eu, pixel) << "at " << x << ", " << y;
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, OpaqueThumbnails,
                         ::testing::Values(OpaqueCase{128, 128, 112}, OpaqueCase{128, 128, 37},
                                           OpaqueCase{1, 1, 112}, OpaqueCase{300, 40, 37}, OpaqueCase{128, 128, 1},
                                           OpaqueCase{16, 16, 16}));

TEST(Thumbnails, SizeZeroGivesNone)
{
    EXPECT_EQ(nullptr, makeThumbnail(pictureOf(1, 1, [](int, int) { return 0xff0ac81eu; }), 0));
}

// A checkerboard of single pixels, opaque white and fully transparent, shrinks to
// its average, half-transparent white (premultiplied 128), at every pixel and at a
// whole and a fractional ratio. A filter that samples gives values near 0 or 255.
TEST(Thumbnails, FinePatternShrinksToItsAverage)
{
    const Picture checker = pictureOf(256, 256, [](int x, int y) { return (x + y) % 2 ? 0xffffffffu : 0u; });
    for (const int32_t size : {16, 37}) {
        SCOPED_TRACE(size);
        forEachThumbnailPixel(checker, size, [](uint32_t pixel, int x, int y) {
            for (const int shift : {24, 16, 8, 0}) {
                ASSERT_NEAR(128, static_cast<int>(pixel >> shift & 0xff), 4)
                    << "channel " << shift << " at " << x << ", " << y;
            }
        });
    }
}

}  // namespace
