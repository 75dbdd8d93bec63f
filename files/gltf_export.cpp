#include "files/gltf_export.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <vector>

#include "files/fold_animation.h"
#include "files/write_aside.h"

namespace {

using nlohmann::json;

// glTF's numbers for what it stores.
constexpr int kFloat = 5126, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kModeLines = 1, kModeTriangles = 4;
constexpr uint32_t kGlbMagic = 0x46546C67, kGlbVersion = 2, kChunkJson = 0x4E4F534A, kChunkBin = 0x004E4942;
// A GLB states its length in 32 bits.
constexpr uint64_t kGlbMaxBytes = 0xFFFFFFFFull;

// The lines' colours (sRGB), by OriLineKind: the crease pattern's red
// mountains and blue valleys, a black outline, grey flat lines.
constexpr double kLineRgb[kOriLineKinds][3] = {{0.85, 0.1, 0.1}, {0.1, 0.25, 0.85}, {0.0, 0.0, 0.0}, {0.6, 0.6, 0.6}};
constexpr const char* kLineName[kOriLineKinds] = {"mountain lines", "valley lines", "outline", "flat lines"};
// Paper is matte.
constexpr double kPaperRoughness = 0.9;

double linearFromSrgb(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

json material(const char* name, const double rgb[3], double roughness) {
  return {{"name", name},
          {"pbrMetallicRoughness",
           {{"baseColorFactor", {linearFromSrgb(rgb[0]), linearFromSrgb(rgb[1]), linearFromSrgb(rgb[2]), 1.0}},
            {"metallicFactor", 0.0},
            {"roughnessFactor", roughness}}}};
}

// The vertices written: each a recorded vertex, in the facet it belongs to
// when normals are written (a vertex has a copy per facet around it).
struct Copies {
  std::vector<int> vert;          // per copy: its vertex
  std::vector<uint32_t> triangles;  // 3 copies per triangle
  std::vector<uint32_t> lines[kOriLineKinds];
};

Copies makeCopies(const ORI_fold_animation& a, bool split) {
  Copies c;
  std::unordered_map<uint64_t, uint32_t> seen;
  auto copyOf = [&](int v, int facet) {
    if (!split) return static_cast<uint32_t>(v);
    const uint64_t key = static_cast<uint64_t>(v) * static_cast<uint64_t>(a.n_facets) + static_cast<uint64_t>(facet);
    const auto found = seen.emplace(key, static_cast<uint32_t>(c.vert.size()));
    if (found.second) c.vert.push_back(v);
    return found.first->second;
  };
  if (!split) {
    c.vert.resize(static_cast<size_t>(a.n_vert));
    for (int v = 0; v < a.n_vert; ++v) c.vert[v] = v;
  }
  for (size_t t = 0; t < a.facets.size(); ++t) {
    for (int k = 0; k < 3; ++k) c.triangles.push_back(copyOf(a.triangles[3 * t + k], a.facets[t]));
  }
  for (size_t l = 0; l < a.line_kinds.size(); ++l) {
    std::vector<uint32_t>& out = c.lines[a.line_kinds[l] % kOriLineKinds];
    out.push_back(copyOf(a.lines[2 * l], a.line_facets[l]));
    out.push_back(copyOf(a.lines[2 * l + 1], a.line_facets[l]));
  }
  return c;
}

// Positions of every copy in frame f, metres.
void framePositions(const ORI_fold_animation& a, const Copies& c, size_t f, double scale, std::vector<float>* out) {
  const float* p = a.frames.data() + f * 3 * static_cast<size_t>(a.n_vert);
  out->resize(c.vert.size() * 3);
  for (size_t i = 0; i < c.vert.size(); ++i) {
    for (int k = 0; k < 3; ++k) (*out)[3 * i + k] = static_cast<float>(static_cast<double>(p[3 * c.vert[i] + k]) * scale);
  }
}

// Unit normals of every copy from positions: the area-weighted mean of the
// normals of the triangles it is a corner of (within its facet, all one
// normal while the facet stays flat); +z where they cancel.
void frameNormals(const Copies& c, const std::vector<float>& pos, std::vector<float>* out) {
  std::vector<double> sum(pos.size(), 0.0);
  for (size_t t = 0; t + 2 < c.triangles.size(); t += 3) {
    const float* p[3] = {&pos[3 * c.triangles[t]], &pos[3 * c.triangles[t + 1]], &pos[3 * c.triangles[t + 2]]};
    const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 3; ++j) sum[3 * c.triangles[t + k] + j] += n[j];
    }
  }
  out->resize(pos.size());
  for (size_t i = 0; i < sum.size(); i += 3) {
    const double len = std::sqrt(sum[i] * sum[i] + sum[i + 1] * sum[i + 1] + sum[i + 2] * sum[i + 2]);
    const bool none = !(len > 0.0) || !std::isfinite(len);
    for (int j = 0; j < 3; ++j) (*out)[i + j] = none ? (j == 2 ? 1.0f : 0.0f) : static_cast<float>(sum[i + j] / len);
  }
}

