#include "app/x_display.h"

#include <X11/Xlib.h>

#include <cstdlib>

bool appDisplayAvailable(std::string* why) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    *why = "no display: DISPLAY is not set";
    return false;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    *why = std::string("cannot open the display \"") + XDisplayName(nullptr) + "\"";
    return false;
  }
  XCloseDisplay(display);
  return true;
}
