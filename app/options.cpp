// Command line of the Linux display modes: one table row per option, the settings' ranges and
// defaults from the displaySettings table.
#include "app/options.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kLargestWindowSide = 8192;
// What a window id must be, after the value that is not one.
const char* const kNotAWindowId = " is not a window id (a decimal or 0x hexadecimal number, not 0)";

struct OptionRow;
// A setting's value as an option spells it.
struct ChoiceWord {
    int32_t value;
    const char* word;
};
using TakeValue = void (*)(const OptionRow& row, const std::string& value, ParsedOptions& parsed);

// One option. A row without a value placeholder is a flag. A row with a setting writes that
// field of the Settings record, with the range and default of its displaySettings row; words,
// when given, spell each of the setting's values from its minimum up, ending in a null word. An X11 target names a window
// and cannot go with --wayland.
struct OptionRow {
    const char* name;
    const char* valueName;
    int32_t Settings::*setting;
    const ChoiceWord* words;
    TakeValue take;
    const char* help;
    bool x11Target = false;
};

// The word of a setting's value; empty for a value the list does not spell.
std::string wordFor(const OptionRow& row, uint32_t value)
{
    for (const ChoiceWord* choice = row.words; choice->word != nullptr; ++choice)
        if (static_cast<uint32_t>(choice->value) == value) return choice->word;
    return std::string();
}

std::string quoted(const std::string& value)
{
    return "\"" + value + "\"";
}

