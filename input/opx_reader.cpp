// Crease-pattern XML reader. The text is read piece by piece as fgets with a
// 512-byte buffer would give it (a line, or 511 characters of a longer one),
// through a large buffer of its own; only the elements the data set needs are
// looked at, so metadata of any kind passes through. A large pattern is a
// million such pieces: the scans below are hand-made for them (the C
// library's strstr and sscanf were most of a load's time).
#include "input/opx_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "input/construct.h"
#include "input/decimal_text.h"
#include "input/read_error.h"

namespace {

constexpr int kLineBufferSize = 512;
constexpr int kScratchSize = 1024;
constexpr double kDefaultPaperSize = 400.0;
// Bytes read from the stream at a time.
constexpr size_t kReadChunk = size_t{1} << 16;

struct LineSource {
  FILE* fp;
  char buf[kLineBufferSize];  // the piece, NUL-terminated
  size_t len = 0;             // characters of the piece up to its first NUL
  long line_no = 0;           // physical line of the file the last read ended on
  std::vector<char> chunk = std::vector<char>(kReadChunk);
  size_t at = 0, end = 0;     // unread bytes of chunk
  bool chunk_nul = false;     // the chunk holds a NUL byte
  bool eof = false;
  // The first place of each RecordTag in the piece, found in one pass over
  // its '<' (null: not in the piece); valid while tags_found.
  bool tags_found = false;
  const char* tags[4] = {nullptr, nullptr, nullptr, nullptr};
};

// The tags a line record is read by.
enum RecordTag { kObjectEnd, kVoidProperty, kDouble, kInt };
constexpr const char* kRecordTags[4] = {"</object>", "<void property", "<double", "<int>"};
constexpr size_t kRecordTagLengths[4] = {9, 14, 7, 5};

// Reads the next piece of text (a line up to and with its '\n', or up to 511
// characters of a longer one), exactly as fgets(buf, 512) would. False at
// end of file (or when the stream fails, as fgets).
bool nextLine(LineSource* src) {
  size_t n = 0;
  bool newline = false;
  while (n + 1 < kLineBufferSize && !newline) {
    if (src->at == src->end) {
      if (src->eof) break;
      src->end = std::fread(src->chunk.data(), 1, src->chunk.size(), src->fp);
      src->at = 0;
      if (src->end == 0) {
        src->eof = true;
        break;
      }
      src->chunk_nul = std::memchr(src->chunk.data(), '\0', src->end) != nullptr;
    }
    const size_t want = std::min(kLineBufferSize - 1 - n, src->end - src->at);
    const char* from = src->chunk.data() + src->at;
    const char* nl = static_cast<const char*>(std::memchr(from, '\n', want));
    const size_t take = nl != nullptr ? static_cast<size_t>(nl - from) + 1 : want;
    std::memcpy(src->buf + n, from, take);
    n += take;
    src->at += take;
    newline = nl != nullptr;
  }
  if (n == 0) return false;
  src->buf[n] = '\0';
  // Text without NUL bytes (every real file) needs no search for one.
  const char* nul =
      src->chunk_nul || n > src->at ? static_cast<const char*>(std::memchr(src->buf, '\0', n)) : nullptr;
  src->len = nul != nullptr ? static_cast<size_t>(nul - src->buf) : n;
  // A line ends here when its '\n' comes before any NUL (as strchr sees it).
  if (newline && nul == nullptr) ++src->line_no;
  src->tags_found = false;
  return true;
}

// strstr(line, tag) for a tag that starts with '<', on a piece of len
// characters.
const char* findTag(const char* line, size_t len, const char* tag, size_t tag_len) {
  const char* end = line + len;
  for (const char* p = line; p + tag_len <= end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    if (p == nullptr || p + tag_len > end) return nullptr;
    if (p[1] == tag[1] && std::memcmp(p, tag, tag_len) == 0) return p;
  }
  return nullptr;
}

// Whether a and b agree in their first n bytes (4 to 16): two overlapping
// word compares, where a library call would cost more than the compare.
bool sameBytes(const char* a, const char* b, size_t n) {
  if (n >= 8) {
    uint64_t x0, y0, x1, y1;
    std::memcpy(&x0, a, 8);
    std::memcpy(&y0, b, 8);
    std::memcpy(&x1, a + n - 8, 8);
    std::memcpy(&y1, b + n - 8, 8);
    return x0 == y0 && x1 == y1;
  }
  uint32_t x0, y0, x1, y1;
  std::memcpy(&x0, a, 4);
  std::memcpy(&y0, b, 4);
  std::memcpy(&x1, a + n - 4, 4);
  std::memcpy(&y1, b + n - 4, 4);
  return x0 == y0 && x1 == y1;
}

// The first place of a record tag in the piece, as findTag would find it;
// the first call on a piece finds all four in one pass.
const char* recordTag(LineSource* src, RecordTag which) {
  if (!src->tags_found) {
    for (const char*& t : src->tags) t = nullptr;
    // The indentation before the first '<' is passed by hand, the rest of
    // the piece searched.
    const char* end = src->buf + src->len;
    const char* p = src->buf;
    while (p < end && *p == ' ') ++p;
    for (; p + 1 < end; ++p) {
      if (*p != '<') {
        p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (p == nullptr || p + 1 == end) break;
      }
      const int k = p[1] == '/' ? kObjectEnd : p[1] == 'v' ? kVoidProperty : p[1] == 'd' ? kDouble : p[1] == 'i' ? kInt : -1;
      if (k < 0 || src->tags[k] != nullptr) continue;
      const size_t n = kRecordTagLengths[k];
      if (static_cast<size_t>(end - p) >= n && sameBytes(p, kRecordTags[k], n)) src->tags[k] = p;
    }
    src->tags_found = true;
  }
  return src->tags[which];
}

template <size_t N>
const char* findTag(const LineSource* src, const char (&tag)[N]) {
  return findTag(src->buf, src->len, tag, N - 1);
}

// strtod(p, end), and the same number read faster when it is a plain
// decimal ending at the element's '<' (where strtod stops too): both round
// correctly, so both give the same bits. last: the end of the piece's text.
double readNumber(const char* p, const char* last, const char** end) {
  double v = 0.0;
  const char* stop = nullptr;
  if (oriShortDecimal(p, last, &v, &stop) && stop < last && *stop == '<') {
    *end = stop;
    return v;
  }
  const auto r = std::from_chars(p, last, v);
  if (r.ec == std::errc() && r.ptr != p && *r.ptr == '<' && (*p == '-' || (*p >= '0' && *p <= '9'))) {
    *end = r.ptr;
    return v;
  }
  char* e = nullptr;
  v = std::strtod(p, &e);
  *end = e;
  return v;
}

// The number after "<double>" (or after "<double" up to its ">") on the line:
// the whole number, whatever the case of its exponent. False when the line has
// no such element or no number.
bool scanDouble(LineSource* src, double* value) {
  const char* p = recordTag(src, kDouble);
  if (p == nullptr) return false;
  p = std::strchr(p, '>');
  if (p == nullptr) return false;
  ++p;
  const char* end = nullptr;
  const double v = readNumber(p, src->buf + src->len, &end);
  if (end == p) return false;
  *value = v;
  return true;
}

bool scanInt(LineSource* src, int* value) {
  const char* p = recordTag(src, kInt);
  if (p == nullptr) return false;
  p += 5;
  char* end = nullptr;
  const long v = std::strtol(p, &end, 10);
  if (end == p) return false;
  if (v > 1000000 || v < -1000000) {
    *value = -1;  // an absurd type folds nothing
  } else {
    *value = static_cast<int>(v);
  }
  return true;
}

// The name of a `<void property="NAME">` on the line, or "" when there is
// none: what sscanf(p, "<void property=\"%1023[^\">]", name) reads from the
// first "<void property" of the line.
void scanProperty(LineSource* src, char* name) {
  name[0] = '\0';
  const char* p = recordTag(src, kVoidProperty);
  if (p == nullptr) return;
  p += sizeof("<void property") - 1;
  if (p[0] != '=' || p[1] != '"') return;
  p += 2;
  size_t n = 0;
  while (n < kScratchSize - 1 && p[n] != '\0' && p[n] != '"' && p[n] != '>') ++n;
  std::memcpy(name, p, n);
  name[n] = '\0';
}

// The accepted lines of one file, with the counts of the dropped ones.
struct ReadLines {
  std::vector<OriPatternLine> lines;
  OriLineDrops drops;
};

// Reads one line record up to its `</object>`. False when the file ends first.
bool readRecord(LineSource* src, OriPatternLine* line) {
  char name[kScratchSize];
  line->type = 0;
  line->x0 = line->y0 = line->x1 = line->y1 = 0.0;
  line->target = NAN;
  while (nextLine(src)) {
    if (recordTag(src, kObjectEnd) != nullptr) return true;
    scanProperty(src, name);
    if (name[0] == '\0') continue;
    double* target = nullptr;
    if (std::strcmp(name, "x0") == 0) target = &line->x0;
    else if (std::strcmp(name, "y0") == 0) target = &line->y0;
    else if (std::strcmp(name, "x1") == 0) target = &line->x1;
    else if (std::strcmp(name, "y1") == 0) target = &line->y1;
    else if (std::strcmp(name, kOpxTargetProperty) == 0) target = &line->target;
    else if (std::strcmp(name, "type") != 0) continue;
    if (!nextLine(src)) return false;
    if (target != nullptr) {
      scanDouble(src, target);
    } else {
      scanInt(src, &line->type);
    }
    if (recordTag(src, kObjectEnd) != nullptr) return true;
  }
  return false;
}

bool isLinesStart(LineSource* src) {
  char name[kScratchSize];
  scanProperty(src, name);
  if (std::strcmp(name, "lines") == 0) return true;
  // Current editors reach the public field through the data set's getField.
  return findTag(src, "<string>lines</string>") != nullptr;
}

}  // namespace

