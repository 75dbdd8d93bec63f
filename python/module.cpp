// plicata._core: the Python bindings of the sheet (python/sheet.h) and the
// pattern generators. The pure-Python package (python/plicata/) wraps them
// with documentation, paths and atomic file writing.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "python/sheet.h"

namespace py = pybind11;
using plicata::Sheet;

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Indices = py::array_t<long long, py::array::c_style>;

// Arrays handed out are copies: read-only, so that writing into one (say
// sheet.targets[0] = 1.0) fails loudly instead of changing nothing.
template <typename T>
py::array_t<T> frozen(py::array_t<T> a) {
  py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return a;
}

template <typename T, typename Fill>
py::array_t<T> filled(const std::vector<py::ssize_t>& shape, Fill fill) {
  py::array_t<T> a(shape);
  fill(a.mutable_data());
  return frozen(std::move(a));
}

// Asks Python whether Ctrl-C was pressed, taking the interpreter lock for
// the moment of the question; a pending signal ends the fold call.
bool interruptRequested() {
  py::gil_scoped_acquire gil;
  return PyErr_CheckSignals() != 0;
}

py::dict stepDict(const plicata::StepFigures& f) {
  py::dict d;
  d["steps"] = f.steps;
  d["cg_iterations"] = f.cg_iterations;
  d["max_delta"] = f.max_delta;
  d["residual_before"] = f.residual_before;
  d["milliseconds"] = f.milliseconds;
  d["newton_iterations"] = f.newton_iterations;
  d["exact_kept"] = f.exact_kept;
  d["exact_halvings"] = f.exact_halvings;
  d["active_contacts"] = f.active_contacts;
  d["locked"] = f.locked;
  return d;
}

// Builds a generated pattern's sheet, or raises ValueError with the
// generator's reason.
template <typename Params>
std::unique_ptr<Sheet> generate(int (*make)(CreasePattern*, const Params&, char*, size_t), const Params& params,
                                const std::string& name, bool triangulate) {
  std::unique_ptr<CreasePattern, void (*)(CreasePattern*)> cp(CreasePatternNew(), CreasePatternDestruct);
  char why[256] = "";
  if (make(cp.get(), params, why, sizeof why) != 0) throw py::value_error(name + ": " + why);
  py::gil_scoped_release unlocked;
  return Sheet::generated(cp.get(), name, triangulate);
}

