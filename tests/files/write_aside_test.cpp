// Files replaced whole: the OBJ, FOLD and report writers all go through
// oriWriteFileReplacing.
#include "files/write_aside.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(WriteFileReplacing, AWriterThatFailsPartWayLeavesTheOldFileAndNoPart) {
  const std::string dir = std::string(::testing::TempDir()) + "plicata_replacing";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/shape.obj";
  std::ofstream(path) << "old\n";
  auto half = [](FILE* fp, const void*) {
    std::fputs("half a sh", fp);
    return -1;
  };
  EXPECT_EQ(oriWriteFileReplacing(path.c_str(), half, nullptr), -1);
  EXPECT_EQ(contents(path), "old\n");
  auto whole = [](FILE* fp, const void* text) { return std::fputs(static_cast<const char*>(text), fp) >= 0 ? 0 : -1; };
  EXPECT_EQ(oriWriteFileReplacing(path.c_str(), whole, "new\n"), 0);
  EXPECT_EQ(contents(path), "new\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}), 1)
      << "a part is left beside the file";
  EXPECT_EQ(oriWriteFileReplacing((dir + "/missing/x.obj").c_str(), whole, "x"), -1);
  std::filesystem::remove_all(dir);
}
