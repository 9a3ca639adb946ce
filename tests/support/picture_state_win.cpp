// The ball pictures' state for the tests that load them.
#include "support/picture_state_win.h"

#include "saver/ball_images_win.h"

std::string pictureState()
{
    std::string state;
    for (Gdiplus::Image* picture : pictures)
        state += picture == nullptr ? '.' : picture->GetWidth() > 0 ? 'L' : 'F';
    return state;
}

PictureStateAtMessage* PictureStateAtMessage::current_ = nullptr;

PictureStateAtMessage::PictureStateAtMessage()
{
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, record, nullptr, GetCurrentThreadId());
}

PictureStateAtMessage::~PictureStateAtMessage()
{
    if (hook_) UnhookWindowsHookEx(hook_);
    current_ = nullptr;
}

LRESULT CALLBACK PictureStateAtMessage::record(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && current_ && current_->state_.empty()) current_->state_ = pictureState();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
