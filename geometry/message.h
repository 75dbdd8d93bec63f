// Where the core's messages go: what a loader dropped or split, the matrix
// report, warnings, and the window program's own lines. By default standard
// output, byte for byte as printf would write it; the window program points
// its thread at oriMessageToStdout, so that everything it prints goes one
// way; a library caller (the Python package) points its own thread's
// messages at a sink of its own for the length of a call.
#pragma once

#include <cstddef>

// Receives one piece of message text (not necessarily a whole line; the
// pieces concatenate to what would have been printed). `context` is the
// pointer given with the sink.
typedef void (*OriMessageSink)(void* context, const char* text, size_t length);

// Formats a message (printf-style) and hands it to the calling thread's sink,
// or writes it to standard output when the thread has none.
void oriMessage(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Sets the calling thread's sink; a null sink restores standard output.
// Other threads keep their own.
void oriSetMessageSink(OriMessageSink sink, void* context);

// The calling thread's sink and its context (null when messages go to
// standard output), so that a caller can restore what it replaced.
OriMessageSink oriMessageSink(void** context);

// A sink that writes the text to standard output (context unused): the
// window program's.
void oriMessageToStdout(void* context, const char* text, size_t length);
