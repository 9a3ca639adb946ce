// The ball pictures' state as the loading left it, for the tests that load
// them: now, or at the moment the failure message was being created.
#pragma once

#include <windows.h>

#include <string>

// Per picture: 'L' loaded (width > 0), 'F' an object without a picture,
// '.' null.
std::string pictureState();

// While alive, a CBT hook on this thread records pictureState() when the
// first window is created: the failure message box, before the release.
class PictureStateAtMessage {
public:
    PictureStateAtMessage();
    ~PictureStateAtMessage();
    PictureStateAtMessage(const PictureStateAtMessage&) = delete;
    PictureStateAtMessage& operator=(const PictureStateAtMessage&) = delete;
    bool hooked() const { return hook_ != nullptr; }
    // "" while no window was created.
    const std::string& state() const { return state_; }

private:
    static LRESULT CALLBACK record(int code, WPARAM wParam, LPARAM lParam);
    static PictureStateAtMessage* current_;
    HHOOK hook_ = nullptr;
    std::string state_;
};
