// Odd command lines: quotes and line breaks, the longest line a process can
// be given against the real saver, and 20,000,000 bytes in process.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "app/command_line.h"
#include "app/text_string.h"
#include "program/saver_run.h"
#include "support/win_test_support.h"

namespace {

// What a command line makes the saver do, and how the test ends it.
enum class LineEffect {
    fullScreen,      // the saver covers the screen until a key
    previewInHost,   // a preview in the host until the host goes
    settingsOfHost,  // the settings dialog owned by the host, cancelled
    endsWithOne,     // a mode without its handle: 1 and no message
    endsWithZero,    // a handle that is no window: 0 and no message
};

// The line with "{saver}" replaced by the quoted program path, "{bare}" by
// the path without quotes and "{host}" by the host's number.
std::wstring expandLine(std::wstring line, HWND host)
{
    const std::pair<std::wstring, std::wstring> fields[] = {
        {L"{saver}", quotedSaver()}, {L"{bare}", saverPath()}, {L"{host}", handleText(host)}};
    for (const auto& field : fields)
        for (size_t at; (at = line.find(field.first)) != std::wstring::npos;)
            line.replace(at, field.first.size(), field.second);
    return line;
}

// Runs the saver with exactly `line`, drives it to its end as `effect` says
// and checks the exit code, the absence of message boxes and that the user
// key was not written. host is destroyed on the way.
void expectLineEffect(const std::wstring& line, LineEffect effect, HWND host)
{
    ChildProcess run;
    switch (effect) {
    case LineEffect::fullScreen: {
        MessageBoxCloser closer;
        ASSERT_TRUE(startWithExactLine(run, line));
        HWND saver = waitForProcessWindow(run.id, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, saver);
        EXPECT_EQ(nullptr, GetParent(saver));
        EXPECT_TRUE(isRunning(run));
        PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        break;
    }
    case LineEffect::previewInHost: {
        MessageBoxCloser closer;
        ASSERT_TRUE(startWithExactLine(run, line));
        HWND preview = waitForChildWindow(host, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, preview);
        pumpMessagesFor(200);
        EXPECT_TRUE(isRunning(run));
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        break;
    }
    case LineEffect::settingsOfHost: {
        ASSERT_TRUE(startWithExactLine(run, line));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        EXPECT_EQ(std::vector<HWND>{host}, end.owners);
        EXPECT_TRUE(end.otherWindows.empty());
        break;
    }
    case LineEffect::endsWithOne: expectQuickEnd(line, {1, nullptr}); break;
    case LineEffect::endsWithZero: expectQuickEnd(line, kNoWindow); break;
    }
    DestroyWindow(host);
    EXPECT_EQ("none", userKeyImage());
}

struct LineCase {
    const char* name;
    std::wstring line;
    LineEffect effect;
};

TEST_F(SaverRunTest, OddCommandLinesChooseTheirRunMode)
{
    const LineCase cases[] = {
        {"only the program, quoted", L"{saver}", LineEffect::fullScreen},
        {"only the program, unquoted", L"{bare}", LineEffect::fullScreen},
        {"the program and spaces", L"{saver}" + std::wstring(40, L' '), LineEffect::fullScreen},
        {"only spaces", L"     ", LineEffect::fullScreen},
        {"the program's quote never closed", L"\"{bare} /p {host}", LineEffect::fullScreen},
        {"a quote before /p never closed", L"{saver} \"/p {host}", LineEffect::endsWithOne},
        {"a quote before the number never closed", L"{saver} /p \"{host}", LineEffect::previewInHost},
        {"a lone quote after /p", L"{saver} /p \"", LineEffect::endsWithOne},
        {"CR LF inside a token: the number comes from its second line", L"{saver} /p\r\n{host}",
         LineEffect::previewInHost},
        {"CR LF inside a quoted token", L"{saver} \"/p\r\n{host}\"", LineEffect::previewInHost},
        {"CR LF before the configure number", L"{saver} /c\r\n:{host}", LineEffect::endsWithOne},
        {"CR LF after the configure number", L"{saver} /c:{host}\r\n/p", LineEffect::settingsOfHost},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        HWND host = createBorderlessHost(320, 240);
        ASSERT_NO_FATAL_FAILURE(expectLineEffect(expandLine(c.line, host), c.effect, host));
    }
}

// CreateProcessW takes at most 32767 characters with the terminator.
constexpr size_t kLongestLine = 32766;

TEST_F(SaverRunTest, LongestCommandLinesCreateProcessTakes)
{
    struct Case {
        const char* name;
        std::wstring head;
        std::wstring filler;  // repeated after the head up to the longest line
        LineEffect effect;
    };
    const Case cases[] = {
        {"preview, then short tokens", L"{saver} /p {host}", L" x", LineEffect::previewInHost},
        {"preview, then spaces", L"{saver} /p {host}", L" ", LineEffect::previewInHost},
        {"configure, then quoted tokens", L"{saver} /c:{host}", L" \"a b\"", LineEffect::settingsOfHost},
        {"preview with a number of 32000 digits", L"{saver} /p ", L"9", LineEffect::endsWithZero},
        {"one mode token of 32000 letters", L"{saver} /", L"S", LineEffect::fullScreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND host = createBorderlessHost(320, 240);
        std::wstring line = expandLine(c.head, host);
        while (line.size() < kLongestLine) line += c.filler;
        line.resize(kLongestLine);
        ASSERT_NO_FATAL_FAILURE(expectLineEffect(line, c.effect, host));
    }
}

// ---------------------------------------------------------------------------
// Command lines beyond what a process can be given, in process

struct HugeLineCase {
    const char* name;
    std::string head;    // the line's beginning
    std::string filler;  // repeated up to 20,000,000 bytes
    std::string tail;    // written at byte 16,777,213, across the cut
    RunMode mode;
    int32_t handle;
};

TEST(CommandLineInProcessTest, TwentyMillionBytesAreCutAt16MiBAndParsedInBoundedTime)
{
    constexpr size_t kBytes = 20000000;
    constexpr size_t kCut = TextString::kMaxLength;
    const HugeLineCase cases[] = {
        {"one token filling it", "saver.scr /c:77 ", "x", "", RunMode::configure, 77},
        {"spaces after the number", "saver.scr /p 1234", " ", "", RunMode::preview, 1234},
        {"short tokens after the number", "saver.scr /p 55", " ab", "", RunMode::preview, 55},
        {"empty quoted tokens", "saver.scr /p 56 ", "\"\"", "", RunMode::preview, 56},
        {"one token of CR LF lines", "saver.scr\r\np\r\n57", "\r\nq", "", RunMode::preview, 57},
        {"only double quotes", "", "\"", "", RunMode::fullScreenSaver, 0},
        {"the number across the cut", "saver.scr /p", " ", "4567890", RunMode::preview, 456},
    };
    for (const HugeLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = c.head;
        bytes.reserve(kBytes + c.filler.size());
        while (bytes.size() < kBytes) bytes += c.filler;
        bytes.resize(kBytes);
        bytes.replace(kCut - 3, c.tail.size(), c.tail);

        const auto start = std::chrono::steady_clock::now();
        const TextString commandLine(bytes.c_str());
        ASSERT_EQ(static_cast<int32_t>(kCut), commandLine.length());
        const ParsedCommandLine parsed = readRunMode(commandLine);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(parsed.mode));
        EXPECT_EQ(c.handle, parsed.hostWindowHandle);
        EXPECT_LT(seconds, 15.0);
    }
}

}  // namespace
