#include "files/fold_export.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "files/obj_export.h"
#include "files/write_aside.h"
#include "geometry/manifold.h"

// 180/π: FOLD gives fold angles in degrees.
constexpr double kRadianToDegree = 57.29577951308232;

struct ORI_fold_recording {
  int n_vert = 0;                      // vertices in om's list
  int n_half = 0;                      // half-edges in om's list
  std::vector<int> edge_half;          // per FOLD edge: its half-edge's position in om's list
  std::vector<int> edges_vertices;     // 2 per edge: tail, head
  std::vector<char> edges_assignment;  // per edge: 'B', 'M', 'V' or 'F'
  std::vector<double> target_degrees;  // per edge: frame 0's edges_foldAngle
  std::vector<double> flat_coords;     // 2 per vertex, pattern units
  std::vector<int> face_start;         // per face: its first entry in face_verts; one more at the end
  std::vector<int> face_verts;
  std::vector<double> frame_coords;   // 3 per vertex per folded frame
  std::vector<double> frame_degrees;  // 1 per edge per folded frame
  int n_frames = 0;                   // folded frames
  bool keep_strain = false;           // record frame_strain (oriFoldRecordingKeepStrain)
  std::vector<double> frame_strain;   // 1 per edge per folded frame, when kept
  bool has_folded_form = false;       // the flat-folded form below is set
  std::vector<double> folded_form;    // 2 per vertex
  std::vector<int> face_orders;       // 3 per order
};

namespace {

template <typename T>
const T* at(const List* node) {
  return static_cast<const T*>(node->data);
}

template <typename T>
std::vector<const T*> listed(const List* top) {
  std::vector<const T*> out;
  for (const List* n = top; n != nullptr && n->data != nullptr; n = n->next) out.push_back(at<T>(n));
  return out;
}

bool onOutline(const ORI_edge* e) { return e->on_boundary || e->pair->on_boundary; }

char assignment(const ORI_edge* e) {
  if (onOutline(e)) return 'B';
  if (e->is_diagonal || e->target_angle == 0.0) return 'F';
  return e->target_angle > 0.0 ? 'V' : 'M';
}

// Writes "[a, b, ...]" of n numbers with fmt.
void writeNumbers(FILE* fp, const double* v, int n, const char* fmt) {
  std::fputc('[', fp);
  for (int k = 0; k < n; ++k) {
    if (k > 0) std::fputs(", ", fp);
    std::fprintf(fp, fmt, v[k]);
  }
  std::fputc(']', fp);
}

// Writes a list of n rows of width numbers, one row a line.
void writeRows(FILE* fp, const char* indent, const double* v, int n, int width) {
  std::fputs("[", fp);
  for (int k = 0; k < n; ++k) {
    std::fprintf(fp, "%s\n%s  ", k > 0 ? "," : "", indent);
    writeNumbers(fp, v + static_cast<size_t>(k) * width, width, "%.6f");
  }
  if (n > 0) std::fprintf(fp, "\n%s", indent);
  std::fputc(']', fp);
}

}  // namespace

ORI_fold_recording* oriFoldRecordingBegin(const ORI_manifold* om) {
  if (om == nullptr) return nullptr;
  const std::vector<const ORI_vert*> verts = listed<ORI_vert>(om->verts);
  const std::vector<const ORI_edge*> halves = listed<ORI_edge>(om->edges);
  const std::vector<const ORI_face*> faces = listed<ORI_face>(om->faces);
  if (verts.empty() || halves.empty() || faces.empty()) return nullptr;

  std::unordered_map<const ORI_vert*, int> vert_index;
  for (size_t k = 0; k < verts.size(); ++k) vert_index.emplace(verts[k], static_cast<int>(k));
  auto index = [&](const ORI_vert* v) {
    const auto it = vert_index.find(v);
    return it == vert_index.end() ? -1 : it->second;
  };

  ORI_fold_recording* rec = new ORI_fold_recording;
  rec->n_vert = static_cast<int>(verts.size());
  rec->n_half = static_cast<int>(halves.size());
  const double s = om->paper_size;

  // Flat coordinates from the half-edges' CP ends (pos is the folded place).
  rec->flat_coords.assign(2 * verts.size(), NAN);
  std::unordered_set<const ORI_edge*> taken;
  for (size_t p = 0; p < halves.size(); ++p) {
    const ORI_edge* e = halves[p];
    const int head = e->pair != nullptr ? index(e->vert) : -1;
    const int tail = head >= 0 ? index(e->pair->vert) : -1;
    if (head < 0 || tail < 0) {
      delete rec;
      return nullptr;
    }
    rec->flat_coords[2 * head] = e->x1 * s;
    rec->flat_coords[2 * head + 1] = e->y1 * s;
    if (taken.count(e->pair) != 0) continue;
    taken.insert(e);
    rec->edge_half.push_back(static_cast<int>(p));
    rec->edges_vertices.push_back(tail);
    rec->edges_vertices.push_back(head);
    const char a = assignment(e);
    rec->edges_assignment.push_back(a);
    rec->target_degrees.push_back(a == 'B' ? 0.0 : e->target_angle * kRadianToDegree);
  }
  for (size_t k = 0; k < verts.size(); ++k) {
    if (std::isnan(rec->flat_coords[2 * k])) {
      rec->flat_coords[2 * k] = verts[k]->pos.x * s;
      rec->flat_coords[2 * k + 1] = verts[k]->pos.y * s;
    }
  }

  // Faces counter-clockwise: the heads of their loop, from first.
  const size_t bound = halves.size() + 1;
  for (const ORI_face* f : faces) {
    rec->face_start.push_back(static_cast<int>(rec->face_verts.size()));
    const ORI_edge* e = f->first;
    if (e == nullptr) {
      delete rec;
      return nullptr;
    }
    size_t steps = 0;
    do {
      const int v = index(e->vert);
      if (v < 0) {
        delete rec;
        return nullptr;
      }
      rec->face_verts.push_back(v);
      e = e->next;
    } while (e != nullptr && e != f->first && ++steps < bound);
  }
  rec->face_start.push_back(static_cast<int>(rec->face_verts.size()));
  return rec;
}

