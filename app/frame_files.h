// The frame files of the window program: "%s/m%05d.obj" (the folded model)
// and "%s/ss%05d.bmp" (a capture of the drawing window) in the save
// directory, written by the "Save" button and by every recorded fold step.
//
// A file that cannot be written costs one line on standard output, naming
// the path and the reason, and leaves nothing behind; the program goes on.
// The save directory is never created.
#pragma once

#include "sim/fold_step.h"

struct ORI_manifold;

// Writes om as the OBJ frame frame_no in dir, in the display frame of its
// present shape: model_matrix is brought up to date from the axis vertices
// first, since a step moves them after the picture was last drawn. Refuses
// a path that does not fit the frame path buffer (kOriFramePathSize).
// Written aside and renamed into place. Returns 0, or -1 after the message
// with the system's reason (nothing is left under the name or beside it).
int appSaveModelFrame(ORI_manifold* om, const char* dir, int frame_no);

// Captures the drawing window into the BMP frame frame_no in dir with
// capture (ScreenSaveBMP in the program: 0, or -1 with errno set), after
// checking that dir takes files. Returns 0, or -1 after the message, which
// gives the system's reason ("No space left on device"); a capture that
// said it wrote and left an empty or no file counts as a failure (an empty
// file is removed). Nothing is left under the frame's name on failure.
int appSaveScreenFrame(const char* dir, int frame_no, int (*capture)(const char* path));

// One frame: the OBJ file when save_model is set, then the capture when
// save_screen is set. Returns 0, or -1 when a file failed (the other is
// still attempted).
int appSaveFrame(ORI_manifold* om, const char* dir, int frame_no, int save_model, int save_screen,
                 int (*capture)(const char* path));

// What a recorded fold step of the window program writes per frame.
struct AppFrameFiles {
  ORI_manifold* om;                   // the model written as OBJ
  int save_model;                     // "Mdl"
  int save_screen;                    // "Scr"
  int (*capture)(const char* path);  // the screen capture; may be null
};

// A recorder for oriFoldStep that numbers the frames as the step does and
// writes each frame's files with appSaveFrame (so a file that cannot be
// written is reported and skipped). It records while save_model or
// save_screen is set. files must outlive the steps that use the recorder.
ORI_frameRecorder appFrameRecorder(const char* save_dir, AppFrameFiles* files);
