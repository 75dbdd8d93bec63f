#include "app/fold_recording.h"

#include <cstdio>
#include <string>

#include "files/fold_export.h"

namespace {

struct Recording {
  ORI_fold_recording* rec = nullptr;
  const ORI_manifold* om = nullptr;  // the model recorded, compared by identity only
  std::string dir;
};

Recording g_recording;

}  // namespace

void appFoldRecordFrame(ORI_manifold* om, const char* save_dir) {
  if (g_recording.rec != nullptr && g_recording.om != om) appFoldRecordingStop();
  if (g_recording.rec == nullptr) {
    g_recording.rec = oriFoldRecordingBegin(om);
    g_recording.om = om;
    g_recording.dir = save_dir;
    if (g_recording.rec == nullptr) return;
  }
  if (oriFoldRecordingFrame(g_recording.rec, om) != 0) {
    std::printf("cannot record the frame for %s/fold.fold: the shape is not finite\n", g_recording.dir.c_str());
  }
}

int appFoldRecordingStop() {
  if (g_recording.rec == nullptr) return 0;
  int result = 0;
  // Frame 0 alone is the crease pattern: nothing was folded, nothing to write.
  if (oriFoldRecordingFrameCount(g_recording.rec) > 1) {
    const std::string path = g_recording.dir + "/fold.fold";
    if (oriFoldRecordingSaveFile(g_recording.rec, path.c_str()) != 0) {
      std::printf("cannot save the folding %s\n", path.c_str());
      result = -1;
    } else {
      std::printf("saved the folding as %s\n", path.c_str());
    }
  }
  oriFoldRecordingDelete(g_recording.rec);
  g_recording = Recording();
  return result;
}

void appFoldRecordingPoll(int record_model) {
  if (!record_model) appFoldRecordingStop();
}
