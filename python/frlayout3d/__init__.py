"""Three-dimensional drawings of undirected graphs.

frlayout3d.layout(graph, ...) returns an (n, 3) float64 array with the x, y
and z of every vertex, exactly as the frlayout3d tool computes them for the
same seed and settings.
"""

import os

import numpy as np

from ._frlayout3d import __version__, layout_csr, read_graph_csr

__all__ = ["layout", "read_graph", "__version__"]


def _edges_to_csr(edges, n):
    """The CSR of an (m, 2) array of 0-based ends: both directions, repeats
    merged, every list in increasing order, self-loops kept (the layout
    drops them)."""
    edges = np.asarray(edges)
    if edges.ndim != 2 or edges.shape[1] != 2:
        raise ValueError("an edge array must have the shape (m, 2); this one has %s"
                         % (edges.shape,))
    if edges.size and not np.issubdtype(edges.dtype, np.integer):
        raise ValueError("the edge array must hold integers, not %s" % edges.dtype)
    edges = edges.astype(np.int64, copy=False)
    if n is None:
        n = int(edges.max()) + 1 if edges.size else 0
    n = int(n)
    if edges.size:
        bad = np.flatnonzero((edges < 0).any(axis=1) | (edges >= n).any(axis=1))
        if bad.size:
            i = int(bad[0])
            raise ValueError("edge %d (%d, %d) has an end outside 0..%d"
                             % (i, edges[i, 0], edges[i, 1], n - 1))
    both = np.concatenate([edges, edges[:, ::-1]])
    # One key per directed pair, sorted: rows in order, each row's
    # neighbours in increasing order, repeats gone.
    keys = np.unique(both[:, 0] * max(n, 1) + both[:, 1])
    rows, cols = np.divmod(keys, max(n, 1))
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(rows, minlength=n), out=indptr[1:])
    return n, indptr, cols.astype(np.int32)


def _sparse_to_csr(matrix):
    """The CSR of a square scipy.sparse matrix: its stored entries, of any
    value (zero too), in the order of matrix.tocsr() (a CSR matrix as it
    stands; scipy sorts and merges when converting other formats)."""
    rows, cols = matrix.shape
    if rows != cols:
        raise ValueError("the matrix has %d rows and %d columns; only a square matrix "
                         "describes a graph" % (rows, cols))
    csr = matrix.tocsr()
    return rows, csr.indptr.astype(np.int64), csr.indices.astype(np.int32)


def _graph_to_csr(graph, n):
    """(n, indptr, indices) of any supported graph, told apart by what it
    offers rather than by importing its library."""
    if hasattr(graph, "tocsr") and hasattr(graph, "shape"):  # scipy.sparse
        if n is not None and int(n) != graph.shape[0]:
            raise ValueError("n=%d but the matrix has %d rows" % (n, graph.shape[0]))
        return _sparse_to_csr(graph)
    if hasattr(graph, "nodes") and hasattr(graph, "edges") and hasattr(graph, "adj"):  # networkx
        index = {node: i for i, node in enumerate(graph.nodes)}
        edges = np.array([(index[u], index[v]) for u, v in graph.edges()],
                         dtype=np.int64).reshape(-1, 2)
        return _edges_to_csr(edges, len(index))
    if hasattr(graph, "get_edgelist") and hasattr(graph, "vcount"):  # igraph
        edges = np.array(graph.get_edgelist(), dtype=np.int64).reshape(-1, 2)
        return _edges_to_csr(edges, graph.vcount())
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
    and both directions are fine), a networkx graph (rows in G.nodes order)
    or an igraph graph. seed: an integer taken modulo 2**32, or None for the
    clock. threads: 0 for one per hardware thread. method: "frlayout" or
    "quality". The other settings are the tool's options of the same names. A graph or setting the tool would
    refuse raises ValueError with the tool's message.
    """
    count, indptr, indices = _graph_to_csr(graph, n)
    if seed is not None:
        seed = int(seed) % (1 << 32)
    return layout_csr(count, indptr, indices, seed, int(threads), int(friterations),
                      float(wellseparatedratio), float(frepsilon), str(method))


def read_graph(path, format=None):
    """Reads a graph file as the tool does (adjacency list, Matrix Market,
    edge list, gzip; format "metis", "mtx" or "edges", or None for the
    file name's choice) into a scipy.sparse.csr_matrix of ones, each row's
    neighbours in the file's order, so that layout() of it gives the tool's
    coordinates for that file. Edge-list vertices are numbered by
    increasing id. Raises OSError or ValueError with the tool's message."""
    import scipy.sparse
    n, indptr, indices = read_graph_csr(os.fspath(path), format or "")
    return scipy.sparse.csr_matrix((np.ones(indices.size), indices, indptr), shape=(n, n))
