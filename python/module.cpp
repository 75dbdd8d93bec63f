// plicata._core: the Python bindings of the sheet (python/sheet.h) and the
// pattern generators. The pure-Python package (python/plicata/) wraps them
// with documentation, paths and atomic file writing.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/examples_dir.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "python/picture.h"
#include "python/sheet.h"
#include "sim/sim_step.h"

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

// A fresh read-only array of shape filled by fill(data, count) where
// count() gives the entries' number, both called without the interpreter
// lock. The array is made for the count read first; when the sheet changed
// in between (another thread opened a pattern), fill refuses and both are
// read again.
template <typename T, typename Count, typename Fill>
py::array_t<T> filled(Count count, size_t columns, Fill fill) {
  for (;;) {
    py::ssize_t n = 0;
    {
      py::gil_scoped_release unlocked;
      n = count();
    }
    std::vector<py::ssize_t> shape{n};
    if (columns > 0) shape.push_back(static_cast<py::ssize_t>(columns));
    py::array_t<T> a(shape);
    T* data = a.mutable_data();
    bool done = false;
    {
      py::gil_scoped_release unlocked;
      done = fill(data, static_cast<size_t>(n));
    }
    if (done) return frozen(std::move(a));
  }
}

// A method of the sheet called without the interpreter lock: every method
// takes the sheet's lock, which a fold in another thread holds while it asks
// Python about Ctrl-C.
template <typename R, typename... Args>
auto released(R (Sheet::*method)(Args...) const) {
  return [method](const Sheet& s, Args... args) {
    py::gil_scoped_release unlocked;
    return (s.*method)(args...);
  };
}
template <typename R, typename... Args>
auto released(R (Sheet::*method)(Args...)) {
  return [method](Sheet& s, Args... args) {
    py::gil_scoped_release unlocked;
    return (s.*method)(args...);
  };
}

// The view names of Sheet.picture.
int pictureView(const std::string& name) {
  if (name == "object") return 0;
  if (name == "top") return 1;
  if (name == "cp") return 2;
  throw py::value_error("view must be 'object', 'top' or 'cp', not " + name);
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
  d["solver"] = f.compliant ? "compliant" : "rigid";
  d["compliant_kept"] = f.compliant_kept;
  d["max_strain"] = f.max_strain;
  d["max_bending"] = f.max_bending;
  d["active_contacts"] = f.active_contacts;
  d["locked"] = f.locked;
  return d;
}

