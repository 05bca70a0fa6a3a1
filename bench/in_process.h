#pragma once
// Figures timed inside this process: the trace line, the decoder, the number
// reading, and the whole receive path (a piece through the reply capture, its
// trace, the labels and the decoder) at several reply-buffer sizes, so that a
// cost growing with the buffer shows.

#include "bench/figures.h"

namespace tavo::bench {

std::vector<Figure> inProcessFigures();

} // namespace tavo::bench
