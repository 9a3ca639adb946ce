// Frame composition of the X11 display mode: the background, then each ball with pixman.
