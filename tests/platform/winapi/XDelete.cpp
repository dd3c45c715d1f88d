// xdelete WINDOW-ID: asks an X11 top-level window to close the way a window manager does when its
// close button is pressed: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Under a bare X
// server (Xvfb without a window manager) nothing else produces that message.
//
// WINDOW-ID is decimal or 0x-prefixed hexadecimal (as xdotool and xwininfo print it). Exits 0 once
// the message is sent, 1 when the window does not take part in the protocol, 2 on a usage or
// display error.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xdelete WINDOW-ID\n");
    return 2;
  }
  char* end = nullptr;
  const unsigned long id = std::strtoul(argv[1], &end, 0);
  if (!end || *end || id == 0) {
    std::fprintf(stderr, "xdelete: '%s' is not a window id\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "xdelete: cannot open display '%s'\n", XDisplayName(nullptr));
    return 2;
  }
  const Window window = static_cast<Window>(id);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

  // A window manager only sends the message to windows that list it in WM_PROTOCOLS.
  Atom* listed = nullptr;
  int count = 0;
  bool takesPart = false;
  if (XGetWMProtocols(display, window, &listed, &count)) {
    for (int i = 0; i < count; ++i) takesPart = takesPart || listed[i] == deleteWindow;
    XFree(listed);
  }
  if (!takesPart) {
    std::fprintf(stderr, "xdelete: window 0x%lx does not accept WM_DELETE_WINDOW\n", id);
    XCloseDisplay(display);
    return 1;
  }

  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(deleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
