// What a call that can fail hands back: success, or what failed and why, in
// one record that every layer of the core returns, so that a failure is
// worded once, where it is found, and travels to the front end whole. The
// front ends only frame it: plicata-fold prints "plicata-fold: SUBJECT: WHY"
// and chooses its exit status by the code, the Python package raises one
// exception class per code with "SUBJECT: WHY", the window prints it or
// shows it in the panel. Nothing in the core prints a failure it returns.
#pragma once

#include <string>
#include <utility>

// What kind of failure; front ends choose their exit status or exception
// class by it.
enum OriResultCode {
  kOriOk = 0,
  kOriFailUnreadable = 1,   // a pattern file cannot be opened for reading
  kOriFailUnsupported = 2,  // a pattern's name names no format the readers take
  kOriFailRead = 3,         // a pattern file was read but gives no crease pattern (the reader's reason)
  kOriFailEmpty = 4,        // a pattern was built but has no facet to fold
  kOriFailWrite = 5,        // an output file or directory cannot be made or written
  kOriFailRecord = 6,       // a shape cannot be recorded (a position or angle is not finite)
  kOriFailArgument = 7,     // a setting or an argument is outside its range
  kOriFailNoPattern = 8,    // the call needs a pattern and the sheet holds none
  kOriFailSolve = 9,        // an analysis or a step cannot be carried out (a factorisation failed, a motion ends)
};

struct ORI_result {
  int code = kOriOk;    // an OriResultCode
  std::string subject;  // what failed, as the caller named it: a file or directory path, a setting's name
  std::string why;      // why, without the subject; one line (a reader may give more, the first says most)
};

// Success.
inline ORI_result oriOk() { return ORI_result{}; }

// A failure of kind code about subject.
inline ORI_result oriFail(int code, std::string subject, std::string why) {
  return ORI_result{code, std::move(subject), std::move(why)};
}

inline bool oriFailed(const ORI_result& r) { return r.code != kOriOk; }

// The failure in one line as the front ends print it after their own name:
// "SUBJECT: WHY", or WHY alone without a subject; "" for success.
inline std::string oriResultText(const ORI_result& r) {
  if (r.code == kOriOk) return std::string();
  return r.subject.empty() ? r.why : r.subject + ": " + r.why;
}
