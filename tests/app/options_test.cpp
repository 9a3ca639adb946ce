// Command line of the X11 display mode: every option in every form, bad values, errors and the
// window id forms.
#include "app/options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

ParsedOptions parse(const std::vector<const char*>& arguments, const char* screensaverWindow = nullptr)
{
    std::vector<const char*> argv{"zephyrine"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), screensaverWindow);
}

std::string joined(const std::vector<const char*>& arguments)
{
    std::string text;
    for (const char* argument : arguments) text += std::string(text.empty() ? "" : " ") + argument;
    return text;
}

TEST(OptionsTest, NoArgumentsGiveTheOwnWindowAndTheSettingsDefaults)
{
    const ParsedOptions parsed = parse({});
    EXPECT_EQ("", parsed.error);
    EXPECT_TRUE(parsed.warnings.empty());
    const Options& o = parsed.options;
    EXPECT_EQ(TargetKind::ownWindow, o.target);
    EXPECT_EQ(1280, o.width);
    EXPECT_EQ(720, o.height);
    EXPECT_EQ(7, o.display.ballCount);
    EXPECT_EQ(75, o.display.opacityPercent);
    EXPECT_EQ(2, o.display.ballScale);
    EXPECT_EQ(0, o.display.backgroundType);
    EXPECT_EQ("", o.imagesDir);
    EXPECT_FALSE(o.seedGiven);
    EXPECT_FALSE(o.showFps || o.showHelp || o.showVersion || o.wayland);
}

TEST(OptionsTest, EachSettingIsTakenInEveryForm)
{
    struct Row {
        std::vector<const char*> arguments;
        int32_t Settings::*field;
        int32_t expected;
    };
    const Row rows[] = {
        {{"--count", "9"}, &Settings::ballCount, 9},
        {{"-count", "9"}, &Settings::ballCount, 9},
        {{"--count=30"}, &Settings::ballCount, 30},
        {{"-count=5"}, &Settings::ballCount, 5},
        {{"--count", "007"}, &Settings::ballCount, 7},
        {{"--opacity", "50"}, &Settings::opacityPercent, 50},
        {{"-opacity=100"}, &Settings::opacityPercent, 100},
        {{"--scale", "50"}, &Settings::ballScale, 0},
        {{"--scale=75"}, &Settings::ballScale, 1},
        {{"-scale", "100"}, &Settings::ballScale, 2},
        {{"--background", "desktop"}, &Settings::backgroundType, 0},
        {{"-background=black"}, &Settings::backgroundType, 1},
        {{"--background=white"}, &Settings::backgroundType, 2},
        {{"--count", "12", "--count", "20"}, &Settings::ballCount, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.arguments));
        const ParsedOptions parsed = parse(row.arguments);
        EXPECT_EQ("", parsed.error);
        EXPECT_TRUE(parsed.warnings.empty());
        EXPECT_EQ(row.expected, parsed.options.display.*row.field);
    }
}

