// Every input kept in tests/fuzz_regressions/ (the seeds, and each input a
// fuzzer once found breaking a reader) goes through the same body as its
// fuzz target: a crash, a sanitizer report or a broken rule fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harnesses.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> inputs(const std::string& kind) {
  std::vector<fs::path> out;
  const fs::path dir = fs::path(PLICATA_SOURCE_DIR) / "tests" / "fuzz_regressions" / kind;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

void replay(const std::string& kind, int (*body)(const uint8_t*, size_t)) {
  const auto files = inputs(kind);
  ASSERT_FALSE(files.empty()) << "no inputs for " << kind;
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.string());
    std::ifstream in(f, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

}  // namespace

TEST(FuzzRegressions, XmlPatterns) { replay("opx", plicataFuzzOpx); }
TEST(FuzzRegressions, DxfDrawings) { replay("dxf", plicataFuzzDxf); }
TEST(FuzzRegressions, FoldSvgAndTextPatterns) {
  replay("fold", plicataFuzzFold);
  replay("svg", plicataFuzzSvg);
  replay("cp", plicataFuzzCp);
}
TEST(FuzzRegressions, BmpImages) { replay("bmp", plicataFuzzBmp); }
TEST(FuzzRegressions, PaperColours) { replay("paper_color", plicataFuzzPaperColor); }
TEST(FuzzRegressions, Dialogue) {
  plicataFuzzDialogueSetUp();
  replay("dialogue", plicataFuzzDialogue);
}
