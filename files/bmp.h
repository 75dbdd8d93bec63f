// Uncompressed Windows bitmap (BMP) files: the paper texture is read with
// LoadDIBitmap, screen captures are written with SaveDIBitmap.
//
// Every multi-byte value is read and written one byte at a time, least
// significant first, so nothing depends on the host's byte order or on how
// the records below are laid out in memory.
//
// The loader accepts plain 24-bit images only and refuses (null result) a
// file whose headers do not add up: a wrong magic, another bit depth, a
// compressed image, a colour table larger than bmiColors, pixel data shorter
// than its rows or than the file, or a size beyond kBmpMaxSide and
// kBmpMaxPixelBytes. Nothing is allocated for a header that is refused.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
// The header records, under the names and fields the platform uses where it
// has them.
struct BITMAPFILEHEADER {
  uint16_t bfType;       // "BM", 0x4D42
  uint32_t bfSize;       // bytes of the whole file
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;    // offset of the pixel data: 14 + header + colour table
};

struct BITMAPINFOHEADER {
  uint32_t biSize;          // bytes of this header: 40
  int32_t biWidth;          // pixels
  int32_t biHeight;         // pixels; positive = bottom row first
  uint16_t biPlanes;        // 1
  uint16_t biBitCount;      // bits per pixel
  uint32_t biCompression;   // BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS
  uint32_t biSizeImage;     // bytes of pixel data; 0 = rows × padded row length
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;       // colour table entries; 0 = all of the bit depth
  uint32_t biClrImportant;
};

struct RGBQUAD {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];   // colour table (and bit-field masks), 1024 bytes
};

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
#endif

// "BM" read as a little-endian 16-bit value.
constexpr uint16_t kBmpMagic = 0x4D42;
// Bytes of the file header and of the info header in the file.
constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;
// Limits of what the loader accepts: a texture or a capture is far below
// them; a header claiming more is taken for damage, not allocated.
constexpr int32_t kBmpMaxSide = 32768;
constexpr uint64_t kBmpMaxPixelBytes = 256u << 20;

// Little-endian readers for the loader: 2 or 4 bytes with getc, least
// significant first. They do not detect end of file; the loader checks the
// stream after each header.
uint16_t read_word(FILE* fp);
uint32_t read_dword(FILE* fp);
int32_t read_long(FILE* fp);

// Bytes of one stored row: width × bit_count bits filled to whole bytes and
// padded to a multiple of 4; for 24 bits (3·width + 3) with the two low bits
// cleared. 0 for a negative width.
uint64_t oriBmpRowBytes(int32_t width, uint16_t bit_count);

// Reads a 24-bit BMP from fp (opened "rb" by the caller, not closed) and
// returns its pixels in red, green, blue order, rows as stored (bottom row
// first when biHeight is positive), each row padded as in the file; stores a
// new header record through info. Both are released by the caller with
// free(). Returns null (and leaves *info null) on any failure: see the file
// comment. The pixel data is taken to follow the colour table directly.
unsigned char* LoadDIBitmapFile(FILE* fp, BITMAPINFO** info);

// Opens filename and reads it with LoadDIBitmapFile. Null when the file
// cannot be opened or is refused.
unsigned char* LoadDIBitmap(const char* filename, BITMAPINFO** info);

// Writes the file header, the 40 header bytes of info, the colour table the
// header calls for, and the pixel bytes bits (file order: blue, green, red
// for 24 bits; biSizeImage bytes, or rows × padded row length when that is
// 0). Returns 0, or -1 when a header would need more colour table than
// bmiColors holds, gives a negative width, or sizes a file beyond 4 GiB, or
// when a write fails. Does not close fp.
int SaveDIBitmapFile(FILE* fp, const BITMAPINFO* info, const unsigned char* bits);

// Writes filename with SaveDIBitmapFile, aside and renamed: filename holds
// the old file, or none, until the new one is complete. Returns 0 or -1 (a
// file that cannot be created, a refused header, a failed write or close;
// nothing new is left on disk).
int SaveDIBitmap(const char* filename, const BITMAPINFO* info, const unsigned char* bits);

// Writes a w × h picture of 24 bits a pixel (bits: bottom row first,
// blue-green-red, each row padded to oriBmpRowBytes(w, 24) bytes) to
// filename with SaveDIBitmap, its header giving pels_per_meter both ways.
// Returns 0, or -1 for a size that is not positive or does not fit the
// header, and for SaveDIBitmap's failures.
int oriBmpSave24(const char* filename, int32_t w, int32_t h, int32_t pels_per_meter, const unsigned char* bits);