TEST(OptionsTest, BadSettingValueWarnsNamingTheRangeAndTakesTheDefault)
{
    struct Row {
        std::vector<const char*> arguments;
        int32_t Settings::*field;
        int32_t expected;
        const char* warning;
    };
    const Row rows[] = {
        {{"--count", "abc"},
         &Settings::ballCount,
         7,
         "--count \"abc\" is not a whole number from 5 to 30; using 7"},
        {{"--count="}, &Settings::ballCount, 7, "--count \"\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "4"}, &Settings::ballCount, 7, "--count \"4\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "31"}, &Settings::ballCount, 7, "--count \"31\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "9x"}, &Settings::ballCount, 7, "--count \"9x\" is not a whole number from 5 to 30; using 7"},
        {{"--count", " 9"}, &Settings::ballCount, 7, "--count \" 9\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "-9"}, &Settings::ballCount, 7, "--count \"-9\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "+9"}, &Settings::ballCount, 7, "--count \"+9\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "4294967305"},
         &Settings::ballCount,
         7,
         "--count \"4294967305\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "99999999999999999999"},
         &Settings::ballCount,
         7,
         "--count \"99999999999999999999\" is not a whole number from 5 to 30; using 7"},
        {{"--count", "12", "--count", "x"},
         &Settings::ballCount,
         7,
         "--count \"x\" is not a whole number from 5 to 30; using 7"},
        {{"--opacity", "49"},
         &Settings::opacityPercent,
         75,
         "--opacity \"49\" is not a whole number from 50 to 100; using 75"},
        {{"--opacity=101"},
         &Settings::opacityPercent,
         75,
         "--opacity \"101\" is not a whole number from 50 to 100; using 75"},
        {{"--opacity", "80%"},
         &Settings::opacityPercent,
         75,
         "--opacity \"80%\" is not a whole number from 50 to 100; using 75"},
        {{"--scale", "60"}, &Settings::ballScale, 2, "--scale \"60\" is not 50, 75 or 100; using 100"},
        {{"--scale="}, &Settings::ballScale, 2, "--scale \"\" is not 50, 75 or 100; using 100"},
        {{"--scale", "75x"}, &Settings::ballScale, 2, "--scale \"75x\" is not 50, 75 or 100; using 100"},
        {{"--scale", "1"}, &Settings::ballScale, 2, "--scale \"1\" is not 50, 75 or 100; using 100"},
        {{"--background", "red"},
         &Settings::backgroundType,
         0,
         "--background \"red\" is not desktop, black or white; using desktop"},
        {{"--background="},
         &Settings::backgroundType,
         0,
         "--background \"\" is not desktop, black or white; using desktop"},
        {{"--background", "black "},
         &Settings::backgroundType,
         0,
         "--background \"black \" is not desktop, black or white; using desktop"},
        {{"--background", "1"},
         &Settings::backgroundType,
         0,
         "--background \"1\" is not desktop, black or white; using desktop"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.arguments));
        const ParsedOptions parsed = parse(row.arguments);
        EXPECT_EQ("", parsed.error);
        EXPECT_EQ(std::vector<std::string>{row.warning}, parsed.warnings);
        EXPECT_EQ(row.expected, parsed.options.display.*row.field);
    }
}

TEST(OptionsTest, OtherValuesAndTheirBadForms)
{
    struct Row {
        std::vector<const char*> arguments;
        int32_t width;
        int32_t height;
        const char* imagesDir;
        bool seedGiven;
        uint32_t seed;
        const char* warning;  // nullptr: none
    };
    const Row rows[] = {
        {{"--geometry", "800x600"}, 800, 600, "", false, 0, nullptr},
        {{"-geometry=1x1"}, 1, 1, "", false, 0, nullptr},
        {{"--geometry", "8192x8192"}, 8192, 8192, "", false, 0, nullptr},
        {{"--geometry", "800"},
         1280,
         720,
         "",
         false,
         0,
         "--geometry \"800\" is not WIDTHxHEIGHT from 1x1 to 8192x8192; using 1280x720"},
        {{"--geometry", "0x600"},
         1280,
         720,
         "",
         false,
         0,
         "--geometry \"0x600\" is not WIDTHxHEIGHT from 1x1 to 8192x8192; using 1280x720"},
        {{"--geometry", "8193x600"},
         1280,
         720,
         "",
         false,
         0,
         "--geometry \"8193x600\" is not WIDTHxHEIGHT from 1x1 to 8192x8192; using 1280x720"},
        {{"--geometry", "800x600x"},
         1280,
         720,
         "",
         false,
         0,
         "--geometry \"800x600x\" is not WIDTHxHEIGHT from 1x1 to 8192x8192; using 1280x720"},
        {{"--geometry="},
         1280,
         720,
         "",
         false,
         0,
         "--geometry \"\" is not WIDTHxHEIGHT from 1x1 to 8192x8192; using 1280x720"},
        {{"--images", "/tmp/balls"}, 1280, 720, "/tmp/balls", false, 0, nullptr},
        {{"-images=dir with space"}, 1280, 720, "dir with space", false, 0, nullptr},
        {{"--images="}, 1280, 720, "", false, 0, "--images \"\" is not a folder; using the installed pictures"},
        {{"--seed", "0"}, 1280, 720, "", true, 0, nullptr},
        {{"--seed=4294967295"}, 1280, 720, "", true, 4294967295u, nullptr},
        {{"--seed", "4294967296"},
         1280,
         720,
         "",
         false,
         0,
         "--seed \"4294967296\" is not a whole number from 0 to 4294967295; using the clock"},
        {{"--seed", "1", "--seed", "1e3"},
         1280,
         720,
         "",
         false,
         0,
         "--seed \"1e3\" is not a whole number from 0 to 4294967295; using the clock"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.arguments));
        const ParsedOptions parsed = parse(row.arguments);
        EXPECT_EQ("", parsed.error);
        const std::vector<std::string> warnings = row.warning != nullptr ? std::vector<std::string>{row.warning}
                                                                         : std::vector<std::string>{};
        EXPECT_EQ(warnings, parsed.warnings);
        EXPECT_EQ(row.width, parsed.options.width);
        EXPECT_EQ(row.height, parsed.options.height);
        EXPECT_EQ(row.imagesDir, parsed.options.imagesDir);
        EXPECT_EQ(row.seedGiven, parsed.options.seedGiven);
        if (row.seedGiven) {
            EXPECT_EQ(row.seed, parsed.options.seed);
        }
    }
}

