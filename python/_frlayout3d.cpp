// The compiled part of the Python module: one call from a 0-based CSR to
// an (n, 3) array of positions. The package's __init__.py turns every
// supported graph type into that CSR.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <optional>
#include <string>

#include "frlayout3d/frlayout3d.h"

namespace py = pybind11;

namespace {

using Offsets = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;
using Neighbours = py::array_t<int32_t, py::array::c_style | py::array::forcecast>;

/// Lays out the CSR (indptr, indices) of n vertices; the GIL is released
/// while the layout runs. A refused graph or setting raises ValueError,
/// running out of memory MemoryError.
py::array_t<double> layout_csr(int64_t n, const Offsets& indptr, const Neighbours& indices,
                               std::optional<uint32_t> seed, int threads, int friterations,
                               double wellseparatedratio, double frepsilon,
                               const std::string& method) {
  if (n < 1 || n > INT32_MAX)
    throw py::value_error("the vertex count is " + std::to_string(n) +
                          "; a graph needs at least one vertex and at most 2^31 - 1");
  if (indptr.ndim() != 1 || indptr.shape(0) != n + 1)
    throw py::value_error("indptr must hold n + 1 offsets");
  if (indices.ndim() != 1)
    throw py::value_error("indices must be one-dimensional");
  const int64_t* xadj = indptr.data();
  if (xadj[n] != indices.shape(0))
    throw py::value_error("indptr[n] is " + std::to_string(xadj[n]) + " but indices holds " +
                          std::to_string(indices.shape(0)) + " entries");
  frlayout3d::Options o;
  o.seed_given = seed.has_value();
  o.seed = seed.value_or(0);
  o.threads = threads;
  o.friterations = friterations;
  o.wellseparatedratio = wellseparatedratio;
  o.frepsilon = frepsilon;
  o.method = method;
  frlayout3d::Result r;
  {
    py::gil_scoped_release unlocked;
    r = frlayout3d::layout(static_cast<int32_t>(n), xadj, indices.data(), o);
  }
  if (!r.ok) {
    if (r.error.rfind("out of memory", 0) == 0) throw std::bad_alloc();
    throw py::value_error(r.error);
  }
  py::array_t<double> xyz({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(3)});
  std::memcpy(xyz.mutable_data(), r.xyz.data(), r.xyz.size() * sizeof(double));
  return xyz;
}

/// Reads a graph file as the tool does: (n, indptr, indices), the lists in
/// the file's order. A file that cannot be opened raises OSError, a
/// malformed one ValueError, both with the tool's message.
py::tuple read_graph_csr(const std::string& path, const std::string& format) {
  frlayout3d::Graph g;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = frlayout3d::read_graph(path, g, error, format);
  }
  if (!ok) {
    if (error.rfind("cannot open", 0) == 0) {
      PyErr_SetString(PyExc_OSError, error.c_str());
      throw py::error_already_set();
    }
    throw py::value_error(error);
  }
  py::array_t<int64_t> indptr(static_cast<py::ssize_t>(g.xadj.size()), g.xadj.data());
  py::array_t<int32_t> indices(static_cast<py::ssize_t>(g.adjncy.size()), g.adjncy.data());
  return py::make_tuple(g.nvtxs, indptr, indices);
}

}  // namespace

PYBIND11_MODULE(_frlayout3d, m) {
  m.doc() = "frlayout3d's layout of a 0-based CSR graph";
  m.def("layout_csr", &layout_csr, py::arg("n"), py::arg("indptr"), py::arg("indices"),
        py::arg("seed"), py::arg("threads"), py::arg("friterations"),
        py::arg("wellseparatedratio"), py::arg("frepsilon"), py::arg("method"));
  m.def("read_graph_csr", &read_graph_csr, py::arg("path"), py::arg("format"));
  m.attr("__version__") = frlayout3d::version();
}
