// Large synthetic drawings for the benchmarks, generated as JWW bytes (not through the writer),
// with the record schemas the reader uses.
#pragma once

#include <cstdint>
#include <string>

namespace jwwbench {

/// A version 600 drawing of `entities` entities of mixed kinds (lines, arcs, points, texts,
/// dimensions, solids, block insertions) and `definitions` block definitions of 20 entities each,
/// some of them nested (with no definitions, lines take the insertions' place). Returns the path of a file in the temporary folder, written once per size
/// and reused by later runs.
std::string SyntheticDrawing(uint32_t entities, uint32_t definitions = 200);

}  // namespace jwwbench
