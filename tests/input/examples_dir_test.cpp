#include "input/examples_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(ExamplesDir, TheNamedFolderFirstThenTheBundledExamples) {
  const fs::path named = fs::temp_directory_path();
  setenv("PLICATA_EXAMPLES", named.c_str(), 1);
  EXPECT_EQ(oriExamplesDir(), fs::canonical(named).string());
  // A named folder that does not exist is passed over.
  setenv("PLICATA_EXAMPLES", (named / "no such folder of examples").c_str(), 1);
  const std::string found = oriExamplesDir();
  unsetenv("PLICATA_EXAMPLES");
  EXPECT_TRUE(fs::exists(fs::path(found) / "miura_4x4.opx")) << found;
  EXPECT_EQ(oriExamplesDir(), found);
}

// A name is the file where it is given first, an example only when nothing
// is there, and a name that is neither says where it was looked for.
TEST(FindPattern, HereFirstThenAmongTheExamplesElseNamesBothPlaces) {
  const fs::path here = fs::temp_directory_path() / ("plicata_find_" + std::to_string(getpid()));
  fs::create_directories(here);
  const fs::path before = fs::current_path();
  fs::current_path(here);
  unsetenv("PLICATA_EXAMPLES");
  const std::string examples = oriExamplesDir();

  std::string found;
  ASSERT_FALSE(oriFailed(oriFindPattern("miura_4x4.opx", &found)));
  EXPECT_EQ(found, (fs::path(examples) / "miura_4x4.opx").string());

  { FILE* f = std::fopen("miura_4x4.opx", "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  ASSERT_FALSE(oriFailed(oriFindPattern("miura_4x4.opx", &found)));
  EXPECT_EQ(found, "miura_4x4.opx");

  const ORI_result missing = oriFindPattern("no_such_pattern.opx", &found);
  EXPECT_EQ(missing.code, kOriFailUnreadable);
  EXPECT_EQ(missing.subject, "no_such_pattern.opx");
  EXPECT_NE(missing.why.find((here / "no_such_pattern.opx").string()), std::string::npos) << missing.why;
  EXPECT_NE(missing.why.find(examples), std::string::npos) << missing.why;

  fs::current_path(before);
  fs::remove_all(here);
}
