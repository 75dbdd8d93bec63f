#include "tests/support/dxf_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "input/dxf_import.h"
#include "input/dxf_reader.h"

namespace {

std::string group(int code, const std::string& value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%3d\n", code);
  return buf + value + "\n";
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

FILE* textStream(const std::string& text) {
  FILE* fp = std::tmpfile();
  if (fp == nullptr) return nullptr;
  std::fwrite(text.data(), 1, text.size(), fp);
  std::rewind(fp);
  return fp;
}

std::string dxfLine(double x0, double y0, double x1, double y1, int color) {
  std::string s = group(0, "LINE") + group(8, "CreaseLayer") + group(6, "CONTINUOUS");
  if (color != kNoColor) s += group(62, std::to_string(color));
  s += group(10, num(x0)) + group(20, num(y0)) + group(30, "0.0");
  s += group(11, num(x1)) + group(21, num(y1)) + group(31, "0.0");
  return s;
}

std::string dxfPolyline(const std::vector<std::pair<double, double>>& points, int flags, int color) {
  std::string s = group(0, "POLYLINE") + group(8, "CreaseLayer");
  if (color != kNoColor) s += group(62, std::to_string(color));
  s += group(66, "1") + group(70, std::to_string(flags));
  for (const auto& p : points) {
    s += group(0, "VERTEX") + group(8, "CreaseLayer") + group(10, num(p.first)) + group(20, num(p.second)) +
         group(30, "0.0");
  }
  return s + group(0, "SEQEND") + group(8, "CreaseLayer");
}

std::string dxfText(const std::vector<std::string>& entities) {
  std::string s = group(0, "SECTION") + group(2, "HEADER") + group(9, "$ACADVER") + group(1, "AC1009") +
                  group(0, "ENDSEC") + group(0, "SECTION") + group(2, "ENTITIES");
  for (const std::string& e : entities) s += e;
  return s + group(0, "ENDSEC") + group(0, "EOF");
}

CreasePattern* readDxfText(const std::string& text, int* result, std::string* out) {
  FILE* fp = textStream(text);
  CreasePattern* cp = CreasePatternNew();
  testing::internal::CaptureStdout();
  const int r = LineFromDxf(cp, fp);
  const std::string printed = testing::internal::GetCapturedStdout();
  std::fclose(fp);
  if (result != nullptr) *result = r;
  if (out != nullptr) *out = printed;
  return cp;
}

std::vector<Line> patternLines(const CreasePattern* cp) {
  std::vector<Line> out;
  for (const List* n = cp->lines; n != nullptr && n->data != nullptr; n = n->next) {
    out.push_back(*static_cast<const Line*>(n->data));
  }
  return out;
}

CreasePattern* patternOf(const std::vector<Line>& lines) {
  CreasePattern* cp = CreasePatternNew();
  List* last = nullptr;
  for (const Line& l : lines) last = listAdd(cp->lines, last, LineNew(l.x0, l.y0, l.x1, l.y1, l.type));
  return cp;
}

ORI_manifold* loadDxfText(const std::string& text, int* result) {
  FILE* fp = textStream(text);
  ORI_manifold* om = oriManifoldNew();
  const int r = oriManifoldConstructFromDxf(om, nullptr, fp);
  std::fclose(fp);
  if (result != nullptr) *result = r;
  if (r != 0) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}
