#include "files/bmp.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}
uint32_t get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A BMP file in memory: headers as given, then pixel_bytes bytes of pixel
// data counting up from 1.
struct BmpLayout {
  int32_t width = 3, height = 2;
  uint16_t bit_count = 24;
  uint32_t compression = 0;
  uint32_t size_image = 0;
  uint32_t off_bits = 54;
  size_t pixel_bytes = 24;
  uint16_t magic = 0x4D42;
};

Bytes makeBmp(const BmpLayout& s) {
  const size_t table = s.off_bits > 54 ? s.off_bits - 54 : 0;
  Bytes b(54 + table + s.pixel_bytes, 0);
  put16(b, 0, s.magic);
  put32(b, 2, static_cast<uint32_t>(b.size()));
  put32(b, 10, s.off_bits);
  put32(b, 14, 40);
  put32(b, 18, static_cast<uint32_t>(s.width));
  put32(b, 22, static_cast<uint32_t>(s.height));
  put16(b, 26, 1);
  put16(b, 28, s.bit_count);
  put32(b, 30, s.compression);
  put32(b, 34, s.size_image);
  for (size_t i = 0; i < s.pixel_bytes; ++i) b[54 + table + i] = static_cast<unsigned char>(i + 1);
  return b;
}

// Loads bytes through the stream entry point, as from a file.
struct Loaded {
  unsigned char* bits = nullptr;
  BITMAPINFO* info = nullptr;
  ~Loaded() {
    std::free(bits);
    std::free(info);
  }
};

void loadBytes(Bytes bytes, Loaded* out) {
  if (bytes.empty()) bytes.push_back(0);  // fmemopen needs a buffer
  FILE* fp = fmemopen(bytes.data(), bytes.size(), "rb");
  ASSERT_NE(fp, nullptr);
  out->info = reinterpret_cast<BITMAPINFO*>(0x1);  // must be cleared on failure
  out->bits = LoadDIBitmapFile(fp, &out->info);
  std::fclose(fp);
}

bool refused(const Bytes& bytes) {
  Loaded l;
  loadBytes(bytes, &l);
  return l.bits == nullptr && l.info == nullptr;
}

std::string tempPath(const char* name) {
  return std::string(::testing::TempDir()) + "plicata_bmp_" + name;
}

Bytes readFile(const std::string& path) {
  Bytes b;
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (fp == nullptr) return b;
  int c;
  while ((c = std::fgetc(fp)) != EOF) b.push_back(static_cast<unsigned char>(c));
  std::fclose(fp);
  return b;
}

BITMAPINFO header24(int32_t w, int32_t h) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

TEST(BmpRowBytes, TwentyFourBitRowsArePaddedToFourBytes) {
  EXPECT_EQ(oriBmpRowBytes(1, 24), 4u);
  EXPECT_EQ(oriBmpRowBytes(2, 24), 8u);
  EXPECT_EQ(oriBmpRowBytes(3, 24), 12u);  // 9 bytes of pixels
  EXPECT_EQ(oriBmpRowBytes(4, 24), 12u);
  EXPECT_EQ(oriBmpRowBytes(640, 24), 1920u);
  EXPECT_EQ(oriBmpRowBytes(641, 24), 1924u);  // 1923 bytes of pixels and one pad byte
  EXPECT_EQ(oriBmpRowBytes(9, 1), 4u);
  EXPECT_EQ(oriBmpRowBytes(-1, 24), 0u);
}

