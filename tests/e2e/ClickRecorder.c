// Maps a plain window and reports every button press on it, so a test can tell whether a click
// went through the windows above.
//
//     ClickRecorder X Y WIDTH HEIGHT
//
// Prints "ready" once the window is mapped, then "press X Y" (root coordinates) per press.
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s X Y WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    const int x = atoi(argv[1]);
    const int y = atoi(argv[2]);
    const unsigned width = (unsigned)atoi(argv[3]);
    const unsigned height = (unsigned)atoi(argv[4]);

    // Override-redirect: a window manager must not move it, and it needs none to be placed.
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
    attributes.event_mask = ButtonPressMask | StructureNotifyMask;
    const Window window = XCreateWindow(
        display, DefaultRootWindow(display), x, y, width, height, 0, CopyFromParent, InputOutput,
        CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(display, window, "ClickRecorder");
    XMapWindow(display, window);
    // Below everything already there: it stands for the desktop under the notch.
    XLowerWindow(display, window);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            printf("ready\n");
            fflush(stdout);
        } else if (event.type == ButtonPress) {
            printf("press %d %d\n", event.xbutton.x_root, event.xbutton.y_root);
            fflush(stdout);
        }
    }
}
