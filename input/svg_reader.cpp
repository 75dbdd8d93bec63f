// SVG reader.
//
// Sections: colours; numbers and transforms; the markup scanner (tags,
// attributes, comments, CDATA, DOCTYPE); styles (the style property and the
// class rules of style elements); shapes to segments; the reader.
//
// The document is read whole into memory and scanned twice: first for the
// style elements (a class rule may come after the elements that use it),
// then for the shapes, with a stack of the open elements carrying the
// transform and the inherited stroke and visibility.
#include "input/svg_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "geometry/message.h"
#include "input/construct.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"

namespace {

// ---------------------------------------------------------------- colours

// A colour whose channels (0-255) differ by less than this has no hue: black,
// greys and white.
constexpr int kSvgGreyChroma = 48;
// Greys up to this lightness are boundary lines; lighter ones (white,
// gainsboro) are paper, not ink.
constexpr int kSvgLightestGrey = 215;
// A hue needs at least this saturation (chroma over the largest channel) to
// count as red or blue: pink and light blue are other colours.
constexpr double kSvgHueSaturation = 0.5;
// Hue ranges, degrees: red within kSvgRedHue of 0, blue between the two
// bounds.
constexpr double kSvgRedHue = 30.0;
constexpr double kSvgBlueHueLow = 200.0;
constexpr double kSvgBlueHueHigh = 260.0;
// A fold line of full opacity folds by half a turn (radians).
constexpr double kSvgHalfTurn = 3.14159265358979323846;

struct SvgNamedColor {
  const char* name;
  int r, g, b;
};

const SvgNamedColor kSvgNamedColors[] = {
    {"black", 0, 0, 0},           {"white", 255, 255, 255},     {"red", 255, 0, 0},
    {"blue", 0, 0, 255},          {"green", 0, 128, 0},         {"lime", 0, 255, 0},
    {"yellow", 255, 255, 0},      {"cyan", 0, 255, 255},        {"aqua", 0, 255, 255},
    {"magenta", 255, 0, 255},     {"fuchsia", 255, 0, 255},     {"gray", 128, 128, 128},
    {"grey", 128, 128, 128},      {"darkgray", 169, 169, 169},  {"darkgrey", 169, 169, 169},
    {"dimgray", 105, 105, 105},   {"dimgrey", 105, 105, 105},   {"lightgray", 211, 211, 211},
    {"lightgrey", 211, 211, 211}, {"silver", 192, 192, 192},    {"gainsboro", 220, 220, 220},
    {"navy", 0, 0, 128},          {"darkblue", 0, 0, 139},      {"mediumblue", 0, 0, 205},
    {"royalblue", 65, 105, 225},  {"maroon", 128, 0, 0},        {"darkred", 139, 0, 0},
    {"crimson", 220, 20, 60},     {"firebrick", 178, 34, 34},   {"orange", 255, 165, 0},
    {"purple", 128, 0, 128},      {"teal", 0, 128, 128},        {"olive", 128, 128, 0},
    {"pink", 255, 192, 203},      {"lightblue", 173, 216, 230}, {"darkgreen", 0, 100, 0},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One channel of rgb(): a number, or a percentage of 255; clamped.
bool rgbChannel(const char** s, int* out) {
  char* end = nullptr;
  double v = std::strtod(*s, &end);
  if (end == *s || !std::isfinite(v)) return false;
  if (*end == '%') {
    v = v * 2.55;
    ++end;
  }
  *out = static_cast<int>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
  while (*end == ' ' || *end == ',' || *end == '\t') ++end;
  *s = end;
  return true;
}

// Parses a colour (lower case, trimmed) into 0-255 channels.
bool parseColor(const std::string& v, int rgb[3]) {
  if (!v.empty() && v[0] == '#') {
    const size_t n = v.size() - 1;
    int d[8];
    if (n != 3 && n != 4 && n != 6 && n != 8) return false;
    for (size_t k = 0; k < n; ++k) {
      if ((d[k] = hexDigit(v[k + 1])) < 0) return false;
    }
    for (int k = 0; k < 3; ++k) rgb[k] = (n <= 4) ? d[k] * 17 : d[2 * k] * 16 + d[2 * k + 1];
    return true;
  }
  if (v.compare(0, 4, "rgb(") == 0 || v.compare(0, 5, "rgba(") == 0) {
    const char* s = v.c_str() + v.find('(') + 1;
    while (*s == ' ') ++s;
    for (int k = 0; k < 3; ++k) {
      if (!rgbChannel(&s, &rgb[k])) return false;
    }
    return true;
  }
  for (const SvgNamedColor& c : kSvgNamedColors) {
    if (v == c.name) {
      rgb[0] = c.r;
      rgb[1] = c.g;
      rgb[2] = c.b;
      return true;
    }
  }
  return false;
}

int colorLineType(const int rgb[3]) {
  const int hi = std::max(rgb[0], std::max(rgb[1], rgb[2]));
  const int lo = std::min(rgb[0], std::min(rgb[1], rgb[2]));
  const int chroma = hi - lo;
  if (chroma < kSvgGreyChroma) return hi <= kSvgLightestGrey ? 1 : 0;
  if (chroma < kSvgHueSaturation * hi) return 0;
  const double r = rgb[0], g = rgb[1], b = rgb[2];
  double hue;
  if (hi == rgb[0]) {
    hue = 60.0 * std::fmod((g - b) / chroma + 6.0, 6.0);
  } else if (hi == rgb[1]) {
    hue = 60.0 * ((b - r) / chroma + 2.0);
  } else {
    hue = 60.0 * ((r - g) / chroma + 4.0);
  }
  if (hue < kSvgRedHue || hue > 360.0 - kSvgRedHue) return kOriLineTypeMountain;
  if (hue >= kSvgBlueHueLow && hue <= kSvgBlueHueHigh) return kOriLineTypeValley;
  return 0;
}

// ------------------------------------------------ numbers and transforms

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

void skipSeparators(const std::string& s, size_t* pos) {
  while (*pos < s.size() && (isSpace(s[*pos]) || s[*pos] == ',')) ++*pos;
}

// Reads an SVG number at *pos (after white space and commas): sign, digits
// with an optional fraction ("10", "1.", ".5"), an optional exponent. Numbers
// may follow each other without a separator ("10-92", "1.5.5"). Returns false,
// with *pos at the character that is not a number, when none is there or the
// value is not finite.
bool scanNumber(const std::string& s, size_t* pos, double* v) {
  skipSeparators(s, pos);
  size_t p = *pos;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  size_t digits = 0;
  while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) ++p, ++digits;
  if (p < s.size() && s[p] == '.') {
    ++p;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) ++p, ++digits;
  }
  if (digits == 0) return false;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    size_t q = p + 1;
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
    if (q < s.size() && std::isdigit(static_cast<unsigned char>(s[q]))) {
      while (q < s.size() && std::isdigit(static_cast<unsigned char>(s[q]))) ++q;
      p = q;
    }
  }
  const std::string text = s.substr(*pos, p - *pos);
  const double value = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(value)) return false;
  *v = value;
  *pos = p;
  return true;
}

