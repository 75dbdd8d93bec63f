// The diagnosis marks and text.
//
// Sections: the scale texture and the hatch; the closure map; the collision
// hatch; text; the legend; the text box.
#include "render/draw_marks.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "render/color_scale.h"
#include "render/marks.h"
#include "render/shading.h"

// The bitmap font of the legend and the help: letters built of quads, so
// that they need no font file and draw the same in the window and off
// screen. The header defines static functions, some of them unused here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_easy_font.h>
#pragma GCC diagnostic pop

namespace {

// ---- The scale texture and the hatch ----

// Texels of the closure scale's texture.
constexpr int kScaleTexels = 256;

// Binds (making it at first use in this context) the one-dimensional texture
// of the closure scale.
void bindScaleTexture() {
  static GLuint texture = 0;
  if (texture != 0 && glIsTexture(texture)) {
    glBindTexture(GL_TEXTURE_1D, texture);
    return;
  }
  unsigned char texels[kScaleTexels * 3];
  for (int i = 0; i < kScaleTexels; ++i) {
    float rgb[3];
    oriGLScaleColor(static_cast<double>(i) / (kScaleTexels - 1), rgb);
    for (int c = 0; c < 3; ++c) texels[3 * i + c] = static_cast<unsigned char>(std::lround(rgb[c] * 255.0f));
  }
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_1D, texture);
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB8, kScaleTexels, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
}

// The texture coordinate of t on the scale: the centres of the first and
// last texels, so that the ends show the scale's end colours exactly.
GLfloat scaleCoord(double t) {
  return static_cast<GLfloat>((0.5 + t * (kScaleTexels - 1)) / kScaleTexels);
}

// Texturing with the scale texture alone, within a glPushAttrib of
// GL_ENABLE_BIT | GL_TEXTURE_BIT.
void beginScaleTexture() {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_TEXTURE_1D);
  bindScaleTexture();
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}

// Diagonal stripes three pixels wide every eight: half the face keeps its
// own colour, so that the closure map stays readable under the warning.
void setHatch() {
  static GLubyte pattern[32 * 4];
  for (int y = 0; y < 32; ++y) {
    for (int byte = 0; byte < 4; ++byte) {
      GLubyte bits = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int x = byte * 8 + bit;
        if ((x + y) % 8 < 3) bits = static_cast<GLubyte>(bits | (0x80 >> bit));
      }
      pattern[y * 4 + byte] = bits;
    }
  }
  glPolygonStipple(pattern);
  glEnable(GL_POLYGON_STIPPLE);
}

// A vertex's place on the scale shown: the strain map's when marks.strain
// is set, else the closure map's.
double vertexScale(const OriGLMarks& marks, const ORI_vert* v) {
  const int i = v->index;
  const std::vector<double>& values = marks.strain ? marks.vertex_strain : marks.vertex_closure;
  if (i < 0 || static_cast<size_t>(i) >= values.size()) return 0.0;
  return marks.strain ? oriGLStrainScale(values[i]) : oriGLClosureScale(values[i]);
}

constexpr float kWhite[3] = {1.0f, 1.0f, 1.0f};

void cpPoint(const ORI_vert* v) {
  const ORI_edge* h = v->out[0];
  glVertex3f(static_cast<GLfloat>(h->x0), static_cast<GLfloat>(h->y0), 0.0f);
}

// ---- Text ----

// Height of a line of text at scale 1, pixels.
constexpr int kTextLine = 12;

std::string printable(const char* text) {
  std::string s(text);
  for (char& c : s) {
    if (c < 32 || c > 126) c = '?';
  }
  return s;
}

int textWidth(const char* text) {
  std::string s = printable(text);
  return stb_easy_font_width(&s[0]);
}

