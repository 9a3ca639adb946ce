// Takes the README's pictures of the running program: the full-screen saver
// over a red and blue desktop stand-in, the settings dialog with its defaults
// and the About box, each saved as a PNG into the folder named on the command
// line (the target readme_pictures writes them into docs/).
//   pictures <folder>
// It runs the program's own code in process, on a display of 1920 x 1080.
#include <windows.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/password_hooks_win.h"
#include "app/startup_state_win.h"
#include "res/resource.h"
#include "saver/ball_images_win.h"
#include "saver/saver_window_win.h"
#include "settings/about_box_win.h"
#include "settings/settings.h"
#include "settings/settings_dialog_win.h"
#include "support/win_test_support.h"

namespace {

const char kPatternClass[] = "ZephyrinePicturesPattern";

// Dispatches this thread's messages for ms milliseconds; a quit message ends
// nothing here.
void pumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message != WM_QUIT) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool pngEncoder(CLSID* encoder)
{
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            *encoder = codecs[i].Clsid;
            return true;
        }
    return false;
}

// Copies the rectangle of the screen into a PNG file.
bool saveScreenArea(const RECT& area, const std::wstring& path)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    CLSID encoder;
    bool saved = false;
    if (pngEncoder(&encoder)) {
        Gdiplus::Bitmap bitmap(picture, nullptr);
        saved = bitmap.Save(path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
    }
    DeleteObject(picture);
    std::printf("%s %ls (%d x %d)\n", saved ? "wrote" : "could not write", path.c_str(), width, height);
    return saved;
}

bool saveWindow(HWND window, const std::wstring& path)
{
    RECT frame;
    GetWindowRect(window, &frame);
    return saveScreenArea(frame, path);
}

// The full-screen saver over the stand-in, a second after it started. The
// stand-in stays under the saver: closed, it would leave the bare X root.
bool takeSaver(HINSTANCE instance, const std::wstring& folder)
{
    WNDCLASSA patternClass = {};
    patternClass.lpfnWndProc = redBlueDesktopProc;
    patternClass.hInstance = instance;
    patternClass.lpszClassName = kPatternClass;
    RegisterClassA(&patternClass);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND pattern = CreateWindowExA(0, kPatternClass, "pattern", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                   nullptr, nullptr, instance, nullptr);
    UpdateWindow(pattern);
    pumpFor(500);

    startupState.saverMode = 1;
    startupState.hostWindow = nullptr;
    resetToDefaults(settings);
    if (!registerSaverClass(instance) || createSaverWindow(instance, SW_SHOWNORMAL) != 1) {
        std::fprintf(stderr, "the saver window did not start\n");
        return false;
    }
    pumpFor(1000);
    const RECT screen = {0, 0, width, height};
    const bool saved = saveScreenArea(screen, folder + L"\\saver-fullscreen.png");
    DestroyWindow(FindWindowA(startupState.windowClassName, nullptr));
    DestroyWindow(pattern);
    pumpFor(100);
    return saved;
}

// The settings dialog with the defaults, then the About box, each alone on
// the screen.
bool takeDialogs(HINSTANCE instance, const std::wstring& folder)
{
    registerDialogClasses();
    resetToDefaults(settings);
    bool saved = true;
    const struct {
        int id;
        DLGPROC procedure;
        const wchar_t* name;
    } dialogs[] = {{IDD_SETTINGS, settingsDialogProc, L"settings-dialog.png"},
                   {IDD_ABOUT, aboutDialogProc, L"about-box.png"}};
    for (const auto& d : dialogs) {
        HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(d.id), nullptr, d.procedure, 0);
        if (!dialog) {
            std::fprintf(stderr, "dialog %d did not open\n", d.id);
            return false;
        }
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        pumpFor(500);
        saved = saveWindow(dialog, folder + L"\\" + d.name) && saved;
        DestroyWindow(dialog);
        pumpFor(100);
    }
    return saved;
}

}  // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 2) {
        std::fprintf(stderr, "usage: pictures <folder>\n");
        return 2;
    }
    const std::wstring folder = arguments[1];
    LocalFree(arguments);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    startupState.instance = instance;
    loadDisplayStrings(instance);
    passwordDialogActive = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr) != Gdiplus::Ok) return 1;

    // The pictures installed beside the saver in the build's dist folder.
    wchar_t module[MAX_PATH];
    std::wstring dist(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    dist = dist.substr(0, dist.find_last_of(L"\\/")) + L"\\..\\dist";
    wchar_t full[MAX_PATH];
    GetFullPathNameW(dist.c_str(), MAX_PATH, full, nullptr);
    lstrcpynW(settings.installPath, full, kInstallPathUnits);
    if (loadBallImages() != 0) {
        std::fprintf(stderr, "the pictures in %ls did not load\n", full);
        return 1;
    }
    SetCursorPos(700, 400);
    const bool saved = takeSaver(instance, folder) && takeDialogs(instance, folder);
    releaseBallImages(startupState.gdiplusToken);
    return saved ? 0 : 1;
}
