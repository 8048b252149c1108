"""Three-dimensional drawings of undirected graphs.

frlayout3d.layout(graph, ...) returns an (n, 3) float64 array with the x, y
and z of every vertex, exactly as the frlayout3d tool computes them for the
same seed and settings.
"""

import numbers
import os

import numpy as np

from ._frlayout3d import __version__, check_vertex_count, layout_csr, read_graph_csr

__all__ = ["layout", "read_graph", "__version__"]

_MAX_VERTICES = 2**31 - 1
_MAX_THREADS = 1024


def _integer(name, value):
    """value as an int: a Python or numpy integer; a bool, a float, a
    string or anything else is a TypeError."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__))
    return int(value)


def _real(name, value):
    """value as a float: a Python or numpy real number, not a bool or a
    string (TypeError)."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s must be a number, not %s" % (name, type(value).__name__))
    try:
        return float(value)
    except OverflowError:
        raise ValueError("%s is beyond the range of a float" % name) from None


def _vertex_count(n, source):
    """Checks a vertex count before anything is allocated for it: 1 to
    2^31 - 1 (ValueError), and within this machine's memory (MemoryError).
    `source` says where the count comes from, for the message."""
    if not 1 <= n <= _MAX_VERTICES:
        raise ValueError("the vertex count is %d%s; a graph needs at least one vertex and at "
                         "most 2^31 - 1" % (n, source))
    check_vertex_count(n)
    return n


def _exact_int64(array, what):
    """An integer array as contiguous int64, every value kept exactly."""
    if not np.issubdtype(array.dtype, np.integer):
        raise TypeError("%s must hold integers, not %s" % (what, array.dtype))
    if array.dtype == np.uint64 and array.size and int(array.max()) > 2**63 - 1:
        raise ValueError("%s holds %d, more than 64-bit offsets and indices count"
                         % (what, int(array.max())))
    return np.ascontiguousarray(array, dtype=np.int64)


def _edge_array(edges):
    """edges as an (m, 2) integer array, in its own dtype. Square arrays
    are refused with a word on the other forms: an adjacency matrix must
    be sparse, and a 2 x 2 array could be either."""
    edges = np.asarray(edges)
    if edges.ndim == 2 and edges.shape == (2, 2):
        raise ValueError("a 2 x 2 array could be two edges or an adjacency matrix, and is "
                         "refused: give a matrix as a scipy.sparse matrix, two edges as a "
                         "networkx or igraph graph or as an (m, 2) array that repeats one")
    if edges.ndim == 2 and edges.shape[0] == edges.shape[1] and edges.shape[0] > 2:
        raise ValueError("a square %d x %d array is not an (m, 2) edge array; give an adjacency "
                         "matrix as a scipy.sparse matrix (scipy.sparse.csr_matrix(a))"
                         % edges.shape)
    if edges.ndim != 2 or edges.shape[1] != 2:
        raise ValueError("an edge array must have the shape (m, 2); this one has %s (an "
                         "adjacency matrix must be a scipy.sparse matrix)" % (edges.shape,))
    if edges.size and not np.issubdtype(edges.dtype, np.integer):
        raise TypeError("the edge array must hold integers, not %s" % edges.dtype)
    return edges


def _refuse_ends(edges, outside, n):
    """ValueError for the first edge marked in `outside`, its ends shown
    exactly: an end outside 0..n-1, or (n None) a negative one."""
    bad = np.flatnonzero(outside)
    if bad.size:
        i = int(bad[0])
        u, v = edges[i].tolist()
        where = "a negative end" if n is None else "an end outside 0..%d" % (n - 1)
        raise ValueError("edge %d (%d, %d) has %s" % (i, u, v, where))


def _edges_to_csr(edges, n):
    """The CSR of an (m, 2) array of 0-based ends on n vertices (None: the
    largest end + 1): both directions, repeats merged, every list in
    increasing order, self-loops kept (the layout drops them). The ends are
    checked in the array's own width before they are converted."""
    edges = _edge_array(edges)
    if edges.size and np.issubdtype(edges.dtype, np.signedinteger):
        _refuse_ends(edges, edges.min(axis=1) < 0, n)
    if n is None:
        n = _vertex_count(int(edges.max()) + 1 if edges.size else 0, " (the largest end + 1)")
    elif edges.size:
        _refuse_ends(edges, edges.max(axis=1) >= n, n)
    edges = edges.astype(np.int64)  # exact: every end is in 0..n-1
    both = np.concatenate([edges, edges[:, ::-1]])
    # One key per directed pair, sorted: rows in order, each row's
    # neighbours in increasing order, repeats gone.
    keys = np.unique(both[:, 0] * n + both[:, 1])
    rows, cols = np.divmod(keys, n)
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(rows, minlength=n), out=indptr[1:])
    return n, indptr, cols.astype(np.int32)


def _sparse_to_csr(matrix, n):
    """The CSR of a square scipy.sparse matrix: its stored entries, of any
    value (zero too), in the order of matrix.tocsr() (a CSR matrix as it
    stands; scipy sorts and merges when converting other formats). The
    size is checked before the conversion, the indices in their own width
    by the library."""
    rows, cols = (int(d) for d in matrix.shape)
    if rows != cols:
        raise ValueError("the matrix has %d rows and %d columns; only a square matrix "
                         "describes a graph" % (rows, cols))
    if n is not None and n != rows:
        raise ValueError("n=%d but the matrix has %d rows" % (n, rows))
    _vertex_count(rows, " (the matrix's rows)")
    csr = matrix.tocsr()
    indices = csr.indices
    if indices.dtype not in (np.int32, np.int64):
        indices = _exact_int64(indices, "the matrix's indices")
    return (rows, _exact_int64(csr.indptr, "the matrix's indptr"),
            np.ascontiguousarray(indices))


