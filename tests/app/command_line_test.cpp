// Command line: token splitting, handle numbers and the run mode with its host window handle.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tokensOf(const TextString& tokenList)
{
    std::vector<std::string> tokens;
    for (int32_t k = 0; k < lineCount(tokenList); ++k) {
        TextString token = line(tokenList, k);
        tokens.emplace_back(token.bytes(), static_cast<size_t>(token.length()));
    }
    return tokens;
}

const char* modeName(RunMode mode)
{
    switch (mode) {
    case RunMode::changePassword: return "changePassword";
    case RunMode::configure: return "configure";
    case RunMode::preview: return "preview";
    case RunMode::fullScreenSaver: return "fullScreenSaver";
    }
    return "?";
}

TEST(CommandLineTest, SplitsAndReadsEveryScreenSaverForm)
{
    struct Row {
        const char* commandLine;
        std::vector<std::string> tokens;
        RunMode mode;
        int32_t handle;
    };
    const char* path = "C:\\Program Files\\Saver\\saver.scr";
    const Row rows[] = {
        {"\"C:\\Program Files\\Saver\\saver.scr\" /p 1234", {path, "p", "1234"}, RunMode::preview, 1234},
        {"saver.scr    /p    1234   ", {"saver.scr", "p", "1234"}, RunMode::preview, 1234},
        {"saver.scr \"/p\" \"1234\"", {"saver.scr", "p", "1234"}, RunMode::preview, 1234},
        {"saver.scr /preview 99", {"saver.scr", "preview", "99"}, RunMode::preview, 99},
        {"saver.scr /P 0012", {"saver.scr", "P", "0012"}, RunMode::preview, 12},
        {"saver.scr /p:1234", {"saver.scr", "p:1234"}, RunMode::preview, 0},
        {"saver.scr \"/p 7\"", {"saver.scr", "p 7"}, RunMode::preview, 0},
        {"saver.scr / p 7", {"saver.scr", "p", "7"}, RunMode::preview, 7},
        {"saver.scr /c:5678", {"saver.scr", "c:5678"}, RunMode::configure, 5678},
        {"saver.scr /c", {"saver.scr", "c"}, RunMode::configure, 0},
        {"saver.scr /c 5678", {"saver.scr", "c", "5678"}, RunMode::configure, 0},
        {"saver.scr /c:12ab34", {"saver.scr", "c:12ab34"}, RunMode::configure, 12},
        {"saver.scr /c:-5", {"saver.scr", "c:-5"}, RunMode::configure, 5},
        {"saver.scr /c:99999999999", {"saver.scr", "c:99999999999"}, RunMode::configure, 2147483647},
        {"saver.scr /a 1234", {"saver.scr", "a", "1234"}, RunMode::changePassword, 1234},
        {"saver.scr /a:1234", {"saver.scr", "a:1234"}, RunMode::changePassword, 1234},
        {"saver.scr -a:0 9", {"saver.scr", "a:0", "9"}, RunMode::changePassword, 9},
        {"saver.scr -S", {"saver.scr", "S"}, RunMode::fullScreenSaver, 0},
        {"saver.scr", {"saver.scr"}, RunMode::fullScreenSaver, 0},
        {"\"C:\\Program Files\\Saver\\saver.scr\"", {path}, RunMode::fullScreenSaver, 0},
        {"", {}, RunMode::fullScreenSaver, 0},
        {"saver.scr //p 5", {"saver.scr", "/p", "5"}, RunMode::fullScreenSaver, 0},
        {"saver.scr\t/p 1234", {"saver.scr\t/p", "1234"}, RunMode::fullScreenSaver, 0},
        {"/p 1234", {"/p", "1234"}, RunMode::fullScreenSaver, 0},
        {" /p 1234", {"/p", "1234"}, RunMode::fullScreenSaver, 0},
        {"saver.scr \"a\"b", {"saver.scr", "a", "b"}, RunMode::changePassword, 0},
        {"\"saver.scr\"/p 3", {"saver.scr", "p", "3"}, RunMode::preview, 3},
        {"saver.scr \"/p 3", {"saver.scr", "p 3"}, RunMode::preview, 0},
        {"saver.scr p\"q 3", {"saver.scr", "p\"q", "3"}, RunMode::preview, 3},
        {"saver.scr /p\r\n7 9", {"saver.scr", "p", "7", "9"}, RunMode::preview, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::string(row.commandLine)));
        const TextString commandLine(row.commandLine);
        EXPECT_EQ(tokensOf(splitCommandLine(commandLine)), row.tokens);
        const ParsedCommandLine parsed = readRunMode(commandLine);
        EXPECT_STREQ(modeName(parsed.mode), modeName(row.mode));
        EXPECT_EQ(parsed.hostWindowHandle, row.handle);
    }
}

TEST(CommandLineTest, HandleNumberIsFirstDigitRunSaturated)
{
    struct Row {
        const char* token;
        int32_t expected;
    };
    const Row rows[] = {
        {"", 0},
        {"abc", 0},
        {"0", 0},
        {"-5", 5},
        {"12ab34", 12},
        {"x 7 8", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"21474836470", 2147483647},
        {"99999999999999999999999999", 2147483647},
        {"000000000000000000000000042", 42},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.token);
        EXPECT_EQ(parseHandleNumber(row.token), row.expected);
    }
    EXPECT_EQ(parseHandleNumber(nullptr), 0);
}

}  // namespace
