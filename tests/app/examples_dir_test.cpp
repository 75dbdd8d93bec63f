#include "app/examples_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(ExamplesDir, TheNamedFolderFirstThenTheBundledExamples) {
  const fs::path named = fs::temp_directory_path();
  setenv("PLICATA_EXAMPLES", named.c_str(), 1);
  EXPECT_EQ(ExamplesDir(), fs::canonical(named).string());
  // A named folder that does not exist is passed over.
  setenv("PLICATA_EXAMPLES", (named / "no such folder of examples").c_str(), 1);
  const std::string found = ExamplesDir();
  unsetenv("PLICATA_EXAMPLES");
  EXPECT_TRUE(fs::exists(fs::path(found) / "miura_4x4.opx")) << found;
  EXPECT_EQ(ExamplesDir(), found);
}
