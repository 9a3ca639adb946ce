// Fuzz target: runs Text string operations chosen by the input bytes on four texts and checks
// every result against a std::string model and the type's invariants.
#include "app/text_string.h"
#include "fuzz/fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace {

constexpr int kSlots = 4;
constexpr int32_t kMaxLength = TextString::kMaxLength;
// Bytes that the operations and checks of one input may go through. Under the sanitizers and
// the comparison tracing a pass costs tens of nanoseconds per byte, so texts grown by repeated
// appends end the input long before they near the maximum length, which the unit tests pin.
constexpr int64_t kWorkBudget = int64_t{4} << 20;
// Line-by-line round trips read every line from the start, so only short texts get them.
constexpr int32_t kRoundTripLength = 2048;

struct Slot {
    TextString text;
    std::string model;
};

std::string contentOf(const TextString& text)
{
    return std::string(text.bytes(), static_cast<size_t>(text.length()));
}

// Every text here is built from NUL-terminated byte strings, so none holds a NUL.
void checkInvariants(const TextString& text)
{
    FUZZ_CHECK(text.length() >= 0);
    FUZZ_CHECK(text.length() <= kMaxLength);
    FUZZ_CHECK(text.bytes() != nullptr);
    FUZZ_CHECK(text.bytes()[text.length()] == 0);
    FUZZ_CHECK(std::memchr(text.bytes(), 0, static_cast<size_t>(text.length())) == nullptr);
}

// The number of LF bytes when each of them follows a CR, else -1.
int64_t pairedLineFeeds(const std::string& bytes)
{
    int64_t count = 0;
    for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
        if (at == 0 || bytes[at - 1] != '\r') {
            return -1;
        }
        ++count;
    }
    return count;
}

void checkLines(const TextString& text, const std::string& model)
{
    const int32_t count = lineCount(text);
    FUZZ_CHECK(count == model::lineCount(model));
    const int64_t lineFeeds = pairedLineFeeds(model);
    if (lineFeeds < 0) {
        return;
    }
    FUZZ_CHECK(count == (model.empty() ? 0 : lineFeeds + 1));
    if (text.length() > kRoundTripLength) {
        return;
    }
    // Joining the lines again with CR LF gives back the text.
    std::string joined;
    for (int32_t k = 0; k < count; ++k) {
        const TextString piece = line(text, k);
        checkInvariants(piece);
        joined += (k == 0 ? "" : "\r\n") + contentOf(piece);
    }
    FUZZ_CHECK(joined == model);
    FUZZ_CHECK(line(text, count).length() == 0);
}

void checkSlot(const Slot& slot)
{
    checkInvariants(slot.text);
    FUZZ_CHECK(slot.text.length() == static_cast<int64_t>(slot.model.size()));
    FUZZ_CHECK(std::memcmp(slot.text.bytes(), slot.model.data(), slot.model.size()) == 0);
}

// A result cut out of source is never longer than it, and is the one the rules give.
void checkPart(const TextString& part, const std::string& expected, const Slot& source)
{
    checkInvariants(part);
    FUZZ_CHECK(part.length() <= source.text.length());
    FUZZ_CHECK(contentOf(part) == expected);
}

// A position or count: mostly near the text, sometimes at the edges of the 32-bit range.
int32_t pickPosition(FuzzedDataProvider& input, int32_t length)
{
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return -1;
    case 1: return std::numeric_limits<int32_t>::min();
    case 2: return std::numeric_limits<int32_t>::max();
    case 3: return length;
    case 4: return input.ConsumeIntegral<int32_t>();
    default: return input.ConsumeIntegralInRange<int32_t>(-3, length + 3);
    }
}

// Raw bytes, or bytes mapped onto the few that the operations treat specially.
std::string pickBytes(FuzzedDataProvider& input)
{
    static const char kSpecial[] = {' ', '\r', '\n', 'a', '-', '\t'};
    const bool special = input.ConsumeBool();
    std::string bytes = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64));
    if (special) {
        for (char& byte : bytes) {
            byte = kSpecial[static_cast<unsigned char>(byte) % sizeof kSpecial];
        }
    }
    return bytes;
}

// Operation 0 to 11 on target, with source as the other text.
void applyOperation(int operation, FuzzedDataProvider& input, Slot& target, Slot& source)
{
    switch (operation) {
    case 0: {
        const std::string bytes = pickBytes(input);
        target.text = TextString(bytes.c_str());
        target.model = bytes.substr(0, std::strlen(bytes.c_str()));
        break;
    }
    case 1:
        target.model = model::append(target.model, source.model);
        target.text.append(source.text);
        break;
    case 2:
        target.text = input.ConsumeBool() ? TextString() : TextString(nullptr);
        target.model.clear();
        break;
    case 3: {
        const TextString other(pickBytes(input).c_str());
        target.model = model::append(target.model, contentOf(other));
        target.text.append(other);
        break;
    }
    case 4:
        target.text.trimLeadingSpaces();
        target.model = model::trimLeadingSpaces(target.model);
        break;
    case 5:
        target.text.trimTrailingSpaces();
        target.model = model::trimTrailingSpaces(target.model);
        break;
    case 6: {
        const int32_t start = pickPosition(input, source.text.length());
        const int32_t count = pickPosition(input, source.text.length());
        TextString part = substring(source.text, start, count);
        std::string expected = model::substring(source.model, start, count);
        checkPart(part, expected, source);
        target.text = std::move(part);
        target.model = std::move(expected);
        break;
    }
    case 7: {
        const int32_t n = pickPosition(input, lineCount(source.text));
        TextString part = line(source.text, n);
        std::string expected = model::line(source.model, n);
        checkPart(part, expected, source);
        target.text = std::move(part);
        target.model = std::move(expected);
        break;
    }
    case 8: checkLines(source.text, source.model); break;
    case 9: {
        TextString copy(source.text);
        checkInvariants(copy);
        FUZZ_CHECK(copy.bytes() != source.text.bytes());
        target.model = source.model;
        target.text = copy;
        break;
    }
    case 10:
        target.text = source.text;
        target.model = source.model;
        break;
    default: {
        // Whatever a moved-from text holds, it must still be a valid text.
        std::string moved = source.model;
        target.text = std::move(source.text);
        checkInvariants(source.text);
        source.model = contentOf(source.text);
        target.model = std::move(moved);
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Slot slots[kSlots];
    int64_t work = 0;
    while (input.remaining_bytes() > 0 && work < kWorkBudget) {
        const int operation = input.ConsumeIntegralInRange<int>(0, 11);
        Slot& target = slots[input.ConsumeIntegralInRange<int>(0, kSlots - 1)];
        Slot& source = slots[input.ConsumeIntegralInRange<int>(0, kSlots - 1)];
        applyOperation(operation, input, target, source);
        checkSlot(target);
        checkSlot(source);
        work += int64_t{target.text.length()} + source.text.length() + 1;
    }
    for (const Slot& slot : slots) {
        checkSlot(slot);
        checkLines(slot.text, slot.model);
    }
    return 0;
}
