// plicata-fold's files for other tools, checked by those tools: the glTF by
// the Khronos validator (installed with npm into a temporary folder), the
// web page by headless Chromium (it loads, says nothing on its console and
// shows the paper beside the crease pattern), and outputs that cannot be
// made stopping with one line and leaving nothing.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

class WebExports : public testing::Test {
 protected:
  void SetUp() override {
    fold_ = plicataFoldPath();
    if (fold_.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
    dir_ = makeTempDir();
    miura_ = std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx";
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  CommandResult fold(const std::string& args) { return runCommand("cd " + dir_ + " && " + fold_ + " " + args); }
  std::string fold_, dir_, miura_;
};

bool have(const std::string& program) { return runCommand("command -v " + program).status == 0; }

int ownLines(const std::string& s) {
  int n = 0;
  for (size_t at = 0; (at = s.find("plicata-fold: ", at)) != std::string::npos; ++at) n += at == 0 || s[at - 1] == '\n';
  return n;
}

}  // namespace

TEST_F(WebExports, GltfPassesTheKhronosValidatorWithAndWithoutNormals) {
  if (!have("node") || !have("npm")) GTEST_SKIP() << "node and npm are needed to run the glTF validator";
  ASSERT_EQ(fold("--steps 10 --gltf n.glb " + miura_).status, 0);
  ASSERT_EQ(fold("--steps 10 --gltf-no-normals --gltf f.glb " + miura_).status, 0);
  const CommandResult npm =
      runCommand("cd " + dir_ + " && npm install --no-audit --no-fund --no-save --silent gltf-validator@2.0.0-dev.3.10");
  if (npm.status != 0) GTEST_SKIP() << "npm could not install gltf-validator: " << npm.err;
  std::ofstream(dir_ + "/check.js") << "const v = require('gltf-validator'), fs = require('fs');\n"
                                       "(async () => { for (const f of process.argv.slice(2)) {\n"
                                       "  const r = await v.validateBytes(new Uint8Array(fs.readFileSync(f)));\n"
                                       "  console.log(f, r.issues.numErrors, r.issues.numWarnings,\n"
                                       "              JSON.stringify(r.issues.messages.slice(0, 3)));\n"
                                       "} })();\n";
  const CommandResult r = runCommand("cd " + dir_ + " && node check.js n.glb f.glb");
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  for (const char* name : {"n.glb", "f.glb"}) {
    std::string file, rest;
    int errors = -1, warnings = -1;
    lines >> file >> errors >> warnings;
    std::getline(lines, rest);
    EXPECT_EQ(file, name);
    EXPECT_EQ(errors, 0) << name << rest;
    EXPECT_EQ(warnings, 0) << name << rest;
  }
  // The fold is there: a morph target for each of the 10 steps, animated.
  std::ifstream in(dir_ + "/n.glb", std::ios::binary);
  std::string glb((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(glb.size(), 20u);
  const uint32_t json_length = static_cast<unsigned char>(glb[12]) | static_cast<unsigned char>(glb[13]) << 8 |
                               static_cast<unsigned char>(glb[14]) << 16;
  const nlohmann::json doc = nlohmann::json::parse(glb.substr(20, json_length));
  EXPECT_EQ(doc["meshes"][0]["primitives"][0]["targets"].size(), 10u);
  EXPECT_EQ(doc["animations"][0]["channels"][0]["target"]["path"], "weights");
}

TEST_F(WebExports, PageLoadsInChromiumQuietlyAndShowsThePaperBesideThePattern) {
  if (!have("chromium")) GTEST_SKIP() << "Debian's chromium is needed to load the page (tools/install-deps.sh)";
  const CommandResult made = fold("--steps 20 --html fold.html " + miura_);
  if (made.status != 0 && made.err.find("libjs-three") != std::string::npos) GTEST_SKIP() << made.err;
  ASSERT_EQ(made.status, 0) << made.err;
  // Software WebGL: headless, without a GPU, opted in to SwiftShader.
  const CommandResult r = runCommand(
      "cd " + dir_ + " && timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --enable-unsafe-swiftshader "
      "--user-data-dir=" + dir_ + "/profile --enable-logging=stderr --v=0 --window-size=900,500 "
      "--virtual-time-budget=5000 --screenshot=" + dir_ + "/shot.png --dump-dom 'file://" + dir_ + "/fold.html#step=20'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("<body data-state=\"ready\">"), std::string::npos) << r.out.substr(0, 400);
  // The console: nothing from the page (the browser's own note that reading
  // the picture back stalls its GPU is no message of the page's).
  std::istringstream log(r.err);
  for (std::string line; std::getline(log, line);) {
    if (line.find(":CONSOLE") != std::string::npos && line.find("GPU stall due to ReadPixels") == std::string::npos) {
      ADD_FAILURE() << "the page said: " << line;
    }
  }
  int w = 0, h = 0, n = 0;
  unsigned char* px = stbi_load((dir_ + "/shot.png").c_str(), &w, &h, &n, 3);
  ASSERT_NE(px, nullptr);
  // The model's side (64 % of the width, on a dark ground) between the
  // caption and the controls: light paper. The pattern's side (white):
  // red mountains and blue valleys.
  long paper = 0, area = 0, red = 0, blue = 0;
  for (int y = 40; y < h - 50; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = px + 3 * (static_cast<size_t>(y) * w + x);
      if (x < w * 6 / 10) {
        ++area;
        paper += p[0] > 150 && p[1] > 150 && p[2] > 150;
      } else if (x > w * 7 / 10) {
        red += p[0] > 150 && p[1] < 100 && p[2] < 100;
        blue += p[2] > 150 && p[0] < 100 && p[1] < 120;
      }
    }
  }
  stbi_image_free(px);
  EXPECT_GT(paper, area / 10) << "little paper on the model's side";
  EXPECT_GT(red, 100) << "no mountains in the crease pattern";
  EXPECT_GT(blue, 100) << "no valleys in the crease pattern";
}

TEST_F(WebExports, OutputsThatCannotBeMadeStopWithOneLineAndLeaveNothing) {
  std::ofstream(dir_ + "/line.cp") << "2 -100 0 100 0\n";  // a crease and no paper: no faces
  const struct {
    std::string args;
    int status;
  } cases[] = {
      {"--steps 2 --gltf missing/f.glb m.opx", 1}, {"--steps 2 --html missing/f.html m.opx", 1},
      {"--stl missing/f.stl m.opx", 1},            {"--stl f.stl line.cp", 1},
      {"--thickness 0 --stl f.stl m.opx", 2},      {"--scale -1 --gltf f.glb m.opx", 2},
  };
  fs::copy_file(miura_, dir_ + "/m.opx");
  for (const auto& c : cases) {
    const CommandResult r = fold(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_EQ(ownLines(r.err), 1) << c.args << ": " << r.err;
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_)) files += e.path().filename() != "m.opx" && e.path().filename() != "line.cp";
    EXPECT_EQ(files, 0) << c.args << " left a file";
  }
}
