// Helpers for the Wayland mode's tests (see sway_test_support.h).
#include <gtest/gtest.h>

#include "support/sway_test_support.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wayland-client.h>
#include <wayland-server-core.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "virtual-pointer-client.h"

namespace {

constexpr uid_t kNobody = 65534;

// The file in folder whose name starts with prefix and does not end in ".lock"; empty when none.
std::string fileStartingWith(const std::string& folder, const std::string& prefix)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.find(".lock") == std::string::npos) {
            return name;
        }
    }
    return "";
}

// A binary PPM (P6, maxval 255) as 0xRRGGBB pixels; empty when it is not one.
Image readPpm(const std::string& bytes)
{
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    Image image;
    const size_t count = size_t(width) * size_t(height);
    if (magic != "P6" || maxval != 255 || width <= 0 || height <= 0 ||
        bytes.size() - size_t(in.tellg()) < count * 3) {
        return image;
    }
    image.width = width, image.height = height;
    image.pixels.resize(count);
    const unsigned char* rgb = reinterpret_cast<const unsigned char*>(bytes.data()) + in.tellg();
    for (size_t i = 0; i < count; ++i) {
        image.pixels[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    return image;
}

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        *static_cast<void**>(data) =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

Sway::Sway(const std::string& firstOutput, const std::string& background)
{
    EXPECT_EQ(chown(folder_.path.c_str(), kNobody, kNobody), 0);
    std::string config = "output HEADLESS-1 resolution " + firstOutput + "\n";
    if (!background.empty()) {
        config += "output * bg " + background + " solid_color\n";
    }
    writeFile(folder_.path + "/config", Bytes(config.begin(), config.end()));
    sway_ = std::make_unique<Program>(
        std::vector<std::string>{"--reuid=65534", "--regid=65534", "--clear-groups", "sway", "-c",
                                 folder_.path + "/config"},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + folder_.path, "HOME=" + folder_.path,
                                 "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"},
        "setpriv");
    EXPECT_TRUE(waitUntil(
        [&] {
            display_ = fileStartingWith(folder_.path, "wayland-");
            return !display_.empty() && !fileStartingWith(folder_.path, "sway-ipc.").empty();
        },
        5s))
        << "sway did not come up\n"
        << sway_->err();
    if (!background.empty()) {
        const uint32_t colour = std::stoul(background.substr(1), nullptr, 16);
        EXPECT_TRUE(waitForColour("HEADLESS-1", 0, 0, colour)) << "no background from swaybg";
    }
}

Sway::~Sway()
{
    kill();
}

void Sway::kill()
{
    if (sway_ && sway_->running()) {
        ::kill(sway_->pid(), SIGTERM);
        int status = 0;
        sway_->waitEnd(5s, &status);
    }
}

std::vector<std::string> Sway::env(std::vector<std::string> more) const
{
    more.push_back("XDG_RUNTIME_DIR=" + folder_.path);
    more.push_back("WAYLAND_DISPLAY=" + display_);
    return more;
}

std::vector<std::string> Sway::runtimeFiles() const
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Sway::run(const std::string& tool, const std::vector<std::string>& args) const
{
    Program program(args, env({"SWAYSOCK=" + folder_.path + "/" + fileStartingWith(folder_.path, "sway-ipc.")}),
                    tool);
    int status = 0;
    const bool ended = program.waitEnd(10s, &status);
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << tool << ": " << program.err();
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Sway::addOutput(const std::string& name, const std::string& mode, int x)
{
    run("swaymsg", {"create_output"});
    run("swaymsg", {"output", name, "resolution", mode, "position", std::to_string(x), "0"});
}

Image Sway::capture(const std::string& output) const
{
    TempDir dir;
    std::vector<std::string> args{"-t", "ppm"};
    if (!output.empty()) {
        args.insert(args.end(), {"-o", output});
    }
    args.push_back(dir.path + "/capture.ppm");
    run("grim", args);
    return readPpm(readFile(dir.path + "/capture.ppm"));
}

bool Sway::waitForColour(const std::string& output, int x, int y, uint32_t colour) const
{
    return waitUntil(
        [&] {
            const Image image = capture(output);
            return x < image.width && y < image.height && near(image.at(x, y), colour);
        },
        5s);
}

VirtualPointer::VirtualPointer(const Sway& sway)
{
    display_ = wl_display_connect(sway.socket().c_str());
    if (display_ == nullptr) {
        ADD_FAILURE() << "cannot connect to " << sway.socket();
        return;
    }
    wl_registry* registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &kRegistryListener, &manager_);
    wl_display_roundtrip(display_);
    wl_registry_destroy(registry);
    if (manager_ == nullptr) {
        ADD_FAILURE() << "sway offers no virtual pointer";
        return;
    }
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
        static_cast<zwlr_virtual_pointer_manager_v1*>(manager_), nullptr);
    wl_display_roundtrip(display_);
}

VirtualPointer::~VirtualPointer()
{
    if (pointer_ != nullptr) {
        zwlr_virtual_pointer_v1_destroy(static_cast<zwlr_virtual_pointer_v1*>(pointer_));
    }
    if (manager_ != nullptr) {
        zwlr_virtual_pointer_manager_v1_destroy(static_cast<zwlr_virtual_pointer_manager_v1*>(manager_));
    }
    if (display_ != nullptr) {
        wl_display_roundtrip(display_);
        wl_display_disconnect(display_);
    }
}

void VirtualPointer::moveTo(int x, int y, int width, int height)
{
    if (pointer_ == nullptr) {
        return;
    }
    auto* pointer = static_cast<zwlr_virtual_pointer_v1*>(pointer_);
    zwlr_virtual_pointer_v1_motion_absolute(pointer, 0, uint32_t(x), uint32_t(y), uint32_t(width),
                                            uint32_t(height));
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display_);
}

BareCompositor::BareCompositor()
{
    wl_display* display = wl_display_create();
    display_ = display;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/wayland-0", folder_.path.c_str());
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd, 8), 0);
    EXPECT_EQ(wl_display_add_socket_fd(display, fd), 0);
    loop_ = std::thread([display] { wl_display_run(display); });
}

BareCompositor::~BareCompositor()
{
    wl_display* display = static_cast<wl_display*>(display_);
    wl_display_terminate(display);
    loop_.join();
    wl_display_destroy(display);
}

std::vector<std::string> BareCompositor::env() const
{
    return {"XDG_RUNTIME_DIR=" + folder_.path, "WAYLAND_DISPLAY=wayland-0"};
}
