// A drawing built in C++ with the drawing library: a rectangle, a circle, a text placed at its
// centre, a dimension with auxiliary lines, and a block defined once and inserted twice.
//
//   example_build out.jww [version]
//
// The build compiles this file, and the tests run it and read the drawing back.
#include <cstdio>
#include <cstdlib>

#include "common/codepage.h"
#include "jww/JwwUnit.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: example_build out.jww [version]\n");
    return 2;
  }
  const int version = argc > 2 ? std::atoi(argv[2]) : 600;

  jww::TJwwData d;
  d.DataDefaultSet();           // the settings of a new drawing: pens, layers, text types
  d.Enthd.strMemo = u"Example";
  d.AddEntPre();                // room for many additions at once (optional)

  // The common parameters: group number, layer group, layer, colour, line type, width, flags.
  const double box[5][2] = {{0, 0}, {100, 0}, {100, 60}, {0, 60}, {0, 0}};
  for (int i = 0; i < 4; ++i) d.AddEntLine(0, 0, 1, 2, 1, 0, 0, box[i][0], box[i][1], box[i + 1][0], box[i + 1][1]);
  d.AddEntArc(0, 0, 1, 3, 1, 0, 8, 50, 30, 20, 1, 0, 360, 0);  // flag bit 3: a full circle
  // Text type 3 (size and colour from the drawing), base point 5: centred on (50, 30).
  d.AddEntMoji(0, 0, 2, 1, 5, 0, 0, 3, 50.0, 30.0, 0.0, 0.0, 0.0, 0.0, u"", u"Example");
  // A dimension under the box: reference points at the corners, auxiliary lines 2 from them
  // and 3 past the dimension line, end points turned outward, text centred above the line.
  d.AddEntSunpo(0, 0, 3, 1, 1, 0, 0, 0, -10, 100, -10,                //
                1, 2, 0, 0, 0, 50.0, -9.0, 2.5, 2.5, 0.5, 0.0, u"", u"100",  //
                2.0, 3.0,                                             //
                1, 1, 1, 0, 0, 1, 1, 1, 0, 0,                         //
                1, 1, 0, 0, 0, 1.0, 1, 1, 0, 0, 0, 1.0,               //
                1, 1, 0, 0, 0, 0.0, 0.0, 1.0, 1, 1, 0, 0, 0, 100.0, 0.0, 1.0);

  // A block "mark": a cross in a small square, inserted at two corners.
  d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"mark");
  const int mark = d.EntBlockDefN - 1;
  d.AddBlkLine(mark, 0, 0, 0, 1, 1, 0, 0, -2, -2, 2, 2);
  d.AddBlkLine(mark, 0, 0, 0, 1, 1, 0, 0, -2, 2, 2, -2);
  d.AddBlkSolid(mark, 0, 0, 0, 10, 1, 0, 0, 0xFF0000, -1, -1, 1, -1, 1, 1, -1, 1);
  d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, mark, 0, 60, 1, 1, 0);
  d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, mark, 100, 60, 2, 2, 45);

  d.AddEntPost();               // trims the lists and builds the block tree the writer needs
  if (!d.FileOut(jww::Utf8ToStr(argv[1]), version)) {
    std::fprintf(stderr, "example_build: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
