"""The Python module: each kind of graph, the binary's file for the same
seed, and the errors. Run by ctest with PYTHONPATH at the built module,
FRLAYOUT3D_BINARY the tool and FRLAYOUT3D_TEST_DATA the tests folder."""

import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import frlayout3d

SEED = 7


def delaunay_edges():
    """The edges (0-based, each once) and vertex count of delaunay_n10."""
    path = os.path.join(os.environ["FRLAYOUT3D_TEST_DATA"], "data", "delaunay_n10.graph")
    with open(path) as f:
        lines = [line for line in f if not line.startswith("%")]
    n = int(lines[0].split()[0])
    edges = [(v, int(w) - 1) for v, line in enumerate(lines[1:n + 1])
             for w in line.split() if v < int(w) - 1]
    return n, np.array(edges, dtype=np.int64)


class Layout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.n, cls.edges = delaunay_edges()
        cls.reference = frlayout3d.layout(cls.edges, n=cls.n, seed=SEED, threads=2)

    def matrix(self):
        import scipy.sparse
        rows = np.concatenate([self.edges[:, 0], self.edges[:, 1]])
        cols = np.concatenate([self.edges[:, 1], self.edges[:, 0]])
        return scipy.sparse.coo_matrix((np.ones(rows.size), (rows, cols)), shape=(self.n, self.n))

    def test_file_read_and_laid_out_matches_the_binarys_file(self):
        # delaunay_n10's lists are not sorted: the file's order must survive.
        path = os.path.join(os.environ["FRLAYOUT3D_TEST_DATA"], "data", "delaunay_n10.graph")
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run([os.environ["FRLAYOUT3D_BINARY"], "-in", path, "-out",
                            os.path.join(tmp, "g"), "-seed", str(SEED), "-threads", "1"],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(tmp, "g.3dlayout")) as f:
                body = [line.split()[:3] for line in f if not line.startswith("%")][1:]
        xyz = frlayout3d.layout(frlayout3d.read_graph(path), seed=SEED)
        self.assertEqual(xyz.shape, (self.n, 3))
        self.assertEqual(xyz.dtype, np.float64)
        self.assertEqual([["%.6f" % c for c in row] for row in xyz], body)
        self.assertFalse(np.array_equal(xyz, self.reference))  # sorted lists differ

    def test_edge_array_with_repeats_and_both_directions(self):
        doubled = np.concatenate([self.edges, self.edges[:, ::-1], self.edges[:5]])
        np.testing.assert_array_equal(
            frlayout3d.layout(doubled.astype(np.int32), n=self.n, seed=SEED), self.reference)

    def test_scipy_matrix_in_any_format(self):
        for m in (self.matrix(), self.matrix().tolil(), self.matrix().tocsr()):
            np.testing.assert_array_equal(frlayout3d.layout(m, seed=SEED), self.reference)

    def test_networkx_rows_follow_the_node_order(self):
        import networkx as nx
        g = nx.Graph()
        g.add_nodes_from("v%d" % v for v in reversed(range(self.n)))  # row i is v(n-1-i)
        g.add_edges_from(("v%d" % v, "v%d" % w) for v, w in self.edges)
        flipped = self.n - 1 - self.edges
        np.testing.assert_array_equal(frlayout3d.layout(g, seed=SEED),
                                      frlayout3d.layout(flipped, n=self.n, seed=SEED))

    def test_igraph(self):
        try:
            import igraph
        except ImportError:
            self.skipTest("igraph is not installed")
        g = igraph.Graph(n=self.n, edges=self.edges.tolist())
        np.testing.assert_array_equal(frlayout3d.layout(g, seed=SEED), self.reference)

    def test_refusals_name_the_fault_with_the_python_kind(self):
        import networkx as nx
        import scipy.sparse
        from frlayout3d import _frlayout3d
        lay, read = frlayout3d.layout, frlayout3d.read_graph
        tri = np.array([[0, 1], [1, 2], [2, 0]])
        pair = ([1.0, 1.0], ([0, 1], [1, 0]))
        wide = scipy.sparse.csr_matrix(  # an index of 2^32 + 1, which 32 bits make 1
            (np.ones(3), np.array([1, 0, 2**32 + 1], dtype=np.int64), np.arange(4)), shape=(3, 3))
        asymmetric = scipy.sparse.csr_matrix(([1.0, 1.0, 1.0], ([0, 1, 2], [1, 0, 0])),
                                             shape=(3, 3))
        too_many = "a graph needs at least one vertex and at most 2^31 - 1"
        with tempfile.TemporaryDirectory() as tmp:
            cases = [
                # sizes, refused before anything is allocated for them
                (lambda: lay(tri, n=10**9), MemoryError,
                 "laying out 1000000000 vertices needs at least"),
                (lambda: lay(scipy.sparse.coo_matrix(pair, shape=(10**9, 10**9))),
                 MemoryError, "laying out 1000000000 vertices needs at least"),
                (lambda: lay(tri, n=2**31), ValueError,
                 "the vertex count is 2147483648; " + too_many),
                (lambda: lay(scipy.sparse.coo_matrix(pair, shape=(3 * 10**9,) * 2)),
                 ValueError, "the vertex count is 3000000000 (the matrix's rows)"),
                (lambda: lay(tri, n=-5), ValueError, "the vertex count is -5; "),
                (lambda: lay(np.array([[0, 2**40]])), ValueError,
                 "the vertex count is 1099511627777 (the largest end + 1)"),
                # indices and ends in their own width
                (lambda: lay(wide), ValueError,
                 "vertex 2 lists the neighbour 4294967297, outside 0..2"),
                (lambda: lay(np.array([[0, 2**63 + 1]], dtype=np.uint64), n=3),
                 ValueError, "edge 0 (0, 9223372036854775809) has an end outside 0..2"),
                (lambda: lay(np.array([[0, 1], [1, 2], [1, 5]]), n=3), ValueError,
                 "edge 2 (1, 5) has an end outside 0..2"),
                (lambda: _frlayout3d.layout_csr(2, np.array([0, 1, 2]), np.array([1.7, 0.0]), 1, 1,
                                                50, 0.6, 1e-5, "frlayout"),
                 TypeError, "indices must be a one-dimensional contiguous int32 array, not float"),
                (lambda: lay(np.array([[0.0, 1.0]])), TypeError,
                 "the edge array must hold integers, not float64"),
                # dense matrices
                (lambda: lay(np.eye(2, dtype=int)), ValueError,
                 "a 2 x 2 array could be two edges or an adjacency matrix"),
                (lambda: lay(np.eye(3, dtype=int)), ValueError,
                 "a square 3 x 3 array is not an (m, 2) edge array; give an adjacency matrix as "
                 "a scipy.sparse matrix"),
                # graphs
                (lambda: lay(asymmetric), ValueError,
                 "vertex 2 lists 0, but the list of vertex 0 does not list 2"),
                (lambda: lay(scipy.sparse.csr_matrix((3, 4))), ValueError,
                 "the matrix has 3 rows and 4 columns"),
                (lambda: lay(nx.path_graph(3), n=7), ValueError,
                 "n=7 but the graph has 3 nodes"),
                (lambda: lay("graph.graph"), TypeError, "graph must be"),
                # options
                (lambda: lay(tri, threads=2**40), ValueError,
                 "threads is 1099511627776; it must be 0 (one per hardware thread) or 1 to 1024"),
                (lambda: lay(tri, friterations=2**31), ValueError,
                 "friterations is 2147483648; it does not fit in a 32-bit integer"),
                (lambda: lay(tri, frepsilon=0), ValueError,
                 "frepsilon must be greater than 0"),
                (lambda: lay(tri, method="nope"), ValueError,
                 'unknown layout method "nope" (known: frlayout or quality)'),
                (lambda: lay(tri, n=3.7), TypeError, "n must be an integer, not float"),
                (lambda: lay(tri, n=True), TypeError, "n must be an integer, not bool"),
                (lambda: lay(tri, n="3"), TypeError, "n must be an integer, not str"),
                (lambda: lay(tri, threads="2"), TypeError, "threads must be an integer"),
                (lambda: lay(tri, seed="7"), TypeError, "seed must be an integer"),
                (lambda: lay(tri, frepsilon="1"), TypeError, "frepsilon must be a number"),
                (lambda: lay(tri, method=5), TypeError, "method must be a str"),
                # files
                (lambda: read("/nope"), FileNotFoundError,
                 "[Errno 2] No such file or directory: '/nope'"),
                (lambda: read(tmp), IsADirectoryError, "[Errno 21] Is a directory"),
                (lambda: read(os.path.join(os.environ["FRLAYOUT3D_TEST_DATA"],
                                                            "data", "delaunay_n10.graph\0x")),
                 ValueError, "the path holds a NUL byte"),
                (lambda: read(b"/nope", format=1), TypeError,
                 "format must be a str or None"),
            ]
            for call, kind, message in cases:
                with self.subTest(message), self.assertRaises(kind) as caught:
                    call()
                self.assertIs(type(caught.exception), kind)
                self.assertIn(message, str(caught.exception))
                if isinstance(caught.exception, OSError):
                    self.assertIsNotNone(caught.exception.errno)
                    self.assertIn(caught.exception.filename, ("/nope", tmp))

    def test_huge_vertex_counts_are_refused_within_100_mb(self):
        # Under an address-space limit of 100 MB beyond what the interpreter
        # holds after the imports: the refusal must come before the vertex
        # arrays (8 GB for 10^9 vertices) are allocated, or numpy's "Unable
        # to allocate" comes instead.
        code = "\n".join([
            "import resource, numpy as np, scipy.sparse, frlayout3d",
            "size = [int(l.split()[1]) * 1024 for l in open('/proc/self/status')",
            "        if l.startswith('VmSize:')][0]",
            "resource.setrlimit(resource.RLIMIT_AS, (size + 100 * 2**20,) * 2)",
            "pair = ([1.0, 1.0], ([0, 1], [1, 0]))",
            "for graph, n in ((np.array([[0, 1], [1, 2], [2, 0]]), 10**9),",
            "                 (scipy.sparse.coo_matrix(pair, shape=(10**9, 10**9)), None)):",
            "    try:",
            "        frlayout3d.layout(graph, n=n, seed=1)",
            "    except MemoryError as e:",
            "        print(e)",
        ])
        env = dict(os.environ, OPENBLAS_NUM_THREADS="1")
        out = subprocess.run([sys.executable, "-c", code], env=env, check=True,
                             capture_output=True, text=True).stdout.splitlines()
        self.assertEqual(len(out), 2, out)
        for line in out:
            self.assertIn("laying out 1000000000 vertices needs at least", line)


if __name__ == "__main__":
    unittest.main()
