// The loading dialogue.
//
// Sections: reading a line of the terminal; the file name; the loading loop
// shared by both dialogues; the triangulation question; the settings a new
// model takes; FileOpen and FileNextOpen; opening from the panel.
#include "app/file_open.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/app_state.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "geometry/manifold.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

// A file name has at most this many characters, and a typed line as well.
constexpr size_t kNameBufferSize = 1024;

enum class LineRead { kLine, kTooLong, kEnd };

// Reads one line of in into buf (at most size − 1 characters, no newline).
// The rest of a longer line is read and dropped, so that it is not taken as
// the next answer. kEnd when the input ended before any character.
LineRead readLine(FILE* in, char* buf, size_t size) {
  size_t len = 0;
  bool any = false;
  bool too_long = false;
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) {
      if (!any) {
        buf[0] = '\0';
        return LineRead::kEnd;
      }
      break;
    }
    any = true;
    if (c == '\n') break;
    if (len + 1 < size) {
      buf[len++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  buf[len] = '\0';
  return too_long ? LineRead::kTooLong : LineRead::kLine;
}

// The file name a typed line gives: the text between a leading double quote
// and the next one (or the end of the line when no second quote follows),
// otherwise the whole line.
void nameFromLine(const char* line, char* name) {
  if (line[0] == '"') {
    const char* start = line + 1;
    const char* close = std::strchr(start, '"');
    const size_t len = close != nullptr ? static_cast<size_t>(close - start) : std::strlen(start);
    std::memcpy(name, start, len);
    name[len] = '\0';
  } else {
    std::strcpy(name, line);
  }
}

// The next file name to try: initial_filename when given and short enough,
// otherwise a typed one. False when the input ended.
bool obtainName(FILE* in, const char* initial_filename, char* name) {
  if (initial_filename != nullptr && strnlen(initial_filename, kNameBufferSize) < kNameBufferSize) {
    std::strcpy(name, initial_filename);
    return true;
  }
  for (;;) {
    std::printf("\tfile name? ");
    std::fflush(stdout);
    char line[kNameBufferSize];
    const LineRead r = readLine(in, line, sizeof line);
    if (r == LineRead::kEnd) return false;
    if (r == LineRead::kTooLong) {
      // Part of the name would open another file, or none.
      std::printf("file name too long (at most %zu characters)\n", kNameBufferSize - 1);
      continue;
    }
    nameFromLine(line, name);
    return true;
  }
}

// Asks for names until a pattern is built into *om, placed onto om_old when
// that is given. A reader that fails leaves *om replaced by a fresh manifold,
// so nothing of the failed file reaches the next attempt. Returns
// kFileOpenLoaded, or kFileOpenEndOfInput when the input ended.
int loadLoop(FILE* in, const char* initial_filename, ORI_manifold** om, ORI_manifold* om_old) {
  the.file_loaded = 0;
  const char* initial = initial_filename;
  while (!the.file_loaded) {
    char name[kNameBufferSize];
    if (!obtainName(in, initial, name)) return kFileOpenEndOfInput;
    initial = nullptr;
    FILE* fp = std::fopen(name, "r");
    if (fp == nullptr) continue;
    const int result = oriManifoldConstructFromStream(*om, om_old, fp, name);
    std::fclose(fp);
    if (result == kOriOpenOk) {
      the.file_loaded = 1;
    } else if (result == kOriOpenUnsupported) {
      std::printf("not supported file\n");
    } else {
      std::printf("%s: %s\n", name, oriReadError());
      oriManifoldDelete(*om);
      *om = oriManifoldNew();
    }
  }
  return kFileOpenLoaded;
}

// Asks whether faces of more than three sides are to be cut into
// triangles: 1 unless the answer begins with n or N (an empty answer
// triangulates), -1 when the input ended.
int askTriangulate(FILE* in) {
  std::printf("triangulate polygons?(Y/n)");
  std::fflush(stdout);
  char line[kNameBufferSize];
  if (readLine(in, line, sizeof line) == LineRead::kEnd) return -1;
  return (line[0] == 'n' || line[0] == 'N') ? 0 : 1;
}

void reportEndOfInput(const char* awaited) {
  std::printf("\nend of input while waiting for %s: no crease pattern opened\n", awaited);
  std::fflush(stdout);
}

// A new model folds to the panel's fold amount, in its exact mode, and its
// readout starts over.
void takeFoldSettings() {
  if (the.manifold != nullptr) oriSimSetFoldTo(the.manifold, the.fold_to / 100.0);
  if (the.sim != nullptr) the.sim->exact = the.exact != 0 ? 1 : 0;
  appReadoutReset();
}

}  // namespace

