// Whether the window system can be reached, asked before anything else so
// that a program without a display says so at once instead of asking for a
// pattern and then failing.
#pragma once

#include <string>

// True when the X display the window would open on (DISPLAY) accepts a
// connection; it is closed again. Otherwise false with *why naming it:
// "no display: DISPLAY is not set" or "cannot open the display \":9\"".
// Cost: one connection to the X server.
bool appDisplayAvailable(std::string* why);
