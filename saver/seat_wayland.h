// The seat's input in the Wayland mode: as the Windows full-screen saver ends, a key, a pointer
// button, a touch, or a pointer jump of more than 10 pixels on either axis between two motions
// ends it. Only this file talks to the seat and its devices.
#pragma once

struct wl_seat;

// What the seat reported since the last call.
struct SeatNews {
    bool ended;            // input that ends the saver
    bool keyboardChanged;  // the seat gained or lost its keyboard
};

// Listens to seat; its devices are taken as the compositor announces them.
void watchSeat(wl_seat* seat);

// True while the seat has a keyboard.
bool seatHasKeyboard();

// The news since the last call, and forgets them.
SeatNews takeSeatNews();

// Releases the devices (the seat itself stays the connection's).
void forgetSeat();