// The leading number of an attribute value ("432", "12.5px"); 0 when none.
double attributeNumber(const std::string& value) {
  size_t pos = 0;
  double v = 0.0;
  return scanNumber(value, &pos, &v) ? v : 0.0;
}

// An affine map: x' = a·x + c·y + e, y' = b·x + d·y + f.
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// m · n: n applied first.
Affine compose(const Affine& m, const Affine& n) {
  Affine r;
  r.a = m.a * n.a + m.c * n.b;
  r.b = m.b * n.a + m.d * n.b;
  r.c = m.a * n.c + m.c * n.d;
  r.d = m.b * n.c + m.d * n.d;
  r.e = m.a * n.e + m.c * n.f + m.e;
  r.f = m.b * n.e + m.d * n.f + m.f;
  return r;
}

constexpr double kDegree = 3.14159265358979323846 / 180.0;

// Parses a transform list ("translate(10 20) rotate(45)") into *out, the
// first function outermost. False when it does not parse.
bool parseTransform(const std::string& s, Affine* out) {
  Affine m;
  size_t pos = 0;
  while (true) {
    skipSeparators(s, &pos);
    if (pos >= s.size()) break;
    size_t name_end = pos;
    while (name_end < s.size() && std::isalpha(static_cast<unsigned char>(s[name_end]))) ++name_end;
    const std::string name = s.substr(pos, name_end - pos);
    pos = name_end;
    while (pos < s.size() && isSpace(s[pos])) ++pos;
    if (name.empty() || pos >= s.size() || s[pos] != '(') return false;
    ++pos;
    double v[6];
    int n = 0;
    while (n < 6 && scanNumber(s, &pos, &v[n])) ++n;
    skipSeparators(s, &pos);
    if (pos >= s.size() || s[pos] != ')') return false;
    ++pos;
    Affine t;
    if (name == "matrix" && n == 6) {
      t.a = v[0], t.b = v[1], t.c = v[2], t.d = v[3], t.e = v[4], t.f = v[5];
    } else if (name == "translate" && (n == 1 || n == 2)) {
      t.e = v[0];
      t.f = n == 2 ? v[1] : 0.0;
    } else if (name == "scale" && (n == 1 || n == 2)) {
      t.a = v[0];
      t.d = n == 2 ? v[1] : v[0];
    } else if (name == "rotate" && (n == 1 || n == 3)) {
      const double cs = std::cos(v[0] * kDegree), sn = std::sin(v[0] * kDegree);
      t.a = cs, t.b = sn, t.c = -sn, t.d = cs;
      if (n == 3) {
        Affine to, back;
        to.e = v[1], to.f = v[2];
        back.e = -v[1], back.f = -v[2];
        t = compose(to, compose(t, back));
      }
    } else if (name == "skewX" && n == 1) {
      t.c = std::tan(v[0] * kDegree);
    } else if (name == "skewY" && n == 1) {
      t.b = std::tan(v[0] * kDegree);
    } else {
      return false;
    }
    m = compose(m, t);
  }
  *out = m;
  return true;
}

