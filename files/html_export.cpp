// Sections: the page (its markup, style and script, with @NAME@ marks where
// the writer puts the title, three.js, the recorded folding); encoding; the
// writer.
#include "files/html_export.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <type_traits>
#include <vector>

#include "files/fold_animation.h"
#include "files/write_aside.h"

namespace {

// The page. Its script reads the folding from the two data elements:
// "plicata-meta" (JSON: steps, the box, colours, where each block lies in
// the bytes) and "plicata-data" (base64: triangles and lines as 32-bit
// vertex numbers, line kinds as bytes, the flat pattern as 32-bit floats,
// the frames as 16-bit positions within the box). A URL ending in #step=N
// opens paused at step N.
const char kPage[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<link rel="icon" href="data:,">
<title>@TITLE@</title>
<style>
html, body { margin: 0; height: 100%; overflow: hidden; font: 14px/1.3 sans-serif; background: #3a4048; color: #eee; }
#main { display: flex; height: 100%; }
#model { position: relative; flex: 1 1 64%; min-width: 0; }
#model canvas { display: block; }
#pattern { position: relative; flex: 0 0 36%; min-width: 0; background: #fff; color: #333; }
#pattern canvas { display: block; width: 100%; height: 100%; }
.caption { position: absolute; top: 8px; left: 10px; pointer-events: none; }
#bar { position: absolute; left: 0; right: 0; bottom: 0; display: flex; gap: 10px; align-items: center;
       padding: 8px 10px; background: rgba(0, 0, 0, 0.35); }
#bar input { flex: 1; }
#bar button { min-width: 5.5em; }
#status { position: absolute; top: 32px; left: 10px; right: 10px; color: #ffb4b4; white-space: pre-wrap; }
</style>
</head>
<body data-state="loading">
<div id="main">
<div id="model"><div class="caption">@TITLE@ &mdash; drag to turn, wheel to zoom</div><div id="status"></div>
<div id="bar"><button id="play" type="button">Pause</button><input id="slider" type="range" min="0" max="0" step="1" value="0" aria-label="step"><span id="step"></span></div></div>
<div id="pattern"><canvas id="cp"></canvas><div class="caption">crease pattern: mountains red, valleys blue dashed</div></div>
</div>
<script>/* three.js r111, (c) 2010-2019 three.js authors, MIT licence; from Debian's libjs-three */
@THREE@</script>
<script>
@ORBIT@</script>
<script type="application/json" id="plicata-meta">@META@</script>
<script type="application/octet-stream" id="plicata-data">
@DATA@</script>
<script>
(function () {
  'use strict';
  var body = document.body;
  function fail(message) {
    body.dataset.state = 'error';
    document.getElementById('status').textContent = 'The fold cannot be shown: ' + message;
  }
  window.addEventListener('error', function (e) { fail(e.message); });

  function decode(text) {
    var s = atob(text.replace(/\s+/g, ''));
    var bytes = new Uint8Array(s.length);
    for (var i = 0; i < s.length; ++i) bytes[i] = s.charCodeAt(i);
    return bytes;
  }

  var KIND_COLOURS = ['#d91a1a', '#1a40d9', '#000000', '#999999'];  // mountain, valley, outline, flat
  var DRAW_ORDER = [3, 2, 1, 0];

  function start() {
    var meta = JSON.parse(document.getElementById('plicata-meta').textContent);
    var buffer = decode(document.getElementById('plicata-data').textContent).buffer;
    function block(name, Type) { var b = meta.blocks[name]; return new Type(buffer, b[0], b[1]); }
    var triangles = block('triangles', Uint32Array), lines = block('lines', Uint32Array);
    var kinds = block('kinds', Uint8Array), flat = block('flat', Float32Array), frames = block('frames', Uint16Array);
    var steps = meta.steps, nv = meta.vertices, lo = meta.lo, hi = meta.hi;
    var quantum = [0, 1, 2].map(function (k) { return (hi[k] - lo[k]) / 65535; });

    // The model: one geometry, drawn as the front, the back and the lines.
    var positions = new Float32Array(3 * nv);
    var position = new THREE.BufferAttribute(positions, 3).setUsage(THREE.DynamicDrawUsage);
    var sheet = new THREE.BufferGeometry();
    sheet.setAttribute('position', position);
    sheet.setIndex(new THREE.BufferAttribute(triangles, 1));
    var scene = new THREE.Scene();
    scene.background = new THREE.Color(0x3a4048);
    [[meta.front, THREE.FrontSide], [meta.back, THREE.BackSide]].forEach(function (side) {
      var paper = new THREE.MeshPhongMaterial({ color: side[0], side: side[1], flatShading: true, shininess: 6,
        specular: 0x111111, polygonOffset: true, polygonOffsetFactor: 1, polygonOffsetUnits: 1 });
      var mesh = new THREE.Mesh(sheet, paper);
      mesh.frustumCulled = false;
      scene.add(mesh);
    });
    for (var kind = 0; kind < 4; ++kind) {
      var ends = [];
      for (var l = 0; l < kinds.length; ++l) if (kinds[l] === kind) ends.push(lines[2 * l], lines[2 * l + 1]);
      if (ends.length === 0) continue;
      var g = new THREE.BufferGeometry();
      g.setAttribute('position', position);
      g.setIndex(new THREE.BufferAttribute(new Uint32Array(ends), 1));
      var segments = new THREE.LineSegments(g, new THREE.LineBasicMaterial({ color: KIND_COLOURS[kind] }));
      segments.frustumCulled = false;
      scene.add(segments);
    }

    // The camera holds the whole run's box with a margin; the light comes
    // with it, so that every side turned to it shows.
    var holder = document.getElementById('model');
    var renderer = new THREE.WebGLRenderer({ antialias: true });
    renderer.setPixelRatio(window.devicePixelRatio || 1);
    holder.insertBefore(renderer.domElement, holder.firstChild);
    var FOV = 40, FILL = 0.9;
    var centre = new THREE.Vector3((lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2);
    var half = [(hi[0] - lo[0]) / 2, (hi[1] - lo[1]) / 2, (hi[2] - lo[2]) / 2];
    var radius = Math.max(Math.sqrt(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]), 1e-9);
    var camera = new THREE.PerspectiveCamera(FOV, 1, radius / 100, radius * 100);
    camera.add(new THREE.DirectionalLight(0xffffff, 0.75));
    scene.add(camera);
    scene.add(new THREE.HemisphereLight(0xffffff, 0x808080, 0.45));
    var controls = new THREE.OrbitControls(camera, renderer.domElement);
    var dirty = true;
    controls.addEventListener('change', function () { dirty = true; });

    function size() {
      var w = Math.max(holder.clientWidth, 1), h = Math.max(holder.clientHeight, 1);
      renderer.setSize(w, h);
      camera.aspect = w / h;
      camera.updateProjectionMatrix();
      drawPattern();
      dirty = true;
    }
    // Turned a little and looking down on the front, so that the folds
    // show; the distance keeps every corner of the box in the picture.
    var AZIMUTH = 20 * Math.PI / 180, ELEVATION = 30 * Math.PI / 180;
    function fit() {
      var back = new THREE.Vector3(Math.sin(AZIMUTH) * Math.cos(ELEVATION), Math.sin(ELEVATION),
                                   Math.cos(AZIMUTH) * Math.cos(ELEVATION));
      var right = new THREE.Vector3(0, 1, 0).cross(back).normalize(), up = back.clone().cross(right);
      var tv = Math.tan(FOV * Math.PI / 360) * FILL, th = tv * camera.aspect, d = radius * 1e-3;
      for (var corner = 0; corner < 8; ++corner) {
        var p = new THREE.Vector3(corner & 1 ? half[0] : -half[0], corner & 2 ? half[1] : -half[1],
                                  corner & 4 ? half[2] : -half[2]);
        var w = p.dot(back);
        d = Math.max(d, w + Math.abs(p.dot(up)) / tv, w + Math.abs(p.dot(right)) / th);
      }
      camera.position.copy(centre).addScaledVector(back, d);
      camera.far = d + radius * 100;
      camera.updateProjectionMatrix();
      controls.target.copy(centre);
      controls.update();
    }

    // The crease pattern, fitted with the same margin.
    function drawPattern() {
      var canvas = document.getElementById('cp'), ratio = window.devicePixelRatio || 1;
      var w = canvas.clientWidth * ratio, h = canvas.clientHeight * ratio;
      canvas.width = w;
      canvas.height = h;
      var c = canvas.getContext('2d');
      c.fillStyle = '#fff';
      c.fillRect(0, 0, w, h);
      var x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
      for (var i = 0; i < nv; ++i) {
        x0 = Math.min(x0, flat[2 * i]); x1 = Math.max(x1, flat[2 * i]);
        y0 = Math.min(y0, flat[2 * i + 1]); y1 = Math.max(y1, flat[2 * i + 1]);
      }
      var s = FILL * Math.min(w / Math.max(x1 - x0, 1e-9), h / Math.max(y1 - y0, 1e-9));
      function px(v) { return w / 2 + (flat[2 * v] - (x0 + x1) / 2) * s; }
      function py(v) { return h / 2 - (flat[2 * v + 1] - (y0 + y1) / 2) * s; }
      c.lineWidth = 1.5 * ratio;
      DRAW_ORDER.forEach(function (kind) {
        c.strokeStyle = KIND_COLOURS[kind];
        c.setLineDash(kind === 1 ? [6 * ratio, 4 * ratio] : []);
        c.beginPath();
        for (var l = 0; l < kinds.length; ++l) {
          if (kinds[l] !== kind) continue;
          c.moveTo(px(lines[2 * l]), py(lines[2 * l]));
          c.lineTo(px(lines[2 * l + 1]), py(lines[2 * l + 1]));
        }
        c.stroke();
      });
    }

    // Playing: time runs in steps, between recorded frames the positions
    // are interpolated; at the end the fold rests a second and starts over.
    var slider = document.getElementById('slider'), label = document.getElementById('step');
    var button = document.getElementById('play');
    slider.max = steps.length - 1;
    var first = steps[0], last = steps[steps.length - 1];
    var t = first, playing = steps.length > 1, rest = 0, before = null;
    function show(time) {
      var k = 0;
      while (k + 1 < steps.length && steps[k + 1] <= time) ++k;
      var k1 = Math.min(k + 1, steps.length - 1);
      var s = k1 > k ? Math.min(1, Math.max(0, (time - steps[k]) / (steps[k1] - steps[k]))) : 0;
      var a = 3 * nv * k, b = 3 * nv * k1;
      for (var i = 0; i < 3 * nv; i += 3) {
        for (var c = 0; c < 3; ++c) {
          var qa = frames[a + i + c];
          positions[i + c] = lo[c] + quantum[c] * (qa + s * (frames[b + i + c] - qa));
        }
      }
      position.needsUpdate = true;
      slider.value = k;
      label.textContent = 'step ' + Math.round(time) + ' of ' + last;
      dirty = true;
    }
    function setPlaying(on) {
      playing = on;
      button.textContent = on ? 'Pause' : 'Play';
      before = null;
    }
    button.addEventListener('click', function () {
      if (!playing && t >= last) t = first;
      setPlaying(!playing);
    });
    slider.addEventListener('input', function () {
      setPlaying(false);
      t = steps[Number(slider.value)];
      show(t);
    });
    var wanted = /#step=(\d+)/.exec(window.location.hash);
    if (wanted) {
      t = Math.min(last, Math.max(first, Number(wanted[1])));
      playing = false;
    }
    setPlaying(playing);
    window.addEventListener('resize', size);
    size();
    fit();
    show(t);
    function frame(now) {
      requestAnimationFrame(frame);
      if (playing) {
        var dt = before === null ? 0 : Math.min(0.1, (now - before) / 1000);
        before = now;
        if (t >= last) {
          rest += dt;
          if (rest > 1) { rest = 0; t = first; }
        } else {
          t = Math.min(last, t + dt * meta.fps);
        }
        show(t);
      }
      if (dirty) {
        dirty = false;
        renderer.render(scene, camera);
        if (body.dataset.state === 'loading') body.dataset.state = 'ready';
      }
    }
    requestAnimationFrame(frame);
  }

  try {
    start();
  } catch (e) {
    fail(e && e.message ? e.message : String(e));
  }
})();
</script>
</body>
</html>
)PAGE";

// Base64 lines of this many characters.
constexpr size_t kBase64Line = 76 * 64;
constexpr double kQuantumSteps = 65535.0;

std::string escapeText(const std::string& s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

void base64(const std::vector<unsigned char>& in, std::string* out) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out->reserve(in.size() / 3 * 4 + in.size() / kBase64Line + 8);
  size_t column = 0;
  for (size_t i = 0; i < in.size(); i += 3) {
    const uint32_t a = in[i], b = i + 1 < in.size() ? in[i + 1] : 0, c = i + 2 < in.size() ? in[i + 2] : 0;
    const uint32_t x = (a << 16) | (b << 8) | c;
    out->push_back(kDigits[(x >> 18) & 63]);
    out->push_back(kDigits[(x >> 12) & 63]);
    out->push_back(i + 1 < in.size() ? kDigits[(x >> 6) & 63] : '=');
    out->push_back(i + 2 < in.size() ? kDigits[x & 63] : '=');
    column += 4;
    if (column >= kBase64Line) {
      out->push_back('\n');
      column = 0;
    }
  }
}

// Appends a block of 4-byte-aligned little-endian values and notes where it
// lies: [byte offset, element count].
template <typename T>
nlohmann::json putBlock(std::vector<unsigned char>* bytes, const std::vector<T>& values) {
  while (bytes->size() % 4 != 0) bytes->push_back(0);
  const size_t offset = bytes->size();
  // The value's bits as an unsigned number of its size, written lowest
  // byte first whatever the machine.
  using Bits = typename std::conditional<sizeof(T) == 1, uint8_t,
                                         typename std::conditional<sizeof(T) == 2, uint16_t, uint32_t>::type>::type;
  static_assert(sizeof(Bits) == sizeof(T), "blocks hold 1, 2 or 4-byte values");
  for (const T& v : values) {
    Bits x;
    std::memcpy(&x, &v, sizeof(T));
    for (size_t k = 0; k < sizeof(T); ++k) bytes->push_back(static_cast<unsigned char>(x >> (8 * k)));
  }
  return {offset, values.size()};
}

std::string colour(const double rgb[3]) {
  char s[8];
  std::snprintf(s, sizeof s, "#%02x%02x%02x", static_cast<int>(std::lround(rgb[0] * 255)),
                static_cast<int>(std::lround(rgb[1] * 255)), static_cast<int>(std::lround(rgb[2] * 255)));
  return s;
}

bool readWhole(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *out = ss.str();
  return static_cast<bool>(in) || in.eof();
}

}  // namespace

