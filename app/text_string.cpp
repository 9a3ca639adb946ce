// Text string operations: every change copies into a new block of exactly length + 1 bytes.
#include "app/text_string.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace {

constexpr char kSpace = 32;
constexpr char kCarriageReturn = 13;
constexpr char kLineFeed = 10;

int32_t boundedLength(const char* bytes)
{
    int32_t count = 0;
    while (bytes != nullptr && count < TextString::kMaxLength && bytes[count] != 0) {
        ++count;
    }
    return count;
}

}  // namespace

TextString::TextString() : TextString("", 0) {}

TextString::TextString(const char* bytes) : TextString(bytes == nullptr ? "" : bytes, boundedLength(bytes)) {}

TextString::TextString(const char* bytes, int32_t count) : length_(count), block_(new char[count + 1])
{
    std::memcpy(block_, bytes, static_cast<std::size_t>(count));
    block_[count] = 0;
}

TextString::TextString(const TextString& other) : TextString(other.block_, other.length_) {}

// The moved-from text keeps a valid empty block, so bytes() never returns null.
TextString::TextString(TextString&& other) noexcept : TextString()
{
    std::swap(length_, other.length_);
    std::swap(block_, other.block_);
}

TextString& TextString::operator=(const TextString& other)
{
    if (this != &other) {
        *this = TextString(other);
    }
    return *this;
}

TextString& TextString::operator=(TextString&& other) noexcept
{
    std::swap(length_, other.length_);
    std::swap(block_, other.block_);
    return *this;
}

TextString::~TextString()
{
    delete[] block_;
}

void TextString::append(const TextString& other)
{
    if (other.length_ == 0 || other.length_ > kMaxLength - length_) {
        return;
    }
    int32_t total = length_ + other.length_;
    char* grown = new char[total + 1];
    std::memcpy(grown, block_, static_cast<std::size_t>(length_));
    std::memcpy(grown + length_, other.block_, static_cast<std::size_t>(other.length_) + 1);
    delete[] block_;
    block_ = grown;
    length_ = total;
}

void TextString::trimLeadingSpaces()
{
    int32_t spaces = 0;
    while (spaces < length_ && block_[spaces] == kSpace) {
        ++spaces;
    }
    if (spaces > 0) {
        *this = TextString(block_ + spaces, length_ - spaces);
    }
}

void TextString::trimTrailingSpaces()
{
    int32_t kept = length_;
    while (kept > 0 && block_[kept - 1] == kSpace) {
        --kept;
    }
    if (kept < length_) {
        *this = TextString(block_, kept);
    }
}

TextString substring(const TextString& text, int32_t start, int32_t count)
{
    int32_t length = text.length();
    if (count == -1) {
        count = length;
    }
    if (count < 0 || start < 0 || start >= length) {
        return TextString();
    }
    if (count > length - start) {
        count = length - start;
    }
    return TextString(text.bytes() + start, count);
}

int32_t lineCount(const TextString& text)
{
    if (text.length() == 0) {
        return 0;
    }
    const char* bytes = text.bytes();
    int32_t count = 1;
    for (int32_t k = 0; k < text.length(); ++k) {
        if (bytes[k] == kCarriageReturn && bytes[k + 1] == kLineFeed) {
            ++count;
        }
    }
    return count;
}

TextString line(const TextString& text, int32_t n)
{
    if (n < 0 || n >= lineCount(text)) {
        return TextString();
    }
    const char* bytes = text.bytes();
    int32_t length = text.length();
    int32_t start = 0;
    for (int32_t feeds = 0; feeds < n;) {
        if (bytes[start++] == kLineFeed) {
            ++feeds;
        }
    }
    int32_t end = start;
    while (end < length && bytes[end] != kLineFeed) {
        ++end;
    }
    if (end == length) {
        return substring(text, start, -1);
    }
    return substring(text, start, end - start - 1 < 0 ? 0 : end - start - 1);
}
