// Shared by the fuzz targets: a failing check that the fuzzer records as a crash, and plain
// std::string models of the byte-string and command-line rules to compare the real code with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

[[noreturn]] inline void fuzzCheckFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : fuzzCheckFailed(#condition, __FILE__, __LINE__))

namespace model {

constexpr int64_t kMaxLength = 16777216;
constexpr int64_t kMaxHandle = 2147483647;

inline std::string trimLeadingSpaces(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

inline std::string trimTrailingSpaces(const std::string& text)
{
    const size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

// Unchanged when the sum would pass the maximum length.
inline std::string append(const std::string& target, const std::string& other)
{
    if (static_cast<int64_t>(target.size() + other.size()) > kMaxLength) {
        return target;
    }
    return target + other;
}

inline std::string substring(const std::string& text, int64_t start, int64_t count)
{
    const int64_t length = static_cast<int64_t>(text.size());
    if (count == -1) {
        count = length;
    }
    if (count < 0 || start < 0 || start >= length) {
        return std::string();
    }
    return text.substr(static_cast<size_t>(start),
                       static_cast<size_t>(count < length - start ? count : length - start));
}

inline int64_t lineCount(const std::string& text)
{
    if (text.empty()) {
        return 0;
    }
    int64_t count = 1;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 1)) {
        ++count;
    }
    return count;
}

inline std::string line(const std::string& text, int64_t n)
{
    if (n < 0 || n >= lineCount(text)) {
        return std::string();
    }
    size_t start = 0;
    for (int64_t feeds = 0; feeds < n; ++feeds) {
        start = text.find('\n', start) + 1;
    }
    const size_t end = start < text.size() ? text.find('\n', start) : std::string::npos;
    if (end == std::string::npos) {
        return text.substr(start);
    }
    return end - start >= 1 ? text.substr(start, end - start - 1) : std::string();
}

// The first run of decimal digits, counted in 64 bits and held at kMaxHandle + 1 once past it.
inline int64_t handleNumber(const char* token)
{
    while (*token != 0 && !(*token >= '0' && *token <= '9')) {
        ++token;
    }
    int64_t value = 0;
    for (; *token >= '0' && *token <= '9'; ++token) {
        value = value * 10 + (*token - '0');
        if (value > kMaxHandle) {
            value = kMaxHandle + 1;
        }
    }
    return value > kMaxHandle ? kMaxHandle : value;
}

// The kept tokens of a command line, in order, before they are joined.
inline std::vector<std::string> commandLineTokens(const std::string& commandLine)
{
    std::vector<std::string> tokens;
    const size_t length = commandLine.size();
    size_t i = 0;
    while (length > 0) {
        char delimiter = ' ';
        if (i < length && commandLine[i] == '"') {
            delimiter = '"';
            ++i;
        }
        size_t j = commandLine.find(delimiter, i);
        if (j == std::string::npos) {
            j = length;
        }
        std::string token = trimTrailingSpaces(trimLeadingSpaces(commandLine.substr(i, j - i)));
        if (!tokens.empty() && !token.empty() && (token[0] == '-' || token[0] == '/')) {
            token.erase(0, 1);
        }
        if (!token.empty()) {
            tokens.push_back(token);
        }
        if (j == length) {
            break;
        }
        i = j + 1;
    }
    return tokens;
}

inline std::string joinTokens(const std::vector<std::string>& tokens)
{
    std::string joined;
    for (const std::string& token : tokens) {
        joined += joined.empty() ? token : "\r\n" + token;
    }
    return joined;
}

}  // namespace model
