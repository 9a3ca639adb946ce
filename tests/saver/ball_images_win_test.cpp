// Loading, thumbnails and release of the ball pictures with the real GDI+.
#include "saver/ball_images_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "saver/ball_field.h"
#include "settings/settings.h"
#include "support/picture_state_win.h"
#include "support/win_test_support.h"

namespace {

bool allReleased()
{
    for (int i = 0; i < kPictureCount; ++i) {
        if (pictures[i] != nullptr || thumbnails[i] != nullptr) return false;
    }
    return true;
}

void setInstallPath(const std::wstring& path)
{
    lstrcpynW(settings.installPath, path.c_str(), kInstallPathUnits);
}

// A pixel of image drawn 1:1 into a 32-bit ARGB bitmap without blending.
Gdiplus::Color pixelOf(Gdiplus::Image* image, int x, int y)
{
    const int width = static_cast<int>(image->GetWidth());
    const int height = static_cast<int>(image->GetHeight());
    Gdiplus::Bitmap canvas(width, height, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics.DrawImage(image, Gdiplus::Rect(0, 0, width, height), 0, 0, width, height, Gdiplus::UnitPixel);
    }
    Gdiplus::Color color;
    canvas.GetPixel(x, y, &color);
    return color;
}

class BallImagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadDisplayStrings(GetModuleHandleA(nullptr)); }

    void SetUp() override
    {
        savedSettings_ = settings;
        savedField_ = ballField;
        workDirectory_ = makeTempDirectory(L"zeph-images");
        ASSERT_FALSE(workDirectory_.empty());
        startGdiplus();
    }

    void TearDown() override
    {
        if (gdiplusRunning_) release();
        settings = savedSettings_;
        ballField = savedField_;
        removeDirectoryTree(workDirectory_);
    }

    // Version 1, no debug callback, background thread not suppressed.
    void startGdiplus()
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr));
        gdiplusRunning_ = true;
    }

    // Failed loads shut GDI+ down themselves.
    int load()
    {
        const int result = loadBallImages();
        if (result != 0) gdiplusRunning_ = false;
        return result;
    }

    void release()
    {
        releaseBallImages(startupState.gdiplusToken);
        gdiplusRunning_ = false;
    }

    // A folder below the work folder holding the pictures named in `numbers`,
    // made on first use.
    std::wstring pictureFolder(const std::wstring& name, const std::vector<int>& numbers)
    {
        const std::wstring folder = workDirectory_ + L"\\" + name;
        if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return folder;
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        for (int n : numbers) {
            const std::wstring file = L"\\" + std::to_wstring(n) + L".png";
            EXPECT_TRUE(copyFileTo(distDirectory() + file, folder + file));
        }
        return folder;
    }

    std::wstring fullPictureFolder(const std::wstring& name)
    {
        return pictureFolder(name, {1, 2, 3, 4, 5, 6, 7, 8});
    }

    // A path of exactly `length` characters naming a full picture folder:
    // "\." steps pad it, and a folder name of one or two letters fixes the parity.
    std::wstring paddedPictureFolder(size_t length)
    {
        std::wstring folder = fullPictureFolder(L"p");
        if ((length - folder.size()) % 2 != 0) folder = fullPictureFolder(L"pq");
        while (folder.size() < length) folder += L"\\.";
        return folder;
    }

    MessageBoxCloser boxes_;
    std::wstring workDirectory_;

private:
    Settings savedSettings_;
    BallField savedField_;
    bool gdiplusRunning_ = false;
};

TEST_F(BallImagesTest, LoadsAllEightPicturesWithoutMessage)
{
    setInstallPath(fullPictureFolder(L"all"));
    ASSERT_EQ(0, load());
    EXPECT_EQ("LLLLLLLL", pictureState());
    for (Gdiplus::Image* thumbnail : thumbnails) EXPECT_EQ(nullptr, thumbnail);
    EXPECT_TRUE(boxes_.seen().empty());
}

TEST_F(BallImagesTest, InstallPathOf253CharactersStillLoads)
{
    const std::wstring folder = paddedPictureFolder(253);
    ASSERT_EQ(253u, folder.size());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"\\8.png").c_str()));
    setInstallPath(folder);
    ASSERT_EQ(0, load());
    EXPECT_EQ("LLLLLLLL", pictureState());
}

