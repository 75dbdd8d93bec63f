#include "app/frame_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "geometry/message.h"
#include "files/obj_export.h"
#include "render/view_rules.h"

namespace {

// Forms the path of a frame file; false, after the message, when it does
// not fit.
bool framePath(char* path, const char* dir, const char* pattern, int frame_no) {
  const int len = std::snprintf(path, kOriFramePathSize, pattern, dir, frame_no);
  if (len >= 0 && static_cast<size_t>(len) < kOriFramePathSize) return true;
  // The whole path goes into the message, not the cut one.
  const int whole = std::snprintf(nullptr, 0, pattern, dir, frame_no);
  std::string full(whole > 0 ? static_cast<size_t>(whole) : 0, '\0');
  std::snprintf(full.data(), full.size() + 1, pattern, dir, frame_no);
  oriMessage("cannot save frame %s: the path is longer than %zu characters\n", full.c_str(), kOriFramePathSize - 1);
  return false;
}

void reportFailure(const char* path, const char* reason) { oriMessage("cannot save frame %s: %s\n", path, reason); }

}  // namespace

int appSaveModelFrame(ORI_manifold* om, const char* dir, int frame_no) {
  char path[kOriFramePathSize];
  if (!framePath(path, dir, "%s/m%05d.obj", frame_no)) return -1;
  oriGLUpdateModelMatrix(om);
  // Written aside: the frame's name never holds half a shape.
  errno = 0;
  if (oriManifoldSaveObjFile(om, path) != 0) {
    reportFailure(path, errno != 0 ? std::strerror(errno) : "writing failed");
    return -1;
  }
  return 0;
}

int appSaveScreenFrame(const char* dir, int frame_no, int (*capture)(const char* path)) {
  char path[kOriFramePathSize];
  if (!framePath(path, dir, "%s/ss%05d.bmp", frame_no)) return -1;
  // A directory that cannot take files costs no capture (a frame drawn).
  if (access(dir, W_OK | X_OK) != 0) {
    reportFailure(path, std::strerror(errno));
    return -1;
  }
  errno = 0;
  if (capture(path) != 0) {
    reportFailure(path, errno != 0 ? std::strerror(errno) : "writing failed");
    return -1;
  }
  // A capture that said it wrote, and did not.
  struct stat st;
  if (stat(path, &st) != 0 || st.st_size == 0) {
    reportFailure(path, "writing failed");
    std::remove(path);
    return -1;
  }
  return 0;
}

int appSaveFrame(ORI_manifold* om, const char* dir, int frame_no, int save_model, int save_screen,
                 int (*capture)(const char* path)) {
  int result = 0;
  if (save_model && appSaveModelFrame(om, dir, frame_no) != 0) result = -1;
  if (save_screen && capture != nullptr && appSaveScreenFrame(dir, frame_no, capture) != 0) result = -1;
  return result;
}

namespace {

int recordFrame(const char* save_dir, int frame_no, void* user) {
  const AppFrameFiles* files = static_cast<const AppFrameFiles*>(user);
  return appSaveFrame(files->om, save_dir, frame_no, files->save_model, files->save_screen, files->capture);
}

}  // namespace

ORI_frameRecorder appFrameRecorder(const char* save_dir, AppFrameFiles* files) {
  ORI_frameRecorder rec;
  rec.save_dir = save_dir;
  // Both files of a frame are written by the hook, with their messages; the
  // step only decides when a frame is due and numbers it.
  rec.save_model = 0;
  rec.save_screen = (files->save_model || files->save_screen) ? 1 : 0;
  rec.capture = recordFrame;
  rec.capture_user = files;
  return rec;
}
