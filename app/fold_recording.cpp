#include "app/fold_recording.h"

#include <string>

#include "app/app_state.h"
#include "app/frame_files.h"
#include "app/window_capture.h"
#include "geometry/message.h"

namespace {

// What the recorded steps' frames write; the sheet's recorder points here.
AppFrameFiles g_files;

}  // namespace

void appSyncRecording() {
  ORI_sheet* sheet = appSheet();
  g_files = AppFrameFiles{oriSheetManifold(sheet), the.save_model, the.save_screen, ScreenSaveBMP};
  ORI_recordOptions rec = oriSheetRecording(sheet);
  rec.frames = appFrameRecorder(the.save_dir, &g_files);
  rec.fold = the.save_model != 0;
  rec.fold_path = std::string(the.save_dir) + "/fold.fold";
  oriSheetSetRecording(sheet, rec);
}

int appFoldRecordingStop() {
  if (the.sheet == nullptr) return 0;
  int result = 0;
  // Frame 0 alone is the crease pattern: nothing was folded, nothing to write.
  if (oriSheetCounts(the.sheet).fold_frames > 0) {
    const std::string path = oriSheetFoldPath(the.sheet);
    if (oriFailed(oriSheetSaveFold(the.sheet, path.c_str(), 0))) {
      oriMessage("cannot save the folding %s\n", path.c_str());
      result = -1;
    } else {
      oriMessage("saved the folding as %s\n", path.c_str());
    }
  }
  oriSheetDropFold(the.sheet);
  return result;
}

void appFoldRecordingPoll(int record_model) {
  if (record_model || the.sheet == nullptr) return;
  appFoldRecordingStop();
  appSyncRecording();
}