int oriManifoldConstructFromOpx(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  std::rewind(fp);
  om->paper_size = kDefaultPaperSize;
  LineSource src;
  src.fp = fp;
  char scratch[kScratchSize];

  bool found = false;
  while (!found && nextLine(&src)) found = findTag(&src, "<object") != nullptr;
  if (!found) {
    oriSetReadError("no data-set object: the file is empty or not a crease pattern");
    return -1;
  }
  scratch[0] = '\0';
  std::sscanf(findTag(&src, "<object"), "<object class=\"%1023[^\">]\">", scratch);
  if (std::strcmp(scratch, "oripa.DataSet") != 0) {
    oriSetReadError("line %ld: the data set is of class \"%s\", not oripa.DataSet", src.line_no, scratch);
    return -1;
  }

  found = false;
  while (!found && nextLine(&src)) found = isLinesStart(&src);
  if (!found) {
    oriSetReadError("the file ends before the lines of the data set");
    return -1;
  }
  found = false;
  while (!found && nextLine(&src)) found = findTag(&src, "<array") != nullptr;
  if (!found) {
    oriSetReadError("the file ends before the array of lines");
    return -1;
  }
  long declared = 0;
  scratch[0] = '\0';
  if (std::sscanf(findTag(&src, "<array"), "<array class=\"oripa.OriLineProxy\" length=\"%1023[^\">]\">",
                  scratch) == 1) {
    declared = std::strtol(scratch, nullptr, 10);
  }

  // The records are stored as they are read, never sized from the declared
  // length: a hostile length costs nothing until the file bears it out.
  ReadLines read;
  for (long k = 0; k < declared; ++k) {
    OriPatternLine line;
    if (!readRecord(&src, &line)) {
      oriSetReadError("the file ends inside line record %ld of the %ld declared", k + 1, declared);
      return -1;
    }
    if (!oriPatternLineAccepted(line, &read.drops)) continue;
    if (static_cast<long>(read.lines.size()) >= kOriMaxPatternLines) {
      oriSetReadError("the pattern has more than %d lines", kOriMaxPatternLines);
      return -1;
    }
    read.lines.push_back(line);
  }

  double paper_size = kDefaultPaperSize;
  while (nextLine(&src)) {
    const char* v = findTag(&src, "<void");
    if (v == nullptr) continue;
    scratch[0] = '\0';
    if (std::sscanf(v, "<void property=\"%1023s", scratch) != 1 || std::strcmp(scratch, "paperSize\">") != 0) {
      continue;
    }
    bool has_double = false;
    while (!has_double && nextLine(&src)) {
      if (recordTag(&src, kDouble) != nullptr) {
        has_double = true;
        scanDouble(&src, &paper_size);
      }
    }
  }
  if (!std::isfinite(paper_size) || paper_size <= 0.0) {
    oriSetReadError("the paper size %g is not a positive number", paper_size);
    return -1;
  }
  om->paper_size = paper_size;

  return oriManifoldConstructFromAccepted(om, om_old, read.lines.data(), static_cast<int>(read.lines.size()),
                                         read.drops);
}
