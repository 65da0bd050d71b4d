// A DXF drawing (ASCII, R12 .. 2018) read into a TJwwData through the construction operations.
//
// Model-space coordinates are turned into real millimetres by $INSUNITS (none counts as mm),
// then into paper millimetres by the scale, the extents' centre at the paper's centre. DXF layers
// fill the drawing's 256 layers in table order; what has no counterpart is counted as skipped.
// The file is hostile input: it is checked as a whole (tags, counts, the end marker) before the
// DXF library sees it, and non-finite or absurd numbers, self-inserting blocks and insertions
// that would place too many blocks are refused per entity or per file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jww/JwwUnit.h"

namespace dxf {

struct Options {
  std::optional<double> scale;  ///< denominator (50 for 1:50); chosen from the extents when absent
  std::string paper;            ///< "A4".."A0"; chosen from the extents when empty
};

/// What a read found and did.
struct Report {
  std::string error;  ///< why the file was refused (empty on success)
  long line = 0;      ///< the file line the refusal points at, 0 when none
  std::string units;  ///< the unit $INSUNITS names ("mm" when it names none)
  double unitMm = 1;  ///< millimetres per drawing unit
  double scale = 1;   ///< the scale denominator used
  std::string paper;  ///< the paper used
  double minX = 0, minY = 0, maxX = 0, maxY = 0;  ///< model-space extents in real mm (empty: all 0)
  int layers = 0;        ///< DXF layers seen
  int layersMerged = 0;  ///< of them, put on the last layer because all 256 were taken
  int extendedColors = 0;      ///< colours (with their widths) made as extended colours
  int extendedLinetypes = 0;   ///< dash patterns made as extended line types
  int linetypesApproximated = 0;  ///< dash patterns drawn as the nearest standard one (no room left)
  std::map<std::string, long> converted;  ///< per DXF entity kind
  std::map<std::string, long> skipped;    ///< per DXF entity kind (with the reason in brackets)
};

/// Reads `path` and builds `out` (which is reset to the defaults first). False with
/// `report.error` set when the file is not a readable ASCII DXF; nothing of `out` is then meant
/// to be written.
bool ReadDxf(const std::string& path, const Options& options, jww::TJwwData& out, Report& report);

/// True when the file's first bytes or its name say it is meant as DXF (".dxf" in any case, or
/// a DXF section start, or a binary DXF / DWG signature, which ReadDxf then refuses).
bool LooksLikeDxf(const std::string& path);

}  // namespace dxf
