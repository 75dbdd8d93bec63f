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
#include <string>

#include "app/app_state.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "geometry/message.h"
#include "geometry/paper_color.h"
#include "input/examples_dir.h"
#include "input/pattern_file.h"
#include "sheet/sheet.h"
#include "sim/sim_matrix.h"

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
    oriMessage("\tfile name? ");
    std::fflush(stdout);
    char line[kNameBufferSize];
    const LineRead r = readLine(in, line, sizeof line);
    if (r == LineRead::kEnd) return false;
    if (r == LineRead::kTooLong) {
      // Part of the name would open another file, or none.
      oriMessage("file name too long (at most %zu characters)\n", kNameBufferSize - 1);
      continue;
    }
    nameFromLine(line, name);
    return true;
  }
}

// How the window loads a pattern: the paper colour file is read anew for
// every file opened (a changed file shows with the next pattern), and
// triangulation as the Files rollout's box says (the dialogues ask instead).
ORI_loadOptions windowLoad(ORI_paperColors* paper) {
  oriPaperColorsLoad(paper, kOriPaperColorFile);
  ORI_loadOptions load;
  load.triangulate = the.triangulate != 0;
  load.paper = paper;
  return load;
}

// Opens the file a typed or given name stands for (a pattern's name that is
// nothing where it is given may be an example's: oriFindPattern), *file
// receiving its path; null after printing why it cannot be opened.
FILE* openPattern(const char* name, std::string* file) {
  *file = name;
  ORI_result why = oriPatternFormat(name) != kOriPatternUnknown ? oriFindPattern(name, file) : oriOk();
  FILE* fp = oriFailed(why) ? nullptr : std::fopen(file->c_str(), "r");
  if (fp == nullptr) {
    if (!oriFailed(why)) why = oriFail(kOriFailUnreadable, name, std::string("cannot open: ") + std::strerror(errno));
    oriMessage("%s\n", oriResultText(why).c_str());
  }
  return fp;
}

// Asks for names until a pattern is read into the sheet, pending, placed
// onto the folded pattern when onto_folded is set. Returns kFileOpenLoaded,
// or kFileOpenEndOfInput when the input ended.
int loadLoop(FILE* in, const char* initial_filename, int onto_folded) {
  the.file_loaded = 0;
  const char* initial = initial_filename;
  std::string file;
  while (!the.file_loaded) {
    char name[kNameBufferSize];
    if (!obtainName(in, initial, name)) return kFileOpenEndOfInput;
    initial = nullptr;
    FILE* fp = openPattern(name, &file);
    if (fp == nullptr) continue;
    ORI_paperColors paper;
    const ORI_result r = oriSheetReadStream(appSheet(), fp, file.c_str(), onto_folded, windowLoad(&paper));
    std::fclose(fp);
    if (!oriFailed(r)) {
      the.file_loaded = 1;
    } else if (r.code == kOriFailUnsupported) {
      oriMessage("not supported file\n");
    } else {
      oriMessage("%s: %s\n", name, r.why.c_str());
    }
  }
  return kFileOpenLoaded;
}

// Asks whether faces of more than three sides are to be cut into
// triangles: 1 unless the answer begins with n or N (an empty answer
// triangulates), -1 when the input ended.
int askTriangulate(FILE* in) {
  oriMessage("triangulate polygons?(Y/n)");
  std::fflush(stdout);
  char line[kNameBufferSize];
  if (readLine(in, line, sizeof line) == LineRead::kEnd) return -1;
  return (line[0] == 'n' || line[0] == 'N') ? 0 : 1;
}

void reportEndOfInput(const char* awaited) {
  oriMessage("\nend of input while waiting for %s: no crease pattern opened\n", awaited);
  std::fflush(stdout);
}

// The end of the matrix report on the window's terminal: the address of
// the Jacobian's storage, as the window has always printed it (the core's
// report leaves it out, since it differs from run to run).
void reportMatrixData() {
  if (appSim() != nullptr) oriMessage(" data: %p\n", oriSimJacobianData(appSim()));
}

// Prepares the pending pattern and makes it the sheet's: a new model folds
// by the panel's fold options, and its readout starts over. The recording
// of the model it replaces was written when the open was asked for. A
// pattern without a facet is said so and leaves the present model.
void adoptPending(int triangulate) {
  ORI_sheet* sheet = appSheet();
  appApplyFoldOptions();
  ORI_result r = oriSheetPrepare(sheet, triangulate);
  if (!oriFailed(r)) {
    appSyncRecording();
    r = oriSheetAdopt(sheet);
  }
  if (oriFailed(r)) {
    oriMessage("%s\n", r.why.c_str());
  } else {
    reportMatrixData();
  }
  appReadoutReset();
}

// The triangulation question, unless the pending pattern has only
// triangles: 1 or 0, or -1 when the input ended (said so; nothing pending).
int pendingTriangulate(FILE* in) {
  if (oriSheetPendingTriangulated(appSheet())) return 1;
  const int triangulate = askTriangulate(in);
  if (triangulate < 0) {
    reportEndOfInput("an answer");
    oriSheetDropPending(appSheet());
    the.file_loaded = 0;
  }
  return triangulate;
}

// The dialogue of both: the name, the question, then the new model.
int openDialogue(FILE* in, const char* initial_filename, int onto_folded) {
  oriMessage("\nopen file\n");
  the.file_loaded = 0;
  if (loadLoop(in, initial_filename, onto_folded) != kFileOpenLoaded) {
    reportEndOfInput("a file name");
    return kFileOpenEndOfInput;
  }
  const int triangulate = pendingTriangulate(in);
  if (triangulate < 0) return kFileOpenEndOfInput;
  adoptPending(triangulate);
  std::fflush(stdout);
  return kFileOpenLoaded;
}

}  // namespace

int FileOpenFrom(FILE* in, const char* initial_filename) { return openDialogue(in, initial_filename, 0); }

int FileNextOpenFrom(FILE* in, const char* initial_filename) {
  // The question comes before the present model is replaced, so that an
  // input that ends there leaves it as it was.
  return openDialogue(in, initial_filename, appManifold() != nullptr ? 1 : 0);
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
  ORI_sheet* sheet = appSheet();
  ORI_paperColors paper;
  ORI_result r = oriSheetReadStream(sheet, fp, path, onto_folded, windowLoad(&paper));
  std::fclose(fp);
  if (!oriFailed(r)) {
    appApplyFoldOptions();
    r = oriSheetPrepare(sheet, triangulate);
  }
  std::fflush(stdout);
  if (oriFailed(r)) {
    // The panel shows one line: the reason's first.
    *reason = name + ": " + (r.code == kOriFailUnsupported ? std::string("not a crease-pattern format")
                                                            : r.why.substr(0, r.why.find('\n')));
    return -1;
  }
  // The folding recorded so far belongs to the model about to be replaced.
  appFoldRecordingStop();
  appSyncRecording();
  oriSheetAdopt(sheet);
  reportMatrixData();
  appReadoutReset();
  reason->clear();
  return 0;
}
