// Text string: length cap, append limits, trims, substring and line reading at their edges.
#include "app/text_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace {

std::string contents(const TextString& text)
{
    EXPECT_EQ(text.bytes()[text.length()], '\0');
    return std::string(text.bytes(), static_cast<size_t>(text.length()));
}

TEST(TextStringTest, ConstructionCutsAtMaximumLength)
{
    const std::string huge(20000000, 'z');
    TextString text(huge.c_str());
    ASSERT_EQ(text.length(), TextString::kMaxLength);
    EXPECT_EQ(text.bytes()[TextString::kMaxLength], '\0');
    EXPECT_EQ(text.bytes()[TextString::kMaxLength - 1], 'z');

    text.append(TextString("y"));
    EXPECT_EQ(text.length(), TextString::kMaxLength);
    EXPECT_EQ(text.bytes()[TextString::kMaxLength - 1], 'z');
}

TEST(TextStringTest, EmptyAndNullGiveTerminatedEmptyText)
{
    for (const TextString& text : {TextString(), TextString(""), TextString(nullptr)}) {
        EXPECT_EQ(text.length(), 0);
        ASSERT_NE(text.bytes(), nullptr);
        EXPECT_EQ(text.bytes()[0], '\0');
    }
}

TEST(TextStringTest, AppendAllowsExactlyTheMaximumAndRefusesOneMore)
{
    const std::string base(16000000, 'a');
    const std::string tail(777217, 'b');
    const TextString longTail(tail.c_str());
    const TextString exactTail = substring(longTail, 0, 777216);

    TextString refused(base.c_str());
    refused.append(longTail);
    EXPECT_EQ(refused.length(), 16000000);
    EXPECT_EQ(refused.bytes()[15999999], 'a');
    EXPECT_EQ(refused.bytes()[16000000], '\0');

    refused.append(exactTail);
    ASSERT_EQ(refused.length(), TextString::kMaxLength);
    EXPECT_EQ(refused.bytes()[16000000], 'b');
    EXPECT_EQ(refused.bytes()[TextString::kMaxLength], '\0');
}

TEST(TextStringTest, AppendJoinsBytes)
{
    TextString text("ab");
    text.append(TextString());
    EXPECT_EQ(contents(text), "ab");
    text.append(TextString(" c"));
    EXPECT_EQ(contents(text), "ab c");
    text.append(text);
    EXPECT_EQ(contents(text), "ab cab c");
}

TEST(TextStringTest, TrimsRemoveOnlyByte32)
{
    struct Row {
        const char* input;
        const char* withoutLeading;
        const char* withoutTrailing;
    };
    const Row rows[] = {
        {"", "", ""},          {" ", "", ""},         {"   ", "", ""},    {"a", "a", "a"},
        {"  a ", "a ", "  a"}, {" a  ", "a  ", " a"}, {"\t", "\t", "\t"}, {" \ta\t ", "\ta\t ", " \ta\t"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("input \"") + row.input + "\"");
        TextString leading(row.input);
        leading.trimLeadingSpaces();
        EXPECT_EQ(contents(leading), row.withoutLeading);
        TextString trailing(row.input);
        trailing.trimTrailingSpaces();
        EXPECT_EQ(contents(trailing), row.withoutTrailing);
    }
}

TEST(TextStringTest, SubstringClampsAndRejectsOutOfRange)
{
    struct Row {
        int32_t start;
        int32_t count;
        const char* expected;
    };
    const Row rows[] = {
        {2, 3, "cde"}, {2, -1, "cdef"}, {0, -1, "abcdef"}, {4, 10, "ef"},           {5, 1, "f"},        {6, 1, ""},
        {-1, 2, ""},   {0, -2, ""},     {0, 0, ""},        {1, INT32_MAX, "bcdef"}, {INT32_MAX, 1, ""},
    };
    const TextString text("abcdef");
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "start " << row.start << " count " << row.count);
        EXPECT_EQ(contents(substring(text, row.start, row.count)), row.expected);
    }
    EXPECT_EQ(contents(substring(TextString(), 0, -1)), "");
}

TEST(TextStringTest, LineCountCountsCrLfPairs)
{
    struct Row {
        const char* text;
        int32_t expected;
    };
    const Row rows[] = {
        {"", 0}, {"abc", 1}, {"a\r\nb", 2}, {"a\r\n", 2}, {"a\r", 1}, {"a\nb", 1}, {"\r\n\r\n", 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::string(row.text)));
        EXPECT_EQ(lineCount(TextString(row.text)), row.expected);
    }
}

TEST(TextStringTest, LineReadsByLfAndDropsTheByteBefore)
{
    struct Row {
        const char* text;
        int32_t n;
        const char* expected;
    };
    const Row rows[] = {
        {"a\r\nxy\r\nd", 0, "a"}, {"a\r\nxy\r\nd", 1, "xy"},
        {"a\r\nxy\r\nd", 2, "d"}, {"a\r\nxy\r\nd", 3, ""},
        {"a\r\n", 0, "a"},        {"a\r\n", 1, ""},
        {"\r\nx", 0, ""},         {"\r\nx", 1, "x"},
        {"abc", 0, "abc"},        {"abc", 1, ""},
        {"ab\nde", 0, "a"},       {"ab\nde", 1, ""},
        {"\nde", 0, ""},          {"", 0, ""},
        {"abc", -1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(std::string(row.text)) << " line " << row.n);
        EXPECT_EQ(contents(line(TextString(row.text), row.n)), row.expected);
    }
}

TEST(TextStringTest, CopiesAreIndependent)
{
    TextString original("abc");
    TextString copy(original);
    EXPECT_NE(copy.bytes(), original.bytes());
    copy.append(TextString("d"));
    EXPECT_EQ(contents(original), "abc");

    TextString assigned("xyz");
    assigned = original;
    EXPECT_NE(assigned.bytes(), original.bytes());
    original.trimTrailingSpaces();
    original.append(TextString("!"));
    EXPECT_EQ(contents(assigned), "abc");

    const TextString& alias = assigned;
    assigned = alias;
    EXPECT_EQ(contents(assigned), "abc");

    TextString moved(std::move(assigned));
    EXPECT_EQ(contents(moved), "abc");
    EXPECT_EQ(contents(assigned), "");
}

}  // namespace