// Text with its top left corner at (x, y) in the current pixel coordinates
// (y down), scale times the font's size, in the current colour.
void drawText(float x, float y, const char* text, float scale) {
  std::string s = printable(text);
  // About 270 bytes a character, as the font's author measures.
  std::vector<char> quads(s.size() * 300 + 64);
  const int n = stb_easy_font_print(0.0f, 0.0f, &s[0], nullptr, quads.data(), static_cast<int>(quads.size()));
  glPushMatrix();
  glTranslatef(x, y, 0.0f);
  glScalef(scale, scale, 1.0f);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 16, quads.data());
  glDrawArrays(GL_QUADS, 0, n * 4);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

// Pixel coordinates over the whole drawing area (w × h, y down), nothing
// tested, blended, textured or stippled; undone by endOverlay.
void beginOverlay(int w, int h) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, w, h, 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(0, 0, w, h);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_FOG);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LINE_STIPPLE);
  glDisable(GL_POLYGON_STIPPLE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLineWidth(1.0f);
}

void endOverlay() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

// A light box with a thin black rim.
void drawBox(float x0, float y0, float x1, float y1) {
  glColor4f(1.0f, 1.0f, 1.0f, 0.88f);
  glRectf(x0, y0, x1, y1);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0 + 0.5f, y0 + 0.5f);
  glVertex2f(x1 - 0.5f, y0 + 0.5f);
  glVertex2f(x1 - 0.5f, y1 - 0.5f);
  glVertex2f(x0 + 0.5f, y1 - 0.5f);
  glEnd();
}

// ---- The legend ----

constexpr int kLegendPad = 6;
constexpr int kLegendRow = 13;
constexpr int kBarLeft = 14, kBarWidth = 200, kBarHeight = 9;
// Rows of a scale: its title, its bar, its labels; a gap after it.
constexpr int kScaleRows = 3;
constexpr int kScaleGap = 4;
// The crease colours' row: two line samples this long with their names.
constexpr int kCreaseSample = 24;
static_assert(2 * kLegendPad + 2 * (kScaleRows * kLegendRow + kScaleGap) + kLegendRow + 2 <= kOriLegendMaxHeight,
              "the largest legend fits its place");
// The crease-pattern view colours its fold lines by the closure map or by
// their kinds, never both: with the crease colours one scale at most.
static_assert(2 * kLegendPad + kScaleRows * kLegendRow + kScaleGap + 2 * kLegendRow + 2 <= kOriLegendMaxHeight,
              "the legend with the crease colours fits its place");

// A bar of kBarWidth at (x, y) with its black rim and the labels under its
// ticks (count evenly spaced from the left end to the right end).
void drawBarRim(float x, float y, const char* const* labels, int count) {
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x - 0.5f, y - 0.5f);
  glVertex2f(x + kBarWidth + 0.5f, y - 0.5f);
  glVertex2f(x + kBarWidth + 0.5f, y + kBarHeight + 0.5f);
  glVertex2f(x - 0.5f, y + kBarHeight + 0.5f);
  glEnd();
  for (int i = 0; i < count; ++i) {
    const float tx = x + static_cast<float>(kBarWidth) * i / (count - 1);
    glBegin(GL_LINES);
    glVertex2f(tx, y + kBarHeight);
    glVertex2f(tx, y + kBarHeight + 3.0f);
    glEnd();
    const float lw = static_cast<float>(textWidth(labels[i]));
    drawText(tx - lw / 2.0f, y + kBarHeight + 4.0f, labels[i], 1.0f);
  }
}

}  // namespace

// ---- The closure map ----

