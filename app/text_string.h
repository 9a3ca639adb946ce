// Counted byte string with an owned, exactly sized, NUL-terminated block.
#pragma once

#include <cstdint>

class TextString {
public:
    static constexpr int32_t kMaxLength = 16777216;

    TextString();
    // Takes the bytes up to the first NUL, at most kMaxLength of them; null gives the empty text.
    explicit TextString(const char* bytes);
    TextString(const TextString& other);
    TextString(TextString&& other) noexcept;
    TextString& operator=(const TextString& other);
    TextString& operator=(TextString&& other) noexcept;
    ~TextString();

    int32_t length() const { return length_; }
    const char* bytes() const { return block_; }

    // Leaves the text unchanged when the result would exceed kMaxLength.
    void append(const TextString& other);
    void trimLeadingSpaces();
    void trimTrailingSpaces();

private:
    // Copies exactly count bytes (0 to kMaxLength) into a new block.
    TextString(const char* bytes, int32_t count);
    friend TextString substring(const TextString& text, int32_t start, int32_t count);

    int32_t length_;
    char* block_;
};

// count -1 means up to the end; out-of-range positions and counts give the empty text.
TextString substring(const TextString& text, int32_t start, int32_t count);
// 0 for the empty text, else 1 plus the number of CR LF pairs.
int32_t lineCount(const TextString& text);
// Line n (from 0), ended by LF with the byte before it dropped; empty past the last line.
TextString line(const TextString& text, int32_t n);
