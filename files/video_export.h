// Videos of rendered pictures: MP4 files (H.264 in yuv420p, which browsers
// and slide software play) made by the ffmpeg program, which is fed the
// frames through a pipe. ffmpeg's own messages are kept (in memory) and
// its reason handed back when it fails, so that the caller says it in one
// line: a full disk reads "No space left on device" there.
#pragma once

#include <string>

// Largest side of a frame, pixels.
constexpr int kOriVideoMaxSide = 8192;

struct ORI_video_writer;

// Starts ffmpeg (found on PATH) writing the MP4 file path from frames of
// w × h pixels (1 to kOriVideoMaxSide each; an odd side is padded with one
// white row or column, since yuv420p needs even sides) at fps frames a
// second (1 to 1000). ffmpeg writes aside: path appears, complete, only
// when oriVideoEnd succeeds. Returns null with errno set: ENOENT when there
// is no ffmpeg program, EINVAL for a size or rate out of range, else what
// creating the file in path's directory or starting ffmpeg gave.
ORI_video_writer* oriVideoBegin(const char* path, int w, int h, int fps);

// Sends a frame: rgb holds w × h pixels, top row first, red-green-blue.
// Returns 0, or -1 with errno set (EPIPE when ffmpeg has stopped taking
// frames: oriVideoEnd then says why). Blocks while ffmpeg encodes.
int oriVideoAddFrame(ORI_video_writer* vw, const unsigned char* rgb);

// Ends the input, waits for ffmpeg, renames its file onto path and frees
// vw. Returns 0, or -1 after removing the temporary file: errno EINVAL when
// no frame was sent, ECHILD when ffmpeg failed (*why, when why is not null,
// receives ffmpeg's reason: its last message line that gives one, with the
// temporary file's name replaced by path), else what the rename gave.
int oriVideoEnd(ORI_video_writer* vw, std::string* why = nullptr);

// Ends ffmpeg without a file (the temporary file is removed) and frees vw;
// null is ignored.
void oriVideoAbort(ORI_video_writer* vw);
