// Folder-private pieces of the layout shared by placement.cpp and
// frlayout.cpp.
#pragma once

#include <vector>

#include "graph/graph.h"

/// barycentralize with a caller-owned working copy (resized as needed), so
/// that repeated calls allocate nothing.
void barycentralize_with(const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
                         int32_t passes, Posn& posn, std::vector<double>& work);