// -------------------------------------------------------- markup scanner

struct SvgTag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attrs;
  bool end = false;           // </name>
  bool self_closing = false;  // <name ... />
  long line = 0;

  const std::string* attr(const char* key) const {
    for (const auto& a : attrs) {
      if (a.first == key) return &a.second;
    }
    return nullptr;
  }
};

enum SvgEvent { kSvgEnd = 0, kSvgTag = 1, kSvgText = 2, kSvgMalformed = -1 };

// Replaces the character references and the five predefined entities of an
// attribute value; a reference beyond ASCII becomes '?', an unknown one stays.
std::string decodeEntities(const std::string& v) {
  if (v.find('&') == std::string::npos) return v;
  std::string out;
  size_t i = 0;
  while (i < v.size()) {
    // A reference is at most "&#x10FFFF;" long.
    size_t semi = std::string::npos;
    for (size_t j = i + 1; v[i] == '&' && j < v.size() && j <= i + 10; ++j) {
      if (v[j] == ';') {
        semi = j;
        break;
      }
    }
    if (semi == std::string::npos) {
      out += v[i++];
      continue;
    }
    const std::string ref = v.substr(i + 1, semi - i - 1);
    static const std::pair<const char*, char> kEntities[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    char c = 0;
    for (const auto& e : kEntities) {
      if (ref == e.first) c = e.second;
    }
    if (ref.size() > 1 && ref[0] == '#') {
      const bool hex = ref[1] == 'x' || ref[1] == 'X';
      const long code = std::strtol(ref.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
      c = (code > 0 && code < 128) ? static_cast<char>(code) : '?';
    }
    if (c == 0) {
      out += v[i++];
      continue;
    }
    out += c;
    i = semi + 1;
  }
  return out;
}

class SvgScanner {
 public:
  explicit SvgScanner(const std::string& s) : s_(s) {}

  // The next tag or run of text. Comments, processing instructions and
  // declarations are passed over; CDATA is text. kSvgMalformed with
  // oriReadError set when the markup is cut short.
  int next(SvgTag* tag, std::string* text) {
    while (pos_ < s_.size()) {
      if (s_[pos_] != '<') {
        size_t lt = s_.find('<', pos_);
        if (lt == std::string::npos) lt = s_.size();
        text->assign(s_, pos_, lt - pos_);
        moveTo(lt);
        return kSvgText;
      }
      if (startsWith("<!--")) {
        if (!skipPast("-->", "a comment")) return kSvgMalformed;
      } else if (startsWith("<![CDATA[")) {
        const size_t e = s_.find("]]>", pos_ + 9);
        if (e == std::string::npos) return cutShort("a CDATA section");
        text->assign(s_, pos_ + 9, e - pos_ - 9);
        moveTo(e + 3);
        return kSvgText;
      } else if (startsWith("<?")) {
        if (!skipPast("?>", "a processing instruction")) return kSvgMalformed;
      } else if (startsWith("<!")) {
        if (!skipDeclaration()) return kSvgMalformed;
      } else {
        return readTag(tag);
      }
    }
    return kSvgEnd;
  }

 private:
  bool startsWith(const char* p) const { return s_.compare(pos_, std::strlen(p), p) == 0; }

  void moveTo(size_t to) {
    line_ += std::count(s_.begin() + static_cast<long>(pos_), s_.begin() + static_cast<long>(to), '\n');
    pos_ = to;
  }

  int cutShort(const char* what) {
    oriSetReadError("the SVG markup ends inside %s that starts on line %ld", what, line_);
    return kSvgMalformed;
  }

  bool skipPast(const char* close, const char* what) {
    const size_t e = s_.find(close, pos_ + 2);
    if (e == std::string::npos) {
      cutShort(what);
      return false;
    }
    moveTo(e + std::strlen(close));
    return true;
  }

  // <!DOCTYPE ...>, with an internal subset in brackets and quoted strings.
  bool skipDeclaration() {
    int depth = 0;
    char quote = 0;
    for (size_t p = pos_ + 2; p < s_.size(); ++p) {
      const char c = s_[p];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']') {
        --depth;
      } else if (c == '>' && depth <= 0) {
        moveTo(p + 1);
        return true;
      }
    }
    cutShort("a declaration");
    return false;
  }

  static bool nameChar(char c) { return !isSpace(c) && c != '/' && c != '>' && c != '=' && c != '<'; }

  int readTag(SvgTag* tag) {
    tag->name.clear();
    tag->attrs.clear();
    tag->end = tag->self_closing = false;
    tag->line = line_;
    size_t p = pos_ + 1;
    if (p < s_.size() && s_[p] == '/') {
      tag->end = true;
      ++p;
    }
    const size_t name_start = p;
    while (p < s_.size() && nameChar(s_[p])) ++p;
    tag->name = s_.substr(name_start, p - name_start);
    if (tag->name.empty()) {
      oriSetReadError("the SVG markup has a '<' that starts no element on line %ld", line_);
      return kSvgMalformed;
    }
    // Attributes up to '>' or "/>"; every turn moves p on.
    while (true) {
      while (p < s_.size() && isSpace(s_[p])) ++p;
      if (p >= s_.size()) return cutShort(("the tag <" + tag->name.substr(0, 64) + ">").c_str());
      if (s_[p] == '>') {
        ++p;
        break;
      }
      if (s_[p] == '/') {
        if (p + 1 < s_.size() && s_[p + 1] == '>') {
          tag->self_closing = true;
          p += 2;
          break;
        }
        ++p;
        continue;
      }
      const size_t key_start = p;
      while (p < s_.size() && nameChar(s_[p])) ++p;
      std::string key = s_.substr(key_start, p - key_start);
      while (p < s_.size() && isSpace(s_[p])) ++p;
      if (p < s_.size() && s_[p] == '=') {
        ++p;
        while (p < s_.size() && isSpace(s_[p])) ++p;
        if (p >= s_.size()) continue;
        std::string value;
        if (s_[p] == '"' || s_[p] == '\'') {
          const size_t close = s_.find(s_[p], p + 1);
          if (close == std::string::npos)
            return cutShort(("an attribute value of <" + tag->name.substr(0, 64) + ">").c_str());
          value = s_.substr(p + 1, close - p - 1);
          p = close + 1;
        } else {
          const size_t v_start = p;
          while (p < s_.size() && !isSpace(s_[p]) && s_[p] != '>') ++p;
          value = s_.substr(v_start, p - v_start);
        }
        if (!key.empty()) tag->attrs.emplace_back(std::move(key), decodeEntities(value));
      } else if (key.empty()) {
        ++p;  // a stray '=' or '<'
      }
    }
    moveTo(p);
    return kSvgTag;
  }

  const std::string& s_;
  size_t pos_ = 0;
  long line_ = 1;
};

// ----------------------------------------------------------------- styles

// The properties the reader uses, as declared on one element.
struct SvgProps {
  std::string stroke, display, visibility, opacity;
  bool has_stroke = false, has_display = false, has_visibility = false, has_opacity = false;

  void set(const std::string& name, const std::string& value) {
    if (name == "opacity") {
      opacity = value;
      has_opacity = true;
    } else if (name == "stroke") {
      stroke = value;
      has_stroke = true;
    } else if (name == "display") {
      display = value;
      has_display = true;
    } else if (name == "visibility") {
      visibility = value;
      has_visibility = true;
    }
  }
};

// Applies "name: value; name: value" declarations.
void applyDeclarations(const std::string& decls, SvgProps* props) {
  size_t start = 0;
  while (start < decls.size()) {
    size_t semi = decls.find(';', start);
    if (semi == std::string::npos) semi = decls.size();
    const std::string decl = decls.substr(start, semi - start);
    const size_t colon = decl.find(':');
    if (colon != std::string::npos) {
      std::string value = lower(trim(decl.substr(colon + 1)));
      const size_t bang = value.find("!important");
      if (bang != std::string::npos) value = trim(value.substr(0, bang));
      props->set(lower(trim(decl.substr(0, colon))), value);
    }
    start = semi + 1;
  }
}

// Adds what other declares to what *props declares (other wins).
void mergeProps(const SvgProps& other, SvgProps* props) {
  if (other.has_stroke) props->set("stroke", other.stroke);
  if (other.has_display) props->set("display", other.display);
  if (other.has_visibility) props->set("visibility", other.visibility);
  if (other.has_opacity) props->set("opacity", other.opacity);
}

// The ".name" rules of a style sheet, by class name, later rules winning.
// Other selectors and at-rules are passed over.
void parseStyleSheet(const std::string& sheet, std::map<std::string, SvgProps>* classes) {
  std::string css;
  css.reserve(sheet.size());
  for (size_t i = 0; i < sheet.size();) {
    if (sheet.compare(i, 2, "/*") == 0) {
      const size_t e = sheet.find("*/", i + 2);
      i = e == std::string::npos ? sheet.size() : e + 2;
    } else {
      css += sheet[i++];
    }
  }
  size_t pos = 0;
  while (pos < css.size()) {
    const size_t open = css.find('{', pos);
    if (open == std::string::npos) break;
    const std::string selectors = trim(css.substr(pos, open - pos));
    // The block's end, counting nested blocks (at-rules such as @media).
    size_t close = open + 1;
    int depth = 1;
    for (; close < css.size() && depth > 0; ++close) {
      if (css[close] == '{') ++depth;
      if (css[close] == '}') --depth;
    }
    const size_t body_end = depth == 0 ? close - 1 : css.size();
    if (!selectors.empty() && selectors[0] != '@') {
      SvgProps body;
      applyDeclarations(css.substr(open + 1, body_end - open - 1), &body);
      size_t s = 0;
      while (s <= selectors.size()) {
        size_t comma = selectors.find(',', s);
        if (comma == std::string::npos) comma = selectors.size();
        const std::string sel = trim(selectors.substr(s, comma - s));
        const bool simple = sel.size() > 1 && sel[0] == '.' && std::all_of(sel.begin() + 1, sel.end(), [](char ch) {
                              return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_';
                            });
        if (simple) mergeProps(body, &(*classes)[sel.substr(1)]);
        s = comma + 1;
      }
    }
    pos = close;
  }
}

// --------------------------------------------------- shapes to segments

// Elements whose content is never drawn in place.
bool undrawnContainer(const std::string& name) {
  static const char* const kNames[] = {
      "defs", "symbol", "clipPath", "mask",     "marker",        "pattern",        "style",          "script",
      "text", "title",  "desc",     "metadata", "foreignObject", "linearGradient", "radialGradient", "filter"};
  for (const char* n : kNames) {
    if (name == n) return true;
  }
  // Elements of other vocabularies (sodipodi:namedview, rdf:RDF, ...).
  return name.find(':') != std::string::npos;
}

// The segments of path data, through emit(x0, y0, x1, y1). Returns 0, or
// the letter of the first curve command met (nothing is emitted after it).
// *stopped is set when the data has a syntax error; what came before it is
// kept, as SVG viewers draw it.
template <class Emit>
char pathSegments(const std::string& d, Emit emit, bool* stopped) {
  *stopped = false;
  double cx = 0, cy = 0;  // current point
  double sx = 0, sy = 0;  // start of the subpath
  char cmd = 0;
  size_t pos = 0;
  while (true) {
    skipSeparators(d, &pos);
    if (pos >= d.size()) return 0;
    const char ch = d[pos];
    if (std::isalpha(static_cast<unsigned char>(ch))) {
      ++pos;
      if (std::strchr("CcSsQqTtAa", ch) != nullptr) return ch;
      if (std::strchr("MmLlHhVvZz", ch) == nullptr || (cmd == 0 && ch != 'M' && ch != 'm')) {
        *stopped = true;
        return 0;
      }
      cmd = ch;
      if (ch == 'Z' || ch == 'z') {
        if (cx != sx || cy != sy) emit(cx, cy, sx, sy);
        cx = sx;
        cy = sy;
        continue;
      }
    } else if (cmd == 0 || cmd == 'Z' || cmd == 'z') {
      *stopped = true;  // a number where a command is due
      return 0;
    }
    // One set of arguments of cmd; later sets repeat it (after a moveto, as
    // a lineto).
    const bool rel = std::islower(static_cast<unsigned char>(cmd)) != 0;
    double x = 0, y = 0;
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd)));
    if (kind == 'H' || kind == 'V') {
      double v;
      if (!scanNumber(d, &pos, &v)) {
        *stopped = true;
        return 0;
      }
      x = kind == 'H' ? (rel ? cx + v : v) : cx;
      y = kind == 'V' ? (rel ? cy + v : v) : cy;
    } else {
      double vx, vy;
      if (!scanNumber(d, &pos, &vx) || !scanNumber(d, &pos, &vy)) {
        *stopped = true;
        return 0;
      }
      x = rel ? cx + vx : vx;
      y = rel ? cy + vy : vy;
    }
    if (kind == 'M') {
      sx = x;
      sy = y;
      cmd = rel ? 'l' : 'L';
    } else if (!emit(cx, cy, x, y)) {
      return 0;
    }
    cx = x;
    cy = y;
  }
}

