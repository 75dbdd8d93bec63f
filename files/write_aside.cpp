#include "files/write_aside.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

// Names tried before giving up: another writer may have taken a name.
constexpr int kNameAttempts = 100;

}  // namespace

int oriWriteAsideOpen(ORI_write_aside* wa, const char* path) {
  wa->path = path;
  wa->temporary.clear();
  wa->fp = nullptr;
  static std::atomic<long> counter{0};
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name =
        wa->path + ".part" + std::to_string(static_cast<long>(getpid())) + "-" + std::to_string(counter++);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    wa->fp = fdopen(fd, "wb");
    if (wa->fp == nullptr) {
      const int err = errno;
      close(fd);
      unlink(name.c_str());
      errno = err;
      return -1;
    }
    wa->temporary = name;
    return 0;
  }
  errno = EEXIST;
  return -1;
}

int oriWriteAsideCommit(ORI_write_aside* wa) {
  if (wa->temporary.empty()) {
    errno = EBADF;
    return -1;
  }
  int failed = 0;
  if (wa->fp != nullptr) {
    failed = std::ferror(wa->fp) != 0 ? EIO : 0;
    if (std::fclose(wa->fp) != 0 && failed == 0) failed = errno != 0 ? errno : EIO;
    wa->fp = nullptr;
  }
  if (failed == 0 && std::rename(wa->temporary.c_str(), wa->path.c_str()) != 0) failed = errno;
  if (failed != 0) {
    unlink(wa->temporary.c_str());
    wa->temporary.clear();
    errno = failed;
    return -1;
  }
  wa->temporary.clear();
  return 0;
}

void oriWriteAsideDiscard(ORI_write_aside* wa) {
  if (wa->fp != nullptr) std::fclose(wa->fp);
  wa->fp = nullptr;
  if (!wa->temporary.empty()) unlink(wa->temporary.c_str());
  wa->temporary.clear();
}

int oriWriteFileReplacing(const char* path, int (*write)(FILE* fp, const void* context), const void* context) {
  if (path == nullptr || *path == '\0') {
    errno = ENOENT;
    return -1;
  }
  ORI_write_aside wa;
  if (oriWriteAsideOpen(&wa, path) != 0) return -1;
  errno = 0;
  if (write(wa.fp, context) != 0 || std::fflush(wa.fp) != 0) {
    const int err = errno != 0 ? errno : EIO;
    oriWriteAsideDiscard(&wa);
    errno = err;
    return -1;
  }
  return oriWriteAsideCommit(&wa);
}

ORI_result oriMakeDirectory(const char* dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) {
    return oriFail(kOriFailWrite, dir,
                   std::string("cannot create the directory: ") +
                       (ec ? ec.message() : std::string("a file of that name is in the way")));
  }
  return oriOk();
}
