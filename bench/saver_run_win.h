// Runs of the real Zephyrine.scr for the start-up and CPU measurements: the
// registry values a run sets, a probe of the screen that tells the known
// desktop from a frame, and starting and ending the saver.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Four full-width lines of the screen at a fifth, two, three and four fifths
// of its height. A ball is 112 pixels high and the lines 216 apart, so 30
// balls miss all four only by a chance of about 1e-8.
class ScreenProbe {
public:
    ScreenProbe();
    ~ScreenProbe();
    ScreenProbe(const ScreenProbe&) = delete;
    ScreenProbe& operator=(const ScreenProbe&) = delete;

    // Reads the lines; counts the pixels that show the known desktop colour.
    void read(int* desktopPixels, int* otherPixels);
    // The whole desktop shows, untouched.
    bool showsDesktop();
    // A frame over the desktop: some pixels changed, others still show the
    // desktop colour (an unpainted window would change every pixel).
    bool showsFrame();

private:
    static constexpr int kLines = 4;
    int width_ = 0;
    int rows_[kLines] = {};
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const uint32_t* pixels_ = nullptr;
};

// Registry values the run sets, remembered so that they can be put back.
class RegistryValue {
public:
    RegistryValue(HKEY root, const wchar_t* name);
    ~RegistryValue();
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

    bool write(DWORD type, const void* data, DWORD size);

private:
    static constexpr const wchar_t* kParentKey = L"Software\\Quorvane";
    static constexpr const wchar_t* kKey = L"Software\\Quorvane\\Zephyrine";
    HKEY root_;
    const wchar_t* createdKey_ = nullptr;  // the highest key the run creates
    const wchar_t* name_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

struct SaverRun {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    double windowMs = -1;      // from CreateProcess to the saver window
    double firstFrameMs = -1;  // from CreateProcess to a frame on the screen
};

// Starts the saver full screen and polls every millisecond or so for its
// window and then for its first frame on the screen, up to timeoutMs.
SaverRun startSaver(const std::wstring& program, ScreenProbe& probe, double timeoutMs);

// Ends the saver with a key press as a user would, and returns its exit code
// (or a note that it had to be terminated).
DWORD stopSaver(SaverRun& run, bool* ended);

// Waits up to 3 s for the screen to show the whole known desktop.
bool waitForDesktop(ScreenProbe& probe);

}  // namespace bench