// ------------------------------------------------------------- the reader

constexpr int kSvgMaxDepth = 1024;
// How many open elements an end tag may close at once.
constexpr size_t kSvgEndTagReach = 16;

struct SvgContext {
  std::string name;      // element name, to match its end tag
  Affine ctm;            // element coordinates to document coordinates
  std::string stroke;    // inherited stroke paint ("" = none)
  bool visible = true;   // inherited visibility
  bool hidden = false;   // display none here or above
  bool undrawn = false;  // inside an element whose content is not drawn
  std::string opacity;   // the element's own opacity ("" = none): a fold line's share of 180°
};

// A fold line's target from its opacity (a share of 180°, as drawings for the
// web folding simulators give partial folds), signed by its type; NaN, with
// the fault counted (0: not a number from 0 to 1; 1: zero), when it cannot be
// one.
double opacityTarget(const std::string& opacity, int type, int* faults) {
  size_t pos = 0;
  double share = 0.0;
  if (!scanNumber(opacity, &pos, &share) || trim(opacity.substr(pos)) != "" || !(share >= 0.0 && share <= 1.0)) {
    ++faults[0];
    return NAN;
  }
  if (share == 0.0) {
    ++faults[1];
    return NAN;
  }
  return (type == kOriLineTypeMountain ? -kSvgHalfTurn : kSvgHalfTurn) * share;
}

