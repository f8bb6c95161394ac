// The compiled half of the Python package: cages, bindings and deformation on numpy arrays, on
// the same core the command line runs. The pure-Python package (python/cagewarp) wraps it with
// validation, meshio glue and documentation; names here start with an underscore there.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "driver/binding.h"
#include "driver/phases.h"
#include "driver/pose.h"
#include "driver/table_search.h"
#include "formats/cage_cells.h"
#include "formats/cage_file.h"
#include "formats/model_file.h"
#include "formats/table_files.h"
#include "relate/deformation.h"

namespace py = pybind11;

namespace cagewarp {
namespace {

using FloatInput = py::array_t<float, py::array::c_style | py::array::forcecast>;
using DoubleInput = py::array_t<double, py::array::c_style>;
using IntInput = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// Failures of a run on arrays are bad input; failures naming a file are the file's.
void check(const Status& status, PyObject* type = PyExc_ValueError) {
  if (!status.ok) raise(type, status.message);
}

// What a refinement or a bind reports as it goes, for the Python side to read from another
// thread (a progress bar) and, once it has ended, to print (verbose).
class Report : public RunObserver {
 public:
  void started(Phase phase, const std::string&) override {
    const PhaseInfo& info = phaseInfo(phase);
    if (info.letter != 0) ++step_;
    const std::lock_guard<std::mutex> hold(lock_);
    doing_ = info.description;
  }
  void outside(const OutsideVertices& vertices) override {
    const std::lock_guard<std::mutex> hold(lock_);
    for (std::string& line : outsideMessages(vertices)) messages_.push_back(std::move(line));
  }
  void warning(const std::string& message) override {
    const std::lock_guard<std::mutex> hold(lock_);
    messages_.push_back("warning: " + message);
  }
  std::atomic<int64_t>* locatedCounter() override { return &located_; }

  void setTotal(int64_t total) { total_ = total; }
  // (what the run does, refinement steps done, model vertices located, model vertices)
  py::tuple state() {
    const std::lock_guard<std::mutex> hold(lock_);
    return py::make_tuple(doing_, step_.load(), located_.load(), total_.load());
  }
  // What the run did last, for the out-of-memory message.
  std::string doing() {
    const std::lock_guard<std::mutex> hold(lock_);
    return doing_;
  }
  std::vector<std::string> messages() {
    const std::lock_guard<std::mutex> hold(lock_);
    return messages_;
  }