int oriHtmlSave(const ORI_fold_animation* anim, const ORI_htmlOptions& opt, FILE* fp, std::string* why) {
  if (anim == nullptr || fp == nullptr || anim->steps.empty() || anim->triangles.empty()) {
    *why = "nothing recorded to write";
    return -1;
  }
  if (!(opt.fps > 0.0) || !std::isfinite(opt.fps)) {
    *why = "the pace must be a positive number";
    return -1;
  }
  std::string three, orbit;
  if (!readWhole(opt.three_dir + "/three.min.js", &three) ||
      !readWhole(opt.three_dir + "/examples/js/controls/OrbitControls.js", &orbit)) {
    *why = "the page needs three.js from " + opt.three_dir + " (Debian package libjs-three), which is not there";
    return -1;
  }
  // A script's text ends at its first "</script": neither library holds one,
  // and the page must not hold half a library either.
  if (three.find("</script") != std::string::npos || orbit.find("</script") != std::string::npos) {
    *why = "the three.js in " + opt.three_dir + " cannot be written into a page";
    return -1;
  }
  const ORI_fold_animation& a = *anim;
  double lo[3], hi[3];
  oriFoldAnimationBox(anim, lo, hi);
  std::vector<uint16_t> frames(a.frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const int k = static_cast<int>(i % 3);
    const double span = hi[k] - lo[k];
    const double q = span > 0.0 ? (a.frames[i] - lo[k]) / span * kQuantumSteps : 0.0;
    frames[i] = static_cast<uint16_t>(std::lround(std::fmin(kQuantumSteps, std::fmax(0.0, q))));
  }
  std::vector<unsigned char> bytes;
  nlohmann::json blocks;
  blocks["triangles"] = putBlock(&bytes, std::vector<uint32_t>(a.triangles.begin(), a.triangles.end()));
  blocks["lines"] = putBlock(&bytes, std::vector<uint32_t>(a.lines.begin(), a.lines.end()));
  blocks["flat"] = putBlock(&bytes, std::vector<float>(a.flat.begin(), a.flat.end()));
  blocks["frames"] = putBlock(&bytes, frames);
  blocks["kinds"] = putBlock(&bytes, a.line_kinds);
  frames = std::vector<uint16_t>();
  const nlohmann::json meta = {{"steps", a.steps},       {"vertices", a.n_vert},         {"lo", {lo[0], lo[1], lo[2]}},
                               {"hi", {hi[0], hi[1], hi[2]}}, {"fps", opt.fps},           {"front", colour(a.front_rgb)},
                               {"back", colour(a.back_rgb)}, {"blocks", blocks}};
  // '<' only ever stands inside JSON strings, where \u003c means the same
  // and cannot end the script.
  std::string meta_text;
  for (const char c : meta.dump()) meta_text += c == '<' ? std::string("\\u003c") : std::string(1, c);
  std::string data;
  base64(bytes, &data);
  bytes = std::vector<unsigned char>();
  const std::string title = escapeText(opt.title.empty() ? "Plicata fold" : opt.title);

  // The page with its marks filled in.
  const std::string page = kPage;
  const struct {
    const char* mark;
    const std::string* text;
  } fills[] = {{"@TITLE@", &title}, {"@THREE@", &three}, {"@ORBIT@", &orbit}, {"@META@", &meta_text}, {"@DATA@", &data}};
  size_t at = 0;
  bool ok = true;
  while (ok && at < page.size()) {
    size_t next = std::string::npos;
    const std::string* fill = nullptr;
    size_t mark_length = 0;
    for (const auto& f : fills) {
      const size_t found = page.find(f.mark, at);
      if (found < next) {
        next = found;
        fill = f.text;
        mark_length = std::strlen(f.mark);
      }
    }
    const size_t end = next == std::string::npos ? page.size() : next;
    ok = std::fwrite(page.data() + at, 1, end - at, fp) == end - at;
    if (fill != nullptr && ok) ok = std::fwrite(fill->data(), 1, fill->size(), fp) == fill->size();
    at = end + mark_length;
  }
  if (!ok || std::ferror(fp)) {
    *why = std::string("cannot write: ") + std::strerror(errno != 0 ? errno : EIO);
    return -1;
  }
  return 0;
}

int oriHtmlSaveFile(const ORI_fold_animation* anim, const ORI_htmlOptions& opt, const char* path, std::string* why) {
  return oriWriteFileSaying(path, [&](FILE* fp, std::string* w) { return oriHtmlSave(anim, opt, fp, w); }, why);
}
