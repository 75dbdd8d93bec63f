// The window program's recording of the fold steps, kept by the sheet: while
// "Mdl" or "Scr" is on, every step writes its frame files (frame_files.h),
// and while "Mdl" is on the sheet also keeps every step's shape, written as
// the FOLD animation "%s/fold.fold" in the save directory when recording
// stops (the box is cleared, another pattern is opened) or the program
// closes cleanly.
#pragma once

// Sets what the sheet records from the panel: the frame files of "Mdl" and
// "Scr" in "SaveDir" (through appFrameRecorder, with the window's capture),
// and the FOLD recording while "Mdl" is on, for "SaveDir/fold.fold" (the
// directory as it is when a recording starts). Called before every step and
// before a pattern is adopted.
void appSyncRecording();

// Writes the running FOLD recording, if it holds a folded frame, to the
// file it was started for, and ends it. Says "saved the folding as PATH" or,
// when the file cannot be written, "cannot save the folding PATH". Returns
// 0, or -1 when writing failed.
int appFoldRecordingStop();

// Ends the recording when "Mdl" is no longer checked (record_model 0).
void appFoldRecordingPoll(int record_model);
