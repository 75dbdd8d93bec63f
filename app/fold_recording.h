// The window program's FOLD animation: while "Mdl" records the fold steps,
// every recorded frame is also kept, and the whole folding is written as
// "%s/fold.fold" in the save directory when recording stops (the box is
// cleared, another pattern is opened) or the program closes cleanly.
#pragma once

struct ORI_manifold;

// Keeps om's present shape as the next frame. Starts a recording (the crease
// pattern as frame 0) when none runs, or when om is another model than the
// one being recorded, whose recording is written first.
void appFoldRecordFrame(ORI_manifold* om, const char* save_dir);

// Writes the running recording, if any, to "%s/fold.fold" in the directory
// it was started with, and ends it. A file that cannot be written costs one
// line naming the path. Returns 0, or -1 when writing failed.
int appFoldRecordingStop();

// Ends the recording when "Mdl" is no longer checked (record_model 0).
void appFoldRecordingPoll(int record_model);
