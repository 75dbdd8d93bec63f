#include "input/line_import.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "geometry/message.h"
#include "input/construct.h"
#include "input/line_chop.h"
#include "input/line_list.h"
#include "input/read_error.h"

namespace {

// Fits lines to the paper: visit(f) calls f(Line&) for every line.
template <class Visit>
int fitToPaper(double paper_size, Visit visit) {
  double min_x = std::numeric_limits<double>::max(), max_x = -std::numeric_limits<double>::max();
  double min_y = std::numeric_limits<double>::max(), max_y = -std::numeric_limits<double>::max();
  int n = 0;
  visit([&](Line& l) {
    min_x = std::fmin(min_x, std::fmin(l.x0, l.x1));
    max_x = std::fmax(max_x, std::fmax(l.x0, l.x1));
    min_y = std::fmin(min_y, std::fmin(l.y0, l.y1));
    max_y = std::fmax(max_y, std::fmax(l.y0, l.y1));
    ++n;
  });
  if (n == 0) return kFitNoLines;
  const double extent = std::fmax(max_x - min_x, max_y - min_y);
  const double scale = paper_size / extent;
  if (!(extent > 0.0) || !std::isfinite(extent) || !std::isfinite(scale) || !(scale > 0.0)) return kFitNoExtent;
  const double cx = min_x * 0.5 + max_x * 0.5;
  const double cy = min_y * 0.5 + max_y * 0.5;
  visit([&](Line& l) {
    l.x0 = (l.x0 - cx) * scale;
    l.y0 = (l.y0 - cy) * scale;
    l.x1 = (l.x1 - cx) * scale;
    l.y1 = (l.y1 - cy) * scale;
  });
  return kFitOk;
}

}  // namespace

int CreasePatternFitPaper(CreasePattern* cp) {
  return fitToPaper(cp->paper_size, [cp](auto f) {
    for (List* node = cp->lines; node != nullptr && node->data != nullptr; node = node->next) {
      f(*static_cast<Line*>(node->data));
    }
  });
}

int oriFitLinesToPaper(std::vector<Line>* lines, double paper_size) {
  return fitToPaper(paper_size, [lines](auto f) {
    for (Line& l : *lines) f(l);
  });
}

List* CreasePatternLastNode(CreasePattern* cp) {
  if (cp->lines->data == nullptr) return nullptr;
  List* n = cp->lines;
  while (n->next != nullptr) n = n->next;
  return n;
}

void CreasePatternClear(CreasePattern* cp) {
  for (List* n = cp->lines; n != nullptr; n = n->next) {
    std::free(n->data);
    n->data = nullptr;
  }
  listDestruct(cp->lines->next);
  cp->lines->next = nullptr;
}

namespace {

// Lines shorter than this share of the paper are far below the merge
// distance, so the construction would drop them; at the scale of their
// coordinates' rounding they only make the chopping cut rounding noise again
// and again (a drawing squeezed by one far-away line is all such specks).
constexpr double kImportSpeckLength = 1e-9;

// Removes the specks from lines. Returns how many were removed.
int dropSpecks(std::vector<Line>* lines, double paper_size) {
  const double limit = kImportSpeckLength * paper_size;
  size_t kept = 0;
  for (const Line& l : *lines) {
    if (!(std::hypot(l.x1 - l.x0, l.y1 - l.y0) < limit)) (*lines)[kept++] = l;
  }
  const int dropped = static_cast<int>(lines->size() - kept);
  lines->resize(kept);
  return dropped;
}

}  // namespace

int oriManifoldConstructFromCreasePattern(ORI_manifold* om, ORI_manifold* om_old, CreasePattern* cp) {
  // The chain works on the lines as values, in one array.
  std::vector<Line> chain;
  chain.reserve(static_cast<size_t>(listCount(cp->lines)));
  for (List* n = cp->lines; n != nullptr && n->data != nullptr; n = n->next) chain.push_back(*static_cast<Line*>(n->data));
  const double paper_size = cp->paper_size;
  CreasePatternDestruct(cp);
  return oriManifoldConstructFromLineArray(om, om_old, &chain, paper_size);
}

int oriManifoldConstructFromLineArray(ORI_manifold* om, ORI_manifold* om_old, std::vector<Line>* chain,
                                      double paper_size) {
  const int specks = dropSpecks(chain, paper_size);
  if (specks > 0) oriMessage("dropped %d line%s of no length\n", specks, specks == 1 ? "" : "s");
  const int chopped = LineChopLines(chain);
  if (chopped != 0) return chopped;
  // The chopped lines go to the construction as they are, every digit kept,
  // through the same acceptance as the lines of an XML file.
  std::vector<OriPatternLine> lines;
  lines.reserve(chain->size());
  OriLineDrops drops;
  for (const Line& l : *chain) {
    const OriPatternLine line = {l.x0, l.y0, l.x1, l.y1, l.type, l.target};
    if (oriPatternLineAccepted(line, &drops)) lines.push_back(line);
  }
  std::vector<Line>().swap(*chain);
  om->paper_size = paper_size;
  const int result =
      oriManifoldConstructFromAccepted(om, om_old, lines.data(), static_cast<int>(lines.size()), drops);
  if (result != 0) oriMessage("read fail\n");
  return result;
}

int oriReadWholeStream(FILE* fp, size_t max_bytes, std::string* text) {
  text->clear();
  // A stream that can tell its length gets its room at once, instead of
  // copying the text over again as it grows.
  const long at = std::ftell(fp);
  if (at >= 0 && std::fseek(fp, 0, SEEK_END) == 0) {
    const long end = std::ftell(fp);
    if (end > at && static_cast<size_t>(end - at) <= max_bytes) text->reserve(static_cast<size_t>(end - at));
    std::fseek(fp, at, SEEK_SET);
  }
  char buf[65536];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0) {
    if (text->size() + got > max_bytes) {
      text->clear();
      text->shrink_to_fit();
      oriSetReadError("the file is larger than %zu MiB, more than any crease pattern needs", max_bytes >> 20);
      return -1;
    }
    text->append(buf, got);
  }
  if (std::ferror(fp)) {
    text->clear();
    oriSetReadError("the file cannot be read");
    return -1;
  }
  return 0;
}
