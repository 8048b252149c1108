"""The Python module: each kind of graph, the binary's file for the same
seed, and the errors. Run by ctest with PYTHONPATH at the built module,
FRLAYOUT3D_BINARY the tool and FRLAYOUT3D_TEST_DATA the tests folder."""

import os
import subprocess
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

    def test_errors(self):
        import scipy.sparse
        asymmetric = scipy.sparse.csr_matrix(([1.0, 1.0, 1.0], ([0, 1, 2], [1, 0, 0])),
                                             shape=(3, 3))
        cases = [
            (lambda: frlayout3d.layout(asymmetric),
             "vertex 2 lists 0, but the list of vertex 0 does not list 2"),
            (lambda: frlayout3d.layout(scipy.sparse.csr_matrix((3, 4))),
             "the matrix has 3 rows and 4 columns"),
            (lambda: frlayout3d.layout(np.array([[0, 1], [1, 5]]), n=3),
             "edge 1 (1, 5) has an end outside 0..2"),
            (lambda: frlayout3d.layout(self.edges, frepsilon=0),
             "frepsilon must be greater than 0"),
            (lambda: frlayout3d.layout(self.edges, method="nope"),
             'unknown layout method "nope" (known: frlayout or quality)'),
        ]
        for call, message in cases:
            with self.assertRaises(ValueError) as caught:
                call()
            self.assertIn(message, str(caught.exception))
        with self.assertRaises(TypeError):
            frlayout3d.layout("graph.graph")
        with self.assertRaises(OSError) as caught:
            frlayout3d.read_graph("no/such.graph")
        self.assertIn("cannot open no/such.graph", str(caught.exception))


if __name__ == "__main__":
    unittest.main()