int oriFoldRecordingFrame(ORI_fold_recording* rec, const ORI_manifold* om) {
  if (rec == nullptr || om == nullptr) return -1;
  const std::vector<const ORI_vert*> verts = listed<ORI_vert>(om->verts);
  const std::vector<const ORI_edge*> halves = listed<ORI_edge>(om->edges);
  if (static_cast<int>(verts.size()) != rec->n_vert || static_cast<int>(halves.size()) != rec->n_half) return -1;

  std::vector<double> coords;
  coords.reserve(3 * verts.size());
  for (const ORI_vert* v : verts) {
    // The OBJ writer's positions, so that both files agree.
    double p[3];
    oriManifoldObjPosition(om, v, p);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return -1;
    coords.insert(coords.end(), p, p + 3);
  }
  std::vector<double> degrees;
  degrees.reserve(rec->edge_half.size());
  for (size_t k = 0; k < rec->edge_half.size(); ++k) {
    const ORI_edge* e = halves[rec->edge_half[k]];
    if (!std::isfinite(e->angle)) return -1;
    const double d = rec->edges_assignment[k] == 'B' ? 0.0 : e->angle * kRadianToDegree;
    degrees.push_back(std::min(180.0, std::max(-180.0, d)));
  }
  if (rec->keep_strain) {
    // The relative change of each edge's length, from the coordinates the
    // frame records and frame 0's flat ones (both in pattern units).
    for (size_t k = 0; k < rec->edge_half.size(); ++k) {
      const int t = rec->edges_vertices[2 * k], h = rec->edges_vertices[2 * k + 1];
      const double* p = &coords[3 * static_cast<size_t>(t)];
      const double* q = &coords[3 * static_cast<size_t>(h)];
      const double folded = std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2]));
      const double flat = std::hypot(rec->flat_coords[2 * h] - rec->flat_coords[2 * t],
                                     rec->flat_coords[2 * h + 1] - rec->flat_coords[2 * t + 1]);
      rec->frame_strain.push_back(flat > 0.0 ? folded / flat - 1.0 : 0.0);
    }
  }
  rec->frame_coords.insert(rec->frame_coords.end(), coords.begin(), coords.end());
  rec->frame_degrees.insert(rec->frame_degrees.end(), degrees.begin(), degrees.end());
  ++rec->n_frames;
  return 0;
}

void oriFoldRecordingKeepStrain(ORI_fold_recording* rec) {
  if (rec != nullptr && rec->n_frames == 0) rec->keep_strain = true;
}

int oriFoldRecordingFoldedForm(ORI_fold_recording* rec, const double* xy, int n_vert, const int* face_orders,
                               int n_orders) {
  if (rec == nullptr || xy == nullptr || n_vert != rec->n_vert || n_orders < 0) return -1;
  for (int k = 0; k < 2 * n_vert; ++k) {
    if (!std::isfinite(xy[k])) return -1;
  }
  const int n_face = static_cast<int>(rec->face_start.size()) - 1;
  if (face_orders == nullptr) n_orders = 0;
  for (int k = 0; k < n_orders; ++k) {
    const int f = face_orders[3 * k], g = face_orders[3 * k + 1], s = face_orders[3 * k + 2];
    if (f < 0 || f >= n_face || g < 0 || g >= n_face || s < -1 || s > 1) return -1;
  }
  rec->folded_form.assign(xy, xy + 2 * static_cast<size_t>(n_vert));
  rec->face_orders.assign(face_orders, face_orders + 3 * static_cast<size_t>(n_orders));
  rec->has_folded_form = true;
  return 0;
}

int oriFoldRecordingFrameCount(const ORI_fold_recording* rec) {
  return rec == nullptr ? 0 : rec->n_frames + 1 + (rec->has_folded_form ? 1 : 0);
}

