// plicata-fold on a failing machine: a full disk under every writer, a run
// ended by SIGTERM or SIGINT, an address-space limit too small for the
// pattern. Each is said in one line, the status is not 0, and what is left
// on disk is whole files only, never a temporary one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_command.h"
#include "tests/support/small_disk.h"

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The lines of standard error that are not progress.
std::vector<std::string> problems(const std::string& err) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : err + "\n") {
    if (c != '\n' && c != '\r') {
      line += c;
      continue;
    }
    if (!line.empty() && line.rfind("plicata-fold: step ", 0) != 0) lines.push_back(line);
    line.clear();
  }
  return lines;
}

std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    if (e.path().filename().string().find(".part") != std::string::npos) found.push_back(e.path().string());
  }
  return found;
}

const std::string kMiura = std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx";

// Whether this plicata-fold draws pictures (a build without the drawing
// refuses the picture options).
bool drawsPictures(const std::string& fold) {
  return runCommand(quote(fold) + " --help").out.find("built without off-screen") == std::string::npos;
}

}  // namespace

TEST(MachineFaults, EveryWriterStopsOnAFullDiskWithTheSystemsReason) {
  const std::string fold = plicataFoldPath();
  if (fold.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  SmallDisk disk(256);
  if (disk.path().empty()) GTEST_SKIP() << disk.why();
  std::vector<std::pair<std::string, std::string>> writers = {
      {"--out", "frames/"}, {"--obj", "x.obj"},   {"--fold-out", "x.fold"}, {"--report", "r.json"},
      {"--gltf", "g.glb"},  {"--html", "h.html"}, {"--stl", "s.stl"}};
  if (drawsPictures(fold)) {
    writers.insert(writers.end(), {{"--png", "pics/"}, {"--gif", "a.gif"}, {"--picture", "p.png"}});
    if (runCommand("command -v ffmpeg").status == 0) writers.push_back({"--mp4", "v.mp4"});
  }
  disk.fill(2048);  // room for the start of a file, not for one
  for (const auto& [option, name] : writers) {
    const std::string target = disk.path() + "/" + name;
    const std::string arg = name.back() == '/' ? target.substr(0, target.size() - 1) : target;
    const CommandResult r = runCommand(quote(fold) + " --steps 3 " + option + " " + quote(arg) + " " + quote(kMiura));
    EXPECT_NE(r.status, 0) << option;
    const std::vector<std::string> said = problems(r.err);
    ASSERT_EQ(said.size(), 1u) << option << ": " << r.err;
    EXPECT_EQ(said[0].rfind("plicata-fold: " + target, 0), 0u) << said[0];
    EXPECT_NE(said[0].find("No space left on device"), std::string::npos) << said[0];
    EXPECT_EQ(temporaries(disk.path()), std::vector<std::string>()) << option;
    if (name.back() != '/') {
      EXPECT_FALSE(fs::exists(target)) << option;
    }
    fs::remove_all(arg);
  }
}

namespace {

// Starts plicata-fold with args, its output into dir/out and dir/err.
pid_t startFold(const std::string& fold, const std::vector<std::string>& args, const fs::path& dir) {
  std::vector<std::string> all = {fold};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, fold.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

TEST(MachineFaults, SigtermAndSigintStopTheRunLeavingWholeFilesOnly) {
  const std::string fold = plicataFoldPath();
  if (fold.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const fs::path tmp = makeTempDir();
  const std::string gen = (fs::path(fold).parent_path() / "plicata-gen").string();
  const std::string pattern = (tmp / "m.opx").string();
  ASSERT_EQ(runCommand(quote(gen) + " miura --rows 12 --cols 12 -o " + quote(pattern)).status, 0);
  for (const int sig : {SIGTERM, SIGINT}) {
    const fs::path dir = tmp / std::to_string(sig);
    fs::create_directories(dir);
    // Long enough never to end by itself before the signal; the GIF and the
    // FOLD file are written aside from the start and at the end. The
    // pictures' drawing has threads of its own: SIGTERM's run has none.
    std::vector<std::string> args = {"--steps", "9000", "--fold-step", "1", "--out", (dir / "frames").string(),
                                     "--fold-out", (dir / "f.fold").string(), pattern};
    if (sig == SIGINT && drawsPictures(fold)) {
      args.insert(args.begin(), {"--every", "100", "--gif", (dir / "a.gif").string()});
    }
    const pid_t pid = startFold(fold, args, dir);
    ASSERT_GT(pid, 0);
    const fs::path fifth = dir / "frames" / "m00005.obj";
    for (int wait = 0; wait < 6000 && !fs::exists(fifth); ++wait) usleep(20000);  // a bound, not a timing
    if (sig == SIGTERM) {
      // A sparse run of a small sheet: no thread beside the main one (the
      // linear-algebra library's helpers are not started).
      std::ifstream status("/proc/" + std::to_string(pid) + "/status");
      std::string line;
      while (std::getline(status, line) && line.rfind("Threads:", 0) != 0) {
      }
      EXPECT_EQ(line, "Threads:\t1");
    }
    kill(pid, sig);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    EXPECT_EQ(WEXITSTATUS(raw), 128 + sig);
    std::ifstream in(dir / "err");
    std::stringstream err;
    err << in.rdbuf();
    const std::vector<std::string> said = problems(err.str());
    ASSERT_EQ(said.size(), 1u) << err.str();
    EXPECT_NE(said[0].find(sig == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGINT"), std::string::npos);
    EXPECT_EQ(temporaries(dir), std::vector<std::string>());
    EXPECT_FALSE(fs::exists(dir / "a.gif"));
    EXPECT_FALSE(fs::exists(dir / "f.fold"));
    for (const auto& e : fs::directory_iterator(dir / "frames")) {
      std::ifstream obj(e.path());
      std::stringstream text;
      text << obj.rdbuf();
      EXPECT_TRUE(!text.str().empty() && text.str().back() == '\n') << e.path();
    }
  }
  fs::remove_all(tmp);
}

TEST(MachineFaults, TooSmallAnAddressSpaceIsSaidInOneLine) {
  const std::string fold = plicataFoldPath();
  if (fold.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const fs::path tmp = makeTempDir();
  const std::string gen = (fs::path(fold).parent_path() / "plicata-gen").string();
  const std::string large = (tmp / "large.opx").string();
  ASSERT_EQ(runCommand(quote(gen) + " miura --rows 80 --cols 80 -o " + quote(large)).status, 0);
  // The smallest limit (KiB) that folds the small Miura-ori: the libraries
  // alone take most of it. 16 MiB more cannot hold the large one.
  const auto folds = [&](long kib, const std::string& pattern, CommandResult* r) {
    *r = runCommand("ulimit -c 0; ulimit -v " + std::to_string(kib) + "; exec timeout -s KILL 300 " + quote(fold) +
                    " --steps 1 " + quote(pattern));
    return r->status == 0;
  };
  CommandResult r;
  long low = 32 * 1024, high = 4 * 1024 * 1024;
  if (!folds(high, kMiura, &r)) GTEST_SKIP() << "the small pattern does not fold under 4 GiB: " << r.err;
  while (high - low > 4096) {
    const long mid = (low + high) / 2;
    (folds(mid, kMiura, &r) ? high : low) = mid;
  }
  EXPECT_FALSE(folds(high + 16 * 1024, large, &r));
  EXPECT_NE(r.status, 137) << "no hang (killed by the bound)";
  EXPECT_NE(r.status, 134) << "no abort";
  EXPECT_GT(r.status, 0);
  const std::vector<std::string> said = problems(r.err);
  ASSERT_EQ(said.size(), 1u) << r.err;
  EXPECT_NE(said[0].find("out of memory"), std::string::npos) << said[0];
  fs::remove_all(tmp);
}