// The binary chunk, laid out before anything is written: one buffer view
// per accessor, in writing order.
struct Plan {
  json accessors = json::array();
  json views = json::array();
  uint64_t bytes = 0;
  int add(int component, const char* type, uint64_t count, uint64_t component_bytes, int target) {
    static const std::unordered_map<std::string, int> kWidth = {{"SCALAR", 1}, {"VEC3", 3}};
    const uint64_t length = count * component_bytes * static_cast<uint64_t>(kWidth.at(type));
    json view = {{"buffer", 0}, {"byteOffset", bytes}, {"byteLength", length}};
    if (target != 0) view["target"] = target;
    views.push_back(view);
    accessors.push_back({{"bufferView", views.size() - 1}, {"componentType", component}, {"count", count}, {"type", type}});
    bytes += length;  // every component is 4 bytes: views stay aligned
    return static_cast<int>(accessors.size() - 1);
  }
  void bounds(int accessor, const std::vector<float>& v) {
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0; i < v.size(); ++i) {
      lo[i % 3] = std::fmin(lo[i % 3], v[i]);
      hi[i % 3] = std::fmax(hi[i % 3], v[i]);
    }
    accessors[accessor]["min"] = {lo[0], lo[1], lo[2]};
    accessors[accessor]["max"] = {hi[0], hi[1], hi[2]};
  }
};

// Little-endian output whatever the machine.
void put32(std::vector<unsigned char>* out, uint32_t x) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(x >> (8 * k)));
}
void putFloats(std::vector<unsigned char>* out, const std::vector<float>& v) {
  for (const float f : v) {
    uint32_t x;
    std::memcpy(&x, &f, 4);
    put32(out, x);
  }
}

bool writeBytes(FILE* fp, const std::vector<unsigned char>& b) {
  return b.empty() || std::fwrite(b.data(), 1, b.size(), fp) == b.size();
}

}  // namespace

