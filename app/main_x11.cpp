// Entry of the X11 display mode: options, pictures, window and the frame loop.
int main()
{
    return 0;
}