int oriGLDrawFaceClosure(ORI_manifold* om, const OriGLMarks& marks) {
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_POLYGON_BIT);
  glDisable(GL_CULL_FACE);
  beginScaleTexture();
  std::vector<const ORI_vert*> corners;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    corners.clear();
    const ORI_edge* e = f->first;
    do {
      corners.push_back(e->vert);
      e = e->next;
    } while (e != f->first && static_cast<int>(corners.size()) <= om->n_edge);
    // A face of more than three corners is fanned from its centre, which
    // takes the mean of its corners' places: a fan from one corner would
    // spread a torn corner's colour over some triangles of the face and not
    // others, as the corners happen to be listed.
    glBegin(GL_TRIANGLE_FAN);
    if (corners.size() > 3) {
      double t = 0.0;
      vector3d c = {0.0, 0.0, 0.0};
      for (const ORI_vert* v : corners) {
        t += vertexScale(marks, v);
        c += v->pos;
      }
      const double n = static_cast<double>(corners.size());
      glTexCoord1f(scaleCoord(t / n));
      glVertex3f(static_cast<GLfloat>(c.x / n), static_cast<GLfloat>(c.y / n), static_cast<GLfloat>(c.z / n));
      corners.push_back(corners.front());
    }
    for (const ORI_vert* v : corners) {
      glTexCoord1f(scaleCoord(vertexScale(marks, v)));
      glVertex3f(static_cast<GLfloat>(v->pos.x), static_cast<GLfloat>(v->pos.y), static_cast<GLfloat>(v->pos.z));
    }
    glEnd();
  }
  glPopAttrib();
  return 0;
}

int oriGLDrawVertClosureCP(ORI_manifold* om, const OriGLMarks& marks) {
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_1D);
  // The rims first, then the squares inside them: points of one size go to
  // OpenGL together.
  for (const bool rim : {true, false}) {
    glPointSize(rim ? kOriClosureDotSize : kOriClosureDotSize - 2.0f);
    glBegin(GL_POINTS);
    for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      if (v->n_out == 0 || (v->sim_index < 0 && !marks.strain)) continue;
      float rgb[3] = {0.0f, 0.0f, 0.0f};
      if (!rim) oriGLScaleColor(vertexScale(marks, v), rgb);
      glColor3fv(rgb);
      cpPoint(v);
    }
    glEnd();
  }
  glPopAttrib();
  return 0;
}

int oriGLDrawVertFlatFailCP(ORI_manifold* om, const OriGLMarks& marks) {
  if (marks.flat_fail.empty()) return 0;
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_DEPTH_TEST);
  // A ring: the coloured square, then the middle of it cleared to white,
  // so that the vertex and its lines stay readable inside.
  int marked = 0;
  for (const bool outer : {true, false}) {
    glPointSize(outer ? kOriFlatFailRingSize : kOriFlatFailRingSize - 6.0f);
    glColor3fv(outer ? kOriFlatFailColor : kWhite);
    glBegin(GL_POINTS);
    for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      if (v->n_out == 0 || v->index < 0 || static_cast<size_t>(v->index) >= marks.flat_fail.size()) continue;
      if (marks.flat_fail[v->index] == 0) continue;
      cpPoint(v);
      if (outer) ++marked;
    }
    glEnd();
  }
  glPopAttrib();
  return marked;
}

// ---- The collision hatch ----

int oriGLDrawFaceHit(ORI_manifold* om, const OriGLMarks& marks, bool cp) {
  if (marks.pairs <= 0) return 0;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_POLYGON_STIPPLE_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_CULL_FACE);
  glDepthFunc(GL_LEQUAL);
  setHatch();
  glColor3fv(kOriCollisionColor);
  int hatched = 0;
  size_t position = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++position) {
    if (position >= marks.face_hit.size() || marks.face_hit[position] == 0) continue;
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    glBegin(GL_POLYGON);
    const ORI_edge* e = f->first;
    int corners = 0;
    do {
      if (cp) {
        glVertex3f(static_cast<GLfloat>(e->x1), static_cast<GLfloat>(e->y1), 0.0f);
      } else {
        const vector3d& p = e->vert->pos;
        glVertex3f(static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y), static_cast<GLfloat>(p.z));
      }
      e = e->next;
    } while (e != f->first && ++corners <= om->n_edge);
    glEnd();
    ++hatched;
  }
  glPopAttrib();
  return hatched;
}

