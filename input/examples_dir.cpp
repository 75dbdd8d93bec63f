#include "input/examples_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The folder of the running program ("" when it cannot be told).
fs::path programDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

// False only when nothing is at path: the name or a folder on its way is
// missing. Any other trouble (a folder that cannot be searched) counts as
// there, so that opening it gives the real reason.
bool somethingAt(const char* path) {
  struct stat st;
  if (::stat(path, &st) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

}  // namespace

std::string oriExamplesDir() {
  std::vector<fs::path> candidates;
  if (const char* named = std::getenv("PLICATA_EXAMPLES")) {
    if (named[0] != '\0') candidates.push_back(named);
  }
  const fs::path dir = programDir();
  if (!dir.empty()) {
    candidates.push_back(dir.parent_path() / "share" / "plicata" / "examples");
    candidates.push_back(dir.parent_path() / "examples");
  }
  candidates.push_back(PLICATA_INSTALLED_EXAMPLES);
  candidates.push_back(PLICATA_SOURCE_EXAMPLES);
  for (const fs::path& p : candidates) {
    std::error_code ec;
    if (fs::is_directory(p, ec)) return fs::canonical(p, ec).string();
  }
  return "";
}

ORI_result oriFindPattern(const char* path, std::string* found) {
  const fs::path given(path);
  if (given.empty() || given.is_absolute() || somethingAt(path)) {
    *found = path;
    return oriOk();
  }
  const std::string examples = oriExamplesDir();
  if (!examples.empty()) {
    const fs::path there = fs::path(examples) / given;
    if (somethingAt(there.c_str())) {
      *found = there.string();
      return oriOk();
    }
  }
  std::error_code ec;
  fs::path here = fs::absolute(given, ec);
  if (ec) here = given;
  const std::string where = "no such file here (" + here.lexically_normal().string() + ")";
  if (examples.empty()) {
    return oriFail(kOriFailUnreadable, path, where + " and no examples folder was found (PLICATA_EXAMPLES names one)");
  }
  return oriFail(kOriFailUnreadable, path, where + " nor in the examples folder (" + examples + ")");
}
