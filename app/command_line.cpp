// Turns the process's command line into a run mode and a host window handle.
#include "app/command_line.h"

namespace {

constexpr char kSpace = 32;
constexpr char kDoubleQuote = 34;
constexpr int32_t kMaxHandle = 2147483647;

bool isDigit(char byte) { return byte >= '0' && byte <= '9'; }

int32_t handleFromToken(const TextString& tokens, int32_t index) {
    return parseHandleNumber(line(tokens, index).bytes());
}

}  // namespace

TextString splitCommandLine(const TextString& commandLine) {
    const char* bytes = commandLine.bytes();
    int32_t length = commandLine.length();
    TextString tokens;
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
        if (tokens.length() > 0 && (token.bytes()[0] == '-' || token.bytes()[0] == '/')) {
            token = substring(token, 1, -1);
        }
        if (token.length() > 0) {
            // Separator and token go in together so a full list never ends in a dangling separator.
            TextString piece(tokens.length() > 0 ? "\r\n" : "");
            piece.append(token);
            tokens.append(piece);
        }
        if (j == length) {
            break;
        }
        i = j + 1;
    }
    return tokens;
}

int32_t parseHandleNumber(const char* token) {
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

ParsedCommandLine readRunMode(const TextString& commandLine) {
    TextString tokens = splitCommandLine(commandLine);
    char modeLetter = line(tokens, 1).bytes()[0];
    switch (modeLetter) {
        case 'A':
        case 'a': {
            int32_t handle = handleFromToken(tokens, 1);
            return {RunMode::changePassword, handle != 0 ? handle : handleFromToken(tokens, 2)};
        }
        case 'C':
        case 'c':
            return {RunMode::configure, handleFromToken(tokens, 1)};
        case 'P':
        case 'p':
            return {RunMode::preview, handleFromToken(tokens, 2)};
        default:
            return {RunMode::fullScreenSaver, 0};
    }
}