 private:
  std::mutex lock_;
  std::string doing_ = describe(Phase::appendWeightRows);
  std::vector<std::string> messages_;
  std::atomic<int> step_{0};
  std::atomic<int64_t> located_{0};
  std::atomic<int64_t> total_{0};
};

struct Tables {
  LookupTables tables;
  std::vector<std::string> warnings;
};

// `home` is the directory the module was loaded from: installed tables lie at a fixed place from
// it, and a module in its build folder reads the source tree's.
std::shared_ptr<Tables> loadTables(const std::string& given, const std::string& home) {
  const TablePlaces places = {home, CAGEWARP_PYTHON_INSTALLED_TABLES, CAGEWARP_PYTHON_BUILD_HOME,
                              "name one with tables=DIR"};
  std::string directory;
  auto loaded = std::make_shared<Tables>();
  check(findTableDirectory(given, places, directory, loaded->warnings), PyExc_OSError);
  py::gil_scoped_release unlocked;
  loaded->tables = loadLookupTables(directory, loaded->warnings);
  return loaded;
}

// (n, 3) positions into the x, y, z rows of a 3 x n matrix.
Matrix positionMatrix(const FloatInput& points) {
  // The core counts elements in ints: more is more than it can hold, and fails as the program
  // fails, out of memory, rather than wrapping around.
  if (points.shape(0) > std::numeric_limits<int>::max() / 3)
    raise(PyExc_MemoryError, "out of memory: " + std::to_string(points.shape(0)) +
                                 " points are more than cagewarp can hold");
  const int n = static_cast<int>(points.shape(0));
  Matrix positions(3, n);
  std::memcpy(positions.data(), points.data(), sizeof(float) * 3 * static_cast<size_t>(n));
  return positions;
}

// A mesh from positions and, per cell type, a (c, k) array of vertex indices, already checked.
// In the file orders of `orders` (our local vertex k is the file's order[k]) cells go through the
// readers' collector: pyramids split, inverted cells reoriented, each reported as a warning.
py::tuple meshFromArrays(const FloatInput& points, const py::list& cells, bool fileOrders,
                         const std::string& name) {
  Mesh mesh(3);
  mesh.vertices = positionMatrix(points);
  Warnings warnings;
  CellCollector collector;
  for (const py::handle item : cells) {
    const auto entry = item.cast<py::tuple>();
    const int type = entry[0].cast<int>();
    const auto order = entry[1].cast<std::vector<int>>();
    const auto nodes = entry[2].cast<py::array_t<int32_t, py::array::c_style>>();
    if (nodes.shape(0) * nodes.shape(1) > std::numeric_limits<int>::max()) throw std::bad_alloc();
    const int count = static_cast<int>(nodes.shape(0));
    const int k = static_cast<int>(nodes.shape(1));
    if (fileOrders) {
      CellMapping map{0, type, k, {}};
      std::copy(order.begin(), order.end(), map.order.begin());
      for (int c = 0; c < count; ++c) collector.add(map, nodes.data(c, 0));
      continue;
    }
    IntArray block({k, count}, 0);
    std::copy_n(nodes.data(), static_cast<size_t>(k) * count, block.data());
    appendCells(mesh, type, block);
  }
  if (fileOrders) collector.finish(mesh, name, warnings);
  return py::make_tuple(std::move(mesh), warnings);
}

py::tuple readCageFile(const std::string& path) {
  Mesh mesh(3);
  Warnings warnings;
  Status status;
  {
    py::gil_scoped_release unlocked;
    status = readCage(path, mesh, warnings);
  }
  check(status, PyExc_OSError);
  return py::make_tuple(std::move(mesh), warnings);
}

void writeCageFile(const Mesh& mesh, const std::string& path) {
  Status status;
  {
    py::gil_scoped_release unlocked;
    status = writeCagePositions(mesh, path);
  }
  check(status, PyExc_OSError);
}

// The x, y, z rows of a model file as an (M, 3) float32 array, as a run reads them, with what
// the reader passed over or could not read (the program prints these).
py::tuple readModelPoints(const std::string& path) {
  ModelFile source;
  Mesh mesh;
  Warnings warnings;
  Status status;
  {
    py::gil_scoped_release unlocked;
    status = readModelMesh(path, source, mesh, warnings);
  }
  check(status, PyExc_OSError);
  const int m = mesh.vertexColumns();
  py::array_t<float> out({m, 3});
  float* to = out.mutable_data();
  for (int v = 0; v < m; ++v) std::copy_n(mesh.vertices.column(v) + mesh.xyzRow, 3, to + 3 * v);
  return py::make_tuple(std::move(out), warnings);
}

py::array_t<float> meshPoints(const Mesh& mesh) {
  const int n = mesh.vertexColumns();
  py::array_t<float> out({n, 3});
  float* to = out.mutable_data();
  for (int v = 0; v < n; ++v) std::copy_n(mesh.vertices.column(v) + mesh.xyzRow, 3, to + 3 * v);
  return out;
}

py::array_t<int32_t> meshCells(const Mesh& mesh, int type) {
  const IntArray& cells = mesh.cells[type];
  const int k = verticesPerCell[type];
  const int count = mesh.cellCount(type);
  py::array_t<int32_t> out({count, k});
  if (count > 0) std::copy_n(cells.data(), static_cast<size_t>(k) * count, out.mutable_data());
  return out;
}

// The weights of the refined vertices over the vertices as given (n x refined), as the
// (data, row indices, column starts) of a compressed sparse column matrix; exact zeros included
// as stored.
py::tuple meshWeights(const Mesh& mesh, int weightRow) {
  const int columns = mesh.vertexColumns();
  std::vector<float> data;
  std::vector<int32_t> rows;
  std::vector<int64_t> start = {0};
  for (int j = 0; j < columns; ++j) {
    if (mesh.hasSparseWeights()) {
      for (const SparseEntry& e : mesh.weights.column(j)) {
        rows.push_back(e.row);
        data.push_back(e.value);
      }
    } else {
      for (int r = weightRow; r < mesh.vertices.rows(); ++r) {
        const float value = mesh.vertices(r, j);
        if (value == 0.0f) continue;
        rows.push_back(r - weightRow);
        data.push_back(value);
      }
    }
    start.push_back(static_cast<int64_t>(rows.size()));
  }
  return py::make_tuple(py::array_t<float>(data.size(), data.data()),
                        py::array_t<int32_t>(rows.size(), rows.data()),
                        py::array_t<int64_t>(start.size(), start.data()));
}

template <typename T>
py::bytes rawBytes(const T* data, size_t count) {
  return py::bytes(reinterpret_cast<const char*>(data), count * sizeof(T));
}

template <typename T>
void fromBytes(const py::bytes& bytes, T* data, size_t count) {
  const std::string text = bytes;
  if (text.size() != count * sizeof(T)) raise(PyExc_ValueError, "malformed pickled state");
  if (count > 0) std::memcpy(data, text.data(), text.size());
}

// Everything a mesh holds, as plain values a pickle can carry.
py::tuple meshState(const Mesh& mesh) {
  py::list cells;
  for (int t = 0; t < cellTypeCount; ++t)
    cells.append(
        py::make_tuple(mesh.cellCount(t), rawBytes(mesh.cells[t].data(), mesh.cells[t].count())));
  const SparseColumns& w = mesh.weights;
  return py::make_tuple(1, mesh.xyzRow, mesh.vertices.rows(), mesh.vertices.cols(),
                        rawBytes(mesh.vertices.data(), mesh.vertices.count()), cells, w.rows,
                        rawBytes(w.start.data(), w.start.size()),
                        rawBytes(w.entries.data(), w.entries.size()));
}

Mesh meshFromState(const py::tuple& state) {
  if (state.size() != 9 || state[0].cast<int>() != 1)
    raise(PyExc_ValueError, "malformed pickled cage");
  Mesh mesh;
  mesh.xyzRow = state[1].cast<int>();
  mesh.vertices = Matrix(state[2].cast<int>(), state[3].cast<int>());
  fromBytes(state[4].cast<py::bytes>(), mesh.vertices.data(), mesh.vertices.count());
  const auto cells = state[5].cast<py::list>();
  for (int t = 0; t < cellTypeCount; ++t) {
    const auto entry = cells[t].cast<py::tuple>();
    mesh.cells[t] = IntArray({verticesPerCell[t], entry[0].cast<int>()}, 0);
    fromBytes(entry[1].cast<py::bytes>(), mesh.cells[t].data(), mesh.cells[t].count());
  }
  SparseColumns& w = mesh.weights;
  w.rows = state[6].cast<int>();
  const std::string start = state[7].cast<py::bytes>();
  const std::string entries = state[8].cast<py::bytes>();
  w.start.resize(start.size() / sizeof(int64_t));
  w.entries.resize(entries.size() / sizeof(SparseEntry));
  fromBytes(state[7].cast<py::bytes>(), w.start.data(), w.start.size());
  fromBytes(state[8].cast<py::bytes>(), w.entries.data(), w.entries.size());
  return mesh;
}

// A cage as given and refined: the weights of `refined` are over the vertices of `given`.
struct Refined {
  Mesh given;
  Mesh refined;
  int weightRow = 0;
};

Refined refine(const Mesh& given, const Refined* already, const Tables& tables,
               const BindingOptions& options, Report& report) {
  Refined out;
  Status status;
  try {
    py::gil_scoped_release unlocked;
    if (already != nullptr) {
      out = *already;
      status = applyOperations(out.refined, tables.tables, options, report);
    } else {
      out.given = given;
      out.weightRow = given.vertexRows();
      status = refineControl(given, tables.tables, options, out.refined, &report);
    }
  } catch (const std::bad_alloc&) {
    raise(PyExc_MemoryError, "out of memory while " + report.doing());
  }
  check(status);
  return out;
}

// A model bound to a refined cage.
struct PyBinding {
  Binding binding;
};

std::unique_ptr<PyBinding> bind(const Refined& cage, const FloatInput& points, const Tables& tables,
                                const BindingOptions& options, Report& report) {
  auto out = std::make_unique<PyBinding>();
  report.setTotal(points.shape(0));
  Mesh model(3);
  model.vertices = positionMatrix(points);
  try {
    py::gil_scoped_release unlocked;
    out->binding.control = cage.refined;
    out->binding.weightRow = cage.weightRow;
    relateRefined(cage.given, std::move(model), tables.tables, options, out->binding, &report);
  } catch (const std::bad_alloc&) {
    raise(PyExc_MemoryError, "out of memory while " + report.doing());
  }
  return out;
}

// D over every model vertex (n x M, empty columns for vertices outside every cell) as the
// (data, row indices, column starts) of a compressed sparse column matrix.
py::tuple bindingMatrix(const PyBinding& self) {
  const Relation& relation = self.binding.relation;
  const SparseColumns& d = relation.deformation;
  const int m = self.binding.model.vertexColumns();
  const size_t entries = d.entries.size();
  py::array_t<float> data(entries);
  py::array_t<int32_t> rows(entries);
  py::array_t<int64_t> start(m + 1);
  {
    float* value = data.mutable_data();
    int32_t* row = rows.mutable_data();
    int64_t* first = start.mutable_data();
    py::gil_scoped_release unlocked;
    for (size_t k = 0; k < entries; ++k) {
      value[k] = d.entries[k].value;
      row[k] = d.entries[k].row;
    }
    int next = 0;  // position in the ascending enclosed list
    for (int v = 0; v < m; ++v) {
      first[v] = d.start[next];
      if (next < relation.enclosedIndices.count() && relation.enclosedIndices[next] == v) ++next;
    }
    first[m] = d.start[next];
  }
  return py::make_tuple(data, rows, start, py::make_tuple(d.rows, m));
}

// The model for the cage vertices moved to `moved` (n, 3): enclosed vertices where D puts them,
// the others where they were bound.
py::array_t<float> deform(const PyBinding& self, const FloatInput& moved) {
  const Relation& relation = self.binding.relation;
  const Mesh& model = self.binding.model;
  const int m = model.vertexColumns();
  if (moved.ndim() != 2 || moved.shape(1) != 3 || moved.shape(0) != relation.deformation.rows)
    raise(PyExc_ValueError, "moved cage positions have shape " +
                                py::str(moved.attr("shape")).cast<std::string>() + ", not (" +
                                std::to_string(relation.deformation.rows) + ", 3)");
  py::array_t<float> out({m, 3});
  float* to = out.mutable_data();
  const Matrix positions = positionMatrix(moved);
  py::gil_scoped_release unlocked;
  const Matrix enclosed = applyRelation(relation.deformation, positions);
  for (int v = 0; v < m; ++v) std::copy_n(model.vertices.column(v) + model.xyzRow, 3, to + 3 * v);
  for (int j = 0; j < enclosed.cols(); ++j)
    std::copy_n(enclosed.column(j), 3, to + 3 * static_cast<int64_t>(relation.enclosedIndices[j]));
  return out;
}

// What deform, deform_file and the matrix need of a binding, as plain values a pickle can carry:
// D, the enclosed list and the bound model; the refined cage stays behind.
py::tuple bindingState(const PyBinding& self) {
  const Relation& relation = self.binding.relation;
  const SparseColumns& d = relation.deformation;
  const Mesh& model = self.binding.model;
  return py::make_tuple(1, d.rows, rawBytes(d.start.data(), d.start.size()),
                        rawBytes(d.entries.data(), d.entries.size()),
                        rawBytes(relation.enclosedIndices.data(), relation.enclosedIndices.count()),
                        meshState(model));
}

std::unique_ptr<PyBinding> bindingFromState(const py::tuple& state) {
  if (state.size() != 6 || state[0].cast<int>() != 1)
    raise(PyExc_ValueError, "malformed pickled binding");
  auto out = std::make_unique<PyBinding>();
  Relation& relation = out->binding.relation;
  SparseColumns& d = relation.deformation;
  d.rows = state[1].cast<int>();
  const std::string start = state[2].cast<py::bytes>();
  const std::string entries = state[3].cast<py::bytes>();
  const std::string enclosed = state[4].cast<py::bytes>();
  d.start.resize(start.size() / sizeof(int64_t));
  d.entries.resize(entries.size() / sizeof(SparseEntry));
  fromBytes(state[2].cast<py::bytes>(), d.start.data(), d.start.size());
  fromBytes(state[3].cast<py::bytes>(), d.entries.data(), d.entries.size());
  const int count = static_cast<int>(enclosed.size() / sizeof(int32_t));
  relation.enclosedIndices = IntArray({count}, 0);
  fromBytes(state[4].cast<py::bytes>(), relation.enclosedIndices.data(), count);
  out->binding.model = meshFromState(state[5].cast<py::tuple>());
  if (d.cols() != count || d.start.empty() || d.start.front() != 0 ||
      d.start.back() != static_cast<int64_t>(d.entries.size()))
    raise(PyExc_ValueError, "malformed pickled binding");
  return out;
}

// Writes the model file deformed, as a run's --deform writes it; returns the reader's warnings.
Warnings deformFile(const PyBinding& self, const std::string& modelPath, const FloatInput& moved,
                    const std::string& outPath) {
  const Relation& relation = self.binding.relation;
  if (moved.ndim() != 2 || moved.shape(1) != 3 || moved.shape(0) != relation.deformation.rows)
    raise(PyExc_ValueError, "moved cage positions have shape " +
                                py::str(moved.attr("shape")).cast<std::string>() + ", not (" +
                                std::to_string(relation.deformation.rows) + ", 3)");
  const Matrix positions = positionMatrix(moved);
  ModelFile source;
  Mesh model;
  Warnings warnings;
  Status status;
  {
    py::gil_scoped_release unlocked;
    status = readModelMesh(modelPath, source, model, warnings);
  }
  check(status, PyExc_OSError);
  if (model.vertexColumns() != self.binding.model.vertexColumns())
    raise(PyExc_ValueError, modelPath + ": the model has " + std::to_string(model.vertexColumns()) +
                                " vertices, the bound model " +
                                std::to_string(self.binding.model.vertexColumns()));
  check(checkDeformedFormat(outPath));
  {
    py::gil_scoped_release unlocked;
    status = writeDeformedCopy(relation, model, source, positions, outPath);
  }
  check(status, PyExc_OSError);
  return warnings;
}

// Cells of our types as a format without octahedra lists them: each octahedron as four
// tetrahedra around its 0-5 axis, as the cage writers do.
py::array_t<int32_t> octahedraAsTetrahedra(const Mesh& mesh) {
  const IntArray& octahedra = mesh.cells[octahedronType];
  const int count = mesh.cellCount(octahedronType);
  py::array_t<int32_t> out({4 * count, 4});
  for (int c = 0; c < count; ++c)
    octahedronTetrahedra(octahedra.column(c), out.mutable_data(4 * c, 0));
  return out;
}

py::array_t<int32_t> enclosedIndices(const PyBinding& self) {
  const IntArray& enclosed = self.binding.relation.enclosedIndices;
  return py::array_t<int32_t>(enclosed.count(), enclosed.data());
}

}  // namespace
}  // namespace cagewarp

