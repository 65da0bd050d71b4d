#!/usr/bin/python3
"""Draws a small DXF plan with ezdxf, renders it with ezdxf's own drawing add-on (matplotlib), and
converts it with `jww convert` to a drawing and to a PNG, for the pictures in docs/:

    scripts/dxf_side_by_side.py build/tools/jww docs/

writes docs/dxf-input-ezdxf.png and docs/dxf-input-dravik.png (the DXF and the drawing are left in
a temporary folder)."""
import math
import os
import subprocess
import sys
import tempfile

import ezdxf
import matplotlib

matplotlib.use("Agg")
matplotlib.rcParams["font.family"] = ["Noto Sans CJK JP", "DejaVu Sans"]
import matplotlib.pyplot as plt  # noqa: E402
from ezdxf.addons.drawing import Frontend, RenderContext  # noqa: E402
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend  # noqa: E402
from ezdxf.addons.drawing.properties import LayoutProperties  # noqa: E402
from ezdxf.addons.drawing.properties import LayoutProperties  # noqa: E402

jww, out = sys.argv[1], sys.argv[2]
tmp = tempfile.mkdtemp()
dxf = os.path.join(tmp, "plan.dxf")

doc = ezdxf.new("R2018", setup=True)
doc.header["$INSUNITS"] = 4  # mm
doc.header["$LTSCALE"] = 20
msp = doc.modelspace()
doc.layers.add("WALL", color=7, lineweight=50)
doc.layers.add("DOOR", color=1, lineweight=25)
doc.layers.add("GRID", color=5, linetype="CENTER", lineweight=13)
doc.layers.add("FILL", color=8)
doc.layers.add("TEXT", color=3)
doc.layers.add("DIM", color=6)
doc.styles.add("JP", font="msgothic.ttc")

# Walls: an outer and an inner outline, the wall between them filled.
outer = [(0, 0), (9000, 0), (9000, 6000), (0, 6000)]
inner = [(150, 150), (8850, 150), (8850, 5850), (150, 5850)]
msp.add_lwpolyline(outer, close=True, dxfattribs={"layer": "WALL"})
msp.add_lwpolyline(inner, close=True, dxfattribs={"layer": "WALL"})
h = msp.add_hatch(color=256, dxfattribs={"layer": "FILL"})
h.paths.add_polyline_path(outer, is_closed=True)
h.paths.add_polyline_path(inner, is_closed=True)
# A partition with a rounded end and a door swing.
msp.add_lwpolyline([(4500, 150, 0), (4500, 3400, -1), (4650, 3400, 0), (4650, 150, 0)], format="xyb",
                   dxfattribs={"layer": "WALL"})
msp.add_line((4650, 4200), (5550, 4200), dxfattribs={"layer": "DOOR"})
msp.add_arc((4650, 4200), 900, 0, 90, dxfattribs={"layer": "DOOR"})
# A column grid, an oval table, a curved counter.
for x in (150, 4575, 8850):
    msp.add_line((x, -600), (x, 6600), dxfattribs={"layer": "GRID"})
msp.add_ellipse((2300, 3000), major_axis=(900, 300), ratio=0.55, dxfattribs={"layer": "DOOR", "color": 4})
msp.add_open_spline([(5200, 800), (6200, 2200), (7400, 600), (8400, 2000)], degree=3,
                     dxfattribs={"layer": "DOOR", "color": 30, "lineweight": 35})
# A round patterned rug and texts.
rug = msp.add_hatch(color=2, dxfattribs={"layer": "FILL"})
rug.set_pattern_fill("ANSI31", scale=20)
rug.paths.add_edge_path().add_arc((2300, 1200), 600, 0, 360)
msp.add_text("居間 LIVING", dxfattribs={"layer": "TEXT", "height": 250, "style": "JP",
                                         "insert": (900, 4900)})
msp.add_mtext("寝室\\PBEDROOM", dxfattribs={"layer": "TEXT", "char_height": 250, "style": "JP",
                                           "insert": (6000, 5300)})
dim = msp.add_linear_dim(base=(0, -400), p1=(0, 0), p2=(9000, 0), dxfattribs={"layer": "DIM"},
                         override={"dimtxt": 200, "dimasz": 150, "dimexe": 100, "dimexo": 100, "dimlfac": 1})
dim.render()
doc.saveas(dxf)

# ezdxf's own rendering, on white as on paper.
fig = plt.figure(figsize=(11.69, 8.27))
ax = fig.add_axes([0, 0, 1, 1])
saved = ezdxf.readfile(dxf)  # the file as written
white = LayoutProperties.from_layout(saved.modelspace())
white.set_colors("#ffffff")  # as on paper
Frontend(RenderContext(saved), MatplotlibBackend(ax)).draw_layout(saved.modelspace(), finalize=True,
                                                                  layout_properties=white)
fig.savefig(os.path.join(out, "dxf-input-ezdxf.png"), dpi=100, facecolor="white")

# Ours: the drawing, then its picture.
subprocess.run([jww, "convert", dxf, os.path.join(tmp, "plan.jww")], check=True)
subprocess.run([jww, "convert", os.path.join(tmp, "plan.jww"), os.path.join(out, "dxf-input-dravik.png"),
                "--dpi", "100"], check=True)
subprocess.run([jww, "info", dxf], check=True)
print(tmp)
