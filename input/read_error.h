// The reason the last reader or construction failed, for the caller's one-line
// message ("FILE: reason"). Readers set it when they return non-zero. Each
// thread keeps its own reason, so loads in other threads do not overwrite it.
#pragma once

// Formats and stores the reason (printf-style); it replaces the previous one.
void oriSetReadError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Clears the stored reason.
void oriClearReadError();
// The stored reason, or "" when none was set.
const char* oriReadError();