// ---- The legend ----

namespace {

// The crease colours are shown unless the closure map colours the pattern's
// fold lines instead.
bool showsCreases(const OriGLMarks& marks, bool fold_lines, OriLegendCreases creases) {
  // The fold lines' own scale (closure map, not the strain map) takes the
  // place of the crease colours.
  return creases != kOriLegendNoCreases && !(marks.closure && !marks.strain && fold_lines);
}

// A sample line of a kind of crease from (x, y) and its name after it.
void drawCreaseSample(float x, float y, const float rgb[3], bool dashed, float width, const char* name) {
  glPushAttrib(GL_LINE_BIT | GL_ENABLE_BIT);
  glLineWidth(width);
  if (dashed) {
    glLineStipple(static_cast<GLint>(width), kOriStippleDashed);
    glEnable(GL_LINE_STIPPLE);
  }
  glColor3fv(rgb);
  glBegin(GL_LINES);
  glVertex2f(x, y);
  glVertex2f(x + kCreaseSample, y);
  glEnd();
  glPopAttrib();
  glColor3f(0.0f, 0.0f, 0.0f);
  drawText(x + kCreaseSample + 6.0f, y - 4.0f, name, 1.0f);
}

}  // namespace

int oriGLLegendHeight(const OriGLMarks& marks, bool fold_lines, OriLegendCreases creases) {
  int rows = 0;
  if (marks.strain) {
    rows += kScaleRows * kLegendRow + kScaleGap + kLegendRow;
  } else if (marks.closure) {
    rows += kScaleRows * kLegendRow + kScaleGap;
    if (fold_lines) rows += kScaleRows * kLegendRow + kScaleGap;
  }
  if (showsCreases(marks, fold_lines, creases)) rows += kLegendRow;
  if (marks.pairs > 0) rows += kLegendRow + 2;
  return rows > 0 ? rows + 2 * kLegendPad : 0;
}

