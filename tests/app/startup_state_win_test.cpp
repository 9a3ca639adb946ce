// Display strings loaded from the program's string table.
#include "app/startup_state_win.h"

#include <gtest/gtest.h>

#include <cstring>

#include "res/resource.h"
#include "test_strings.h"

TEST(DisplayStrings, LoadsTheFourTexts)
{
    loadDisplayStrings(GetModuleHandleA(nullptr));
    EXPECT_STREQ("Zephyrine", startupState.displayName);
    EXPECT_STREQ("ZEPHYRINE", startupState.windowClassName);
    EXPECT_STREQ("2.1", startupState.versionText);
    EXPECT_GT(std::strlen(startupState.copyrightLine), 0u);
    EXPECT_LT(std::strlen(startupState.copyrightLine), 100u);
}

TEST(DisplayStrings, LongStringIsCutAtNinetyNineCharacters)
{
    char buffer[kDisplayStringSize];
    std::memset(buffer, 'x', sizeof buffer);
    int copied = LoadStringA(GetModuleHandleA(nullptr), IDS_TEST_LONG, buffer, kDisplayStringSize);
    EXPECT_EQ(99, copied);
    EXPECT_EQ(99u, std::strlen(buffer));
    EXPECT_EQ(0, std::strncmp(buffer, "0123456789abcdefghij", 20));
}