class SvgReader {
 public:
  SvgReader(CreasePattern* cp, const std::string& text) : cp_(cp), text_(text) { last_ = CreasePatternLastNode(cp); }

  int lines() const { return lines_; }
  int unstroked() const { return unstroked_; }
  int stopped() const { return stopped_; }
  long first_stopped_line() const { return first_stopped_line_; }
  int bad_opacities() const { return opacity_faults_[0]; }
  int zero_opacities() const { return opacity_faults_[1]; }
  long first_opacity_fault_line() const { return first_fault_line_; }

  // Collects the class rules of every style element.
  bool readStyles() {
    SvgScanner scan(text_);
    SvgTag tag;
    std::string text;
    int in_style = 0;
    std::string css;
    int ev;
    while ((ev = scan.next(&tag, &text)) > 0) {
      if (ev == kSvgText) {
        if (in_style > 0) css += text;
      } else if (localName(tag.name) == "style") {
        if (tag.end) {
          if (in_style > 0) --in_style;
        } else if (!tag.self_closing) {
          ++in_style;
        }
      }
    }
    if (ev == kSvgMalformed) return false;
    parseStyleSheet(css, &classes_);
    return true;
  }

  // Reads the shapes. False with oriReadError set.
  bool readShapes() {
    SvgScanner scan(text_);
    SvgTag tag;
    std::string text;
    std::vector<SvgContext> stack(1);  // the document
    int ev;
    while ((ev = scan.next(&tag, &text)) > 0) {
      if (ev != kSvgTag) continue;
      const std::string name = localName(tag.name);
      if (tag.end) {
        // Close up to the matching open element, looking a few levels down
        // for markup that leaves elements open; an end tag that matches none
        // is passed over.
        for (size_t k = stack.size(), seen = 0; k-- > 1 && seen < kSvgEndTagReach; ++seen) {
          if (stack[k].name == name) {
            stack.resize(k);
            break;
          }
        }
        continue;
      }
      SvgContext ctx;
      if (!enter(stack.back(), tag, name, &ctx)) return false;
      if (!ctx.undrawn && !ctx.hidden && !shape(tag, name, ctx)) return false;
      if (!tag.self_closing) {
        if (stack.size() > static_cast<size_t>(kSvgMaxDepth)) {
          oriSetReadError("the SVG elements nest deeper than %d levels (line %ld)", kSvgMaxDepth, tag.line);
          return false;
        }
        stack.push_back(std::move(ctx));
      }
    }
    return ev == kSvgEnd;
  }

