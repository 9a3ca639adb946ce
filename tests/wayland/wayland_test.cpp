// End-to-end tests of the Wayland mode: the real program on a fresh headless sway for each
// test, its outputs captured with grim, input from wtype and a virtual pointer.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/png_writer.h"
#include "support/sway_test_support.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

// Eight opaque solid pictures, each its own colour (0xAARRGGBB).
constexpr uint32_t kColours[8] = {0xFFE62828, 0xFF28C83C, 0xFF3250DC, 0xFFFADC1E,
                                  0xFF14DCDC, 0xFFC828C8, 0xFF8C5A28, 0xFF5AA0FA};
// The desktop of every test's sway.
const char* const kDesktop = "#3366CC";
constexpr uint32_t kDesktopColour = 0x3366CC;
// Seed 1 on a 1920 x 1080 field with 112-pixel balls: ball 0 shows 2.png at (377, 520) going
// (+1, +1), ball 1 shows 7.png at (1636, 239) going (-1, -1).
constexpr uint32_t kBall0 = 0x28C83C, kBall1 = 0x8C5A28;

// Waits until ball 0 and ball 1 of seed 1 show on output, each on its path, the same ticks
// gone; false when they do not within five seconds.
bool seedOneShows(const Sway& sway, const std::string& output)
{
    return waitUntil(
        [&] {
            const Image image = sway.capture(output);
            const int gone = ticksGone(image, kBall0, 377, 520, 1, 1);
            return gone >= 0 && ticksGone(image, kBall1, 1636, 239, -1, -1) == gone;
        },
        5s);
}

void expectExit(Program& program, int code, std::chrono::milliseconds within)
{
    int status = 0;
    ASSERT_TRUE(program.waitEnd(within, &status)) << "still running after " << within.count() << " ms";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == code) << "wait status " << status << "\n"
                                                                  << program.err();
}

