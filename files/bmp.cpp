#include "files/bmp.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/write_aside.h"

uint16_t read_word(FILE* fp) {
  const unsigned b0 = static_cast<unsigned>(std::getc(fp)) & 0xFFu;
  const unsigned b1 = static_cast<unsigned>(std::getc(fp)) & 0xFFu;
  return static_cast<uint16_t>(b0 | (b1 << 8));
}

uint32_t read_dword(FILE* fp) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= (static_cast<uint32_t>(std::getc(fp)) & 0xFFu) << (8 * i);
  return v;
}

int32_t read_long(FILE* fp) {
  // Two's complement by way of the unsigned value; well defined in C++17.
  const uint32_t u = read_dword(fp);
  return u <= 0x7FFFFFFFu ? static_cast<int32_t>(u) : -static_cast<int32_t>(~u) - 1;
}

uint64_t oriBmpRowBytes(int32_t width, uint16_t bit_count) {
  if (width < 0) return 0;
  const uint64_t bits = static_cast<uint64_t>(width) * bit_count;
  return ((bits + 31) / 32) * 4;
}

namespace {

bool writeWord(FILE* fp, uint16_t v) {
  return std::putc(v & 0xFF, fp) != EOF && std::putc((v >> 8) & 0xFF, fp) != EOF;
}

bool writeDword(FILE* fp, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    if (std::putc((v >> (8 * i)) & 0xFF, fp) == EOF) return false;
  }
  return true;
}

bool writeLong(FILE* fp, int32_t v) { return writeDword(fp, static_cast<uint32_t>(v)); }