 private:
  // The element name without the "svg:" prefix some editors write.
  static std::string localName(const std::string& name) {
    return name.compare(0, 4, "svg:") == 0 ? name.substr(4) : name;
  }

  // The context of an element: its transform and the properties it declares
  // on top of what it inherits.
  bool enter(const SvgContext& parent, const SvgTag& tag, const std::string& name, SvgContext* ctx) {
    ctx->name = name;
    ctx->ctm = parent.ctm;
    ctx->stroke = parent.stroke;
    ctx->visible = parent.visible;
    ctx->hidden = parent.hidden;
    ctx->undrawn = parent.undrawn || undrawnContainer(name);
    ctx->opacity.clear();
    if (ctx->undrawn) return true;

    SvgProps props;
    for (const auto& a : tag.attrs) {
      if (a.first == "stroke" || a.first == "display" || a.first == "visibility" || a.first == "opacity")
        props.set(a.first, lower(trim(a.second)));
    }
    if (const std::string* cls = tag.attr("class")) {
      size_t s = 0;
      while (s < cls->size()) {
        size_t e = s;
        while (e < cls->size() && !isSpace((*cls)[e])) ++e;
        const auto it = classes_.find(cls->substr(s, e - s));
        if (it != classes_.end()) mergeProps(it->second, &props);
        s = e + 1;
      }
    }
    if (const std::string* style = tag.attr("style")) applyDeclarations(*style, &props);
    if (props.has_stroke && props.stroke != "inherit") ctx->stroke = props.stroke;
    if (props.has_visibility && props.visibility != "inherit") ctx->visible = props.visibility == "visible";
    if (props.has_display && props.display == "none") ctx->hidden = true;
    if (props.has_opacity) ctx->opacity = props.opacity;

    if (const std::string* t = tag.attr("transform")) {
      Affine m;
      if (!parseTransform(*t, &m)) {
        oriSetReadError("the transform of <%s> on line %ld does not parse: \"%.60s\"", name.c_str(), tag.line,
                        t->c_str());
        return false;
      }
      ctx->ctm = compose(ctx->ctm, m);
    }
    return true;
  }

