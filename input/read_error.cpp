#include "input/read_error.h"

#include <cstdarg>
#include <cstdio>

namespace {
thread_local char g_read_error[512];
}

void oriSetReadError(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(g_read_error, sizeof g_read_error, fmt, ap);
  va_end(ap);
}

void oriClearReadError() { g_read_error[0] = '\0'; }

const char* oriReadError() { return g_read_error; }
