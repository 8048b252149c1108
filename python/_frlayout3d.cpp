// The compiled part of the Python module: one call from a 0-based CSR to
// an (n, 3) array of positions, the file reader, and the memory check of a
// vertex count. The package's __init__.py checks every argument's type and
// range and turns every supported graph type into that CSR; the arrays
// that reach here are taken only in their exact types.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/common.h"
#include "frlayout3d/frlayout3d.h"

namespace py = pybind11;

namespace {

/// Whether a library message is about memory: a vertex count the machine
/// cannot hold, or memory running out while reading or laying out.
bool about_memory(const std::string& error) {
  return error.find(" vertices needs at least ") != std::string::npos ||
         error.find("out of memory while ") != std::string::npos;
}

/// Raises the library's refusal: MemoryError when it is about memory,
/// else ValueError.
[[noreturn]] void raise_refusal(const std::string& error) {
  if (!about_memory(error)) throw py::value_error(error);
  PyErr_SetString(PyExc_MemoryError, error.c_str());
  throw py::error_already_set();
}

/// Refuses, with MemoryError, a vertex count (already known to be 1 to
/// 2^31 - 1) that this machine's memory cannot lay out: the first check
/// of every graph, before anything is allocated for it.
void check_vertex_count(int64_t n) {
  const std::string refusal = vertex_count_refusal(n);
  if (!refusal.empty()) raise_refusal(refusal);
}

/// The data of a one-dimensional C-contiguous array of exactly type T;
/// TypeError for any other array. No conversion: a wider or non-integer
/// array is never narrowed here.
template <typename T>
const T* exact_array(const py::array& a, const char* what) {
  if (!py::isinstance<py::array_t<T>>(a) || a.ndim() != 1 ||
      !(a.flags() & py::array::c_style))
    throw py::type_error(std::string(what) + " must be a one-dimensional contiguous " +
                         py::str(py::dtype::of<T>()).cast<std::string>() + " array, not " +
                         py::str(a.dtype()).cast<std::string>());
  return static_cast<const T*>(a.data());
}

/// Lays out the CSR (indptr, indices) of n vertices: indptr int64, indices
/// int32 or int64; the GIL is released while the layout runs. A refused
/// graph or setting raises ValueError, one about memory MemoryError.
py::array_t<double> layout_csr(int64_t n, const py::array& indptr, const py::array& indices,
                               std::optional<uint32_t> seed, int threads, int friterations,
                               double wellseparatedratio, double frepsilon,
                               const std::string& method) {
  if (n < 1 || n > INT32_MAX)
    throw py::value_error("the vertex count is " + std::to_string(n) +
                          "; a graph needs at least one vertex and at most 2^31 - 1");
  check_vertex_count(n);
  const int64_t* xadj = exact_array<int64_t>(indptr, "indptr");
  const bool wide = py::isinstance<py::array_t<int64_t>>(indices);
  const void* adjncy = wide ? static_cast<const void*>(exact_array<int64_t>(indices, "indices"))
                            : exact_array<int32_t>(indices, "indices");
  if (indptr.shape(0) != n + 1) throw py::value_error("indptr must hold n + 1 offsets");
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
    const int32_t count = static_cast<int32_t>(n);
    r = wide ? frlayout3d::layout(count, xadj, static_cast<const int64_t*>(adjncy), o)
             : frlayout3d::layout(count, xadj, static_cast<const int32_t*>(adjncy), o);
  }
  if (!r.ok) raise_refusal(r.error);
  py::array_t<double> xyz({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(3)});
  std::memcpy(xyz.mutable_data(), r.xyz.data(), r.xyz.size() * sizeof(double));
  return xyz;
}

/// Reads a graph file as the tool does: (n, indptr, indices), the lists in
/// the file's order. `path` is the file system's bytes of the name,
/// `filename` what the caller gave. A file that cannot be opened raises
/// the OSError of its errno (FileNotFoundError, PermissionError,
/// IsADirectoryError, ...) with that filename; a path with a NUL byte or a
/// malformed file ValueError, memory running out MemoryError, with the
/// tool's message.
py::tuple read_graph_csr(const py::bytes& path, const std::string& format,
                         const py::object& filename) {
  const std::string name = path;
  frlayout3d::Graph g;
  std::string error;
  int open_errno = 0;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = frlayout3d::read_graph(name, g, error, format, &open_errno);
  }
  if (!ok) {
    if (open_errno != 0) {
      // OSError(errno, strerror, filename) is made as the errno's subclass.
      const py::object failure = py::reinterpret_borrow<py::object>(PyExc_OSError)(
          open_errno, std::strerror(open_errno), filename);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(failure.ptr())), failure.ptr());
      throw py::error_already_set();
    }
    if (error.rfind("cannot open", 0) == 0) {
      PyErr_SetString(PyExc_OSError, error.c_str());
      throw py::error_already_set();
    }
    raise_refusal(error);
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
  m.def("read_graph_csr", &read_graph_csr, py::arg("path"), py::arg("format"),
        py::arg("filename"));
  m.def("check_vertex_count", &check_vertex_count, py::arg("n"));
  m.attr("__version__") = frlayout3d::version();
}
