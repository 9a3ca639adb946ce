// Fuzz target: splits arbitrary command lines and reads their run mode, checking the token list
// against a std::string model of the splitting rules and the run mode and handle against the table.
#include "app/command_line.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string contentOf(const TextString& text)
{
    return std::string(text.bytes(), static_cast<size_t>(text.length()));
}

RunMode modeForLetter(char letter)
{
    switch (letter) {
    case 'A':
    case 'a': return RunMode::changePassword;
    case 'C':
    case 'c': return RunMode::configure;
    case 'P':
    case 'p': return RunMode::preview;
    default: return RunMode::fullScreenSaver;
    }
}

int64_t handleOfToken(const std::string& tokenList, int64_t index)
{
    return model::handleNumber(model::line(tokenList, index).c_str());
}

// Without CR or LF in the command line every token reads back exactly as it was kept.
void checkTokensReadBack(const TextString& tokenList, const std::vector<std::string>& tokens, bool hasQuote)
{
    FUZZ_CHECK(lineCount(tokenList) == static_cast<int64_t>(tokens.size()));
    for (size_t k = 0; k < tokens.size(); ++k) {
        const std::string token = contentOf(line(tokenList, static_cast<int32_t>(k)));
        FUZZ_CHECK(token == tokens[k]);
        FUZZ_CHECK(!token.empty());
        FUZZ_CHECK(token.back() != ' ');
        // Only a quoted token holds spaces, and only token 0 can never begin with one, since later
        // tokens lose a "-" or "/" after the trim (a quoted "/ p" reads back as " p").
        FUZZ_CHECK(hasQuote || token.find(' ') == std::string::npos);
        FUZZ_CHECK(k > 0 || token.front() != ' ');
    }
    FUZZ_CHECK(line(tokenList, static_cast<int32_t>(tokens.size())).length() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string commandLineBytes = bytes.substr(0, std::strlen(bytes.c_str()));
    const TextString commandLine(bytes.c_str());
    FUZZ_CHECK(contentOf(commandLine) == commandLineBytes);

    const TextString tokenList = splitCommandLine(commandLine);
    const std::vector<std::string> tokens = model::commandLineTokens(commandLineBytes);
    const std::string expectedList = model::joinTokens(tokens);
    FUZZ_CHECK(contentOf(tokenList) == expectedList);
    FUZZ_CHECK(tokenList.bytes()[tokenList.length()] == 0);
    if (commandLineBytes.find_first_of("\r\n") == std::string::npos) {
        checkTokensReadBack(tokenList, tokens, commandLineBytes.find('"') != std::string::npos);
    }

    const ParsedCommandLine parsed = readRunMode(commandLine);
    FUZZ_CHECK(parsed.hostWindowHandle >= 0);
    const std::string token1 = model::line(expectedList, 1);
    const RunMode expectedMode = modeForLetter(token1.empty() ? '\0' : token1[0]);
    FUZZ_CHECK(parsed.mode == expectedMode);
    int64_t expectedHandle = 0;
    switch (expectedMode) {
    case RunMode::changePassword:
        expectedHandle = handleOfToken(expectedList, 1);
        if (expectedHandle == 0) {
            expectedHandle = handleOfToken(expectedList, 2);
        }
        break;
    case RunMode::configure: expectedHandle = handleOfToken(expectedList, 1); break;
    case RunMode::preview: expectedHandle = handleOfToken(expectedList, 2); break;
    case RunMode::fullScreenSaver: break;
    }
    FUZZ_CHECK(parsed.hostWindowHandle == expectedHandle);
    return 0;
}