std::vector<std::string> saverArguments(const TempDir& pictures, std::vector<std::string> more)
{
    std::vector<std::string> args{"--wayland", "--images", solidPictures(pictures, kColours), "--opacity", "100",
                                  "--count",   "5"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(WaylandPixelsTest, BallsOfTheSeedOverTheChosenBackground)
{
    struct Row {
        const char* background;
        uint32_t colour;
    };
    for (const Row row : {Row{"desktop", kDesktopColour}, Row{"black", 0x000000}}) {
        SCOPED_TRACE(row.background);
        Sway sway("1920x1080", kDesktop);
        TempDir pictures;
        Program program(saverArguments(pictures, {"--seed", "1", "--background", row.background}), sway.env());
        ASSERT_TRUE(seedOneShows(sway, "HEADLESS-1")) << program.err();
        const Image image = sway.capture("HEADLESS-1");
        EXPECT_TRUE(near(image.at(0, 0), row.colour));
        EXPECT_TRUE(near(image.at(1919, 1079), row.colour));
    }
}

TEST(WaylandOutputsTest, EachOutputIsCoveredWithAFieldOfItsOwnSeed)
{
    Sway sway("1280x1024", kDesktop);
    TempDir pictures;
    Program program(saverArguments(pictures, {"--seed", "0"}), sway.env());
    ASSERT_TRUE(waitUntil(
        [&] {
            const Image first = sway.capture("HEADLESS-1");
            return std::count_if(first.pixels.begin(), first.pixels.end(),
                                 [](uint32_t pixel) { return !near(pixel, kDesktopColour); }) >= 112 * 112;
        },
        5s))
        << "no balls on the first output\n"
        << program.err();
    // An output that comes while it runs gets a surface; the first output announced is placed
    // from seed 0, the second from seed 1.
    sway.addOutput("HEADLESS-2", "1920x1080", 1280);
    ASSERT_TRUE(seedOneShows(sway, "HEADLESS-2")) << program.err();
    const Image first = sway.capture("HEADLESS-1");
    EXPECT_EQ(first.width, 1280);
    EXPECT_EQ(ticksGone(first, kBall0, 377, 520, 1, 1), -1) << "the second output's field on the first";
}

enum class End { Key, PointerJump, Sigterm, CompositorGone };

TEST(WaylandEndTest, EachEndExitsWithZeroAtOnceAndLeavesNothingBehind)
{
    struct Row {
        const char* name;
        End how;
    };
    for (const Row row : {Row{"Key", End::Key}, Row{"PointerJump", End::PointerJump}, Row{"Sigterm", End::Sigterm},
                          Row{"CompositorGone", End::CompositorGone}}) {
        SCOPED_TRACE(row.name);
        Sway sway("1920x1080", kDesktop);
        // A pointer and a keyboard on the seat before the saver starts, as real ones are; wtype's
        // keyboard presses its key a second later.
        VirtualPointer pointer(sway);
        pointer.moveTo(500, 500);
        std::unique_ptr<Program> typist;
        if (row.how == End::Key) {
            typist = std::make_unique<Program>(std::vector<std::string>{"-s", "1000", "-k", "space"}, sway.env(),
                                               "wtype");
        }
        const std::vector<std::string> before = sway.runtimeFiles();
        Program program({"--wayland", "--images", ZEPHYRINE_PICTURES_DIR, "--background", "black"}, sway.env());
        ASSERT_TRUE(sway.waitForColour("HEADLESS-1", 0, 0, 0x000000)) << program.err();
        switch (row.how) {
        case End::Key: {
            int status = 0;
            EXPECT_TRUE(typist->waitEnd(5s, &status));
            break;
        }
        case End::PointerJump:
            // Drifts of up to 10 pixels from the last position carry the reference along.
            for (int x : {510, 520, 530}) {
                pointer.moveTo(x, 500 + (x % 20) / 2);
            }
            std::this_thread::sleep_for(100ms);
            EXPECT_TRUE(program.running()) << "ended on a drift";
            pointer.moveTo(541, 500);
            break;
        case End::Sigterm: kill(program.pid(), SIGTERM); break;
        case End::CompositorGone: sway.kill(); break;
        }
        expectExit(program, 0, 150ms);
        for (const std::string& name : sway.runtimeFiles()) {
            EXPECT_NE(std::find(before.begin(), before.end(), name), before.end()) << name << " left behind";
        }
    }
}

// The processes of the program under test whose environment holds variable ("NAME=value").
std::vector<pid_t> programsWith(const std::string& variable)
{
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path() / "exe", ignored) != ZEPHYRINE_X11_PROGRAM) {
            continue;
        }
        const std::string environment = readFile((entry.path() / "environ").string());
        if (environment.find(std::string(1, '\0') + variable + '\0') != std::string::npos ||
            environment.rfind(variable + '\0', 0) == 0) {
            found.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return found;
}

TEST(WaylandIdleHostTest, SwayidleStartsItAfterItsTimeoutAndAKeyEndsIt)
{
    Sway sway("1920x1080", kDesktop);
    const std::string command = std::string(ZEPHYRINE_X11_PROGRAM) + " --wayland --images " +
                                ZEPHYRINE_PICTURES_DIR + " --background black &";
    Program idle({"-w", "timeout", "1", command}, sway.env(), "swayidle");
    ASSERT_TRUE(sway.waitForColour("HEADLESS-1", 0, 0, 0x000000)) << idle.err();
    const std::string runtime = sway.env().front();  // XDG_RUNTIME_DIR of this sway
    EXPECT_EQ(programsWith(runtime).size(), 1u);
    // wtype's keyboard joins the seat 300 ms before its key, as a real keyboard is there before.
    sway.run("wtype", {"-s", "300", "-k", "space"});
    EXPECT_TRUE(waitUntil([&] { return programsWith(runtime).empty(); }, 1s));
    EXPECT_TRUE(sway.waitForColour("HEADLESS-1", 0, 0, kDesktopColour));
}

TEST(WaylandLockerTest, AConnectionHandedOverDrawsOnTheNamedOutputOverBlackAndEndsOnSigterm)
{
    Sway sway("1280x1024", kDesktop);
    sway.addOutput("HEADLESS-2", "1920x1080", 1280);
    // What a locker does: it connects and hands the connection to its child in WAYLAND_SOCKET,
    // naming the one output the child covers.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sway.socket().c_str());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    TempDir pictures;
    Program program(saverArguments(pictures, {"--seed", "1"}),
                    {"WAYLAND_SOCKET=" + std::to_string(fd), "SWAYLOCK_PLUGIN_OUTPUT_NAME=HEADLESS-2"});
    close(fd);
    ASSERT_TRUE(seedOneShows(sway, "HEADLESS-2")) << program.err();
    EXPECT_TRUE(near(sway.capture("HEADLESS-2").at(0, 0), 0x000000)) << "the desktop under a lock";
    EXPECT_TRUE(near(sway.capture("HEADLESS-1").at(0, 0), kDesktopColour)) << "an output not named";
    kill(program.pid(), SIGTERM);
    expectExit(program, 0, 150ms);
}

TEST(WaylandBadStartTest, EachEndsWithItsCodeAndMessage)
{
    TempDir nothing;
    BareCompositor bare;
    const std::vector<std::string> noCompositor{"XDG_RUNTIME_DIR=" + nothing.path, "WAYLAND_DISPLAY=wayland-9"};
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> env;
        int exitCode;
        std::string message;
    };
    const Row rows[] = {
        {"NoCompositor",
         {},
         noCompositor,
         1,
         "zephyrine: cannot connect to a Wayland compositor: tried \"" + nothing.path + "/wayland-9\"\n"},
        {"NoLayerShell",
         {},
         bare.env(),
         1,
         "zephyrine: This compositor cannot show a screen saver (it offers no layer-shell).\n"},
        {"X11Target",
         {"--window-id", "5"},
         bare.env(),
         1,
         "zephyrine: --wayland takes none of --root, --window-id, --window and --geometry\n"},
        // The pictures are read before the compositor is looked for.
        {"PicturesFirst",
         {"--images", nothing.path},
         noCompositor,
         3,
         "Images not found, please reinstall the screen saver!\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args{"--wayland", "--images", ZEPHYRINE_PICTURES_DIR};
        args.insert(args.end(), row.args.begin(), row.args.end());
        Program program(args, row.env);
        expectExit(program, row.exitCode, 5s);
        EXPECT_EQ(program.err().rfind(row.message, 0), 0u) << program.err();
    }
}

}  // namespace
