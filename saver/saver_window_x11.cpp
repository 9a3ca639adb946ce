// The target window of the X11 display mode: its size, monitor, desktop copy and presentation.
