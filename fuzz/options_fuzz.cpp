// Fuzz target: reads arbitrary argument lists (and XSCREENSAVER_WINDOW) as the X11 display mode's
// command line and checks that every result is one the program can run or report: settings within
// their ranges, a usable window id, a size within bounds, and an error or warnings that name what
// was wrong. Input: a first byte whose lowest bit says XSCREENSAVER_WINDOW is set, then NUL-separated
// pieces: XSCREENSAVER_WINDOW when set, then the arguments.
#include "app/options.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The window id rule written plainly: optional 0x or 0X, then digits of that base, 1..0xFFFFFFFF.
bool modelWindowId(const std::string& text, uint32_t& id)
{
    const bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return false;
    uint64_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) return false;
    }
    id = static_cast<uint32_t>(value);
    return value != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool environmentSet = (data[0] & 1) != 0;
    std::vector<std::string> pieces;
    std::string piece;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += static_cast<char>(data[i]);
        }
    }
    pieces.push_back(piece);
    std::string environment;
    size_t first = 0;
    if (environmentSet) {
        environment = pieces[0];
        first = 1;
    }
    std::vector<const char*> argv{"zephyrine"};
    for (size_t i = first; i < pieces.size(); ++i) argv.push_back(pieces[i].c_str());

    const ParsedOptions parsed =
        parseOptions(static_cast<int>(argv.size()), argv.data(), environmentSet ? environment.c_str() : nullptr);
    const Options& o = parsed.options;
    FUZZ_CHECK(o.display.ballCount >= 5 && o.display.ballCount <= 30);
    FUZZ_CHECK(o.display.opacityPercent >= 50 && o.display.opacityPercent <= 100);
    FUZZ_CHECK(o.display.ballScale >= 0 && o.display.ballScale <= 2);
    FUZZ_CHECK(o.display.backgroundType >= 0 && o.display.backgroundType <= 2);
    FUZZ_CHECK(o.width >= 1 && o.width <= 8192 && o.height >= 1 && o.height <= 8192);
    FUZZ_CHECK(!parsed.errorShowsUsage || !parsed.error.empty());
    for (const std::string& warning : parsed.warnings)
        FUZZ_CHECK(warning.compare(0, 2, "--") == 0 && warning.find("; using ") != std::string::npos);

    if (parsed.error.empty() && !o.showHelp && !o.showVersion) {
        if (o.target == TargetKind::windowId) FUZZ_CHECK(o.windowId != 0);
        if (o.target == TargetKind::root) {
            uint32_t expected = 0;
            FUZZ_CHECK(!environmentSet || modelWindowId(environment, expected));
            FUZZ_CHECK(o.windowId == expected);
        }
    }

    for (size_t i = first; i < pieces.size(); ++i) {
        uint32_t expected = 0;
        uint32_t got = 0;
        const bool modelAccepts = modelWindowId(pieces[i], expected);
        FUZZ_CHECK(parseWindowId(pieces[i].c_str(), got) == modelAccepts);
        FUZZ_CHECK(!modelAccepts || got == expected);
    }
    return 0;
}
