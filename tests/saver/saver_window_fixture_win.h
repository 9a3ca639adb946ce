// The saver window run in-process under a real display, for its tests: GDI+
// and the installed pictures for the whole program, a red and blue desktop
// stand-in, and a fixture that starts either window form and sees it close.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "saver/ball_field.h"
#include "support/win_test_support.h"

constexpr POINT kRestingPointer = {700, 400};
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;

Pixels readWindow(HWND window);

// Every channel of a and b within tolerance levels.
bool isNear(uint32_t a, uint32_t b, int tolerance);

bool insideAnyBall(const BallField& field, int count, int x, int y);

// System commands that reached default processing, seen by a CBT hook that
// then stops them, so no test powers a monitor down.
extern std::vector<WPARAM> defaultSysCommands;

class SaverWindow : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void startFullScreen();
    void startPreview(int x = 100, int y = 100, int width = 320, int height = 180);
    void start(int saverMode);

    // Ends the saver window, its host and its class, and forgets the quit
    // message that ending posts, so that the next case starts clean.
    void stopSaver();

    // Shows the red and blue desktop stand-in and waits until the screen has it.
    void showPattern();

    // Dispatches whatever arrives for ms milliseconds (with 0: until the queue
    // is empty); a quit message is kept for takeQuit. A busy animation keeps
    // the queue from ever emptying, so time is checked after every message.
    void pumpFor(DWORD ms);

    bool takeQuit(WPARAM* code);

    // The saver accepted a close: surfaces released, quit posted with 0, and
    // the window still there.
    ::testing::AssertionResult hasClosed();
    ::testing::AssertionResult isRunning();

    void moveMouseTo(int x, int y);
    void hookSysCommands();

    HINSTANCE instance = nullptr;
    HWND saver = nullptr;
    HWND host = nullptr;
    HWND pattern = nullptr;
    HHOOK hook = nullptr;
    bool quitSeen = false;
    WPARAM quitCode = 0;
};
