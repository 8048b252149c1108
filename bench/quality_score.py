#!/usr/bin/python3
"""Layout quality of a 3D drawing of a graph.

usage: quality_score.py [--json] GRAPH LAYOUT
       quality_score.py --picture OUT.png TITLE GRAPH LAYOUT
       quality_score.py --side OUT.png GRAPH LAYOUT LABEL [LAYOUT LABEL ...]

GRAPH is an adjacency-list file: "%" comment lines, the header "n m", then
one line per vertex with its 1-based neighbours (weights not supported).
LAYOUT is a .3dlayout file ("%" lines, "n m", then "x y z ..." per vertex)
or DOT output with pos="x,y,z" node attributes, nodes named 1..n.

Prints "stress S np N elcv C". The figures, exactly:

stress   K = 64 pivots drawn uniformly without replacement
         (numpy default_rng(12345); all vertices when n <= 64). For every
         pivot p and every other vertex j of its component, d = BFS hop
         distance, x = layout distance, w = d^-2. With the optimal scale
         s* = sum(w d x) / sum(w x^2) over all these pairs S, the stress is
         (1/|S|) sum(((s* x - d) / d)^2). Scale-free; 0 for a path laid out
         straight.
np       neighbourhood preservation: for each vertex v with k >= 1 distinct
         neighbours (a uniform sample of 20,000 of them, default_rng(12345),
         when there are more), the Jaccard index of its k neighbours and its
         k nearest other vertices in the layout (cKDTree, k+1 queried, v
         dropped); the mean. 1 is best.
elcv     edge-length coefficient of variation: population standard
         deviation / mean of the layout lengths of the edges. 0 is best.

--picture draws the edges projected on the two main axes of the layout
(PCA), at most 100,000 of them (a fixed-seed sample); --side puts several
layouts of one graph next to each other.
"""
import json
import re
import sys

import numpy as np
import scipy.sparse as sp
from scipy.sparse.csgraph import shortest_path
from scipy.spatial import cKDTree

PIVOTS = 64
NP_SAMPLE = 20000
SEED = 12345
BATCH = 8
EDGE_SAMPLE = 100000


def data_lines(path):
    """The lines after the "%" comments and the header, and the header."""
    with open(path) as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines) and (lines[i].startswith("%") or not lines[i].strip()):
        i += 1
    return lines[i].split(), lines[i + 1:]


def read_graph(path):
    """Symmetric CSR matrix (n x n, 0-based) without self-loops."""
    header, lines = data_lines(path)
    n = int(header[0])
    lines = [l for l in lines if not l.startswith("%")][:n]
    lines += [""] * (n - len(lines))
    counts = np.fromiter((len(l.split()) for l in lines), dtype=np.int64, count=n)
    cols = np.array(" ".join(lines).split(), dtype=np.int64) - 1
    rows = np.repeat(np.arange(n, dtype=np.int64), counts)
    keep = rows != cols
    rows, cols = rows[keep], cols[keep]
    g = sp.csr_matrix((np.ones(len(rows), dtype=np.int8), (rows, cols)), shape=(n, n))
    g = ((g + g.T) > 0).astype(np.int8).tocsr()
    g.sort_indices()
    return g


def read_layout(path, n):
    """n x 3 float array of positions."""
    with open(path) as f:
        text = f.read()
    if re.search(r"^\s*(di)?graph\b", text, re.M | re.I):
        text = text.replace("\\\n", "")
        pos = np.full((n, 3), np.nan)
        for m in re.finditer(r'^\s*"?(\d+)"?\s*\[[^\]]*?\bpos="([^"]+)"', text, re.M):
            xyz = m.group(2).rstrip("!").split(",")
            pos[int(m.group(1)) - 1] = [float(t) for t in xyz[:3]] + [0.0] * (3 - len(xyz))
        if np.isnan(pos).any():
            sys.exit(f"quality_score.py: {path}: {int(np.isnan(pos).any(axis=1).sum())} vertices without pos")
        return pos
    _, lines = data_lines(path)
    lines = [l for l in lines if not l.startswith("%")][:n]
    if len(lines) < n:
        sys.exit(f"quality_score.py: {path}: {len(lines)} vertex lines, expected {n}")
    return np.array([l.split(None, 3)[:3] for l in lines], dtype=np.float64)