int oriGltfSave(const ORI_fold_animation* anim, const ORI_gltfOptions& opt, FILE* fp, std::string* why) {
  if (anim == nullptr || fp == nullptr || anim->steps.empty() || anim->triangles.empty()) {
    *why = "nothing recorded to write";
    return -1;
  }
  if (!(opt.scale > 0.0) || !std::isfinite(opt.scale) || !(opt.fps > 0.0) || !std::isfinite(opt.fps)) {
    *why = "the scale and the pace must be positive numbers";
    return -1;
  }
  const ORI_fold_animation& a = *anim;
  const Copies c = makeCopies(a, opt.normals);
  const size_t frames = a.steps.size(), targets = frames - 1;
  const uint64_t n = c.vert.size();

  Plan plan;
  std::vector<float> base, pos, nrm, base_nrm, delta;
  framePositions(a, c, 0, opt.scale, &base);
  const int front_indices = plan.add(kUnsignedInt, "SCALAR", c.triangles.size(), 4, kElementArrayBuffer);
  const int back_indices = plan.add(kUnsignedInt, "SCALAR", c.triangles.size(), 4, kElementArrayBuffer);
  int line_indices[kOriLineKinds];
  for (int k = 0; k < kOriLineKinds; ++k) {
    line_indices[k] = c.lines[k].empty() ? -1 : plan.add(kUnsignedInt, "SCALAR", c.lines[k].size(), 4, kElementArrayBuffer);
  }
  const int base_position = plan.add(kFloat, "VEC3", n, 4, kArrayBuffer);
  plan.bounds(base_position, base);
  const int base_normal = opt.normals ? plan.add(kFloat, "VEC3", n, 4, kArrayBuffer) : -1;
  const int base_back_normal = opt.normals ? plan.add(kFloat, "VEC3", n, 4, kArrayBuffer) : -1;
  json front_targets = json::array(), back_targets = json::array(), line_targets = json::array();
  json names = json::array();
  for (size_t f = 1; f < frames; ++f) {
    framePositions(a, c, f, opt.scale, &pos);
    for (size_t i = 0; i < pos.size(); ++i) pos[i] -= base[i];
    const int p = plan.add(kFloat, "VEC3", n, 4, kArrayBuffer);
    plan.bounds(p, pos);
    json front = {{"POSITION", p}}, back = {{"POSITION", p}};
    if (opt.normals) {
      front["NORMAL"] = plan.add(kFloat, "VEC3", n, 4, kArrayBuffer);
      back["NORMAL"] = plan.add(kFloat, "VEC3", n, 4, kArrayBuffer);
    }
    front_targets.push_back(front);
    back_targets.push_back(back);
    line_targets.push_back({{"POSITION", p}});
    names.push_back("step " + std::to_string(a.steps[f]));
  }
  // Seconds from the first frame: the recorded steps' own pace, or one
  // frame after another where steps do not increase.
  std::vector<float> times(frames);
  bool increasing = true;
  for (size_t f = 1; f < frames; ++f) increasing = increasing && a.steps[f] > a.steps[f - 1];
  for (size_t f = 0; f < frames; ++f) {
    times[f] = static_cast<float>((increasing ? static_cast<double>(a.steps[f] - a.steps[0]) : static_cast<double>(f)) / opt.fps);
  }
  int time_input = -1, weight_output = -1;
  if (targets > 0) {
    time_input = plan.add(kFloat, "SCALAR", frames, 4, 0);
    plan.accessors[time_input]["min"] = {times.front()};
    plan.accessors[time_input]["max"] = {times.back()};
    weight_output = plan.add(kFloat, "SCALAR", frames * targets, 4, 0);
  }

  json primitives = json::array();
  json materials = json::array({material("front", a.front_rgb, kPaperRoughness), material("back", a.back_rgb, kPaperRoughness)});
  for (const bool back : {false, true}) {
    json prim = {{"attributes", {{"POSITION", base_position}}},
                 {"indices", back ? back_indices : front_indices},
                 {"material", back ? 1 : 0},
                 {"mode", kModeTriangles}};
    if (opt.normals) prim["attributes"]["NORMAL"] = back ? base_back_normal : base_normal;
    if (targets > 0) prim["targets"] = back ? back_targets : front_targets;
    primitives.push_back(prim);
  }
  for (int k = 0; k < kOriLineKinds; ++k) {
    if (line_indices[k] < 0) continue;
    materials.push_back(material(kLineName[k], kLineRgb[k], 1.0));
    json prim = {{"attributes", {{"POSITION", base_position}}},
                 {"indices", line_indices[k]},
                 {"material", materials.size() - 1},
                 {"mode", kModeLines}};
    if (targets > 0) prim["targets"] = line_targets;
    primitives.push_back(prim);
  }
  json mesh = {{"name", "sheet"}, {"primitives", primitives}};
  if (targets > 0) {
    mesh["weights"] = std::vector<double>(targets, 0.0);
    mesh["extras"] = {{"targetNames", names}};
  }
  json doc;
  doc["asset"] = {{"version", "2.0"}, {"generator", "Plicata"}, {"extras", {{"metresPerFileUnit", opt.scale}}}};
  doc["scene"] = 0;
  doc["scenes"] = json::array({json{{"nodes", json::array({0})}}});
  doc["nodes"] = json::array({json{{"name", "Plicata fold"}, {"mesh", 0}}});
  doc["meshes"] = json::array({mesh});
  doc["materials"] = materials;
  doc["accessors"] = plan.accessors;
  doc["bufferViews"] = plan.views;
  doc["buffers"] = json::array({json{{"byteLength", plan.bytes}}});
  if (targets > 0) {
    const json sampler = {{"input", time_input}, {"output", weight_output}, {"interpolation", "LINEAR"}};
    const json channel = {{"sampler", 0}, {"target", {{"node", 0}, {"path", "weights"}}}};
    doc["animations"] = json::array({json{{"name", "fold"}, {"samplers", json::array({sampler})}, {"channels", json::array({channel})}}});
  }
  std::string text = doc.dump();
  while (text.size() % 4 != 0) text += ' ';
  const uint64_t total = 12 + 8 + text.size() + 8 + plan.bytes;
  if (total > kGlbMaxBytes) {
    *why = "the folding takes " + std::to_string(total >> 20) + " MiB, beyond the 4 GiB a GLB file can hold";
    return -1;
  }

  std::vector<unsigned char> out;
  put32(&out, kGlbMagic);
  put32(&out, kGlbVersion);
  put32(&out, static_cast<uint32_t>(total));
  put32(&out, static_cast<uint32_t>(text.size()));
  put32(&out, kChunkJson);
  out.insert(out.end(), text.begin(), text.end());
  put32(&out, static_cast<uint32_t>(plan.bytes));
  put32(&out, kChunkBin);
  // The blocks in the plan's order.
  for (const bool back : {false, true}) {
    for (size_t t = 0; t < c.triangles.size(); t += 3) {
      put32(&out, c.triangles[t]);
      put32(&out, c.triangles[back ? t + 2 : t + 1]);
      put32(&out, c.triangles[back ? t + 1 : t + 2]);
    }
  }
  for (int k = 0; k < kOriLineKinds; ++k) {
    for (const uint32_t i : c.lines[k]) put32(&out, i);
  }
  putFloats(&out, base);
  if (opt.normals) {
    frameNormals(c, base, &base_nrm);
    putFloats(&out, base_nrm);
    for (float& x : base_nrm) x = -x;
    putFloats(&out, base_nrm);
    for (float& x : base_nrm) x = -x;
  }
  bool ok = writeBytes(fp, out);
  for (size_t f = 1; f < frames && ok; ++f) {
    out.clear();
    framePositions(a, c, f, opt.scale, &pos);
    if (opt.normals) frameNormals(c, pos, &nrm);
    for (size_t i = 0; i < pos.size(); ++i) pos[i] -= base[i];
    putFloats(&out, pos);
    if (opt.normals) {
      delta.resize(nrm.size());
      for (size_t i = 0; i < nrm.size(); ++i) delta[i] = nrm[i] - base_nrm[i];
      putFloats(&out, delta);
      for (float& x : delta) x = -x;
      putFloats(&out, delta);
    }
    ok = writeBytes(fp, out);
  }
  if (ok && targets > 0) {
    out.clear();
    std::vector<float> weights(frames * targets, 0.0f);
    for (size_t f = 1; f < frames; ++f) weights[f * targets + (f - 1)] = 1.0f;
    putFloats(&out, times);
    putFloats(&out, weights);
    ok = writeBytes(fp, out);
  }
  if (!ok || std::ferror(fp)) {
    *why = std::string("cannot write: ") + std::strerror(errno != 0 ? errno : EIO);
    return -1;
  }
  return 0;
}

int oriGltfSaveFile(const ORI_fold_animation* anim, const ORI_gltfOptions& opt, const char* path, std::string* why) {
  return oriWriteFileSaying(path, [&](FILE* fp, std::string* w) { return oriGltfSave(anim, opt, fp, w); }, why);
}