void oriGLDrawLegend(const OriGLMarks& marks, bool fold_lines, int w, int h, OriLegendCreases creases) {
  const int height = oriGLLegendHeight(marks, fold_lines, creases);
  if (height == 0) return;
  beginOverlay(w, h);
  const float left = static_cast<float>(kOriLegendMargin);
  const float top = static_cast<float>(h - kOriLegendMargin - height);
  drawBox(left, top, left + kOriLegendWidth, top + height);
  float y = top + kLegendPad;
  const float bar_x = left + kBarLeft;
  if (marks.closure || marks.strain) {
    glColor3f(0.0f, 0.0f, 0.0f);
    drawText(left + kLegendPad, y,
             marks.strain ? "strain at a vertex: largest change of length" : "closure error at a vertex, radians", 1.0f);
    y += kLegendRow;
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glDisable(GL_BLEND);
    beginScaleTexture();
    glBegin(GL_QUADS);
    glTexCoord1f(scaleCoord(0.0));
    glVertex2f(bar_x, y);
    glTexCoord1f(scaleCoord(1.0));
    glVertex2f(bar_x + kBarWidth, y);
    glVertex2f(bar_x + kBarWidth, y + kBarHeight);
    glTexCoord1f(scaleCoord(0.0));
    glVertex2f(bar_x, y + kBarHeight);
    glEnd();
    glPopAttrib();
    static const char* const kDecades[] = {"1e-6", "1e-5", "1e-4", "1e-3", "1e-2", "1e-1"};
    drawBarRim(bar_x, y, kDecades, 6);
    y += 2 * kLegendRow + kScaleGap;
  }
  if (marks.strain) {
    char text[96];
    std::snprintf(text, sizeof text, "largest bend of a facet: %.3f rad", marks.largest_bend);
    glColor3f(0.0f, 0.0f, 0.0f);
    drawText(left + kLegendPad, y, text, 1.0f);
    y += kLegendRow;
  }
  if (marks.closure && !marks.strain && fold_lines) {
    glColor3f(0.0f, 0.0f, 0.0f);
    drawText(left + kLegendPad, y, "fold line: share of its target to go", 1.0f);
    y += kLegendRow;
    float near[3], far[3];
    oriGLToGoColor(0.0, near);
    oriGLToGoColor(1.0, far);
    glBegin(GL_QUADS);
    glColor3fv(near);
    glVertex2f(bar_x, y);
    glColor3fv(far);
    glVertex2f(bar_x + kBarWidth, y);
    glVertex2f(bar_x + kBarWidth, y + kBarHeight);
    glColor3fv(near);
    glVertex2f(bar_x, y + kBarHeight);
    glEnd();
    static const char* const kShares[] = {"0", "1/2", "all"};
    drawBarRim(bar_x, y, kShares, 3);
    y += 2 * kLegendRow + kScaleGap;
  }
  if (showsCreases(marks, fold_lines, creases)) {
    const bool pattern = creases == kOriLegendCreasesPattern;
    const float mid = y + kLegendRow / 2.0f;
    drawCreaseSample(bar_x, mid, kOriMountainColor, false, 2.0f, "mountain");
    drawCreaseSample(bar_x + 100.0f, mid, kOriValleyColor, pattern, pattern ? 2.0f : 1.0f, "valley");
    y += kLegendRow;
  }
  if (marks.pairs > 0) {
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT);
    setHatch();
    glColor3fv(kOriCollisionColor);
    glRectf(bar_x, y, bar_x + 24.0f, y + kBarHeight + 1.0f);
    glPopAttrib();
    char text[96];
    std::snprintf(text, sizeof text, "%d pair%s of faces pass through", marks.pairs, marks.pairs == 1 ? "" : "s");
    glColor3f(0.0f, 0.0f, 0.0f);
    drawText(bar_x + 32.0f, y + 1.0f, text, 1.0f);
  }
  endOverlay();
}

// ---- The text box ----

int oriGLDrawTextBox(const char* const* lines, int n, int w, int h) {
  if (n <= 0) return 0;
  std::vector<std::string> first(n), second(n);
  int first_w = 0, second_w = 0;
  for (int i = 0; i < n; ++i) {
    const std::string line = lines[i];
    const size_t tab = line.find('\t');
    first[i] = line.substr(0, tab);
    if (tab != std::string::npos) second[i] = line.substr(tab + 1);
    const int a = textWidth(first[i].c_str()), b = textWidth(second[i].c_str());
    first_w = a > first_w ? a : first_w;
    second_w = b > second_w ? b : second_w;
  }
  constexpr int kPad = 10;
  constexpr int kColumnGap = 12;
  const int widest = first_w + (second_w > 0 ? kColumnGap + second_w : 0);
  // Twice the font's size where the box fits so, else its own size.
  const int scale = 2 * widest + 2 * kPad <= w && 2 * n * kTextLine + 2 * kPad <= h ? 2 : 1;
  const float bw = static_cast<float>(scale * widest + 2 * kPad), bh = static_cast<float>(scale * n * kTextLine + 2 * kPad);
  const float x0 = (w - bw) / 2.0f, y0 = (h - bh) / 2.0f;
  const float second_x = x0 + kPad + static_cast<float>(scale * (first_w + kColumnGap));
  beginOverlay(w, h);
  drawBox(x0, y0, x0 + bw, y0 + bh);
  glColor3f(0.0f, 0.0f, 0.0f);
  for (int i = 0; i < n; ++i) {
    const float y = y0 + kPad + static_cast<float>(scale * i * kTextLine);
    drawText(x0 + kPad, y, first[i].c_str(), static_cast<float>(scale));
    drawText(second_x, y, second[i].c_str(), static_cast<float>(scale));
  }
  endOverlay();
  return 0;
}
