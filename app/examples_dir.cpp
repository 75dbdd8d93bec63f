#include "app/examples_dir.h"

#include <unistd.h>

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

}  // namespace

std::string ExamplesDir() {
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