int FileOpenFrom(FILE* in, const char* initial_filename) {
  std::printf("\nopen file\n");
  the.file_loaded = 0;
  the.sim = nullptr;
  the.manifold = oriManifoldNew();
  if (loadLoop(in, initial_filename, &the.manifold, nullptr) != kFileOpenLoaded) {
    reportEndOfInput("a file name");
    oriManifoldDelete(the.manifold);
    the.manifold = nullptr;
    return kFileOpenEndOfInput;
  }
  int triangulate = 1;
  if (!oriManifoldTriangulated(the.manifold)) {
    triangulate = askTriangulate(in);
    if (triangulate < 0) {
      reportEndOfInput("an answer");
      oriManifoldDelete(the.manifold);
      the.manifold = nullptr;
      the.file_loaded = 0;
      return kFileOpenEndOfInput;
    }
  }
  if (oriManifoldPrepareForFolding(the.manifold, triangulate, 0, &the.sim) != 0) {
    std::printf("the pattern has no facet to fold\n");
  }
  takeFoldSettings();
  std::fflush(stdout);
  return kFileOpenLoaded;
}

int FileNextOpenFrom(FILE* in, const char* initial_filename) {
  if (the.manifold == nullptr) return FileOpenFrom(in, initial_filename);
  std::printf("\nopen file\n");
  ORI_manifold* om = oriManifoldNew();
  the.file_loaded = 0;
  if (loadLoop(in, initial_filename, &om, the.manifold) != kFileOpenLoaded) {
    reportEndOfInput("a file name");
    oriManifoldDelete(om);
    return kFileOpenEndOfInput;
  }
  // The question comes before the current model is replaced, so that an
  // input that ends here leaves it as it was.
  int triangulate = 1;
  if (!oriManifoldTriangulated(om)) {
    triangulate = askTriangulate(in);
    if (triangulate < 0) {
      reportEndOfInput("an answer");
      oriManifoldDelete(om);
      the.file_loaded = 0;
      return kFileOpenEndOfInput;
    }
  }
  oriSimDelete(the.sim);
  oriManifoldDelete(the.manifold);
  the.sim = nullptr;
  the.manifold = om;
  if (oriManifoldPrepareForFolding(the.manifold, triangulate, 1, &the.sim) != 0) {
    std::printf("the pattern has no facet to fold\n");
  }
  takeFoldSettings();
  std::fflush(stdout);
  return kFileOpenLoaded;
}

int FileOpen(const char* initial_filename) { return FileOpenFrom(stdin, initial_filename); }

int FileNextOpen(const char* initial_filename) { return FileNextOpenFrom(stdin, initial_filename); }

// ---- Opening from the panel ----

bool appIsPatternName(const char* name) {
  static const char* const kMarks[] = {".opx", ".xml", ".dxf", ".fold", ".svg", ".cp"};
  const size_t len = std::strlen(name);
  for (const char* mark : kMarks) {
    const size_t m = std::strlen(mark);
    if (len > m && std::strcmp(name + len - m, mark) == 0) return true;
  }
  return false;
}

int appOpenPatternFile(const char* path, int onto_folded, int triangulate, std::string* reason) {
  const std::string name = std::filesystem::path(path).filename().string();
  FILE* fp = std::fopen(path, "r");
  if (fp == nullptr) {
    *reason = name + ": cannot open: " + std::strerror(errno);
    return -1;
  }
  ORI_manifold* old = onto_folded ? the.manifold : nullptr;
  ORI_manifold* om = oriManifoldNew();
  const int result = oriManifoldConstructFromStream(om, old, fp, path);
  std::fclose(fp);
  ORISIM_matrix* sim = nullptr;
  if (result == kOriOpenUnsupported) {
    *reason = name + ": not a crease-pattern format";
  } else if (result != kOriOpenOk) {
    // The reader's reason, its first line: the panel shows one.
    const std::string why = oriReadError();
    *reason = name + ": " + (why.empty() ? std::string("cannot be read") : why.substr(0, why.find('\n')));
  } else if (oriManifoldPrepareForFolding(om, triangulate, old != nullptr ? 1 : 0, &sim) != 0) {
    *reason = name + ": the pattern has no facet to fold";
  } else {
    std::fflush(stdout);
    // The folding recorded so far belongs to the model about to be replaced.
    appFoldRecordingStop();
    oriSimDelete(the.sim);
    oriManifoldDelete(the.manifold);
    the.manifold = om;
    the.sim = sim;
    takeFoldSettings();
    reason->clear();
    return 0;
  }
  oriSimDelete(sim);
  oriManifoldDelete(om);
  std::fflush(stdout);
  return -1;
}
