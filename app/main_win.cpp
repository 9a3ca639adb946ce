// The program's entry: the start-up sequence, the run mode and its dispatch,
// the saver window's message loop, and the exit code.
#include <windows.h>
#include <gdiplus.h>

#include "app/command_line.h"
#include "app/object_count_win.h"
#include "app/password_hooks_win.h"
#include "app/startup_state_win.h"
#include "res/resource.h"
#include "saver/ball_images_win.h"
#include "saver/saver_window_win.h"
#include "settings/settings.h"
#include "settings/settings_dialog_win.h"
#include "settings/settings_store_win.h"

namespace {

void showStartupMessage(const char* text, UINT type)
{
    MessageBoxA(nullptr, text, startupState.displayName, type);
}

bool startGdiplus()
{
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    return Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr) == Gdiplus::Ok;
}

HWND toWindowHandle(int32_t number)
{
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(number));
}

// Runs until WM_QUIT and returns its wParam. A failing GetMessageA (-1) ends
// the loop too instead of spinning on it.
int runMessageLoop()
{
    HACCEL accelerators = LoadAcceleratorsA(startupState.instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    MSG message = {};
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) return 0;
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

// Preview and full-screen saver: the saver window and its message loop.
int runSaverWindow(int showCommand)
{
    if (!registerSaverClass(startupState.instance)) return 0;
    if (!createSaverWindow(startupState.instance, showCommand)) return 0;
    BOOL previousState = FALSE;
    bool fullScreen = startupState.saverMode == 1;
    if (fullScreen) SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &previousState, 0);
    int exitCode = runMessageLoop();
    if (fullScreen) SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &previousState, 0);
    return exitCode;
}

int runConfigure()
{
    if (!startupState.hostWindow) return 1;
    registerDialogClasses();
    DialogBoxParamA(startupState.instance, MAKEINTRESOURCEA(IDD_SETTINGS), startupState.hostWindow,
                    settingsDialogProc, 0);
    return 0;
}

int dispatch(const ParsedCommandLine& commandLine, int showCommand)
{
    switch (commandLine.mode) {
    case RunMode::changePassword:
        startupState.hostWindow = toWindowHandle(commandLine.hostWindowHandle);
        return startupState.hostWindow ? runChangePassword(startupState.hostWindow) : 1;
    case RunMode::configure:
        startupState.hostWindow = toWindowHandle(commandLine.hostWindowHandle);
        return runConfigure();
    case RunMode::preview:
        startupState.hostWindow = toWindowHandle(commandLine.hostWindowHandle);
        if (!startupState.hostWindow) return 1;
        startupState.saverMode = 0;
        return runSaverWindow(showCommand);
    case RunMode::fullScreenSaver: break;
    }
    startupState.saverMode = 1;
    return runSaverWindow(showCommand);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    startupState.instance = instance;
    loadDisplayStrings(instance);
    if (!lookUpInstallPath(settings)) {
        showStartupMessage("Registry information is damaged. Please reinstall screen saver", MB_ICONERROR);
        return 1;
    }
    loadSettings(settings);
    if (!startGdiplus()) {
        showStartupMessage("Error loading GDI+ library", MB_OK);
        return 1;
    }
    int loadResult = loadBallImages();
    if (loadResult != 0) return loadResult;  // its message is shown and GDI+ is shut down

    int exitCode = dispatch(readRunMode(TextString(GetCommandLineA())), showCommand);
    // Every run that got this far releases the pictures and GDI+ once.
    releaseBallImages(startupState.gdiplusToken);
    writeObjectCounts();
    return exitCode;
}