// A 3 × 2 image in six distinct colours: the file must hold the bottom row
// first in blue-green-red order, and loading must give red-green-blue with
// the bottom row first, so a mistake in either direction shows.
TEST(BmpRoundTrip, AsymmetricImageKeepsRowsAndChannels) {
  // Colours by (column, row from the top).
  const unsigned char top[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  const unsigned char bottom[3][3] = {{255, 255, 0}, {0, 255, 255}, {10, 20, 30}};
  const uint32_t row = 12;
  Bytes bgr(2 * row, 0xEE);  // pad bytes are written as they are
  for (int x = 0; x < 3; ++x) {
    for (int c = 0; c < 3; ++c) {
      bgr[0 * row + 3 * x + c] = bottom[x][2 - c];
      bgr[1 * row + 3 * x + c] = top[x][2 - c];
    }
  }
  BITMAPINFO info = header24(3, 2);
  const std::string path = tempPath("roundtrip.bmp");
  ASSERT_EQ(SaveDIBitmap(path.c_str(), &info, bgr.data()), 0);

  const Bytes file = readFile(path);
  ASSERT_EQ(file.size(), 54u + 24u);  // biSizeImage 0: 2 rows of 12 bytes
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(get32(file, 2), 78u);
  EXPECT_EQ(get32(file, 10), 54u);
  EXPECT_EQ(get32(file, 18), 3u);
  EXPECT_EQ(get32(file, 22), 2u);
  // The first pixel in the file is the bottom-left one, blue first.
  EXPECT_EQ(file[54], 0);
  EXPECT_EQ(file[55], 255);
  EXPECT_EQ(file[56], 255);

  BITMAPINFO* loaded_info = nullptr;
  unsigned char* rgb = LoadDIBitmap(path.c_str(), &loaded_info);
  ASSERT_NE(rgb, nullptr);
  ASSERT_NE(loaded_info, nullptr);
  EXPECT_EQ(loaded_info->bmiHeader.biWidth, 3);
  EXPECT_EQ(loaded_info->bmiHeader.biHeight, 2);
  EXPECT_EQ(loaded_info->bmiHeader.biBitCount, 24);
  for (int x = 0; x < 3; ++x) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(rgb[0 * row + 3 * x + c], bottom[x][c]) << "bottom row, column " << x << ", channel " << c;
      EXPECT_EQ(rgb[1 * row + 3 * x + c], top[x][c]) << "top row, column " << x << ", channel " << c;
    }
  }
  EXPECT_EQ(rgb[9], 0xEE);  // padding is carried, not swapped
  std::free(rgb);
  std::free(loaded_info);
  std::remove(path.c_str());
}

TEST(BmpLoad, SizeImageZeroReadsPaddedRows) {
  // 3 × 2 at 24 bits needs 24 bytes, not 18.
  Loaded l;
  loadBytes(makeBmp(BmpLayout{}), &l);
  ASSERT_NE(l.bits, nullptr);
  EXPECT_EQ(l.bits[0], 3);  // first pixel 1 2 3 swapped
  EXPECT_EQ(l.bits[2], 1);
  EXPECT_EQ(l.bits[12], 15);  // second row starts after 12 bytes
  BmpLayout short_rows;
  short_rows.pixel_bytes = 18;
  EXPECT_TRUE(refused(makeBmp(short_rows)));
}

TEST(BmpLoad, LargerHeaderIsReadAsColourTable) {
  // A 124-byte header: its extra 84 bytes sit where a colour table would,
  // and the pixels follow them.
  BmpLayout s;
  s.off_bits = 14 + 124;
  Bytes b = makeBmp(s);
  put32(b, 14, 124);
  Loaded l;
  loadBytes(b, &l);
  ASSERT_NE(l.bits, nullptr);
  EXPECT_EQ(l.bits[0], 3);
  EXPECT_EQ(l.info->bmiHeader.biSize, 124u);
}

TEST(BmpLoad, TopDownImageIsSwappedToo) {
  BmpLayout s;
  s.height = -2;
  Loaded l;
  loadBytes(makeBmp(s), &l);
  ASSERT_NE(l.bits, nullptr);
  EXPECT_EQ(l.info->bmiHeader.biHeight, -2);
  EXPECT_EQ(l.bits[0], 3);
  EXPECT_EQ(l.bits[12], 15);  // the second stored row is in RGB order as well
  EXPECT_EQ(l.bits[14], 13);
}

TEST(BmpLoad, RefusesFilesItCannotHoldOrSwap) {
  BmpLayout wrong_magic;
  wrong_magic.magic = 0x4D41;
  EXPECT_TRUE(refused(makeBmp(wrong_magic))) << "wrong magic";

  BmpLayout rle;
  rle.compression = 1;
  EXPECT_TRUE(refused(makeBmp(rle))) << "compressed";
  BmpLayout bit_fields;
  bit_fields.compression = 3;
  EXPECT_TRUE(refused(makeBmp(bit_fields))) << "bit fields";

  for (uint16_t bits : {1, 4, 8, 16, 32}) {
    BmpLayout depth;
    depth.bit_count = bits;
    depth.pixel_bytes = 64;
    EXPECT_TRUE(refused(makeBmp(depth))) << bits << "-bit";
  }

  BmpLayout small_size_image;
  small_size_image.size_image = 18;  // less than two padded rows
  EXPECT_TRUE(refused(makeBmp(small_size_image))) << "biSizeImage below the rows";

  BmpLayout big_table;
  big_table.off_bits = 54 + 1028;  // more colour table than bmiColors holds
  EXPECT_TRUE(refused(makeBmp(big_table))) << "colour table of 1028 bytes";
  BmpLayout full_table;
  full_table.off_bits = 54 + 1024;
  EXPECT_FALSE(refused(makeBmp(full_table))) << "colour table of exactly 1024 bytes";

  BmpLayout inside_headers;
  inside_headers.off_bits = 40;
  EXPECT_TRUE(refused(makeBmp(inside_headers))) << "pixel data inside the headers";
}