def stress(g, pos):
    n = g.shape[0]
    rng = np.random.default_rng(SEED)
    pivots = np.arange(n) if n <= PIVOTS else rng.choice(n, size=PIVOTS, replace=False)
    a = b = 0.0  # sum x^2/d^2, sum x/d
    count = 0
    for start in range(0, len(pivots), BATCH):
        batch = pivots[start:start + BATCH]
        dist = shortest_path(g, directed=False, unweighted=True, indices=batch)
        for row, p in zip(dist, batch):
            j = np.flatnonzero(np.isfinite(row) & (row > 0))
            d = row[j]
            x = np.linalg.norm(pos[j] - pos[p], axis=1)
            a += float(np.sum((x / d) ** 2))
            b += float(np.sum(x / d))
            count += len(j)
    if count == 0 or a == 0.0:
        return float("nan")
    # sum(((s x - d)/d)^2) = s^2 a - 2 s b + |S|, and s* = b / a.
    return max(0.0, (count - b * b / a) / count)


def neighbourhood_preservation(g, pos):
    n = g.shape[0]
    deg = np.diff(g.indptr)
    verts = np.flatnonzero(deg > 0)
    if len(verts) > NP_SAMPLE:
        verts = np.sort(np.random.default_rng(SEED).choice(verts, size=NP_SAMPLE, replace=False))
    if len(verts) == 0:
        return float("nan")
    tree = cKDTree(pos)
    total = 0.0
    for k in np.unique(deg[verts]):
        group = verts[deg[verts] == k]
        q = min(int(k) + 1, n)
        _, near = tree.query(pos[group], k=q)
        near = near.reshape(len(group), q)
        for v, row in zip(group, near):
            others = row[row != v][:k]
            nbrs = g.indices[g.indptr[v]:g.indptr[v + 1]]
            inter = len(np.intersect1d(nbrs, others, assume_unique=True))
            total += inter / (k + len(others) - inter)
    return total / len(verts)


def edge_length_cv(g, pos):
    upper = sp.triu(g, k=1).tocoo()
    if upper.nnz == 0:
        return float("nan")
    lengths = np.linalg.norm(pos[upper.row] - pos[upper.col], axis=1)
    mean = lengths.mean()
    return float(lengths.std() / mean) if mean > 0 else float("nan")


def draw(ax, g, pos, title):
    """Edges on the layout's two principal axes, thin lines."""
    from matplotlib.collections import LineCollection
    centred = pos - pos.mean(axis=0)
    _, _, axes = np.linalg.svd(centred, full_matrices=False)
    xy = centred @ axes[:2].T
    upper = sp.triu(g, k=1).tocoo()
    rows, cols = upper.row, upper.col
    if len(rows) > EDGE_SAMPLE:
        pick = np.random.default_rng(SEED).choice(len(rows), size=EDGE_SAMPLE, replace=False)
        rows, cols = rows[pick], cols[pick]
    segments = np.stack([xy[rows], xy[cols]], axis=1)
    ax.add_collection(LineCollection(segments, linewidths=0.15, colors="#1f3b73", alpha=0.6))
    ax.set_xlim(xy[:, 0].min(), xy[:, 0].max())
    ax.set_ylim(xy[:, 1].min(), xy[:, 1].max())
    ax.set_aspect("equal")
    ax.set_axis_off()
    ax.set_title(title, fontsize=9)


def pictures(out, g, shots):
    """shots: (layout path, title) pairs, drawn side by side into out."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axs = plt.subplots(1, len(shots), figsize=(3.2 * len(shots), 3.4), squeeze=False)
    for ax, (path, title) in zip(axs[0], shots):
        draw(ax, g, read_layout(path, g.shape[0]), title)
    fig.tight_layout()
    fig.savefig(out, dpi=100)
    plt.close(fig)


def main(argv):
    if argv and argv[0] == "--picture" and len(argv) == 5:
        pictures(argv[1], read_graph(argv[3]), [(argv[4], argv[2])])
        return
    if argv and argv[0] == "--side" and len(argv) >= 5 and len(argv) % 2 == 1:
        pictures(argv[1], read_graph(argv[2]), list(zip(argv[3::2], argv[4::2])))
        return
    as_json = "--json" in argv
    args = [a for a in argv if a != "--json"]
    if len(args) != 2:
        sys.exit(__doc__.split("\n\n")[1])
    g = read_graph(args[0])
    pos = read_layout(args[1], g.shape[0])
    result = {"stress": stress(g, pos), "np": neighbourhood_preservation(g, pos),
              "elcv": edge_length_cv(g, pos)}
    if as_json:
        print(json.dumps(result))
    else:
        print(f"stress {result['stress']:.4f} np {result['np']:.4f} elcv {result['elcv']:.4f}")


if __name__ == "__main__":
    main(sys.argv[1:])
