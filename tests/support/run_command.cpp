#include "tests/support/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string slurpFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

std::string makeTempDir() {
  char templ[] = "/tmp/plicata-test-XXXXXX";
  const char* dir = mkdtemp(templ);
  return dir ? dir : "";
}

CommandResult runCommand(const std::string& cmd) {
  const std::string dir = makeTempDir();
  const std::string out = dir + "/out", err = dir + "/err";
  const std::string full = "(" + cmd + ") </dev/null >" + out + " 2>" + err;
  const int raw = std::system(full.c_str());
  CommandResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = slurpFile(out);
  r.err = slurpFile(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  rmdir(dir.c_str());
  return r;
}

std::string plicataFoldPath() {
  const char* p = std::getenv("PLICATA_FOLD");
  return p ? p : "";
}
