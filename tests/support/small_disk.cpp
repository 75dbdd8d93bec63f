#include "tests/support/small_disk.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

SmallDisk::SmallDisk(int kib) {
  std::string tmpl = (fs::temp_directory_path() / "plicata-disk-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) {
    why_ = std::string("cannot make a mount point: ") + std::strerror(errno);
    return;
  }
  const std::string size = "size=" + std::to_string(kib) + "k";
  if (mount("tmpfs", tmpl.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) != 0) {
    why_ = std::string("cannot mount a small tmpfs here (") + std::strerror(errno) +
           "): full-disk behaviour is tried as root only";
    rmdir(tmpl.c_str());
    return;
  }
  path_ = tmpl;
}

SmallDisk::~SmallDisk() {
  if (path_.empty()) return;
  umount2(path_.c_str(), MNT_DETACH);
  rmdir(path_.c_str());
}

void SmallDisk::fill(long keep) {
  const std::string filler = path_ + "/filler";
  const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  std::vector<char> block(4096, 'x');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  while (write(fd, block.data(), 1) > 0) {
  }
  close(fd);
  if (keep > 0 && truncate(filler.c_str(), std::max(0L, static_cast<long>(fs::file_size(filler)) - keep)) != 0) return;
}

std::string SmallDisk::listing() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(path_, ec)) {
    const std::string rel = fs::relative(e.path(), path_).string();
    if (rel != "filler") names.push_back(rel);
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += n + "\n";
  return out;
}