TEST(OptionsTest, TargetWindowFromOptionsAndEnvironment)
{
    struct Row {
        std::vector<const char*> arguments;
        const char* screensaverWindow;
        TargetKind target;
        uint32_t windowId;
    };
    const Row rows[] = {
        {{}, "0x2a00003", TargetKind::ownWindow, 0},
        {{"--window"}, nullptr, TargetKind::ownWindow, 0},
        {{"--root"}, nullptr, TargetKind::root, 0},
        {{"-root"}, "0x2a00003", TargetKind::root, 0x2a00003},
        {{"--root"}, "0X2A00003", TargetKind::root, 0x2a00003},
        {{"--root"}, "44040195", TargetKind::root, 44040195},
        {{"--window-id", "12345"}, nullptr, TargetKind::windowId, 12345},
        {{"--window-id=0x1f"}, "junk", TargetKind::windowId, 0x1f},
        {{"-window-id", "0XFFFFFFFF"}, nullptr, TargetKind::windowId, 0xFFFFFFFFu},
        {{"--window-id", "4294967295"}, nullptr, TargetKind::windowId, 4294967295u},
        {{"--window-id", "0017"}, nullptr, TargetKind::windowId, 17},
        {{"--window-id", "5", "--window"}, nullptr, TargetKind::ownWindow, 5},
        {{"--window", "--root"}, nullptr, TargetKind::root, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.arguments) + " with XSCREENSAVER_WINDOW " +
                     (row.screensaverWindow != nullptr ? row.screensaverWindow : "unset"));
        const ParsedOptions parsed = parse(row.arguments, row.screensaverWindow);
        EXPECT_EQ("", parsed.error);
        EXPECT_EQ(row.target, parsed.options.target);
        if (row.target != TargetKind::ownWindow) {
            EXPECT_EQ(row.windowId, parsed.options.windowId);
        }
    }
}

