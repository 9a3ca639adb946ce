// Broken pictures in place of 3.png: damaged, huge or of another format, in
// process through the loading and against the real saver.
#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "program/saver_run.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "settings/settings.h"
#include "support/picture_state_win.h"
#include "support/win_test_support.h"

namespace {

uint32_t crc32Of(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian32(uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string pngChunk(const std::string& type, const std::string& data)
{
    return bigEndian32(static_cast<uint32_t>(data.size())) + type + data + bigEndian32(crc32Of(type + data));
}

// A well-formed PNG that claims 100000 x 100000 RGBA pixels (40 GB decoded)
// and carries an IDAT of 11 bytes: a zlib stream of one empty stored block.
std::string hugePng()
{
    const std::string header = bigEndian32(100000) + bigEndian32(100000) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", std::string("\x78\x01\x01\x00\x00\xff\xff\x00\x00\x00\x01", 11)) +
           pngChunk("IEND", "");
}

// The real picture with one byte of its first IDAT chunk's data flipped, so
// that the chunk's CRC no longer matches.
std::string withBadCrc(std::string png)
{
    const size_t type = png.find("IDAT");
    if (type == std::string::npos || type < 4) return std::string();
    const uint32_t length = (static_cast<unsigned char>(png[type - 4]) << 24) |
                            (static_cast<unsigned char>(png[type - 3]) << 16) |
                            (static_cast<unsigned char>(png[type - 2]) << 8) |
                            static_cast<unsigned char>(png[type - 1]);
    if (length < 20) return std::string();
    png[type + 4 + length / 2] ^= 0x5A;
    return png;
}

bool encoderFor(const wchar_t* mimeType, CLSID* clsid)
{
    UINT count = 0;
    UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (lstrcmpW(encoders[i].MimeType, mimeType) == 0) {
            *clsid = encoders[i].Clsid;
            return true;
        }
    return false;
}

// A width x height picture of a disc saved by GDI+'s encoder for mimeType
// under path, whatever the name's extension says. GDI+ must run. The GIF is
// made from an indexed bitmap: for any other format Wine's GIF encoder writes
// a picture without pixels and still reports success.
bool saveEncoded(const std::wstring& path, const wchar_t* mimeType, int width, int height)
{
    CLSID clsid;
    if (!encoderFor(mimeType, &clsid)) return false;
    if (lstrcmpW(mimeType, L"image/gif") == 0) {
        Gdiplus::Bitmap indexed(width, height, PixelFormat8bppIndexed);
        Gdiplus::Rect all(0, 0, width, height);
        Gdiplus::BitmapData pixels;
        if (indexed.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat8bppIndexed, &pixels) != Gdiplus::Ok)
            return false;
        for (int y = 0; y < height; ++y) {
            BYTE* row = static_cast<BYTE*>(pixels.Scan0) + y * pixels.Stride;
            for (int x = 0; x < width; ++x) {
                const int dx = 2 * x + 1 - width;
                const int dy = 2 * y + 1 - height;
                row[x] = dx * dx * height * height + dy * dy * width * width <= width * width * height * height
                             ? 249
                             : 0;
            }
        }
        indexed.UnlockBits(&pixels);
        return indexed.Save(path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::Bitmap picture(width, height, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&picture);
        graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
        Gdiplus::SolidBrush red(Gdiplus::Color(255, 220, 30, 40));
        graphics.FillEllipse(&red, 0, 0, width, height);
    }
    return picture.Save(path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

// How 3.png is replaced. Each makes the file (or folder) at path and reports
// success; GDI+ must run for the encoded ones.
enum class Replacement {
    zeroBytes,
    signatureOnly,
    truncated,
    badCrc,
    hugeDimensions,
    folder,
    bmp,
    gif,
    jpeg,
    onePixel
};

bool makeReplacement(Replacement replacement, const std::wstring& path)
{
    const std::string real = readFileBytes(distDirectory() + L"\\3.png");
    switch (replacement) {
    case Replacement::zeroBytes: return writeFileBytes(path, "");
    case Replacement::signatureOnly: return writeFileBytes(path, real.substr(0, 8));
    case Replacement::truncated: return writeFileBytes(path, real.substr(0, real.size() / 2));
    case Replacement::badCrc: {
        const std::string damaged = withBadCrc(real);
        return !damaged.empty() && writeFileBytes(path, damaged);
    }
    case Replacement::hugeDimensions: return writeFileBytes(path, hugePng());
    case Replacement::folder: return CreateDirectoryW(path.c_str(), nullptr) != 0;
    case Replacement::bmp: return saveEncoded(path, L"image/bmp", 64, 48);
    case Replacement::gif: return saveEncoded(path, L"image/gif", 64, 48);
    case Replacement::jpeg: return saveEncoded(path, L"image/jpeg", 64, 48);
    case Replacement::onePixel: return saveEncoded(path, L"image/png", 1, 1);
    }
    return false;
}

struct PictureCase {
    const char* name;
    Replacement replacement;
    bool accepted;  // loads as a picture with a width above 0
    UINT width;     // of the accepted picture
};

const PictureCase kPictureCases[] = {
    {"zero-byte file", Replacement::zeroBytes, false, 0},
    {"PNG signature only", Replacement::signatureOnly, false, 0},
    {"PNG cut in half", Replacement::truncated, false, 0},
    {"PNG with a bad CRC in its IDAT", Replacement::badCrc, false, 0},
    {"PNG claiming 100000 x 100000 pixels", Replacement::hugeDimensions, false, 0},
    {"folder named 3.png", Replacement::folder, false, 0},
    {"BMP named 3.png", Replacement::bmp, true, 64},
    {"GIF named 3.png", Replacement::gif, true, 64},
    {"JPEG named 3.png", Replacement::jpeg, true, 64},
    {"1 x 1 PNG", Replacement::onePixel, true, 1},
};

// A fresh folder holding the eight real pictures with 3.png replaced.
std::wstring pictureFolderWith(const std::wstring& work, const PictureCase& c)
{
    const std::wstring folder = work + L"\\" + std::to_wstring(&c - kPictureCases);
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int n = 1; n <= 8; ++n) {
        if (n == 3) continue;
        const std::wstring file = L"\\" + std::to_wstring(n) + L".png";
        EXPECT_TRUE(copyFileTo(distDirectory() + file, folder + file));
    }
    EXPECT_TRUE(makeReplacement(c.replacement, folder + L"\\3.png")) << c.name;
    return folder;
}

SIZE_T peakPagefileUsage(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakPagefileUsage;
}

constexpr SIZE_T kMemoryBound = SIZE_T{1} << 30;

class PicturesInProcessTest : public testing::Test {
protected:
    static void SetUpTestSuite() { loadDisplayStrings(GetModuleHandleA(nullptr)); }
    void SetUp() override
    {
        savedSettings_ = settings;
        savedField_ = ballField;
        work_ = makeTempDirectory(L"zeph-bad-pictures");
        ASSERT_FALSE(work_.empty());
    }
    void TearDown() override
    {
        settings = savedSettings_;
        ballField = savedField_;
        removeDirectoryTree(work_);
    }
    std::wstring work_;

private:
    Settings savedSettings_;
    BallField savedField_;
};

TEST_F(PicturesInProcessTest, EveryReplacedPictureLoadsOrFailsWithItsMessage)
{
    MessageBoxCloser closer;
    for (const PictureCase& c : kPictureCases) {
        SCOPED_TRACE(c.name);
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr));
        const std::wstring folder = pictureFolderWith(work_, c);
        lstrcpynW(settings.installPath, folder.c_str(), kInstallPathUnits);

        const size_t boxesBefore = closer.seen().size();
        PROCESS_MEMORY_COUNTERS before = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
        int result = 0;
        std::string stateAtMessage;
        {
            PictureStateAtMessage recorder;
            ASSERT_TRUE(recorder.hooked());
            result = loadBallImages();
            stateAtMessage = recorder.state();
        }
        const SIZE_T peak = peakPagefileUsage(GetCurrentProcess());
        EXPECT_GT(peak, 0u) << "no memory counters";
        EXPECT_LT(peak, std::max(before.PeakPagefileUsage, before.PagefileUsage + kMemoryBound))
            << "loading took more than 1 GiB";

        const std::vector<SeenMessageBox> boxes = closer.seen();
        if (!c.accepted) {
            EXPECT_EQ(3, result);
            EXPECT_EQ("LLF.....", stateAtMessage);
            EXPECT_EQ("........", pictureState()) << "the failure released every picture";
            ASSERT_EQ(boxesBefore + 1, boxes.size());
            EXPECT_EQ(kImagesNotFoundText, boxes.back().text);
            EXPECT_EQ("Zephyrine", boxes.back().caption);
            continue;  // the failure shut GDI+ down
        }
        EXPECT_EQ(0, result);
        EXPECT_EQ(boxesBefore, boxes.size());
        EXPECT_EQ("LLLLLLLL", pictureState());
        ASSERT_NE(nullptr, pictures[2]);
        EXPECT_EQ(c.width, pictures[2]->GetWidth());
        for (int32_t size : {112, 84, 1}) {
            SCOPED_TRACE(testing::Message() << "ball size " << size);
            ballField.ballSize = size;
            makeThumbnails();
            ASSERT_NE(nullptr, thumbnails[2]);
            EXPECT_EQ(static_cast<UINT>(size), thumbnails[2]->GetWidth());
            EXPECT_EQ(static_cast<UINT>(size), thumbnails[2]->GetHeight());
        }
        releaseBallImages(startupState.gdiplusToken);
    }
}

TEST_F(SaverRunTest, EveryReplacedPictureEndsTheRunAsTheLoadingDecides)
{
    const std::wstring work = makeTempDirectory(L"zeph-bad-pictures");
    ASSERT_FALSE(work.empty());
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token, &input, nullptr));
    for (const PictureCase& c : kPictureCases) {
        SCOPED_TRACE(c.name);
        writeInstallPath(pictureFolderWith(work, c));
        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + kStartUpProbe));
        const QuickEnd expected = c.accepted ? kStartedUp : kPicturesMissing;
        // Wine reports no counters once the process is gone: sample them
        // while it runs.
        SIZE_T peak = 0;
        waitUntil(
            [&] {
                peak = std::max(peak, peakPagefileUsage(run.process));
                return !isRunning(run);
            },
            kBound);
        EXPECT_EQ(expected.exitCode, run.exitCodeWithin(0));
        EXPECT_GT(peak, 0u) << "no memory counters";
        EXPECT_LT(peak, kMemoryBound);
        std::vector<SeenMessageBox> boxes = closer.seen();
        ASSERT_EQ(c.accepted ? 0u : 1u, boxes.size());
        if (!c.accepted) {
            EXPECT_EQ(kImagesNotFoundText, boxes[0].text);
        }
    }
    Gdiplus::GdiplusShutdown(token);
    removeDirectoryTree(work);
}

}  // namespace
