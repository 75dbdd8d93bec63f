// Damaged and hostile versions of every input format: truncated at many
// points, bytes flipped, binary noise, oversized claims. Each either builds a
// valid result or fails with a reason; none crashes, hangs or allocates
// without bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "files/bmp.h"
#include "geometry/manifold.h"
#include "geometry/paper_color.h"
#include "input/dxf_import.h"
#include "input/opx_reader.h"
#include "input/read_error.h"
#include "tests/support/fixtures.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

using Reader = int (*)(ORI_manifold*, ORI_manifold*, FILE*);

// Builds from bytes; a failure must say why, a success must be a valid mesh.
void expectBuiltOrRefused(Reader read, const std::string& bytes, const std::string& what) {
  FILE* fp = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  ORI_manifold* om = oriManifoldNew();
  const int r = read(om, nullptr, fp);
  testing::internal::GetCapturedStdout();
  std::fclose(fp);
  if (r == 0) {
    char why[256];
    EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << what << ": " << why;
  } else {
    EXPECT_STRNE(oriReadError(), "") << what;
    // The model a failed read was given stays empty.
    EXPECT_EQ(om->n_face, 0) << what;
    EXPECT_EQ(om->faces->data, nullptr) << what;
  }
  oriManifoldDelete(om);
}

// Truncations at many points, flipped bytes and noise of one document.
void damage(Reader read, const std::string& doc, const std::string& name) {
  std::mt19937 rng(3);
  const size_t cuts = 40;
  for (size_t k = 0; k <= cuts; ++k) {
    expectBuiltOrRefused(read, doc.substr(0, doc.size() * k / cuts), name + " cut at " + std::to_string(k) + "/40");
  }
  for (int k = 0; k < 20; ++k) {
    std::string d = doc;
    for (int flips = 0; flips < 8; ++flips) d[rng() % d.size()] = static_cast<char>(rng() % 256);
    expectBuiltOrRefused(read, d, name + " flipped " + std::to_string(k));
  }
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng() % 256);
  expectBuiltOrRefused(read, noise, name + " noise");
}

}  // namespace

TEST(HostileInput, XmlPatternsDamagedEveryWay) {
  damage(oriManifoldConstructFromOpx, slurp(std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx"), "miura");
  damage(oriManifoldConstructFromOpx, opxText(degree4Vertex(2, 2, 3, 2)), "vertex");
  for (const std::string& path : realPatterns("opx", ".opx")) {
    const std::string doc = slurp(path);
    if (doc.size() < 200000 && !doc.empty()) damage(oriManifoldConstructFromOpx, doc, path);
  }
}

TEST(HostileInput, XmlClaimsBeyondWhatTheFileHolds) {
  // Two billion declared records, lines of 100 kB, and a paper size of zero.
  std::string doc = opxText(squareWithDiagonal(2));
  std::string big = doc;
  big.replace(big.find("length=\"5\""), 10, "length=\"2000000000\"");
  expectBuiltOrRefused(oriManifoldConstructFromOpx, big, "huge length");
  std::string longline = doc;
  longline.insert(longline.find("<object class=\"oripa.OriLineProxy\""), std::string(100 * 1024, 'x') + "\n");
  expectBuiltOrRefused(oriManifoldConstructFromOpx, longline, "long line");
  std::string zero = doc;
  zero.replace(zero.find("<double>400"), 11, "<double>0.0");
  expectBuiltOrRefused(oriManifoldConstructFromOpx, zero, "zero paper");
}

TEST(HostileInput, DxfDrawingsDamagedAndAMillionVertexPolyline) {
  const std::string seed = slurp(std::string(PLICATA_SOURCE_DIR) + "/tests/fuzz_regressions/dxf/seed_square_cross.dxf");
  damage(oriManifoldConstructFromDxf, seed, "square");
  for (const std::string& path : realPatterns("dxf", ".dxf")) damage(oriManifoldConstructFromDxf, slurp(path), path);
  // A polyline of a million vertices around a circle: every piece is too
  // short to fold, and the import says so instead of hanging.
  std::string poly = "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n62\n1\n70\n1\n";
  char buf[96];
  for (int i = 0; i < 1000000; ++i) {
    const double a = 2 * M_PI * i / 1000000;
    std::snprintf(buf, sizeof buf, "0\nVERTEX\n10\n%.6f\n20\n%.6f\n", 100 * std::cos(a), 100 * std::sin(a));
    poly += buf;
  }
  poly += "0\nSEQEND\n0\nENDSEC\n0\nEOF\n";
  expectBuiltOrRefused(oriManifoldConstructFromDxf, poly, "million vertices");
  // The same four segments drawn over and over: copies do not multiply the work.
  std::string star = "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n62\n1\n70\n1\n";
  const int xs[4] = {0, 100, 100, 0}, ys[4] = {0, 100, 0, 100};
  for (int i = 0; i < 40000; ++i) {
    std::snprintf(buf, sizeof buf, "0\nVERTEX\n10\n%d\n20\n%d\n", xs[i % 4], ys[i % 4]);
    star += buf;
  }
  star += "0\nSEQEND\n0\nENDSEC\n0\nEOF\n";
  expectBuiltOrRefused(oriManifoldConstructFromDxf, star, "repeated star");
}

TEST(HostileInput, BmpFilesDamagedAndOversized) {
  // A valid 5 × 3 picture, then damaged; and a header claiming 100000 × 100000.
  std::string bmp = slurp(std::string(PLICATA_SOURCE_DIR) + "/tests/fuzz_regressions/bmp/seed_3x2.bmp");
  ASSERT_GT(bmp.size(), 54u);
  for (size_t cut = 0; cut <= bmp.size(); ++cut) {
    const std::string d = bmp.substr(0, cut);
    FILE* fp = fmemopen(const_cast<char*>(d.data()), d.size() + (d.empty() ? 1 : 0), "rb");
    BITMAPINFO* info = nullptr;
    unsigned char* bits = LoadDIBitmapFile(fp, &info);
    if (cut < bmp.size()) {
      EXPECT_EQ(bits, nullptr) << "cut at " << cut;
    }
    std::free(bits);
    std::free(info);
    std::fclose(fp);
  }
  std::string huge = bmp;
  const int32_t side = 100000;
  std::memcpy(&huge[18], &side, 4);
  std::memcpy(&huge[22], &side, 4);
  FILE* fp = fmemopen(huge.data(), huge.size(), "rb");
  BITMAPINFO* info = nullptr;
  EXPECT_EQ(LoadDIBitmapFile(fp, &info), nullptr);
  EXPECT_EQ(info, nullptr);
  std::fclose(fp);
}

TEST(HostileInput, PaperColourFilesOfNoiseAndOneLongLine) {
  std::mt19937 rng(9);
  std::string noise(8192, '\0');
  for (char& c : noise) c = static_cast<char>(rng() % 256);
  const std::string cases[] = {noise, std::string(100 * 1024, '1'), std::string(100 * 1024, ' ') + "\n1 2 3\n",
                               "1e999 -1e999 nan inf\n"};
  for (const std::string& text : cases) {
    ORI_manifold* om = oriManifoldNew();
    FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    testing::internal::CaptureStdout();
    EXPECT_EQ(oriManifoldReadColor(om, fp), 0);
    testing::internal::GetCapturedStdout();
    std::fclose(fp);
    oriManifoldDelete(om);
  }
}
