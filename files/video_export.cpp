#include "files/video_export.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "files/write_aside.h"

extern char** environ;

struct ORI_video_writer {
  ORI_write_aside file;
  pid_t pid = -1;
  int pipe = -1;  // ffmpeg's standard input
  int log = -1;   // ffmpeg's standard error: a file in memory (-1: ours)
  int width = 0, height = 0;
  long frames = 0;
};

namespace {

constexpr int kMaxFps = 1000;

// Writes all of bytes to fd. A reader that has gone away gives EPIPE here
// instead of ending the process: SIGPIPE is held back in this thread for
// the write and a pending one is taken.
bool writeAll(int fd, const unsigned char* bytes, size_t size) {
  sigset_t pipe_signal, previous;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
  bool ok = true;
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  const int err = errno;
  if (!ok && err == EPIPE) {
    const timespec none = {0, 0};
    sigtimedwait(&pipe_signal, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = err;
  return ok;
}

// Waits for ffmpeg; true when it ended well.
bool finished(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Bytes of ffmpeg's messages read back: its reason is in the last lines.
constexpr off_t kMessageTail = 4096;

// ffmpeg's reason for failing, from its messages: the last line that gives
// one ("...: No space left on device"; a closing "Conversion failed!" does
// not), else the last line; the temporary file's name reads as the final.
std::string ffmpegReason(const ORI_video_writer* vw) {
  if (vw->log < 0) return std::string();
  const off_t end = lseek(vw->log, 0, SEEK_END);
  const off_t from = end > kMessageTail ? end - kMessageTail : 0;
  std::string text(static_cast<size_t>(end - from), '\0');
  const ssize_t n = end > 0 ? pread(vw->log, text.data(), text.size(), from) : 0;
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  std::string last, reason;
  size_t start = 0;
  while (start < text.size()) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string line = text.substr(start, stop - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) {
      last = line;
      if (line.find(": ") != std::string::npos) reason = line;
    }
    start = stop + 1;
  }
  std::string said = reason.empty() ? last : reason;
  for (size_t at = said.find(vw->file.temporary); !vw->file.temporary.empty() && at != std::string::npos;
       at = said.find(vw->file.temporary, at + vw->file.path.size())) {
    said.replace(at, vw->file.temporary.size(), vw->file.path);
  }
  return said;
}

}  // namespace

ORI_video_writer* oriVideoBegin(const char* path, int w, int h, int fps) {
  if (path == nullptr || w < 1 || h < 1 || w > kOriVideoMaxSide || h > kOriVideoMaxSide || fps < 1 || fps > kMaxFps) {
    errno = EINVAL;
    return nullptr;
  }
  ORI_video_writer* vw = new ORI_video_writer;
  vw->width = w;
  vw->height = h;
  if (oriWriteAsideOpen(&vw->file, path) != 0) {
    const int err = errno;
    delete vw;
    errno = err;
    return nullptr;
  }
  // ffmpeg writes the file itself, over the empty one made here.
  std::fclose(vw->file.fp);
  vw->file.fp = nullptr;

  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  const std::string rate = std::to_string(fps);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                   "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-r", rate, "-i", "pipe:0",
                                   "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2:color=white",
                                   "-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart",
                                   "-f", "mp4", vw->file.temporary};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    const int err = errno;
    oriVideoAbort(vw);
    errno = err;
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  vw->log = memfd_create("ffmpeg-messages", MFD_CLOEXEC);
  if (vw->log >= 0) posix_spawn_file_actions_adddup2(&actions, vw->log, STDERR_FILENO);
  const int spawned = posix_spawnp(&vw->pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (spawned != 0) {
    close(fds[1]);
    vw->pid = -1;
    oriVideoAbort(vw);
    errno = spawned;
    return nullptr;
  }
  vw->pipe = fds[1];
  return vw;
}

int oriVideoAddFrame(ORI_video_writer* vw, const unsigned char* rgb) {
  const size_t size = static_cast<size_t>(vw->width) * static_cast<size_t>(vw->height) * 3;
  if (!writeAll(vw->pipe, rgb, size)) return -1;
  ++vw->frames;
  return 0;
}

int oriVideoEnd(ORI_video_writer* vw, std::string* why) {
  close(vw->pipe);
  vw->pipe = -1;
  const bool ok = finished(vw->pid);
  vw->pid = -1;
  int result = 0;
  if (!ok || vw->frames == 0) {
    if (vw->frames > 0 && why != nullptr) *why = ffmpegReason(vw);
    oriWriteAsideDiscard(&vw->file);
    errno = vw->frames == 0 ? EINVAL : ECHILD;
    result = -1;
  } else {
    result = oriWriteAsideCommit(&vw->file);
  }
  const int err = errno;
  if (vw->log >= 0) close(vw->log);
  delete vw;
  errno = err;
  return result;
}

void oriVideoAbort(ORI_video_writer* vw) {
  if (vw == nullptr) return;
  if (vw->pipe >= 0) close(vw->pipe);
  if (vw->pid > 0) {
    kill(vw->pid, SIGTERM);
    finished(vw->pid);
  }
  if (vw->log >= 0) close(vw->log);
  oriWriteAsideDiscard(&vw->file);
  delete vw;
}
