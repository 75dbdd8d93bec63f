#include "geometry/message.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {
thread_local OriMessageSink t_sink = nullptr;
thread_local void* t_context = nullptr;
}  // namespace

void oriMessage(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  if (t_sink == nullptr) {
    std::vprintf(fmt, ap);
    va_end(ap);
    return;
  }
  char small[256];
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(again);
    t_sink(t_context, small, static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, again);
  va_end(again);
  t_sink(t_context, big.data(), static_cast<size_t>(n));
}

void oriSetMessageSink(OriMessageSink sink, void* context) {
  t_sink = sink;
  t_context = sink != nullptr ? context : nullptr;
}

OriMessageSink oriMessageSink(void** context) {
  if (context != nullptr) *context = t_context;
  return t_sink;
}

void oriMessageToStdout(void*, const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }
