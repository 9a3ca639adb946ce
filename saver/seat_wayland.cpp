// Seat input of the Wayland mode: one table of handlers per device.
#include "saver/seat_wayland.h"

#include <unistd.h>

#include <cstdint>
#include <initializer_list>

#include <wayland-client.h>

#include "saver/pointer_jump.h"

namespace {

struct SeatInput {
    wl_keyboard* keyboard;
    wl_pointer* pointer;
    wl_touch* touch;
    int64_t referenceX;
    int64_t referenceY;
    bool referenceSet;
    SeatNews news;
};

SeatInput seatInput;

void end()
{
    seatInput.news.ended = true;
}

// Keyboard: the keymap's descriptor is closed unread; a key pressed ends it.
void onKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t)
{
    close(fd);
}
void onKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void onKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void onKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) end();
}
void onModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {
    onKeymap, onKeyboardEnter, onKeyboardLeave, onKey, onModifiers, onRepeatInfo,
};

// Pointer: the first position on a surface is the reference, and each motion the next one, so a
// slow drift never ends it; a jump or a button does.
void onPointerEnter(void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y)
{
    seatInput.referenceX = wl_fixed_to_int(x);
    seatInput.referenceY = wl_fixed_to_int(y);
    seatInput.referenceSet = true;
}
void onPointerLeave(void*, wl_pointer*, uint32_t, wl_surface*)
{
    seatInput.referenceSet = false;
}
void onMotion(void*, wl_pointer*, uint32_t, wl_fixed_t fx, wl_fixed_t fy)
{
    const int64_t x = wl_fixed_to_int(fx);
    const int64_t y = wl_fixed_to_int(fy);
    if (seatInput.referenceSet && isPointerJump(seatInput.referenceX, seatInput.referenceY, x, y)) end();
    seatInput.referenceX = x;
    seatInput.referenceY = y;
    seatInput.referenceSet = true;
}
void onButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    if (state == WL_POINTER_BUTTON_STATE_PRESSED) end();
}
void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void onPointerFrame(void*, wl_pointer*) {}
void onAxisSource(void*, wl_pointer*, uint32_t) {}
void onAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void onAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
void onAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}

const wl_pointer_listener kPointerListener = {
    onPointerEnter, onPointerLeave, onMotion,   onButton,       onAxis,
    onPointerFrame, onAxisSource,   onAxisStop, onAxisDiscrete, onAxisValue120,
};

// Touch: a finger down ends it.
void onTouchDown(void*, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t)
{
    end();
}
void onTouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void onTouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void onTouchFrame(void*, wl_touch*) {}
void onTouchCancel(void*, wl_touch*) {}
void onTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void onTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}

const wl_touch_listener kTouchListener = {
    onTouchDown, onTouchUp, onTouchMotion, onTouchFrame, onTouchCancel, onTouchShape, onTouchOrientation,
};

// Takes or lets go of a device as the seat's capabilities come and go.
template <typename Device, typename Listener>
void follow(bool present, Device*& device, wl_seat* seat, Device* (*get)(wl_seat*),
            int (*listen)(Device*, const Listener*, void*), const Listener& listener)
{
    if (present && device == nullptr) {
        device = get(seat);
        listen(device, &listener, nullptr);
    } else if (!present && device != nullptr) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(device));
        device = nullptr;
    }
}

void onCapabilities(void*, wl_seat* seat, uint32_t capabilities)
{
    const bool hadKeyboard = seatInput.keyboard != nullptr;
    follow((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0, seatInput.keyboard, seat, wl_seat_get_keyboard,
           wl_keyboard_add_listener, kKeyboardListener);
    follow((capabilities & WL_SEAT_CAPABILITY_POINTER) != 0, seatInput.pointer, seat, wl_seat_get_pointer,
           wl_pointer_add_listener, kPointerListener);
    follow((capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0, seatInput.touch, seat, wl_seat_get_touch,
           wl_touch_add_listener, kTouchListener);
    if (hadKeyboard != (seatInput.keyboard != nullptr)) seatInput.news.keyboardChanged = true;
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) == 0) seatInput.referenceSet = false;
}

void onSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {
    onCapabilities,
    onSeatName,
};

}  // namespace

void watchSeat(wl_seat* seat)
{
    seatInput = SeatInput{};
    wl_seat_add_listener(seat, &kSeatListener, nullptr);
}

bool seatHasKeyboard()
{
    return seatInput.keyboard != nullptr;
}

SeatNews takeSeatNews()
{
    const SeatNews news = seatInput.news;
    seatInput.news = SeatNews{};
    return news;
}

void forgetSeat()
{
    for (wl_proxy* device :
         {reinterpret_cast<wl_proxy*>(seatInput.keyboard), reinterpret_cast<wl_proxy*>(seatInput.pointer),
          reinterpret_cast<wl_proxy*>(seatInput.touch)})
        if (device != nullptr) wl_proxy_destroy(device);
    const bool hadKeyboard = seatInput.keyboard != nullptr;
    seatInput = SeatInput{};
    seatInput.news.keyboardChanged = hadKeyboard;
}