// A decimal whole number of 1 to 10 digits and nothing else; longer ones are beyond every range
// here and are refused unread.
bool parseWhole(const std::string& text, uint64_t& value)
{
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

void takeNumber(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    const DisplaySetting& setting = displaySettingFor(row.setting);
    uint64_t number = 0;
    if (parseWhole(value, number) && number >= setting.minimum && number <= setting.maximum) {
        parsed.options.display.*row.setting = static_cast<int32_t>(number);
        return;
    }
    parsed.options.display.*row.setting = setting.defaultValue;
    parsed.warnings.push_back(std::string("--") + row.name + " " + quoted(value) + " is not a whole number from " +
                              std::to_string(setting.minimum) + " to " + std::to_string(setting.maximum) +
                              "; using " + std::to_string(setting.defaultValue));
}

void takeWord(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    std::string choices;
    for (const ChoiceWord* choice = row.words; choice->word != nullptr; ++choice) {
        if (value == choice->word) {
            parsed.options.display.*row.setting = choice->value;
            return;
        }
        if (choice != row.words) choices += choice[1].word == nullptr ? " or " : ", ";
        choices += choice->word;
    }
    const DisplaySetting& setting = displaySettingFor(row.setting);
    parsed.options.display.*row.setting = setting.defaultValue;
    parsed.warnings.push_back(std::string("--") + row.name + " " + quoted(value) + " is not " + choices +
                              "; using " + wordFor(row, static_cast<uint32_t>(setting.defaultValue)));
}

void takeGeometry(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    const size_t cross = value.find('x');
    uint64_t width = 0;
    uint64_t height = 0;
    if (cross != std::string::npos && parseWhole(value.substr(0, cross), width) &&
        parseWhole(value.substr(cross + 1), height) && width >= 1 && height >= 1 && width <= kLargestWindowSide &&
        height <= kLargestWindowSide) {
        parsed.options.width = static_cast<int32_t>(width);
        parsed.options.height = static_cast<int32_t>(height);
        return;
    }
    const Options defaults;
    parsed.options.width = defaults.width;
    parsed.options.height = defaults.height;
    parsed.warnings.push_back(std::string("--") + row.name + " " + quoted(value) +
                              " is not WIDTHxHEIGHT from 1x1 to " + std::to_string(kLargestWindowSide) + "x" +
                              std::to_string(kLargestWindowSide) + "; using " + std::to_string(defaults.width) +
                              "x" + std::to_string(defaults.height));
}

void takeSeed(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    uint64_t seed = 0;
    if (parseWhole(value, seed) && seed <= UINT32_MAX) {
        parsed.options.seedGiven = true;
        parsed.options.seed = static_cast<uint32_t>(seed);
        return;
    }
    parsed.options.seedGiven = false;
    parsed.warnings.push_back(std::string("--") + row.name + " " + quoted(value) +
                              " is not a whole number from 0 to " + std::to_string(UINT32_MAX) +
                              "; using the clock");
}

void takeImages(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    if (!value.empty()) {
        parsed.options.imagesDir = value;
        return;
    }
    parsed.options.imagesDir.clear();
    parsed.warnings.push_back(std::string("--") + row.name +
                              " \"\" is not a folder; using the installed pictures");
}

void takeWindowId(const OptionRow& row, const std::string& value, ParsedOptions& parsed)
{
    parsed.options.target = TargetKind::windowId;
    if (!parseWindowId(value.c_str(), parsed.options.windowId) || value.size() != std::strlen(value.c_str()))
        parsed.error = std::string("--") + row.name + " " + quoted(value) + kNotAWindowId;
}

void takeRoot(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.target = TargetKind::root;
}

void takeOwnWindow(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.target = TargetKind::ownWindow;
}

void takeWayland(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.wayland = true;
}
void takeFps(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.showFps = true;
}
void takeHelp(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.showHelp = true;
}
void takeVersion(const OptionRow&, const std::string&, ParsedOptions& parsed)
{
    parsed.options.showVersion = true;
}

const ChoiceWord kScaleWords[] = {{kScale50, "50"}, {kScale75, "75"}, {kScale100, "100"}, {0, nullptr}};
const ChoiceWord kBackgroundWords[] = {
    {kBackgroundDesktop, "desktop"}, {kBackgroundBlack, "black"}, {kBackgroundWhite, "white"}, {0, nullptr}};

const std::string kGeometryHelp = "size of the own window (default " + std::to_string(Options{}.width) + "x" +
                                  std::to_string(Options{}.height) + ")";

const OptionRow kOptionRows[] = {
    {"root", nullptr, nullptr, nullptr, takeRoot,
     "draw on the window in XSCREENSAVER_WINDOW, else on the root window", true},
    {"window-id", "ID", nullptr, nullptr, takeWindowId, "draw on window ID (decimal or 0x hex)", true},
    {"window", nullptr, nullptr, nullptr, takeOwnWindow,
     "draw in an own window (the default); q, Esc or a click ends it", true},
    {"geometry", "WxH", nullptr, nullptr, takeGeometry, kGeometryHelp.c_str(), true},
    {"wayland", nullptr, nullptr, nullptr, takeWayland,
     "cover every output of the Wayland compositor; input ends it"},
    {"count", "N", &Settings::ballCount, nullptr, takeNumber, "number of balls"},
    {"opacity", "N", &Settings::opacityPercent, nullptr, takeNumber, "opacity of the balls in percent"},
    {"scale", "50|75|100", &Settings::ballScale, kScaleWords, takeWord, "scale of the balls in percent"},
    {"background", "desktop|black|white", &Settings::backgroundType, kBackgroundWords, takeWord,
     "what the balls move over"},
    {"images", "DIR", nullptr, nullptr, takeImages,
     "folder of the pictures 1.png to 8.png (default: the installed ones)"},
    {"seed", "N", nullptr, nullptr, takeSeed, "fixed seed of the placement (default: the clock)"},
    {"fps", nullptr, nullptr, nullptr, takeFps, "print the frame rate and frame cost once a second"},
    {"help", nullptr, nullptr, nullptr, takeHelp, "show this help"},
    {"version", nullptr, nullptr, nullptr, takeVersion, "show the version"},
};

const OptionRow* findRow(const std::string& name)
{
    for (const OptionRow& row : kOptionRows)
        if (name == row.name) return &row;
    return nullptr;
}

void fail(ParsedOptions& parsed, const std::string& message, bool showsUsage)
{
    if (!parsed.error.empty()) return;
    parsed.error = message;
    parsed.errorShowsUsage = showsUsage;
}

// The range text of a setting row for the usage, e.g. "5..30, default 7".
std::string rangeOf(const OptionRow& row)
{
    const DisplaySetting& setting = displaySettingFor(row.setting);
    if (row.words != nullptr) return "default " + wordFor(row, static_cast<uint32_t>(setting.defaultValue));
    return std::to_string(setting.minimum) + ".." + std::to_string(setting.maximum) + ", default " +
           std::to_string(setting.defaultValue);
}

}  // namespace

