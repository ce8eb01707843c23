// The GL context the benchmarks draw in: a hidden window on the software rasteriser,
// opened once, with the heap setting the demo uses.
#pragma once

bool haveGLContext();

// Projection of the demo's view (90 degrees, 4:3) and a clean fixed-function state.
void resetBenchView();