  // Adds the segments of a drawn element. False with oriReadError set.
  bool shape(const SvgTag& tag, const std::string& name, const SvgContext& ctx) {
    const bool straight = name == "line" || name == "rect" || name == "polyline" || name == "polygon" || name == "path";
    const bool curved = name == "circle" || name == "ellipse";
    if (!straight && !curved) return true;
    if (!ctx.visible) return true;
    const int type = svgStrokeLineType(ctx.stroke.c_str());
    if (type < 0) {
      ++unstroked_;
      return true;
    }
    if (curved) {
      oriSetReadError("<%s> on line %ld is a curve; only straight lines can be folded", name.c_str(), tag.line);
      return false;
    }
    type_ = type;
    target_ = NAN;
    if (!ctx.opacity.empty() && (type == kOriLineTypeMountain || type == kOriLineTypeValley)) {
      const int before = opacity_faults_[0] + opacity_faults_[1];
      target_ = opacityTarget(ctx.opacity, type, opacity_faults_);
      if (before == 0 && opacity_faults_[0] + opacity_faults_[1] > 0) first_fault_line_ = tag.line;
    }
    ctm_ = ctx.ctm;
    auto num = [&](const char* key) {
      const std::string* v = tag.attr(key);
      return v != nullptr ? attributeNumber(*v) : 0.0;
    };
    if (name == "line") {
      return add(num("x1"), num("y1"), num("x2"), num("y2"));
    }
    if (name == "rect") {
      const double x = num("x"), y = num("y"), w = num("width"), h = num("height");
      if (num("rx") > 0.0 || num("ry") > 0.0) {
        oriSetReadError("<rect> on line %ld has rounded corners; only straight lines can be folded", tag.line);
        return false;
      }
      if (!(w > 0.0) || !(h > 0.0)) return true;
      return add(x, y, x + w, y) && add(x + w, y, x + w, y + h) && add(x + w, y + h, x, y + h) && add(x, y + h, x, y);
    }
    if (name == "polyline" || name == "polygon") {
      const std::string* points = tag.attr("points");
      if (points == nullptr) return true;
      std::vector<double> v;
      size_t pos = 0;
      double n;
      while (scanNumber(*points, &pos, &n)) v.push_back(n);
      const size_t count = v.size() / 2;
      for (size_t k = 1; k < count; ++k) {
        if (!add(v[2 * k - 2], v[2 * k - 1], v[2 * k], v[2 * k + 1])) return false;
      }
      if (name == "polygon" && count > 2) return add(v[2 * count - 2], v[2 * count - 1], v[0], v[1]);
      return true;
    }
    // path
    const std::string* d = tag.attr("d");
    if (d == nullptr) return true;
    bool stopped = false;
    const char curve = pathSegments(
        *d, [&](double x0, double y0, double x1, double y1) { return add(x0, y0, x1, y1); }, &stopped);
    if (failed_) return false;
    if (curve != 0) {
      oriSetReadError("<path> on line %ld has a curve (command %c); only straight lines can be folded", tag.line,
                      curve);
      return false;
    }
    if (stopped && stopped_++ == 0) first_stopped_line_ = tag.line;
    return true;
  }