TEST(OptionsTest, ErrorsEndTheRunWithTheirReason)
{
    struct Row {
        std::vector<const char*> arguments;
        const char* screensaverWindow;
        const char* error;
        bool showsUsage;
    };
    const char* const notWindowId = " is not a window id (a decimal or 0x hexadecimal number, not 0)";
    const std::string badId = notWindowId;
    const char* const kWaylandTakesNoTarget =
        "--wayland takes none of --root, --window-id, --window and --geometry";
    const Row rows[] = {
        {{"--bogus"}, nullptr, "unknown option \"--bogus\"", true},
        {{"--count", "9", "-x"}, nullptr, "unknown option \"-x\"", true},
        {{"root"}, nullptr, "unknown option \"root\"", true},
        {{"-"}, nullptr, "unknown option \"-\"", true},
        {{"--"}, nullptr, "unknown option \"--\"", true},
        {{"---root"}, nullptr, "unknown option \"---root\"", true},
        {{"--Root"}, nullptr, "unknown option \"--Root\"", true},
        {{"--count"}, nullptr, "--count needs a value", true},
        {{"--window-id"}, nullptr, "--window-id needs a value", true},
        {{"--fps=1"}, nullptr, "--fps takes no value", true},
        {{"--root=0x20"}, nullptr, "--root takes no value", true},
        {{"--wayland", "--root"}, nullptr, kWaylandTakesNoTarget, true},
        {{"--window-id", "5", "-wayland"}, nullptr, kWaylandTakesNoTarget, true},
        {{"--wayland", "--window"}, nullptr, kWaylandTakesNoTarget, true},
        {{"--geometry=800x600", "--wayland"}, nullptr, kWaylandTakesNoTarget, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(joined(row.arguments));
        const ParsedOptions parsed = parse(row.arguments, row.screensaverWindow);
        EXPECT_EQ(row.error, parsed.error);
        EXPECT_EQ(row.showsUsage, parsed.errorShowsUsage);
    }

    struct IdRow {
        std::vector<const char*> arguments;
        const char* screensaverWindow;
        const char* subject;
    };
    const IdRow idRows[] = {
        {{"--window-id", "abc"}, nullptr, "--window-id \"abc\""},
        {{"--window-id", "0"}, nullptr, "--window-id \"0\""},
        {{"--window-id", "0x0"}, nullptr, "--window-id \"0x0\""},
        {{"--window-id="}, nullptr, "--window-id \"\""},
        {{"--window-id", "0x"}, nullptr, "--window-id \"0x\""},
        {{"--window-id", "12ab"}, nullptr, "--window-id \"12ab\""},
        {{"--window-id", "0x1g"}, nullptr, "--window-id \"0x1g\""},
        {{"--window-id", "-5"}, nullptr, "--window-id \"-5\""},
        {{"--window-id", " 5"}, nullptr, "--window-id \" 5\""},
        {{"--window-id", "4294967296"}, nullptr, "--window-id \"4294967296\""},
        {{"--window-id", "0x100000000"}, nullptr, "--window-id \"0x100000000\""},
        {{"--root"}, "junk", "XSCREENSAVER_WINDOW \"junk\""},
        {{"--root"}, "", "XSCREENSAVER_WINDOW \"\""},
        {{"--root"}, "0", "XSCREENSAVER_WINDOW \"0\""},
        {{"--root"}, "0x2a00003 ", "XSCREENSAVER_WINDOW \"0x2a00003 \""},
        {{"--root"}, "ab12", "XSCREENSAVER_WINDOW \"ab12\""},
        {{"--root"}, "0xzz", "XSCREENSAVER_WINDOW \"0xzz\""},
    };
    for (const IdRow& row : idRows) {
        SCOPED_TRACE(joined(row.arguments));
        const ParsedOptions parsed = parse(row.arguments, row.screensaverWindow);
        EXPECT_EQ(row.subject + badId, parsed.error);
        EXPECT_FALSE(parsed.errorShowsUsage);
    }
}

TEST(OptionsTest, HelpAndVersionEndTheReadingWhereTheyStand)
{
    const ParsedOptions help = parse({"--count", "9", "-help", "--bogus"});
    EXPECT_TRUE(help.options.showHelp);
    EXPECT_EQ("", help.error);
    const ParsedOptions version = parse({"--version", "--count"});
    EXPECT_TRUE(version.options.showVersion);
    EXPECT_EQ("", version.error);
    const ParsedOptions late = parse({"--bogus", "--help"});
    EXPECT_FALSE(late.options.showHelp);
    EXPECT_EQ("unknown option \"--bogus\"", late.error);
    EXPECT_TRUE(parse({"-fps"}).options.showFps);
    EXPECT_TRUE(parse({"-wayland", "--count", "9"}).options.wayland);
}

}  // namespace
