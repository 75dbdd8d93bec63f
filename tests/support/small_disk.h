// A small file system of its own for tests of full disks: a tmpfs mounted
// on a fresh directory (which needs root, or the right to mount), filled
// to the brim on request, unmounted and removed at the end.
#pragma once

#include <string>

class SmallDisk {
 public:
  // Mounts a tmpfs of kib KiB. When that is not allowed, path() is empty
  // and why() says so (a test then skips with it).
  explicit SmallDisk(int kib);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  const std::string& path() const { return path_; }
  const std::string& why() const { return why_; }

  // Fills the disk with one file ("filler") until the system says it is
  // full, leaving about keep bytes free (0: none at all).
  void fill(long keep = 0);

  // The names in the disk's tree other than the filler, relative, sorted.
  std::string listing() const;

 private:
  std::string path_, why_;
};