TEST_F(BallImagesTest, FailuresShowOneMessageReleaseAndReturn3)
{
    struct Case {
        const char* name;
        std::wstring installPath;
        bool unterminated;
        const char* stateAtMessage;
    };
    std::vector<Case> cases;

    cases.push_back({"5.png missing", pictureFolder(L"no5", {1, 2, 3, 4, 6, 7, 8}), false, "LLLLF..."});

    const std::wstring textFolder = pictureFolder(L"text1", {2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(writeFileBytes(textFolder + L"\\1.png", "These are not the pictures.\r\n"));
    cases.push_back({"1.png is a text file", textFolder, false, "F......."});

    cases.push_back({"254-character path to real pictures", paddedPictureFolder(254), false, "........"});
    cases.push_back({"259-character path", paddedPictureFolder(259), false, "........"});
    cases.push_back({"260 characters without terminator", std::wstring(), true, "........"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.unterminated) {
            for (wchar_t& unit : settings.installPath) unit = L'a';
        } else {
            setInstallPath(c.installPath);
            ASSERT_EQ(0, lstrcmpW(settings.installPath, c.installPath.c_str()));
        }
        const size_t boxesBefore = boxes_.seen().size();
        int result = 0;
        std::string stateAtMessage;
        {
            PictureStateAtMessage recorder;
            ASSERT_TRUE(recorder.hooked());
            result = load();
            stateAtMessage = recorder.state();
        }

        EXPECT_EQ(3, result);
        EXPECT_EQ(c.stateAtMessage, stateAtMessage);
        EXPECT_TRUE(allReleased());
        const std::vector<SeenMessageBox> seen = boxes_.seen();
        ASSERT_EQ(boxesBefore + 1, seen.size());
        EXPECT_EQ(kImagesNotFoundText, seen.back().text);
        EXPECT_EQ("Zephyrine", seen.back().caption);
        EXPECT_TRUE(seen.back().hasIcon);

        startGdiplus();  // the failure shut GDI+ down
    }
}

TEST_F(BallImagesTest, ThumbnailsAreBallSizedAndKeepTransparency)
{
    setInstallPath(fullPictureFolder(L"all"));
    ASSERT_EQ(0, load());
    Gdiplus::Image* loaded[kPictureCount];
    std::memcpy(loaded, pictures, sizeof loaded);
    ballField.ballSize = 84;

    makeThumbnails();

    for (int i = 0; i < kPictureCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded[i], pictures[i]);
        ASSERT_NE(nullptr, thumbnails[i]);
        EXPECT_NE(pictures[i], thumbnails[i]);
        EXPECT_EQ(84u, thumbnails[i]->GetWidth());
        EXPECT_EQ(84u, thumbnails[i]->GetHeight());
        EXPECT_EQ(0, pixelOf(thumbnails[i], 0, 0).GetAlpha());
        EXPECT_EQ(0, pixelOf(thumbnails[i], 83, 0).GetAlpha());
        EXPECT_EQ(255, pixelOf(thumbnails[i], 42, 42).GetAlpha());
    }
    EXPECT_EQ("LLLLLLLL", pictureState());
}

TEST_F(BallImagesTest, ThumbnailOfNonSquarePictureIsSquareWithItsAlpha)
{
    // 120 x 60, opaque except a transparent top-left quarter of 60 x 30.
    Gdiplus::Bitmap picture(120, 60, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&picture);
        graphics.Clear(Gdiplus::Color(255, 200, 30, 40));
    }
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) picture.SetPixel(x, y, Gdiplus::Color(0, 0, 0, 0));

    Gdiplus::Image* thumbnail = makeThumbnail(&picture, 84, 84);
    ASSERT_NE(nullptr, thumbnail);
    EXPECT_EQ(84u, thumbnail->GetWidth());
    EXPECT_EQ(84u, thumbnail->GetHeight());
    EXPECT_EQ(0, pixelOf(thumbnail, 0, 0).GetAlpha());
    EXPECT_EQ(0, pixelOf(thumbnail, 30, 30).GetAlpha());
    const Gdiplus::Color opaque = pixelOf(thumbnail, 70, 70);
    EXPECT_EQ(255, opaque.GetAlpha());
    EXPECT_NEAR(200, opaque.GetRed(), 2);
    EXPECT_NEAR(30, opaque.GetGreen(), 2);
    EXPECT_NEAR(40, opaque.GetBlue(), 2);
    delete thumbnail;

    EXPECT_EQ(nullptr, makeThumbnail(nullptr, 84, 84));
}

TEST_F(BallImagesTest, BallSizeZeroChangesNothingElse)
{
    setInstallPath(fullPictureFolder(L"all"));
    ASSERT_EQ(0, load());
    ballField.ballSize = 0;
    ballField.x[3] = 17;
    const BallField field = ballField;
    const Settings record = settings;
    Gdiplus::Image* loaded[kPictureCount];
    std::memcpy(loaded, pictures, sizeof loaded);

    makeThumbnails();

    EXPECT_EQ(0, std::memcmp(&field, &ballField, sizeof field));
    EXPECT_EQ(0, std::memcmp(&record, &settings, sizeof record));
    EXPECT_EQ(0, std::memcmp(loaded, pictures, sizeof loaded));
    EXPECT_EQ("LLLLLLLL", pictureState());
}

TEST_F(BallImagesTest, ReleaseClearsEverythingAndLoadingWorksAgain)
{
    setInstallPath(fullPictureFolder(L"all"));
    ASSERT_EQ(0, load());
    ballField.ballSize = 40;
    makeThumbnails();

    release();
    EXPECT_TRUE(allReleased());

    startGdiplus();
    ASSERT_EQ(0, load());
    EXPECT_EQ("LLLLLLLL", pictureState());
    makeThumbnails();
    for (Gdiplus::Image* thumbnail : thumbnails) {
        ASSERT_NE(nullptr, thumbnail);
        EXPECT_EQ(40u, thumbnail->GetWidth());
    }
    EXPECT_TRUE(boxes_.seen().empty());
}

}  // namespace