bool parseWindowId(const char* text, uint32_t& windowId)
{
    if (text == nullptr) return false;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digit = hex ? text + 2 : text;
    const uint32_t base = hex ? 16 : 10;
    if (*digit == 0) return false;
    uint64_t value = 0;
    for (; *digit != 0; ++digit) {
        uint32_t d;
        if (*digit >= '0' && *digit <= '9')
            d = static_cast<uint32_t>(*digit - '0');
        else if (hex && *digit >= 'a' && *digit <= 'f')
            d = static_cast<uint32_t>(*digit - 'a' + 10);
        else if (hex && *digit >= 'A' && *digit <= 'F')
            d = static_cast<uint32_t>(*digit - 'A' + 10);
        else
            return false;
        value = value * base + d;
        if (value > UINT32_MAX) return false;
    }
    if (value == 0) return false;
    windowId = static_cast<uint32_t>(value);
    return true;
}

ParsedOptions parseOptions(int argc, const char* const* argv, const char* screensaverWindow)
{
    ParsedOptions parsed;
    resetToDefaults(parsed.options.display);
    bool x11Target = false;
    for (int i = 1; i < argc && parsed.error.empty(); ++i) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        size_t dashes = 0;
        while (dashes < 2 && dashes < argument.size() && argument[dashes] == '-') ++dashes;
        const size_t equals = argument.find('=');
        const std::string name =
            argument.substr(dashes, equals == std::string::npos ? std::string::npos : equals - dashes);
        const OptionRow* row = dashes > 0 ? findRow(name) : nullptr;
        if (row == nullptr) {
            fail(parsed, "unknown option " + quoted(argument), true);
            break;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (row->valueName == nullptr) {
                fail(parsed, std::string("--") + row->name + " takes no value", true);
                break;
            }
            value = argument.substr(equals + 1);
        } else if (row->valueName != nullptr) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                fail(parsed, std::string("--") + row->name + " needs a value", true);
                break;
            }
            value = argv[++i];
        }
        x11Target = x11Target || row->x11Target;
        row->take(*row, value, parsed);
        if (parsed.options.showHelp || parsed.options.showVersion) return parsed;
    }
    if (x11Target && parsed.options.wayland)
        fail(parsed, "--wayland takes none of --root, --window-id, --window and --geometry", true);
    if (parsed.error.empty() && parsed.options.target == TargetKind::root) {
        parsed.options.windowId = 0;
        if (screensaverWindow != nullptr && !parseWindowId(screensaverWindow, parsed.options.windowId))
            fail(parsed, "XSCREENSAVER_WINDOW " + quoted(screensaverWindow) + kNotAWindowId, false);
    }
    return parsed;
}

std::string usageText()
{
    std::string text = "usage: zephyrine [options]\n";
    for (const OptionRow& row : kOptionRows) {
        std::string left = std::string("  --") + row.name;
        if (row.valueName != nullptr) left += std::string(" ") + row.valueName;
        if (left.size() < 30)
            left.resize(30, ' ');
        else
            left += "  ";
        text += left + row.help;
        if (row.setting != nullptr) text += " (" + rangeOf(row) + ")";
        text += "\n";
    }
    text += "One or two dashes, and --opt=value as well as --opt value, are accepted.\n";
    return text;
}