TEST(BmpLoad, RefusesSizesBeyondTheFileOrTheLimits) {
  // Each of these would allocate far more than the file holds, or overflow a
  // size computation, if believed.
  const int32_t sides[][2] = {{100000, 100000}, {100000, 1}, {1, 100000}, {0, 2}, {3, 0},
                              {-3, 2},          {3, INT32_MIN}, {INT32_MAX, INT32_MAX}};
  for (const auto& side : sides) {
    BmpLayout s;
    s.width = side[0];
    s.height = side[1];
    EXPECT_TRUE(refused(makeBmp(s))) << side[0] << " x " << side[1];
  }
  BmpLayout huge_size_image;
  huge_size_image.size_image = 0xFFFFFFFFu;
  EXPECT_TRUE(refused(makeBmp(huge_size_image))) << "biSizeImage of 4 GiB";
  BmpLayout beyond_file;
  beyond_file.size_image = 4000;  // valid rows, but the file ends after 24 bytes
  EXPECT_TRUE(refused(makeBmp(beyond_file))) << "biSizeImage beyond the end of the file";
  BmpLayout big_but_allowed;
  big_but_allowed.width = 2000;
  big_but_allowed.height = 2000;
  big_but_allowed.pixel_bytes = 24;
  EXPECT_TRUE(refused(makeBmp(big_but_allowed))) << "2000 x 2000 header with 24 bytes of pixels";
}

TEST(BmpLoad, RefusesTruncatedFiles) {
  const Bytes whole = makeBmp(BmpLayout{});
  for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{13}, size_t{14}, size_t{30}, size_t{53}, size_t{54},
                   size_t{60}, whole.size() - 1}) {
    EXPECT_TRUE(refused(Bytes(whole.begin(), whole.begin() + n))) << "cut after " << n << " bytes";
  }
  EXPECT_FALSE(refused(whole));
}

TEST(BmpSave, WritesTheColourTableTheHeaderCallsFor) {
  BITMAPINFO info = header24(4, 1);
  info.bmiHeader.biBitCount = 8;  // palette of 2^8 entries
  info.bmiColors[255].rgbRed = 0x77;
  const unsigned char pixels[4] = {1, 2, 3, 4};
  const std::string path = tempPath("palette.bmp");
  ASSERT_EQ(SaveDIBitmap(path.c_str(), &info, pixels), 0);
  const Bytes file = readFile(path);
  ASSERT_EQ(file.size(), 54u + 1024u + 4u);
  EXPECT_EQ(get32(file, 10), 54u + 1024u);
  EXPECT_EQ(file[54 + 4 * 255 + 2], 0x77);
  std::remove(path.c_str());

}

TEST(BmpSave, RefusesHeadersThatReadPastTheColourTable) {
  const unsigned char pixels[64] = {};
  const std::string path = tempPath("refused.bmp");
  BITMAPINFO many_colours = header24(4, 1);
  many_colours.bmiHeader.biBitCount = 8;
  many_colours.bmiHeader.biClrUsed = 300;  // 1200 bytes of table
  EXPECT_EQ(SaveDIBitmap(path.c_str(), &many_colours, pixels), -1);
  BITMAPINFO rle24 = header24(4, 1);
  rle24.bmiHeader.biCompression = BI_RLE8;  // palette of 2^24 entries
  EXPECT_EQ(SaveDIBitmap(path.c_str(), &rle24, pixels), -1);
  BITMAPINFO negative = header24(-4, 1);
  EXPECT_EQ(SaveDIBitmap(path.c_str(), &negative, pixels), -1);
  std::remove(path.c_str());
}

TEST(BmpFiles, MissingOrUncreatableFilesFail) {
  BITMAPINFO* info = nullptr;
  EXPECT_EQ(LoadDIBitmap("/nonexistent/dir/papertexture.bmp", &info), nullptr);
  EXPECT_EQ(info, nullptr);
  BITMAPINFO header = header24(1, 1);
  const unsigned char pixel[4] = {};
  EXPECT_EQ(SaveDIBitmap("/nonexistent/dir/ss00001.bmp", &header, pixel), -1);
}

TEST(BmpSave, AFailedWriteLeavesNoPartOfAPicture) {
  // Files of this process may not grow past 4 KiB for a moment: the write
  // of a 120 KB capture fails part way, as on a full disk.
  const std::string dir = std::string(::testing::TempDir()) + "plicata_bmp_part";
  std::filesystem::create_directories(dir);
  const std::vector<unsigned char> pixels(oriBmpRowBytes(200, 24) * 200, 0x80);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4096;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const int result = oriBmpSave24((dir + "/ss00001.bmp").c_str(), 200, 200, 10000, pixels.data());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a part of the picture is left";
  std::filesystem::remove_all(dir);
}
