/* send_close WINDOW-ID
 * Asks an X window to close the way a window manager's close button does:
 * a WM_DELETE_WINDOW client message. (xdotool's windowclose destroys the
 * window outright instead, which no program sees as a close request.) */
#include <stdio.h>
#include <stdlib.h>
#include <X11/Xlib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: send_close WINDOW-ID\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "send_close: no X display\n");
        return 1;
    }
    Window window = (Window)strtoul(argv[1], NULL, 0);
    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return 0;
}