// Bytes from the current position to the end of fp, or -1 when the stream
// cannot seek (a pipe): the caller then relies on the short-read check.
long remainingBytes(FILE* fp) {
  const long here = std::ftell(fp);
  if (here < 0 || std::fseek(fp, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(fp);
  if (std::fseek(fp, here, SEEK_SET) != 0) return -1;
  return end < here ? 0 : end - here;
}

// Header and colour-table bytes a record calls for when it is written: 40,
// plus the bit-field masks, plus the palette.
uint64_t savedHeaderBytes(const BITMAPINFOHEADER& h) {
  uint64_t size = kBmpInfoHeaderSize;
  bool palette = false;
  switch (h.biCompression) {
    case BI_BITFIELDS:
      size += 12;
      if (h.biClrUsed == 0) break;
      // A stated palette follows the masks, under the plain-RGB rule.
      [[fallthrough]];
    case BI_RGB:
      palette = !(h.biBitCount > 8 && h.biClrUsed == 0);
      break;
    case BI_RLE8:
    case BI_RLE4:
      palette = true;
      break;
    default:
      break;
  }
  if (palette) {
    if (h.biClrUsed != 0) {
      size += 4ull * h.biClrUsed;
    } else {
      // Bit depths of 32 and more would make a palette of 4 GiB or more:
      // far past any colour table, and refused by the caller.
      size += h.biBitCount >= 32 ? (1ull << 34) : 4ull << h.biBitCount;
    }
  }
  return size;
}

}  // namespace

unsigned char* LoadDIBitmapFile(FILE* fp, BITMAPINFO** info) {
  if (info != nullptr) *info = nullptr;
  if (fp == nullptr || info == nullptr) return nullptr;

  BITMAPFILEHEADER header;
  header.bfType = read_word(fp);
  header.bfSize = read_dword(fp);
  header.bfReserved1 = read_word(fp);
  header.bfReserved2 = read_word(fp);
  header.bfOffBits = read_dword(fp);
  if (std::feof(fp) || std::ferror(fp) || header.bfType != kBmpMagic) return nullptr;
  // The pixel data cannot start inside the headers, and the colour table
  // must fit bmiColors.
  if (header.bfOffBits < kBmpFileHeaderSize + kBmpInfoHeaderSize) return nullptr;
  const uint32_t table_bytes = header.bfOffBits - kBmpFileHeaderSize - kBmpInfoHeaderSize;
  if (table_bytes > sizeof(BITMAPINFO::bmiColors)) return nullptr;

  BITMAPINFOHEADER h;
  h.biSize = read_dword(fp);
  h.biWidth = read_long(fp);
  h.biHeight = read_long(fp);
  h.biPlanes = read_word(fp);
  h.biBitCount = read_word(fp);
  h.biCompression = read_dword(fp);
  h.biSizeImage = read_dword(fp);
  h.biXPelsPerMeter = read_long(fp);
  h.biYPelsPerMeter = read_long(fp);
  h.biClrUsed = read_dword(fp);
  h.biClrImportant = read_dword(fp);
  if (std::feof(fp) || std::ferror(fp)) return nullptr;

  // Only what the red/blue swap and the buffers are built for: plain 24-bit
  // pixels of a sane size whose data covers every row.
  if (h.biBitCount != 24 || h.biCompression != BI_RGB) return nullptr;
  const int64_t rows = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
  if (h.biWidth <= 0 || rows == 0 || h.biWidth > kBmpMaxSide || rows > kBmpMaxSide) return nullptr;
  const uint64_t row_bytes = oriBmpRowBytes(h.biWidth, 24);
  const uint64_t needed = static_cast<uint64_t>(rows) * row_bytes;
  const uint64_t size = h.biSizeImage != 0 ? h.biSizeImage : needed;
  if (size < needed || size > kBmpMaxPixelBytes) return nullptr;
  const long remaining = remainingBytes(fp);
  if (remaining >= 0 && static_cast<uint64_t>(remaining) < table_bytes + size) return nullptr;

  BITMAPINFO* record = static_cast<BITMAPINFO*>(std::calloc(1, sizeof(BITMAPINFO)));
  if (record == nullptr) return nullptr;
  record->bmiHeader = h;
  if (table_bytes > 0 && std::fread(record->bmiColors, 1, table_bytes, fp) != table_bytes) {
    std::free(record);
    return nullptr;
  }
  unsigned char* bits = static_cast<unsigned char*>(std::malloc(size));
  if (bits == nullptr) {
    std::free(record);
    return nullptr;
  }
  if (std::fread(bits, 1, size, fp) != size) {
    std::free(bits);
    std::free(record);
    return nullptr;
  }
  // Stored blue, green, red; handed out red, green, blue. Top-down images
  // (negative height) are swapped as well: the caller is promised RGB.
  for (int64_t y = 0; y < rows; ++y) {
    unsigned char* p = bits + y * row_bytes;
    for (int32_t x = 0; x < h.biWidth; ++x, p += 3) {
      const unsigned char t = p[0];
      p[0] = p[2];
      p[2] = t;
    }
  }
  *info = record;
  return bits;
}

unsigned char* LoadDIBitmap(const char* filename, BITMAPINFO** info) {
  if (info != nullptr) *info = nullptr;
  if (filename == nullptr) return nullptr;
  FILE* fp = std::fopen(filename, "rb");
  if (fp == nullptr) return nullptr;
  unsigned char* bits = LoadDIBitmapFile(fp, info);
  std::fclose(fp);
  return bits;
}

int SaveDIBitmapFile(FILE* fp, const BITMAPINFO* info, const unsigned char* bits) {
  if (fp == nullptr || info == nullptr) return -1;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth < 0) return -1;
  const uint64_t header_bytes = savedHeaderBytes(h);
  if (header_bytes - kBmpInfoHeaderSize > sizeof(info->bmiColors)) return -1;
  const uint64_t rows = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
  const uint64_t size = h.biSizeImage != 0 ? h.biSizeImage : rows * oriBmpRowBytes(h.biWidth, h.biBitCount);
  const uint64_t file_bytes = kBmpFileHeaderSize + header_bytes + size;
  if (file_bytes > 0xFFFFFFFFull) return -1;
  if (size > 0 && bits == nullptr) return -1;

  bool ok = writeWord(fp, kBmpMagic) && writeDword(fp, static_cast<uint32_t>(file_bytes)) &&
            writeWord(fp, 0) && writeWord(fp, 0) &&
            writeDword(fp, static_cast<uint32_t>(kBmpFileHeaderSize + header_bytes));
  ok = ok && writeDword(fp, h.biSize) && writeLong(fp, h.biWidth) && writeLong(fp, h.biHeight) &&
       writeWord(fp, h.biPlanes) && writeWord(fp, h.biBitCount) && writeDword(fp, h.biCompression) &&
       writeDword(fp, h.biSizeImage) && writeLong(fp, h.biXPelsPerMeter) && writeLong(fp, h.biYPelsPerMeter) &&
       writeDword(fp, h.biClrUsed) && writeDword(fp, h.biClrImportant);
  if (!ok) return -1;
  const size_t table_bytes = static_cast<size_t>(header_bytes - kBmpInfoHeaderSize);
  if (table_bytes > 0 && std::fwrite(info->bmiColors, 1, table_bytes, fp) != table_bytes) return -1;
  if (size > 0 && std::fwrite(bits, 1, size, fp) != size) return -1;
  return std::ferror(fp) ? -1 : 0;
}

int SaveDIBitmap(const char* filename, const BITMAPINFO* info, const unsigned char* bits) {
  if (filename == nullptr) return -1;
  // Written aside, so that a failed write leaves no half picture under
  // the frame's name.
  ORI_write_aside file;
  if (oriWriteAsideOpen(&file, filename) != 0) return -1;
  if (SaveDIBitmapFile(file.fp, info, bits) != 0) {
    const int err = oriWriteAsideReason(&file);
    oriWriteAsideDiscard(&file);
    errno = err;
    return -1;
  }
  return oriWriteAsideCommit(&file);
}

int oriBmpSave24(const char* filename, int32_t w, int32_t h, int32_t pels_per_meter, const unsigned char* bits) {
  if (w <= 0 || h <= 0 || bits == nullptr) return -1;
  const uint64_t size = oriBmpRowBytes(w, 24) * static_cast<uint64_t>(h);
  if (size > 0xFFFFFFFFull) return -1;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = kBmpInfoHeaderSize;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<uint32_t>(size);
  info.bmiHeader.biXPelsPerMeter = pels_per_meter;
  info.bmiHeader.biYPelsPerMeter = pels_per_meter;
  return SaveDIBitmap(filename, &info, bits);
}
