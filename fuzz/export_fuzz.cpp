// Whatever a read of arbitrary bytes leaves in a document becomes a scene and a DXF without
// crash, hang or runaway memory: the walk's work (insertions, characters, curve segments and
// dashes) stays within the budget, the DXF holds each definition once.
#include <cstddef>
#include <cstdint>

#include "jww/JwwUnit.h"
#include "jww/stream.h"
#include "scene/DxfOut.h"
#include "scene/Scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jww::TJwwData doc;
  jww::InStream s(data, size);
  doc.DrawingIn(s, false, 0);
  if (doc.EntLgrp.size() < 16) return 0;  // no header
  const scene::Scene sc = scene::Build(doc);
  size_t placed = 0;
  scene::WalkOptions o;
  o.budget = 1 << 20;
  const scene::WalkResult r = scene::Walk(sc, [&](const scene::Prim&, const scene::Placement&) { ++placed; }, o);
  if (r.work > o.budget || placed > r.work) __builtin_trap();
  double x0, y0, x1, y1;
  scene::Bounds(sc, x0, y0, x1, y1);
  const std::string dxf = scene::DxfBytes(sc);
  if (dxf.size() < 100) __builtin_trap();
  return 0;
}