int assignment(const std::string& name) {
  if (name == "standard") return kOriAssignStandard;
  if (name == "swapped") return kOriAssignSwapped;
  if (name == "positive") return kOriAssignPositive;
  if (name == "negative") return kOriAssignNegative;
  throw py::value_error("assign must be standard, swapped, positive or negative, not " + name);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Plicata's folding core: the low-level sheet that the plicata package wraps.";
  static py::exception<plicata::PatternFailure> pattern_error(m, "PatternError");
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const plicata::PatternFailure& e) {
      pattern_error(e.what());
    }
  });

  m.attr("MAX_STEPS") = plicata::kMaxSteps;
  m.attr("KIND_NEGATIVE") = static_cast<int>(plicata::kKindNegative);
  m.attr("KIND_FLAT") = static_cast<int>(plicata::kKindFlat);
  m.attr("KIND_POSITIVE") = static_cast<int>(plicata::kKindPositive);
  m.attr("KIND_DIAGONAL") = static_cast<int>(plicata::kKindDiagonal);

  py::class_<Sheet>(m, "Sheet")
      .def_static("load", &Sheet::load, py::arg("path"), py::arg("triangulate"),
                  py::call_guard<py::gil_scoped_release>())
      .def("open_next", &Sheet::openNext, py::arg("path"), py::arg("triangulate"),
           py::call_guard<py::gil_scoped_release>())
      .def(
          "fold",
          [](Sheet& s, long steps, long fold_step, bool unfold, bool record, bool exact, bool contact) {
            plicata::StepFigures f;
            {
              py::gil_scoped_release unlocked;
              f = s.fold(steps, fold_step, unfold, record, exact, contact, interruptRequested);
            }
            // A signal that ended the call early is raised now.
            if (PyErr_Occurred() != nullptr) throw py::error_already_set();
            return stepDict(f);
          },
          py::arg("steps"), py::arg("fold_step"), py::arg("unfold"), py::arg("record"), py::arg("exact"),
          py::arg("contact"))
      .def("clear", &Sheet::clear)
      .def_property_readonly("source", &Sheet::source)
      .def_property_readonly("messages", &Sheet::messages)
      .def_property_readonly("last_step", [](const Sheet& s) { return stepDict(s.lastStep()); })
      .def_property_readonly("steps_taken", &Sheet::stepsTaken)
      .def_property_readonly("vertex_count", &Sheet::vertexCount)
      .def_property_readonly("crease_count", &Sheet::creaseCount)
      .def_property_readonly("face_count", &Sheet::faceCount)
      .def_property_readonly("triangulated", &Sheet::triangulated)
      .def_property_readonly("vertices",
                             [](const Sheet& s) {
                               return filled<double>({s.vertexCount(), 3}, [&](double* p) { s.fillVertices(p); });
                             })
      .def_property_readonly("flat_vertices",
                             [](const Sheet& s) {
                               return filled<double>({s.vertexCount(), 2}, [&](double* p) { s.fillFlatVertices(p); });
                             })
      .def_property_readonly("triangles",
                             [](const Sheet& s) {
                               return filled<long long>({s.faceCount(), 3},
                                                        [&](long long* p) { s.fillTriangles(p); });
                             })
      .def_property_readonly("faces",
                             [](const Sheet& s) {
                               py::list out;
                               for (const std::vector<long long>& loop : s.faces()) {
                                 out.append(frozen(py::array_t<long long>(loop.size(), loop.data())));
                               }
                               return out;
                             })
      .def_property_readonly("creases",
                             [](const Sheet& s) {
                               return filled<long long>({s.creaseCount(), 2}, [&](long long* p) { s.fillCreases(p); });
                             })
      .def_property_readonly("fold_angles",
                             [](const Sheet& s) {
                               return filled<double>({s.creaseCount()}, [&](double* p) { s.fillFoldAngles(p); });
                             })
      .def_property_readonly("kinds",
                             [](const Sheet& s) {
                               return filled<signed char>({s.creaseCount()},
                                                          [&](signed char* p) { s.fillKinds(p); });
                             })
      .def_property(
          "targets",
          [](const Sheet& s) { return filled<double>({s.creaseCount()}, [&](double* p) { s.fillTargets(p); }); },
          [](Sheet& s, const Doubles& targets) {
            const py::ssize_t n = s.creaseCount();
            if (targets.ndim() != 1 || targets.shape(0) != n) {
              throw py::value_error("targets must have shape (" + std::to_string(n) + ",): one angle per crease");
            }
            s.setTargets(targets.data(), static_cast<size_t>(n));
          })
      .def_property("fold_to", &Sheet::foldTo, &Sheet::setFoldTo)
      .def_property_readonly("exact_kept", &Sheet::exactKept)
      .def_property("thickness", &Sheet::thickness, &Sheet::setThickness)
      .def(
          "intersections",
          [](const Sheet& s) {
            std::vector<std::pair<int, int>> pairs;
            {
              py::gil_scoped_release unlocked;
              pairs = s.intersections();
            }
            return filled<long long>({static_cast<py::ssize_t>(pairs.size()), 2}, [&](long long* out) {
              for (const auto& p : pairs) {
                *out++ = p.first;
                *out++ = p.second;
              }
            });
          })
      .def_property_readonly("residual", &Sheet::residual)
      .def_property_readonly("vertex_closure",
                             [](const Sheet& s) {
                               std::vector<double> per_vertex;
                               s.vertexClosure(&per_vertex);
                               return frozen(py::array_t<double>(per_vertex.size(), per_vertex.data()));
                             })
      .def_property_readonly("inner_vertices",
                             [](const Sheet& s) {
                               return filled<long long>({s.innerVertexCount()},
                                                        [&](long long* p) { s.fillInnerVertices(p); });
                             })
      .def_property_readonly("recorded_frames", &Sheet::recordedFrames)
      .def("start_recording", &Sheet::startRecording)
      .def("save_obj", &Sheet::saveObj, py::arg("path"), py::call_guard<py::gil_scoped_release>())
      .def("save_fold", &Sheet::saveFold, py::arg("path"), py::call_guard<py::gil_scoped_release>());

  m.def(
      "miura",
      [](int rows, int cols, double angle_deg, double ratio, const std::string& assign, bool triangulate,
         const std::string& name) {
        OriMiuraParams p;
        p.rows = rows;
        p.cols = cols;
        p.sector_deg = angle_deg;
        p.ratio = ratio;
        p.assign = assignment(assign);
        return generate(oriPatternMakeMiura, p, name, triangulate);
      },
      py::arg("rows"), py::arg("cols"), py::arg("angle_deg"), py::arg("ratio"), py::arg("assign"),
      py::arg("triangulate"), py::arg("name"));
  m.def(
      "vertex",
      [](const std::vector<double>& sectors_deg, const std::vector<int>& types, double rotation_deg,
         bool triangulate, const std::string& name) {
        OriVertexParams p;
        if (sectors_deg.size() < 3 || sectors_deg.size() > static_cast<size_t>(kOriPatternMaxDegree)) {
          throw py::value_error("a vertex has 3 to " + std::to_string(kOriPatternMaxDegree) + " sectors");
        }
        if (types.size() != sectors_deg.size()) throw py::value_error("types must give one line type per sector");
        p.degree = static_cast<int>(sectors_deg.size());
        for (size_t k = 0; k < sectors_deg.size(); ++k) {
          p.sector_deg[k] = sectors_deg[k];
          p.type[k] = types[k];
        }
        p.rotation_deg = rotation_deg;
        return generate(oriPatternMakeVertex, p, name, triangulate);
      },
      py::arg("sectors_deg"), py::arg("types"), py::arg("rotation_deg"), py::arg("triangulate"), py::arg("name"));
  m.def(
      "waterbomb",
      [](int rows, int cols, const std::string& assign, bool triangulate, const std::string& name) {
        OriWaterbombParams p;
        p.rows = rows;
        p.cols = cols;
        p.assign = assignment(assign);
        return generate(oriPatternMakeWaterbomb, p, name, triangulate);
      },
      py::arg("rows"), py::arg("cols"), py::arg("assign"), py::arg("triangulate"), py::arg("name"));
}
