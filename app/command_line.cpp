// Turns the process's command line into a run mode and a host window handle.
#include "app/command_line.h"

#include <cstddef>
#include <string>

namespace {

constexpr char kSpace = 32;
constexpr char kDoubleQuote = 34;
constexpr int32_t kMaxHandle = 2147483647;

bool isDigit(char byte)
{
    return byte >= '0' && byte <= '9';
}

int32_t handleFromToken(const TextString& tokens, int32_t index)
{
    return parseHandleNumber(line(tokens, index).bytes());
}

}  // namespace

TextString splitCommandLine(const TextString& commandLine)
{
    const char* bytes = commandLine.bytes();
    int32_t length = commandLine.length();
    // The list grows in one buffer and becomes a Text string once at the end:
    // appending each token to a Text string copies the whole list every time,
    // which for the millions of tokens a long line can hold takes hours.
    std::string tokens;
    int32_t i = 0;
    while (length > 0) {
        char delimiter = kSpace;
        if (bytes[i] == kDoubleQuote) {
            delimiter = kDoubleQuote;
            ++i;
        }
        int32_t j = i;
        while (j < length && bytes[j] != delimiter) {
            ++j;
        }
        TextString token = substring(commandLine, i, j - i);
        token.trimLeadingSpaces();
        token.trimTrailingSpaces();
        if (!tokens.empty() && (token.bytes()[0] == '-' || token.bytes()[0] == '/')) {
            token = substring(token, 1, -1);
        }
        if (token.length() > 0) {
            // Separator and token go in together, and only while the list stays within the Text
            // string limit, so a full list never ends in a dangling separator.
            std::size_t separator = tokens.empty() ? 0 : 2;
            if (separator + static_cast<std::size_t>(token.length()) <=
                static_cast<std::size_t>(TextString::kMaxLength) - tokens.size()) {
                tokens.append("\r\n", separator);
                tokens.append(token.bytes(), static_cast<std::size_t>(token.length()));
            }
        }
        if (j == length) {
            break;
        }
        i = j + 1;
    }
    // No token holds a NUL byte, so the list is taken whole.
    return TextString(tokens.c_str());
}

int32_t parseHandleNumber(const char* token)
{
    if (token == nullptr) {
        return 0;
    }
    while (*token != 0 && !isDigit(*token)) {
        ++token;
    }
    int32_t value = 0;
    for (; isDigit(*token); ++token) {
        int32_t digit = *token - '0';
        if (value > (kMaxHandle - digit) / 10) {
            return kMaxHandle;
        }
        value = value * 10 + digit;
    }
    return value;
}

ParsedCommandLine readRunMode(const TextString& commandLine)
{
    TextString tokens = splitCommandLine(commandLine);
    char modeLetter = line(tokens, 1).bytes()[0];
    switch (modeLetter) {
    case 'A':
    case 'a': {
        int32_t handle = handleFromToken(tokens, 1);
        return {RunMode::changePassword, handle != 0 ? handle : handleFromToken(tokens, 2)};
    }
    case 'C':
    case 'c': return {RunMode::configure, handleFromToken(tokens, 1)};
    case 'P':
    case 'p': return {RunMode::preview, handleFromToken(tokens, 2)};
    default: return {RunMode::fullScreenSaver, 0};
    }
}
