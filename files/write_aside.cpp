#include "files/write_aside.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// Names tried before giving up: another writer may have taken a name.
constexpr int kNameAttempts = 100;

// The stream's own calls (fopencookie): plain writes and a close on the
// descriptor that keep the first failure's errno in the record, which
// stdio would reduce to its error flag.
ssize_t asideWrite(void* cookie, const char* bytes, size_t size) {
  ORI_write_aside* wa = static_cast<ORI_write_aside*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(wa->fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      if (wa->error == 0) wa->error = errno;
      return done > 0 ? static_cast<ssize_t>(done) : -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int asideSeek(void* cookie, off64_t* offset, int whence) {
  const off64_t at = lseek64(static_cast<ORI_write_aside*>(cookie)->fd, *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int asideClose(void* cookie) {
  ORI_write_aside* wa = static_cast<ORI_write_aside*>(cookie);
  const int closed = close(wa->fd);
  if (closed != 0 && wa->error == 0) wa->error = errno;
  wa->fd = -1;
  return closed;
}

}  // namespace

int oriWriteAsideOpen(ORI_write_aside* wa, const char* path) {
  wa->path = path;
  wa->temporary.clear();
  wa->fp = nullptr;
  wa->fd = -1;
  wa->error = 0;
  static std::atomic<long> counter{0};
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name =
        wa->path + ".part" + std::to_string(static_cast<long>(getpid())) + "-" + std::to_string(counter++);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    wa->fd = fd;
    wa->fp = fopencookie(wa, "wb", cookie_io_functions_t{nullptr, asideWrite, asideSeek, asideClose});
    if (wa->fp == nullptr) {
      const int err = errno;
      close(fd);
      wa->fd = -1;
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
    if (std::fflush(wa->fp) != 0 || std::ferror(wa->fp) != 0) failed = wa->error != 0 ? wa->error : EIO;
    if (std::fclose(wa->fp) != 0 && failed == 0) failed = oriWriteAsideReason(wa);
    wa->fp = nullptr;
  }
  if (failed == 0 && wa->error != 0) failed = wa->error;
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

int oriWriteAsideReason(const ORI_write_aside* wa) {
  if (wa->error != 0) return wa->error;
  return errno != 0 ? errno : EIO;
}

ORI_write_aside::~ORI_write_aside() {
  if (fp != nullptr) oriWriteAsideDiscard(this);
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
    const int err = oriWriteAsideReason(&wa);
    oriWriteAsideDiscard(&wa);
    errno = err;
    return -1;
  }
  return oriWriteAsideCommit(&wa);
}

int oriWriteFileSaying(const char* path, const std::function<int(FILE* fp, std::string* why)>& write,
                       std::string* why) {
  ORI_write_aside wa;
  if (oriWriteAsideOpen(&wa, path) != 0) {
    *why = std::string("cannot write: ") + std::strerror(errno);
    return -1;
  }
  if (write(wa.fp, why) != 0) {
    if (wa.error != 0) *why = std::string("cannot write: ") + std::strerror(wa.error);
    oriWriteAsideDiscard(&wa);
    return -1;
  }
  if (oriWriteAsideCommit(&wa) != 0) {
    *why = std::string("cannot write: ") + std::strerror(errno);
    return -1;
  }
  return 0;
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