def _graph_to_csr(graph, n):
    """(n, indptr, indices) of any supported graph, told apart by what it
    offers rather than by importing its library."""
    if hasattr(graph, "tocsr") and hasattr(graph, "shape"):  # scipy.sparse
        return _sparse_to_csr(graph, n)
    if hasattr(graph, "nodes") and hasattr(graph, "edges") and hasattr(graph, "adj"):  # networkx
        count = graph.number_of_nodes()
        if n is not None and n != count:
            raise ValueError("n=%d but the graph has %d nodes" % (n, count))
        _vertex_count(count, " (the graph's nodes)")
        index = {node: i for i, node in enumerate(graph.nodes)}
        edges = np.array([(index[u], index[v]) for u, v in graph.edges()],
                         dtype=np.int64).reshape(-1, 2)
        return _edges_to_csr(edges, count)
    if hasattr(graph, "get_edgelist") and hasattr(graph, "vcount"):  # igraph
        count = graph.vcount()
        if n is not None and n != count:
            raise ValueError("n=%d but the graph has %d vertices" % (n, count))
        _vertex_count(count, " (the graph's vertices)")
        edges = np.array(graph.get_edgelist(), dtype=np.int64).reshape(-1, 2)
        return _edges_to_csr(edges, count)
    if isinstance(graph, (np.ndarray, list, tuple)):
        return _edges_to_csr(graph, n)
    raise TypeError("graph must be a scipy.sparse matrix, an (m, 2) integer edge array, "
                    "a networkx graph or an igraph graph, not %s" % type(graph).__name__)


def layout(graph, *, seed=None, threads=0, friterations=50, wellseparatedratio=0.6,
           frepsilon=1e-5, method="frlayout", n=None):
    """Lays the graph out in three dimensions; returns an (n, 3) float64 array.

    graph: a square scipy.sparse matrix (its stored entries, which must be
    symmetric; the diagonal is ignored; a CSR matrix's rows are taken in
    their order, as read_graph gives a file's), an (m, 2) integer array of
    0-based edges on n vertices (n defaults to the largest end + 1; repeats
    and both directions are fine; a square array is refused, 2 x 2
    included, since only a sparse matrix is taken as a matrix), a networkx
    graph (rows in G.nodes order) or an igraph graph; n, when given, must
    be the graph's vertex count. seed: an integer taken modulo 2**32, or
    None for the clock. threads: 0 for one per hardware thread, or 1 to
    1024. method: "frlayout" or "quality". The other settings are the
    tool's options of the same names. Integers are Python or numpy
    integers (a bool, a float or a str is a TypeError).

    A graph or setting the tool would refuse raises ValueError with the
    tool's message, an argument of the wrong type TypeError, a graph this
    machine's memory cannot lay out MemoryError, before anything is
    allocated for it.
    """
    # Every argument is checked before anything is allocated for the
    # graph: n (if given) first, then the options, then the graph's size.
    if n is not None:
        n = _vertex_count(_integer("n", n), "")
    if seed is not None:
        seed = _integer("seed", seed) % (1 << 32)
    threads = _integer("threads", threads)
    if not 0 <= threads <= _MAX_THREADS:
        raise ValueError("threads is %d; it must be 0 (one per hardware thread) or 1 to %d"
                         % (threads, _MAX_THREADS))
    friterations = _integer("friterations", friterations)
    if not -2**31 <= friterations < 2**31:
        raise ValueError("friterations is %d; it does not fit in a 32-bit integer"
                         % friterations)
    wellseparatedratio = _real("wellseparatedratio", wellseparatedratio)
    frepsilon = _real("frepsilon", frepsilon)
    if not isinstance(method, str):
        raise TypeError("method must be a str, not %s" % type(method).__name__)
    count, indptr, indices = _graph_to_csr(graph, n)
    return layout_csr(count, indptr, indices, seed, threads, friterations, wellseparatedratio,
                      frepsilon, method)


def read_graph(path, format=None):
    """Reads a graph file as the tool does (adjacency list, Matrix Market,
    edge list, gzip; format "metis", "mtx" or "edges", or None for the
    file name's choice) into a scipy.sparse.csr_matrix of ones, each row's
    neighbours in the file's order, so that layout() of it gives the tool's
    coordinates for that file. Edge-list vertices are numbered by
    increasing id. A file that cannot be opened raises the OSError of its
    errno (FileNotFoundError, PermissionError, IsADirectoryError, ...) with
    errno and filename set; a path holding a NUL byte or a malformed file
    ValueError with the tool's message, memory running out MemoryError."""
    import scipy.sparse
    path = os.fspath(path)
    if format is not None and not isinstance(format, str):
        raise TypeError("format must be a str or None, not %s" % type(format).__name__)
    n, indptr, indices = read_graph_csr(os.fsencode(path), format or "", path)
    return scipy.sparse.csr_matrix((np.ones(indices.size), indices, indptr), shape=(n, n))
