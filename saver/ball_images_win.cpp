// The eight ball pictures loaded from the install directory, their ball-sized
// thumbnails, and their release together with GDI+.
#include "saver/ball_images_win.h"

#include <new>

#include "app/object_count_win.h"
#include "app/startup_state_win.h"
#include "saver/ball_field.h"
#include "settings/settings.h"

Gdiplus::Image* pictures[kPictureCount];
Gdiplus::Image* thumbnails[kPictureCount];

namespace {

// Characters of installPath before its terminator; kInstallPathUnits when it
// has none, so that nothing past the field is read.
int installPathLength()
{
    int length = 0;
    while (length < kInstallPathUnits && settings.installPath[length] != L'\0') {
        ++length;
    }
    return length;
}

// The picture object for path, or null when its storage cannot be allocated.
// The storage comes from GdipAlloc through the class's own operator new; the
// headers declare that operator as throwing, so a new-expression need not
// test its result for null, and the test is made here before construction.
// The constructor calls GdipLoadImageFromFile with a native image that
// starts as null.
Gdiplus::Image* createPicture(const wchar_t* path)
{
    void* storage = Gdiplus::Image::operator new(sizeof(Gdiplus::Image));
    if (storage == nullptr) {
        return nullptr;
    }
    return ::new (storage) Gdiplus::Image(path, FALSE);
}

// GdipDisposeImage on the native image (virtual destructor), then GdipFree
// (the class's operator delete); the slot becomes null.
void deleteImage(Gdiplus::Image*& image, CountedObject kind)
{
    if (image != nullptr) {
        delete image;
        countDeleted(kind);
        image = nullptr;
    }
}

int failLoading(const char* message, int exitCode)
{
    MessageBoxA(nullptr, message, startupState.displayName, MB_ICONERROR);
    releaseBallImages(startupState.gdiplusToken);
    return exitCode;
}

}  // namespace

int loadBallImages()
{
    const int pathLength = installPathLength();
    for (int n = 1; n <= kPictureCount; ++n) {
        const int i = n - 1;
        wchar_t filePart[16];
        const int filePartLength = wsprintfW(filePart, L"\\%d.png", n);

        // An install path too long for the file part cannot name the pictures.
        if (pathLength + filePartLength >= MAX_PATH) {
            return failLoading(kImagesNotFoundMessage, kImagesNotFoundExit);
        }
        wchar_t path[MAX_PATH];
        lstrcpyW(path, settings.installPath);
        lstrcatW(path, filePart);

        pictures[i] = createPicture(path);
        countCreated(CountedObject::picture, pictures[i]);
        if (pictures[i] == nullptr) {
            return failLoading(kNoMemoryMessage, kNoMemoryExit);
        }
        // GdipGetImageWidth with a width that starts at 0, so a picture
        // without a native image reads as 0.
        if (pictures[i]->GetWidth() == 0) {
            return failLoading(kImagesNotFoundMessage, kImagesNotFoundExit);
        }
    }
    return 0;
}

void releaseBallImages(ULONG_PTR gdiplusToken)
{
    for (Gdiplus::Image*& picture : pictures) {
        deleteImage(picture, CountedObject::picture);
    }
    // The thumbnails are GDI+ objects too and must not outlive the library.
    for (Gdiplus::Image*& thumbnail : thumbnails) {
        deleteImage(thumbnail, CountedObject::thumbnail);
    }
    Gdiplus::GdiplusShutdown(gdiplusToken);
}

// GdipGetImageThumbnail on the picture's native image with no abort callback
// and no callback data, then a wrapper from GdipAlloc that takes the new
// native image (disposed again when the wrapper cannot be allocated). The
// class's own method is the only way to make such a wrapper: its native image
// and the constructor that takes one are private.
Gdiplus::Image* makeThumbnail(Gdiplus::Image* picture, UINT width, UINT height)
{
    if (picture == nullptr) {
        return nullptr;
    }
    return picture->GetThumbnailImage(width, height, nullptr, nullptr);
}

void makeThumbnails()
{
    const UINT size = static_cast<UINT>(ballField.ballSize);
    for (int i = 0; i < kPictureCount; ++i) {
        // A second call replaces the thumbnails instead of leaking them.
        deleteImage(thumbnails[i], CountedObject::thumbnail);
        thumbnails[i] = makeThumbnail(pictures[i], size, size);
        countCreated(CountedObject::thumbnail, thumbnails[i]);
    }
}
