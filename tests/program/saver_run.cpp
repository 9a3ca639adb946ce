// The saver run as a child process for the bad-input tests.
#include "program/saver_run.h"

#include "settings/settings_store_win.h"

const wchar_t kStartUpProbe[] = L" /c";
const QuickEnd kStartedUp = {1, nullptr};
const QuickEnd kDamagedInstallation = {1, kDamagedMessage};
const QuickEnd kPicturesMissing = {3, kImagesNotFoundText};
const QuickEnd kNoWindow = {0, nullptr};

std::wstring quotedSaver()
{
    return L"\"" + saverPath() + L"\"";
}

bool startWithExactLine(ChildProcess& child, const std::wstring& line)
{
    return child.start(line, {saverPath(), {}, {}});
}

std::string windowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

HWND createBorderlessHost(int width, int height)
{
    return createHostWindow(width, height, WS_POPUP | WS_VISIBLE, 40, 40);
}

void createEmptyKey(HKEY root)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

std::string userKeyImage()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "none";
    std::string image = "key";
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        std::vector<BYTE> data(70000);
        DWORD byteCount = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &byteCount) != ERROR_SUCCESS)
            break;
        image += "|" + narrow(std::wstring(name, nameLength)) + ":" + std::to_string(type) + ":" +
                 std::string(data.begin(), data.begin() + byteCount);
    }
    RegCloseKey(key);
    return image;
}

void expectQuickEnd(const std::wstring& line, QuickEnd expected)
{
    MessageBoxCloser closer;
    ChildProcess run;
    ASSERT_TRUE(startWithExactLine(run, line));
    EXPECT_EQ(expected.exitCode, run.exitCodeWithin(kBound));
    std::vector<SeenMessageBox> boxes = closer.seen();
    if (expected.message == nullptr) {
        EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes.front().text);
    } else {
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(expected.message, boxes[0].text);
        EXPECT_EQ("Zephyrine", boxes[0].caption);
        EXPECT_TRUE(boxes[0].hasIcon);
    }
}

namespace {

// The visible top-level dialogs (class "#32770") of a process.
std::vector<HWND> processDialogs(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char className[16] = {};
            GetClassNameA(window, className, sizeof className);
            if (owner == s->processId && IsWindowVisible(window) && std::string(className) == "#32770")
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

ConfigureEnd endConfigureRun(ChildProcess& run, DWORD timeoutMs)
{
    ConfigureEnd end;
    std::vector<HWND> handled;
    const auto handleNewDialogs = [&] {
        for (HWND dialog : processDialogs(run.id)) {
            bool seen = false;
            for (HWND done : handled) seen = seen || done == dialog;
            if (seen) continue;
            handled.push_back(dialog);
            if (windowText(dialog) == "Settings") {
                ++end.settingsDialogs;
                end.owners.push_back(GetWindow(dialog, GW_OWNER));
                PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
            } else {
                char text[512] = {};
                GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
                end.otherWindows.push_back(windowText(dialog) + ": " + text);
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            }
        }
        return !isRunning(run);
    };
    waitUntil(handleNewDialogs, timeoutMs);
    end.exitCode = run.exitCodeWithin(0);
    return end;
}