  // Appends the segment from (x0, y0) to (x1, y1), element coordinates, with
  // the current type and transform. False when the pattern is full.
  bool add(double x0, double y0, double x1, double y1) {
    if (x0 == x1 && y0 == y1) return true;
    if (lines_ == kImportMaxLines) {
      oriSetReadError("the drawing has more than %d segments, more than a pattern may have", kImportMaxLines);
      failed_ = true;
      return false;
    }
    const Affine& m = ctm_;
    Line* l = LineNew(m.a * x0 + m.c * y0 + m.e, m.b * x0 + m.d * y0 + m.f, m.a * x1 + m.c * y1 + m.e,
                      m.b * x1 + m.d * y1 + m.f, type_);
    l->target = target_;
    last_ = listAdd(cp_->lines, last_, l);
    ++lines_;
    return true;
  }

  CreasePattern* cp_;
  const std::string& text_;
  List* last_ = nullptr;
  std::map<std::string, SvgProps> classes_;
  int lines_ = 0, unstroked_ = 0, stopped_ = 0;
  long first_stopped_line_ = 0;
  bool failed_ = false;
  int type_ = 0;
  double target_ = NAN;
  Affine ctm_;
  int opacity_faults_[2] = {0, 0};  // opacities not from 0 to 1, zero opacities
  long first_fault_line_ = 0;
};

}  // namespace

int svgStrokeLineType(const char* paint) {
  const std::string v = lower(trim(paint != nullptr ? paint : ""));
  if (v.empty() || v == "none" || v == "transparent") return -1;
  int rgb[3];
  if (!parseColor(v, rgb)) return 0;
  return colorLineType(rgb);
}

int LineFromSvg(CreasePattern* cp, FILE* fp) {
  std::string text;
  if (oriReadWholeStream(fp, kImportMaxBytes, &text) != 0) return -1;
  SvgReader reader(cp, text);
  if (!reader.readStyles() || !reader.readShapes()) {
    CreasePatternClear(cp);
    return -1;
  }
  if (reader.unstroked() > 0) {
    oriMessage("passed over %d element%s without a stroke\n", reader.unstroked(), reader.unstroked() == 1 ? "" : "s");
  }
  if (reader.stopped() > 0) {
    oriMessage("%d path%s read up to a syntax error in the data (the first on line %ld)\n", reader.stopped(),
               reader.stopped() == 1 ? "" : "s", reader.first_stopped_line());
  }
  if (reader.bad_opacities() + reader.zero_opacities() > 0) {
    oriMessage("%d fold line(s) have an opacity that is not a number from 0 to 1 and %d an opacity of 0 (the first "
               "on line %ld): they fold to their colour's whole target\n",
               reader.bad_opacities(), reader.zero_opacities(), reader.first_opacity_fault_line());
  }
  oriMessage("\tSVG: %d segments\n", reader.lines());
  const int fit = CreasePatternFitPaper(cp);
  if (fit == kFitOk) return 0;
  if (fit == kFitNoLines) {
    oriSetReadError("the drawing has no stroked line, rect, polyline, polygon or path");
  } else {
    oriSetReadError("the %d segments of the drawing have no extent to scale to the paper", reader.lines());
  }
  CreasePatternClear(cp);
  return -1;
}

int oriManifoldConstructFromSvg(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  CreasePattern* cp = CreasePatternNew();
  const int result = LineFromSvg(cp, fp);
  if (result != 0) {
    CreasePatternDestruct(cp);
    return result;
  }
  return oriManifoldConstructFromCreasePattern(om, om_old, cp);
}
