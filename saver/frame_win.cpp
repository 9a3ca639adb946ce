// The two drawing surfaces and the composition of each frame off screen.
#include "saver/frame_win.h"

#include "app/object_count_win.h"
#include "app/startup_state_win.h"
#include "saver/ball_images_win.h"
#include "settings/settings.h"

HDC backgroundDC;
HBITMAP backgroundBitmap;
HDC backBufferDC;
HBITMAP backBufferBitmap;

namespace {

int32_t clampIndex(int32_t value, int32_t highest)
{
    if (value < 0) {
        return 0;
    }
    return value > highest ? highest : value;
}

RECT toRect(const ClientRect& client)
{
    return RECT{client.left, client.top, client.right, client.bottom};
}

void drawBackground(const ClientRect& client)
{
    if (settings.backgroundType == kBackgroundDesktop) {
        BitBlt(backBufferDC, 0, 0, client.right, client.bottom, backgroundDC, 0, 0, SRCCOPY);
        return;
    }
    const RECT area = toRect(client);
    const int brush = settings.backgroundType == kBackgroundBlack ? BLACK_BRUSH : WHITE_BRUSH;
    FillRect(backBufferDC, &area, static_cast<HBRUSH>(GetStockObject(brush)));
}

}  // namespace

void fillColorMatrix(Gdiplus::ColorMatrix& matrix, int32_t opacityPercent)
{
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 5; ++column) {
            matrix.m[row][column] = row == column ? 1.0f : 0.0f;
        }
    }
    matrix.m[3][3] = static_cast<float>(opacityPercent / 100.0);
}

void createSurfaces(HWND window, const ClientRect& client)
{
    HDC windowDC = GetDC(window);
    backgroundDC = CreateCompatibleDC(windowDC);
    countCreated(CountedObject::memoryDC, backgroundDC);
    backBufferDC = CreateCompatibleDC(windowDC);
    countCreated(CountedObject::memoryDC, backBufferDC);
    // From the window's context, not the memory contexts, so that both have
    // the display's colour format.
    backgroundBitmap = CreateCompatibleBitmap(windowDC, client.right, client.bottom);
    countCreated(CountedObject::bitmap, backgroundBitmap);
    backBufferBitmap = CreateCompatibleBitmap(windowDC, client.right, client.bottom);
    countCreated(CountedObject::bitmap, backBufferBitmap);
    SelectObject(backBufferDC, backBufferBitmap);
    ReleaseDC(window, windowDC);
    SelectObject(backgroundDC, backgroundBitmap);
}

// Full screen, or a background that is never shown: the screen's top-left
// client-sized corner one to one. Preview of the desktop: the whole screen
// shrunk to the client size.
void captureBackground(const ClientRect& client)
{
    HDC screenDC = GetDC(nullptr);
    if (startupState.saverMode == 1 || settings.backgroundType != kBackgroundDesktop) {
        BitBlt(backgroundDC, 0, 0, client.right, client.bottom, screenDC, 0, 0, SRCCOPY);
    } else {
        const int screenWidth = GetDeviceCaps(screenDC, HORZRES);
        const int screenHeight = GetDeviceCaps(screenDC, VERTRES);
        SetStretchBltMode(backgroundDC, HALFTONE);
        StretchBlt(backgroundDC, 0, 0, client.right, client.bottom, screenDC, 0, 0, screenWidth, screenHeight,
                   SRCCOPY);
    }
    ReleaseDC(nullptr, screenDC);
}

// Lays the background into the back buffer and draws every ball's thumbnail
// over it, ball 0 at the bottom, with its alpha scaled by the opacity.
void composeFrame(const ClientRect& client)
{
    if (backBufferDC == nullptr) {
        return;
    }
    drawBackground(client);

    // The headers' inline GDI+ classes make exactly the flat calls:
    // GdipCreateFromHDC, GdipCreateImageAttributes and
    // GdipSetImageAttributesColorMatrix here, GdipDrawImageRectRectI with the
    // thumbnail's native image (null for a null thumbnail, which draws
    // nothing), and on leaving GdipDisposeImageAttributes, then
    // GdipDeleteGraphics (destruction runs in reverse order of declaration).
    Gdiplus::Graphics graphics(backBufferDC);
    countCreated(CountedObject::graphics, &graphics);
    Gdiplus::ColorMatrix matrix;
    fillColorMatrix(matrix, settings.opacityPercent);
    Gdiplus::ImageAttributes attributes;
    countCreated(CountedObject::imageAttributes, &attributes);
    attributes.SetColorMatrix(&matrix, Gdiplus::ColorMatrixFlagsDefault, Gdiplus::ColorAdjustTypeBitmap);

    const int32_t size = ballField.ballSize;
    const int32_t count = clampIndex(settings.ballCount, kMaxBalls);
    for (int32_t i = 0; i < count; ++i) {
        Gdiplus::Image* thumbnail = thumbnails[clampIndex(ballField.imageIndex[i], kPictureCount - 1)];
        const Gdiplus::Rect destination(ballField.x[i], ballField.y[i], size, size);
        graphics.DrawImage(thumbnail, destination, 0, 0, size, size, Gdiplus::UnitPixel, &attributes, nullptr,
                           nullptr);
    }
    // Both are deleted as the function returns, attributes first.
    countDeleted(CountedObject::imageAttributes);
    countDeleted(CountedObject::graphics);
}

// Each memory context goes before its bitmap: a bitmap still selected into a
// context is not freed (Windows refuses the deletion, Wine puts it off until
// the context goes).
void releaseSurfaces()
{
    if (backBufferDC != nullptr) {
        const BOOL deleted = DeleteDC(backBufferDC);
        countDeleted(CountedObject::memoryDC, backBufferDC, deleted);
        backBufferDC = nullptr;
    }
    if (backBufferBitmap != nullptr) {
        const BOOL deleted = DeleteObject(backBufferBitmap);
        countDeleted(CountedObject::bitmap, backBufferBitmap, deleted);
        backBufferBitmap = nullptr;
    }
    if (backgroundDC != nullptr) {
        const BOOL deleted = DeleteDC(backgroundDC);
        countDeleted(CountedObject::memoryDC, backgroundDC, deleted);
        backgroundDC = nullptr;
    }
    if (backgroundBitmap != nullptr) {
        const BOOL deleted = DeleteObject(backgroundBitmap);
        countDeleted(CountedObject::bitmap, backgroundBitmap, deleted);
        backgroundBitmap = nullptr;
    }
}