int oriFoldRecordingSave(const ORI_fold_recording* rec, FILE* fp) {
  if (rec == nullptr || fp == nullptr) return -1;
  const int n_edge = static_cast<int>(rec->edge_half.size());
  const int n_face = static_cast<int>(rec->face_start.size()) - 1;

  std::fputs("{\n  \"file_spec\": 1.2,\n  \"file_creator\": \"Plicata\",\n", fp);
  std::fprintf(fp, "  \"file_classes\": [\"%s\"],\n", rec->n_frames > 0 ? "animation" : "singleModel");
  std::fputs("  \"frame_classes\": [\"creasePattern\"],\n  \"frame_attributes\": [\"2D\"],\n", fp);
  std::fputs("  \"vertices_coords\": ", fp);
  writeRows(fp, "  ", rec->flat_coords.data(), rec->n_vert, 2);
  std::fputs(",\n  \"edges_vertices\": [", fp);
  for (int k = 0; k < n_edge; ++k) {
    std::fprintf(fp, "%s\n    [%d, %d]", k > 0 ? "," : "", rec->edges_vertices[2 * k], rec->edges_vertices[2 * k + 1]);
  }
  std::fputs("\n  ],\n  \"edges_assignment\": [", fp);
  for (int k = 0; k < n_edge; ++k) std::fprintf(fp, "%s\"%c\"", k > 0 ? ", " : "", rec->edges_assignment[k]);
  std::fputs("],\n  \"edges_foldAngle\": ", fp);
  writeNumbers(fp, rec->target_degrees.data(), n_edge, "%.6f");
  std::fputs(",\n  \"faces_vertices\": [", fp);
  for (int f = 0; f < n_face; ++f) {
    std::fprintf(fp, "%s\n    [", f > 0 ? "," : "");
    for (int k = rec->face_start[f]; k < rec->face_start[f + 1]; ++k) {
      std::fprintf(fp, "%s%d", k > rec->face_start[f] ? ", " : "", rec->face_verts[k]);
    }
    std::fputc(']', fp);
  }
  std::fputs("\n  ]", fp);

  if (rec->n_frames > 0 || rec->has_folded_form) {
    std::fputs(",\n  \"file_frames\": [", fp);
    for (int k = 0; k < rec->n_frames; ++k) {
      std::fprintf(fp, "%s\n    {\n", k > 0 ? "," : "");
      std::fputs("      \"frame_classes\": [\"foldedForm\"],\n      \"frame_attributes\": [\"3D\"],\n", fp);
      std::fputs("      \"frame_parent\": 0,\n      \"frame_inherit\": true,\n      \"vertices_coords\": ", fp);
      writeRows(fp, "      ", rec->frame_coords.data() + static_cast<size_t>(k) * 3 * rec->n_vert, rec->n_vert, 3);
      std::fputs(",\n      \"edges_foldAngle\": ", fp);
      writeNumbers(fp, rec->frame_degrees.data() + static_cast<size_t>(k) * n_edge, n_edge, "%.6f");
      if (rec->keep_strain) {
        std::fputs(",\n      \"edges_plicata:strain\": ", fp);
        writeNumbers(fp, rec->frame_strain.data() + static_cast<size_t>(k) * n_edge, n_edge, "%.6e");
      }
      std::fputs("\n    }", fp);
    }
    if (rec->has_folded_form) {
      std::fprintf(fp, "%s\n    {\n", rec->n_frames > 0 ? "," : "");
      std::fputs("      \"frame_classes\": [\"foldedForm\"],\n      \"frame_attributes\": [\"2D\"],\n", fp);
      std::fputs("      \"frame_parent\": 0,\n      \"frame_inherit\": true,\n      \"vertices_coords\": ", fp);
      writeRows(fp, "      ", rec->folded_form.data(), rec->n_vert, 2);
      std::vector<double> flat_degrees(n_edge, 0.0);
      for (int k = 0; k < n_edge; ++k) {
        const char a = rec->edges_assignment[k];
        flat_degrees[k] = a == 'V' ? 180.0 : a == 'M' ? -180.0 : 0.0;
      }
      std::fputs(",\n      \"edges_foldAngle\": ", fp);
      writeNumbers(fp, flat_degrees.data(), n_edge, "%.0f");
      const size_t n_orders = rec->face_orders.size() / 3;
      if (n_orders > 0) {
        std::fputs(",\n      \"faceOrders\": [", fp);
        for (size_t k = 0; k < n_orders; ++k) {
          std::fprintf(fp, "%s\n        [%d, %d, %d]", k > 0 ? "," : "", rec->face_orders[3 * k],
                       rec->face_orders[3 * k + 1], rec->face_orders[3 * k + 2]);
        }
        std::fputs("\n      ]", fp);
      }
      std::fputs("\n    }", fp);
    }
    std::fputs("\n  ]", fp);
  }
  std::fputs("\n}\n", fp);
  return (std::fflush(fp) != 0 || std::ferror(fp)) ? -1 : 0;
}

int oriFoldRecordingSaveFile(const ORI_fold_recording* rec, const char* path) {
  if (rec == nullptr || path == nullptr) return -1;
  return oriWriteFileReplacing(
      path, [](FILE* fp, const void* r) { return oriFoldRecordingSave(static_cast<const ORI_fold_recording*>(r), fp); },
      rec);
}

void oriFoldRecordingDelete(ORI_fold_recording* rec) { delete rec; }