PYBIND11_MODULE(_cagewarp, m) {
  using namespace cagewarp;
  m.doc() = "The compiled core of cagewarp; use the cagewarp package.";

  py::class_<BindingOptions>(m, "Options")
      .def(py::init<>())
      .def_property(
          "operations",
          [](const BindingOptions& o) {
            return std::string(o.operations.begin(), o.operations.end());
          },
          [](BindingOptions& o, const std::string& letters) {
            o.operations.assign(letters.begin(), letters.end());
          })
      .def_readwrite("threads", &BindingOptions::threads)
      .def_property(
          "coordinates",
          [](const BindingOptions& o) {
            return o.coordinates == Coordinates::trilinear ? "trilinear" : "wachspress";
          },
          [](BindingOptions& o, const std::string& name) {
            o.coordinates = name == "trilinear" ? Coordinates::trilinear : Coordinates::wachspress;
          })
      .def_property(
          "outside",
          [](const BindingOptions& o) {
            if (o.outside == OutsideMode::keep) return std::string("keep");
            const OutsideDistance& d = o.outsideDistance;
            return "nearest:" + py::str(py::float_(d.value)).cast<std::string>() +
                   (d.inCageEdges ? "x" : "");
          },
          [](BindingOptions& o, const std::string& text) {
            if (!parseOutside(text, o))
              raise(PyExc_ValueError,
                    "outside must be keep, nearest or nearest:DIST (a positive length, or a "
                    "multiple of the cage's median edge ending in x), not '" +
                        text + "'");
          });

  py::class_<Report>(m, "Report")
      .def(py::init<>())
      .def("state", &Report::state)
      .def("messages", &Report::messages);

  py::class_<Tables, std::shared_ptr<Tables>>(m, "Tables")
      .def_property_readonly("directory", [](const Tables& t) { return t.tables.directory; })
      .def_readonly("warnings", &Tables::warnings);
  m.def("load_tables", &loadTables);

  py::class_<Mesh>(m, "Mesh")
      .def_property_readonly("vertex_count", &Mesh::vertexColumns)
      .def("points", &meshPoints)
      .def("cells", &meshCells)
      .def("cell_count", &Mesh::cellCount)
      .def(py::pickle([](const Mesh& mesh) { return meshState(mesh); },
                      [](const py::tuple& state) { return meshFromState(state); }));
  m.def("mesh_from_arrays", &meshFromArrays);
  m.def("read_cage", &readCageFile);
  m.def("write_cage", &writeCageFile);
  m.def("read_model_points", &readModelPoints);
  m.def("octahedra_as_tetrahedra", &octahedraAsTetrahedra);
  m.def("is_operation", [](char letter) { return isOperation(letter); });

  py::class_<Refined>(m, "Refined")
      .def_readonly("given", &Refined::given)
      .def_readonly("refined", &Refined::refined)
      .def("weights", [](const Refined& r) { return meshWeights(r.refined, r.weightRow); })
      .def(py::pickle(
          [](const Refined& r) {
            return py::make_tuple(meshState(r.given), meshState(r.refined), r.weightRow);
          },
          [](const py::tuple& state) {
            Refined r;
            r.given = meshFromState(state[0].cast<py::tuple>());
            r.refined = meshFromState(state[1].cast<py::tuple>());
            r.weightRow = state[2].cast<int>();
            return r;
          }));
  m.def(
      "refine",
      [](const Mesh& given, const Refined* already, const Tables& tables,
         const BindingOptions& options,
         Report& report) { return refine(given, already, tables, options, report); },
      py::arg("given"), py::arg("already").none(true), py::arg("tables"), py::arg("options"),
      py::arg("report"));

  py::class_<PyBinding>(m, "Binding")
      .def("matrix", &bindingMatrix)
      .def("enclosed", &enclosedIndices)
      .def("deform", &deform)
      .def("deform_file", &deformFile)
      .def(py::pickle(&bindingState, &bindingFromState))
      .def_property_readonly("model_vertex_count",
                             [](const PyBinding& b) { return b.binding.model.vertexColumns(); })
      .def_property_readonly("cage_vertex_count", [](const PyBinding& b) {
        return b.binding.relation.deformation.rows;
      });
  m.def("bind", &bind);
}