// An analysis as the package's Mobility takes it: the counts, the singular
// values ascending and the modes as a (creases, dof) array.
py::dict mobilityDict(const ORISIM_mobility& m) {
  py::dict d;
  d["dof"] = m.dof;
  d["redundant"] = m.redundant;
  d["rank"] = m.rank;
  d["flat"] = m.flat != 0;
  d["closed"] = m.closed != 0;
  d["sure"] = m.sure != 0;
  d["diagonals"] = m.diagonals == kOriMobilityDiagonalsHinge;
  d["tolerance"] = m.tolerance;
  d["singular_values"] = frozen(py::array_t<double>(m.sigma.size(), m.sigma.data()));
  const py::ssize_t n = m.n, dof = m.dof;
  py::array_t<double> modes({n, dof});
  double* out = modes.mutable_data();
  for (py::ssize_t c = 0; c < n; ++c) {
    for (py::ssize_t k = 0; k < dof; ++k) *out++ = m.modes[static_cast<size_t>(k * n + c)];
  }
  d["modes"] = frozen(std::move(modes));
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
  // The library's helper threads start only when a dense system needs them.
  oriSimHoldBlasThreads();
  // A malformed pattern is a ValueError; a file that cannot be opened is
  // also the OSError Python users catch (FileNotFoundError, PermissionError),
  // carrying errno, strerror and filename.
  static py::exception<plicata::PatternFailure> pattern_error(m, "PatternError", PyExc_ValueError);
  auto subclass = [&m](const char* name, PyObject* os_error) {
    const std::string qualified = std::string("plicata._core.") + name;
    PyObject* cls = PyErr_NewException(qualified.c_str(), py::make_tuple(py::handle(os_error), pattern_error).ptr(),
                                       nullptr);
    if (cls == nullptr) throw py::error_already_set();
    m.attr(name) = py::reinterpret_steal<py::object>(cls);
    return cls;
  };
  static PyObject* not_found = subclass("PatternNotFoundError", PyExc_FileNotFoundError);
  static PyObject* permission = subclass("PatternPermissionError", PyExc_PermissionError);
  static PyObject* unreadable = subclass("PatternUnreadableError", PyExc_OSError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const plicata::PatternFailure& e) {
      if (e.error_number == 0) {
        pattern_error(e.what());
        return;
      }
      const int n = e.error_number;
      PyObject* cls = n == ENOENT || n == ENOTDIR ? not_found : n == EACCES || n == EPERM ? permission : unreadable;
      // The system's words, then where a bare name was looked for when it
      // was (the working folder and the examples folder).
      std::string reason = std::strerror(n);
      const std::string text = e.what(), lead = e.path + ": ";
      if (text.find("examples folder") != std::string::npos) {
        reason += "; " + (text.rfind(lead, 0) == 0 ? text.substr(lead.size()) : text);
      }
      py::tuple args = py::make_tuple(n, reason, py::str(e.path));
      PyErr_SetObject(cls, args.ptr());
    } catch (const plicata::SheetClosed& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  m.attr("MAX_STEPS") = plicata::kMaxSteps;
  m.attr("__version__") = PLICATA_VERSION;
  m.def(
      "find_pattern",
      [](const std::string& path) {
        std::string found;
        const ORI_result r = oriFindPattern(path.c_str(), &found);
        if (oriFailed(r)) throw plicata::PatternFailure(oriResultText(r));
        return found;
      },
      py::arg("path"));
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
          [](Sheet& s, long steps, long fold_step, bool unfold, bool record, bool exact, bool contact, long mode) {
            plicata::StepFigures f;
            {
              py::gil_scoped_release unlocked;
              f = s.fold(steps, fold_step, unfold, record, exact, contact, mode, interruptRequested);
            }
            // A signal that ended the call early is raised now.
            if (PyErr_Occurred() != nullptr) throw py::error_already_set();
            return stepDict(f);
          },
          py::arg("steps"), py::arg("fold_step"), py::arg("unfold"), py::arg("record"), py::arg("exact"),
          py::arg("contact"), py::arg("mode"))
      .def(
          "mobility",
          [](Sheet& s, bool diagonals) {
            ORISIM_mobility m;
            {
              py::gil_scoped_release unlocked;
              m = s.mobility(diagonals);
            }
            return mobilityDict(m);
          },
          py::arg("diagonals"))
      .def("clear", &Sheet::clear, py::call_guard<py::gil_scoped_release>())
      .def("close", &Sheet::close, py::call_guard<py::gil_scoped_release>())
      .def_property_readonly("closed", released(&Sheet::closed))
      .def_property_readonly("version", released(&Sheet::version))
      .def_property_readonly("source", released(&Sheet::source))
      .def_property_readonly("messages", released(&Sheet::messages))
      .def_property_readonly("last_step",
                             [](const Sheet& s) {
                               plicata::StepFigures f;
                               {
                                 py::gil_scoped_release unlocked;
                                 f = s.lastStep();
                               }
                               return stepDict(f);
                             })
      .def_property_readonly("steps_taken", released(&Sheet::stepsTaken))
      .def_property_readonly("vertex_count", released(&Sheet::vertexCount))
      .def_property_readonly("crease_count", released(&Sheet::creaseCount))
      .def_property_readonly("face_count", released(&Sheet::faceCount))
      .def_property_readonly("triangulated", released(&Sheet::triangulated))
      .def_property_readonly("vertices",
                             [](const Sheet& s) {
                               return filled<double>([&] { return s.vertexCount(); }, 3,
                                                     [&](double* p, size_t n) { return s.fillVertices(p, n); });
                             })
      .def_property_readonly("flat_vertices",
                             [](const Sheet& s) {
                               return filled<double>([&] { return s.vertexCount(); }, 2,
                                                     [&](double* p, size_t n) { return s.fillFlatVertices(p, n); });
                             })
      .def_property_readonly("triangles",
                             [](const Sheet& s) {
                               return filled<long long>([&] { return s.faceCount(); }, 3,
                                                        [&](long long* p, size_t n) { return s.fillTriangles(p, n); });
                             })
      .def_property_readonly("faces",
                             [](const Sheet& s) {
                               std::vector<std::vector<long long>> loops;
                               {
                                 py::gil_scoped_release unlocked;
                                 loops = s.faces();
                               }
                               py::list out;
                               for (const std::vector<long long>& loop : loops) {
                                 out.append(frozen(py::array_t<long long>(loop.size(), loop.data())));
                               }
                               return out;
                             })
      .def_property_readonly("creases",
                             [](const Sheet& s) {
                               return filled<long long>([&] { return s.creaseCount(); }, 2,
                                                        [&](long long* p, size_t n) { return s.fillCreases(p, n); });
                             })
      .def_property_readonly("fold_angles",
                             [](const Sheet& s) {
                               return filled<double>([&] { return s.creaseCount(); }, 0,
                                                     [&](double* p, size_t n) { return s.fillFoldAngles(p, n); });
                             })
      .def_property_readonly("kinds",
                             [](const Sheet& s) {
                               return filled<signed char>([&] { return s.creaseCount(); }, 0,
                                                          [&](signed char* p, size_t n) { return s.fillKinds(p, n); });
                             })
      .def_property(
          "targets",
          [](const Sheet& s) {
            return filled<double>([&] { return s.creaseCount(); }, 0,
                                  [&](double* p, size_t n) { return s.fillTargets(p, n); });
          },
          [](Sheet& s, const Doubles& targets) {
            // The count is checked again under the sheet's lock (setTargets).
            const py::ssize_t n = released(&Sheet::creaseCount)(s);
            if (targets.ndim() != 1 || targets.shape(0) != n) {
              throw py::value_error("targets must have shape (" + std::to_string(n) + ",): one angle per crease");
            }
            py::gil_scoped_release unlocked;
            s.setTargets(targets.data(), static_cast<size_t>(n));
          })
      .def_property("fold_to", released(&Sheet::foldTo), released(&Sheet::setFoldTo))
      .def_property_readonly("exact_kept", released(&Sheet::exactKept))
      .def_property(
          "solver",
          [](const Sheet& s) { return released(&Sheet::solver)(s) == kOriSolverCompliant ? "compliant" : "rigid"; },
          [](Sheet& s, const std::string& name) {
            if (name != "rigid" && name != "compliant") {
              throw py::value_error("solver must be \"rigid\" or \"compliant\", not \"" + name + "\"");
            }
            released(&Sheet::setSolver)(s, name == "compliant" ? kOriSolverCompliant : kOriSolverRigid);
          })
      .def_property(
          "stiffness",
          [](const Sheet& s) {
            const ORISIM_stiffness k = released(&Sheet::stiffness)(s);
            return py::make_tuple(k.fold, k.facet, k.axial);
          },
          [](Sheet& s, const std::vector<double>& values) {
            if (values.size() != 3) throw py::value_error("stiffness must be three numbers: fold, facet, axial");
            ORISIM_stiffness k;
            k.fold = values[0];
            k.facet = values[1];
            k.axial = values[2];
            released(&Sheet::setStiffness)(s, k);
          })
      .def_property_readonly("compliant_kept", released(&Sheet::compliantKept))
      .def_property_readonly("bars",
                             [](const Sheet& s) {
                               return filled<long long>([&] { return s.barCount(); }, 2,
                                                        [&](long long* p, size_t n) { return s.fillBars(p, n); });
                             })
      .def_property_readonly("bar_strain",
                             [](const Sheet& s) {
                               return filled<double>([&] { return s.barCount(); }, 0,
                                                     [&](double* p, size_t n) { return s.fillBarStrain(p, n); });
                             })
      .def_property_readonly("facet_bending",
                             [](const Sheet& s) {
                               return filled<double>([&] { return s.creaseCount(); }, 0,
                                                     [&](double* p, size_t n) { return s.fillFacetBending(p, n); });
                             })
      .def_property("collisions", released(&Sheet::collisions), released(&Sheet::setCollisions))
      .def_property_readonly("first_collision", released(&Sheet::firstCollision))
      .def_property("thickness", released(&Sheet::thickness), released(&Sheet::setThickness))
      .def(
          "intersections",
          [](const Sheet& s) {
            std::vector<std::pair<int, int>> pairs;
            {
              py::gil_scoped_release unlocked;
              pairs = s.intersections();
            }
            py::array_t<long long> a({static_cast<py::ssize_t>(pairs.size()), static_cast<py::ssize_t>(2)});
            long long* out = a.mutable_data();
            for (const auto& p : pairs) {
              *out++ = p.first;
              *out++ = p.second;
            }
            return frozen(std::move(a));
          })
      .def_property_readonly("residual", released(&Sheet::residual))
      .def_property_readonly("vertex_closure",
                             [](const Sheet& s) {
                               std::vector<double> per_vertex;
                               {
                                 py::gil_scoped_release unlocked;
                                 s.vertexClosure(&per_vertex);
                               }
                               return frozen(py::array_t<double>(per_vertex.size(), per_vertex.data()));
                             })
      .def_property_readonly("inner_vertices",
                             [](const Sheet& s) {
                               return filled<long long>(
                                   [&] { return s.innerVertexCount(); }, 0,
                                   [&](long long* p, size_t n) { return s.fillInnerVertices(p, n); });
                             })
      .def("flat_checks",
           [](Sheet& s) {
             plicata::FlatChecks c;
             {
               py::gil_scoped_release unlocked;
               c = s.flatChecks();
             }
             const py::ssize_t n = static_cast<py::ssize_t>(c.vertex.size());
             py::dict d;
             d["vertices"] = frozen(py::array_t<long long>(n, c.vertex.data()));
             d["positions"] = frozen(py::array_t<double>({n, py::ssize_t{2}}, c.xy.data()));
             d["kawasaki_deg"] = frozen(py::array_t<double>(n, c.kawasaki_deg.data()));
             d["mountains"] = frozen(py::array_t<long long>(n, c.mountains.data()));
             d["valleys"] = frozen(py::array_t<long long>(n, c.valleys.data()));
             py::array_t<bool> kawasaki(n), maekawa(n);
             for (py::ssize_t k = 0; k < n; ++k) {
               kawasaki.mutable_data()[k] = c.kawasaki_ok[k] != 0;
               maekawa.mutable_data()[k] = c.maekawa_ok[k] != 0;
             }
             d["kawasaki_ok"] = frozen(std::move(kawasaki));
             d["maekawa_ok"] = frozen(std::move(maekawa));
             return d;
           })
      .def(
          "layer_orders",
          [](Sheet& s, long long state, double time_limit) {
            plicata::LayerOrders L;
            {
              py::gil_scoped_release unlocked;
              L = s.layerOrders(state, time_limit);
            }
            py::dict d;
            d["status"] = L.status;
            d["reason"] = L.reason;
            d["states"] = L.states;
            d["states_exact"] = L.states_exact;
            d["chosen"] = L.chosen;
            d["face_orders"] = frozen(py::array_t<long long>(
                {static_cast<py::ssize_t>(L.face_orders.size() / 3), py::ssize_t{3}}, L.face_orders.data()));
            d["folded_vertices"] = frozen(py::array_t<double>(
                {static_cast<py::ssize_t>(L.folded.size() / 2), py::ssize_t{2}}, L.folded.data()));
            d["face_up"] = frozen(py::array_t<signed char>(L.face_up.size(), L.face_up.data()));
            d["gap"] = L.gap;
            d["seconds"] = L.seconds;
            return d;
          },
          py::arg("state"), py::arg("time_limit"))
      .def_property_readonly("recorded_frames", released(&Sheet::recordedFrames))
      .def("start_recording", &Sheet::startRecording, py::call_guard<py::gil_scoped_release>())
      .def("save_obj", &Sheet::saveObj, py::arg("path"), py::call_guard<py::gil_scoped_release>())
      .def("save_fold", &Sheet::saveFold, py::arg("path"), py::call_guard<py::gil_scoped_release>())
      .def("page", &Sheet::page, py::arg("title"), py::call_guard<py::gil_scoped_release>())
      .def(
          "picture",
          [](const Sheet& s, int width, int height, const std::string& view, double azimuth, double elevation,
             double zoom, bool edges, bool closure) {
            plicata::PictureOptions o;
            o.width = width;
            o.height = height;
            o.view = pictureView(view);
            o.azimuth = azimuth;
            o.elevation = elevation;
            o.zoom = zoom;
            o.edges = edges;
            o.closure = closure;
            std::vector<unsigned char> png;
            {
              py::gil_scoped_release unlocked;
              png = plicata::picturePng(s, o);
            }
            return py::bytes(reinterpret_cast<const char*>(png.data()), png.size());
          },
          py::arg("width"), py::arg("height"), py::arg("view"), py::arg("azimuth"), py::arg("elevation"),
          py::arg("zoom"), py::arg("edges"), py::arg("closure"));

  m.attr("HAS_PICTURES") = plicata::picturesAvailable();

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
