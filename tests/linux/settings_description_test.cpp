// The settings program's description of the controls (linux/zephyrine.xml) against the program's
// option parser: everything the controls can write is read without a warning as the value shown.
#include <gtest/gtest.h>

#include <expat.h>

#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "app/options.h"

namespace {

using Attributes = std::map<std::string, std::string>;
using Display = std::array<int32_t, 4>;  // ball count, opacity, scale, background

// The command line a host runs for the written fragment: split at spaces, as the shell splits it.
ParsedOptions parse(const std::string& written)
{
    std::vector<std::string> words{"zephyrine", "--root"};
    std::istringstream in(written);
    for (std::string word; in >> word;) words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), "0x200001");
}

Display displayOf(const ParsedOptions& parsed)
{
    const Settings& s = parsed.options.display;
    return {s.ballCount, s.opacityPercent, s.ballScale, s.backgroundType};
}

void XMLCALL onElement(void* data, const XML_Char* name, const XML_Char** attributes)
{
    Attributes element{{"", name}};
    for (int i = 0; attributes[i] != nullptr; i += 2) element[attributes[i]] = attributes[i + 1];
    static_cast<std::vector<Attributes>*>(data)->push_back(element);
}

TEST(SettingsDescriptionTest, EverythingTheControlsWriteIsReadAsShown)
{
    std::ifstream file(ZEPHYRINE_SETTINGS_XML, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    std::vector<Attributes> elements;  // "" holds the element's name
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &elements);
    XML_SetStartElementHandler(parser, onElement);
    EXPECT_EQ(XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1), XML_STATUS_OK)
        << XML_ErrorString(XML_GetErrorCode(parser)) << " at line " << XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);

    // The sliders' ranges and defaults as documented, and the setting each one moves.
    const std::map<std::string, std::array<int, 4>> sliders = {{"count", {5, 30, 7, 0}},
                                                               {"opacity", {50, 100, 75, 1}}};
    // What each choice that writes something stands for: the setting and its value.
    const std::map<std::string, std::array<int, 2>> choices = {
        {"scale-75", {2, 1}}, {"scale-50", {2, 0}}, {"background-black", {3, 1}}, {"background-white", {3, 2}}};
    // The documented defaults: 7 balls, 75 %, scale 100 % (2), the desktop (0).
    const Display defaults{7, 75, 2, 0};
    int controls = 0, silentChoices = 0;
    for (const Attributes& e : elements) {
        const auto arg = e.find(e.at("") == "option" ? "arg-set" : "arg");
        const std::string written = arg == e.end() ? "" : arg->second;
        SCOPED_TRACE(e.at("") + " " + written);
        if (e.at("") == "command") {
            EXPECT_EQ(written, "--root");
        } else if (e.at("") == "number") {
            ++controls;
            const std::array<int, 4>& expected = sliders.at(e.at("id"));
            EXPECT_EQ(std::stoi(e.at("low")), expected[0]);
            EXPECT_EQ(std::stoi(e.at("high")), expected[1]);
            // At its default the settings program writes nothing: it must be the program's default.
            EXPECT_EQ(std::stoi(e.at("default")), expected[2]);
            EXPECT_EQ(displayOf(parse(""))[expected[3]], expected[2]);
            for (const std::string& bound : {e.at("low"), e.at("high")}) {
                const ParsedOptions parsed = parse(written.substr(0, written.find('%')) + bound);
                EXPECT_TRUE(parsed.warnings.empty() && parsed.error.empty()) << bound;
                EXPECT_EQ(displayOf(parsed)[expected[3]], std::stoi(bound));
            }
        } else if (e.at("") == "option") {
            ++controls;
            const ParsedOptions parsed = parse(written);
            EXPECT_TRUE(parsed.warnings.empty() && parsed.error.empty());
            // A choice that writes nothing must be the program's default.
            silentChoices += written.empty();
            Display expected = defaults;
            if (!written.empty()) expected[choices.at(e.at("id"))[0]] = choices.at(e.at("id"))[1];
            EXPECT_EQ(displayOf(parsed), expected);
        }
    }
    EXPECT_EQ(controls, 2 + 3 + 3);
    EXPECT_EQ(silentChoices, 2);
}

}  // namespace
