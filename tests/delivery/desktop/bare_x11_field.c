/* A window as a toolkit without accessibility makes it (Tk): plain Xlib, no _NET_WM_PID, WM_CLASS
 * "barefield"/"Barefield". Ctrl+V asks for the clipboard as UTF-8 and appends it; every change prints
 * "text:<content>", and "ready" once the window is mapped. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void)
{
    Display *display = XOpenDisplay(NULL);
    if (!display)
        return 1;
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 400, 120, 0,
                                        BlackPixel(display, screen), WhitePixel(display, screen));
    XClassHint hint = {"barefield", "Barefield"};
    XWMHints wmHints = {.flags = InputHint, .input = True};
    XSetClassHint(display, window, &hint);
    XSetWMHints(display, window, &wmHints);
    XStoreName(display, window, "Bare field");
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapRaised(display, window);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom property = XInternAtom(display, "BARE_FIELD_PASTE", False);
    char text[4096] = "";
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            printf("ready\n");
            fflush(stdout);
        } else if (event.type == KeyPress) {
            const KeySym symbol = XLookupKeysym(&event.xkey, 0);
            if ((event.xkey.state & ControlMask) && symbol == XK_v)
                XConvertSelection(display, clipboard, utf8, property, window, event.xkey.time);
        } else if (event.type == SelectionNotify && event.xselection.property == property) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char *data = NULL;
            if (XGetWindowProperty(display, window, property, 0, 1024, True, AnyPropertyType, &type, &format, &count,
                                   &after, &data) == Success &&
                data && format == 8 && strlen(text) + count < sizeof text)
                strncat(text, (const char *)data, count);
            if (data)
                XFree(data);
            printf("text:%s\n", text);
            fflush(stdout);
        }
    }
}
