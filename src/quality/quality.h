// The "quality" layout method: graph distances drawn as faithfully as the
// time allows. Each connected component is placed by classical scaling
// from the distances to a few pivots and then refined by sparse stress
// majorization; the components are packed side by side and the drawing is
// scaled by one factor to fit the drawing area.
#pragma once

#include <cstdint>

#include "common/common.h"
#include "graph/graph.h"

/// Lays out graph (vertices 1..nvtxs) into posn, which it allocates, inside
/// [0,X]x[0,Y]x[0,Z]: one scale on all three axes, centred on each axis.
/// Random choices draw from run's rand15, so one seed gives one layout
/// whatever run.threads; the time goes to run.phase_ns.
void quality_layout(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y,
                    double Z, Posn& posn);
