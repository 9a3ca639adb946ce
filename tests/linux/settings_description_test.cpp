// The settings program's description of the controls (linux/zephyrine.xml) against the program's
// option parser: everything the controls can write is read back as the value they show.
#include <gtest/gtest.h>

#include <expat.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

// One element of the description with its attributes, in document order.
struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    Element element{name, {}};
    for (int i = 0; attributes[i] != nullptr; i += 2) element.attributes[attributes[i]] = attributes[i + 1];
    static_cast<std::vector<Element>*>(data)->push_back(element);
}

std::vector<Element> readDescription()
{
    std::ifstream file(ZEPHYRINE_SETTINGS_XML, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<Element> elements;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &elements);
    XML_SetStartElementHandler(parser, onStart);
    const bool wellFormed = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    EXPECT_TRUE(wellFormed) << XML_ErrorString(XML_GetErrorCode(parser)) << " at line "
                            << XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);
    EXPECT_FALSE(elements.empty()) << "cannot read " << ZEPHYRINE_SETTINGS_XML;
    return elements;
}

// The command line a host runs: the program, the words of each fragment, split at spaces as the
// shell splits the daemon's command line.
ParsedOptions parseWords(const std::vector<std::string>& fragments)
{
    std::vector<std::string> words{"zephyrine"};
    for (const std::string& fragment : fragments) {
        std::istringstream in(fragment);
        for (std::string word; in >> word;) words.push_back(word);
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), "0x200001");
}

std::string substitute(std::string arg, const std::string& value)
{
    const size_t mark = arg.find('%');
    if (mark != std::string::npos) arg.replace(mark, 1, value);
    return arg;
}

// What each control means, from the design: the field it sets and, for a select's choices, the
// value it stands for.
const std::map<std::string, int32_t Settings::*> sliderFields = {
    {"count", &Settings::ballCount},
    {"opacity", &Settings::opacityPercent},
};
struct Choice {
    int32_t Settings::*field;
    int32_t value;
};
const std::map<std::string, Choice> choices = {
    {"scale-100", {&Settings::ballScale, 2}},
    {"scale-75", {&Settings::ballScale, 1}},
    {"scale-50", {&Settings::ballScale, 0}},
    {"background-desktop", {&Settings::backgroundType, 0}},
    {"background-black", {&Settings::backgroundType, 1}},
    {"background-white", {&Settings::backgroundType, 2}},
};

void expectClean(const ParsedOptions& parsed)
{
    EXPECT_TRUE(parsed.warnings.empty()) << parsed.warnings.front();
    EXPECT_EQ(parsed.error, "");
}

TEST(SettingsDescriptionTest, EverythingTheControlsWriteIsReadAsShown)
{
    std::string command;
    std::map<std::string, int> seen;
    for (const Element& element : readDescription()) {
        const auto& a = element.attributes;
        if (element.name == "command") {
            command = a.at("arg");
            SCOPED_TRACE(command);
            const ParsedOptions parsed = parseWords({command});
            expectClean(parsed);
            EXPECT_EQ(parsed.options.target, TargetKind::root);
        } else if (element.name == "number") {
            ASSERT_EQ(sliderFields.count(a.at("id")), 1u) << "unknown slider " << a.at("id");
            ++seen[a.at("id")];
            for (const char* bound : {"low", "high"}) {
                const std::string written = substitute(a.at("arg"), a.at(bound));
                SCOPED_TRACE(written);
                const ParsedOptions parsed = parseWords({command, written});
                expectClean(parsed);
                EXPECT_EQ(parsed.options.display.*sliderFields.at(a.at("id")), std::stoi(a.at(bound)));
            }
        } else if (element.name == "option") {
            ASSERT_EQ(choices.count(a.at("id")), 1u) << "unknown choice " << a.at("id");
            ++seen[a.at("id")];
            const auto argSet = a.find("arg-set");
            // A choice without arg-set writes nothing: the program's default must be that choice.
            const std::string written = argSet == a.end() ? "" : argSet->second;
            SCOPED_TRACE(a.at("id") + ": " + written);
            const ParsedOptions parsed = parseWords({command, written});
            expectClean(parsed);
            const Choice& choice = choices.at(a.at("id"));
            EXPECT_EQ(parsed.options.display.*choice.field, choice.value);
        }
    }
    EXPECT_EQ(command, "--root");
    for (const auto& slider : sliderFields) EXPECT_EQ(seen[slider.first], 1) << slider.first;
    for (const auto& choice : choices) EXPECT_EQ(seen[choice.first], 1) << choice.first;
}

// The settings program writes nothing for a slider at its default: the program must then run with
// the same value. Ranges and defaults as the design gives them.
TEST(SettingsDescriptionTest, SlidersSpanTheSettingsAndDefaultToTheProgramsDefault)
{
    const std::map<std::string, std::vector<int>> expected = {
        {"count", {5, 30, 7}},
        {"opacity", {50, 100, 75}},
    };
    const ParsedOptions bare = parseWords({"--root"});
    for (const Element& element : readDescription()) {
        if (element.name != "number") continue;
        const auto& a = element.attributes;
        SCOPED_TRACE(a.at("id"));
        const std::vector<int> range{std::stoi(a.at("low")), std::stoi(a.at("high")), std::stoi(a.at("default"))};
        EXPECT_EQ(range, expected.at(a.at("id")));
        EXPECT_EQ(bare.options.display.*sliderFields.at(a.at("id")), range[2]);
    }
}

}  // namespace
