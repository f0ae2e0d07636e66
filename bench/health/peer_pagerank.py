#!/usr/bin/env python3
"""Peer PageRank: networkx over the edge list in argv[1] ("from to" lines,
first line the node count); prints seconds spent ranking and the top node."""
import sys
import time

import networkx as nx
from networkx.algorithms.link_analysis.pagerank_alg import _pagerank_python

with open(sys.argv[1]) as f:
    n = int(f.readline())
    g = nx.DiGraph()
    g.add_nodes_from(range(n))
    g.add_edges_from(tuple(map(int, line.split())) for line in f)
start = time.monotonic()
# The tolerance networkx uses is per node (N * tol in all), the bench's is
# in all: the same stopping rule.
ranks = _pagerank_python(g, alpha=0.85, tol=1e-9 / n, max_iter=1000)
spent = time.monotonic() - start
best = max(ranks, key=ranks.get)
print(f"{spent:.3f} {best} {ranks[best]:.9f}")
