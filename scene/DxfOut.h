// DXF (R2000) of a scene, for other CAD programs: real size in millimetres ($INSUNITS 4), each
// layer group at its own scale (paper millimetres times the group's scale), one layer per
// drawing layer ("group-layer name"), the scene's colours as true colours with the nearest
// indexed colour beside them, its dash patterns as line types, texts in code page 932
// ($DWGCODEPAGE ANSI_932; characters outside it as \U+XXXX, beyond U+FFFF as "?"), block definitions as BLOCKs placed by
// INSERTs, four-corner solids as SOLID and curved ones as solid HATCH, arcs as ARC, CIRCLE or
// ELLIPSE, dimensions as the lines and texts they are made of. Layers the drawing hides are
// switched off, not left out; text styles name a Japanese font; the header's extents and the
// start view lie on the entities.
#pragma once

#include <cstdint>
#include <string>

#include "scene/Scene.h"

namespace scene {

/// The DXF file's bytes. Primitives whose coordinates cannot be represented at their layer
/// group's scale are left out; `leftOut` gets how many.
std::string DxfBytes(const Scene& s, size_t* leftOut = nullptr);

/// Writes DxfBytes to `path` through jww::TOutputFile (a temporary file beside it; a link stays
/// a link and the file keeps its mode; a device is written in place); false (and `path` as it
/// was) when that fails, with the reason in `why` when given.
bool WriteDxf(const Scene& s, const std::u16string& path, size_t* leftOut = nullptr, std::string* why = nullptr);

/// The 0xRRGGBB of an indexed colour (1..255; 0 for others).
uint32_t AciRgb(int i);

/// The DXF line weight (hundredths of a millimetre, one of the standard steps) nearest to a pen
/// width in millimetres.
int LineWeight(double mm);

/// The indexed colour (1..255) nearest to 0xRRGGBB.
int NearestAci(uint32_t rgb);

}  // namespace scene
