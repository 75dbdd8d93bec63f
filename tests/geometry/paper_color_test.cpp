#include "geometry/paper_color.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "geometry/manifold.h"

namespace {

int readColors(ORI_manifold* om, const std::string& text, std::string* printed = nullptr) {
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  testing::internal::CaptureStdout();
  const int r = oriManifoldReadColor(om, fp);
  const std::string out = testing::internal::GetCapturedStdout();
  if (printed) *printed = out;
  std::fclose(fp);
  return r;
}

void expectDefault(const double* c) {
  for (int i = 0; i < 12; ++i) EXPECT_EQ(c[i], kOriDefaultPaperColor[i]) << i;
}

}  // namespace

TEST(PaperColor, MissingFileKeepsTheBuiltInColours) {
  ORI_manifold* om = oriManifoldNew();
  EXPECT_EQ(oriManifoldReadColor(om, nullptr), -1);
  expectDefault(om->color_a);
  expectDefault(om->color_b);
  oriManifoldDelete(om);
}

TEST(PaperColor, FirstDataLineIsTheBackSecondTheFront) {
  ORI_manifold* om = oriManifoldNew();
  EXPECT_EQ(readColors(om, "# back then front\n1 1 1 0 0 0 0 0 0 0 0 0\n"), 0);
  EXPECT_EQ(om->color_b[0], 1.0);
  EXPECT_EQ(om->color_b[3], 0.0);
  expectDefault(om->color_a);
  EXPECT_EQ(readColors(om, "\n# c\n   \n1 2 3 4 5 6 7 8 9 10 11 12\n#\n\n0.5 0 0 0 0 0 0 0 0 0 0 0.25\nignored 1 1\n"), 0);
  EXPECT_EQ(om->color_b[11], 12.0);
  EXPECT_EQ(om->color_a[0], 0.5);
  EXPECT_EQ(om->color_a[11], 0.25);
  oriManifoldDelete(om);
}

TEST(PaperColor, ShortLinesKeepTheRestAndWordsThatAreNotNumbersAreZero) {
  ORI_manifold* om = oriManifoldNew();
  readColors(om, "0.9 red 0.7\n");
  EXPECT_EQ(om->color_b[0], 0.9);
  EXPECT_EQ(om->color_b[1], 0.0);
  EXPECT_EQ(om->color_b[2], 0.7);
  for (int i = 3; i < 12; ++i) EXPECT_EQ(om->color_b[i], kOriDefaultPaperColor[i]);
  oriManifoldDelete(om);
}

TEST(PaperColor, OverlongLineIsReportedAndSkipped) {
  ORI_manifold* om = oriManifoldNew();
  std::string text(100 * 1024, '7');
  text += "\n0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1 0.1\n";
  std::string printed;
  EXPECT_EQ(readColors(om, text, &printed), 0);
  EXPECT_NE(printed.find("line 1 is longer than 1023 characters"), std::string::npos) << printed;
  EXPECT_EQ(om->color_b[0], 0.1);
  expectDefault(om->color_a);
  oriManifoldDelete(om);
}
