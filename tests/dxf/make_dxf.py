#!/usr/bin/python3
"""Writes the DXF files the DXF input tests convert, into the folder given, and prints one JSON
object with what each conversion must give, computed from ezdxf's own geometry: paper
millimetres from the paper's centre at the scale the extents call for."""
import json
import math
import sys

import ezdxf

out = sys.argv[1]
expect = {}


def frame(msp, w, h):
    # The outline sets the extents, so the centre and scale are known here.
    for a, b in (((0, 0), (w, 0)), ((w, 0), (w, h)), ((w, h), (0, h)), ((0, h), (0, 0))):
        msp.add_line(a, b)


# Every kind, in metres, R2018 (UTF-8). 20 x 10 m: A4 at 1:100.
doc = ezdxf.new("R2018")
doc.header["$INSUNITS"] = 6
msp = doc.modelspace()
doc.layers.add("WALL", color=1)
doc.layers.add("HIDDEN").off()
frame(msp, 20, 10)
scale, cx, cy, unit = 100.0, 10000.0, 5000.0, 1000.0


def paper(p):
    return [(p[0] * unit - cx) / scale, (p[1] * unit - cy) / scale]


c = msp.add_circle((5, 3), 1, dxfattribs={"layer": "WALL"})
a = msp.add_arc((12, 4), 2, 30, 250)
el = msp.add_ellipse((15, 7), major_axis=(2, 1), ratio=0.4, start_param=0.5, end_param=2.5)
pl = msp.add_lwpolyline([(1, 1, 0.5), (4, 1, -1.2), (4, 4, 0)], format="xyb", dxfattribs={"layer": "HIDDEN"})
t = msp.add_text("Plan", dxfattribs={"height": 0.5, "rotation": 30, "insert": (2, 8)})
msp.add_mtext("日本語の図面\\P二行目", dxfattribs={"char_height": 0.4, "insert": (6, 9), "attachment_point": 1})
msp.add_solid([(8, 1), (9, 1), (8, 2), (9, 2)])
msp.add_point((3, 5))
b1 = doc.blocks.new("DOOR")
b1.add_line((0, 0), (1, 0))
b2 = doc.blocks.new("ROOM", base_point=(1, 1))
b2.add_blockref("DOOR", (2, 1), dxfattribs={"rotation": 90})
msp.add_blockref("ROOM", (16, 2), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 45})
doc.saveas(f"{out}/kinds.dxf")
arcs = [{"c": paper(c.dxf.center), "r": 1000 / scale, "full": True},
        {"c": paper(a.dxf.center), "r": 2000 / scale, "start": 30.0, "sweep": 220.0}]
for v in pl.virtual_entities():
    if v.dxftype() == "ARC":
        s = v.dxf.start_angle % 360
        arcs.append({"c": paper(v.dxf.center), "r": v.dxf.radius * unit / scale, "start": s,
                     "sweep": (v.dxf.end_angle - v.dxf.start_angle) % 360})
# The ellipse's start and end points, where the converted arc must begin and end.
expect["kinds"] = {
    "scale": scale, "paper": 4, "arcs": arcs,
    "ellipse": {"c": paper(el.dxf.center), "start": paper(el.start_point), "end": paper(el.end_point),
                "ratio": 0.4},
    "text": {"at": paper(t.dxf.insert), "h": 500 / scale, "angle": 30.0},
    "mtext": ["日本語の図面", "二行目"],
    "layers": [layer.dxf.name for layer in doc.layers],
    "hidden": [layer.dxf.name for layer in doc.layers].index("HIDDEN"),
}

# Inch: one line of 10 x 5 inch fits A4 at 1:1.
doc = ezdxf.new("R2000")
doc.header["$INSUNITS"] = 1
doc.modelspace().add_line((0, 0), (10, 5))
doc.saveas(f"{out}/inch.dxf")
expect["inch"] = {"scale": 1.0, "line": [-127.0, -63.5, 127.0, 63.5]}

# R12 has no unit (millimetres) and a code page; text beyond it comes as \U+ escapes.
doc = ezdxf.new("R12")
doc.modelspace().add_line((0, 0), (250, 150))
doc.modelspace().add_text("Plan 図面 25%%d", dxfattribs={"height": 5, "insert": (10, 10)})
doc.saveas(f"{out}/r12.dxf")
expect["r12"] = {"scale": 1.0, "text": "Plan 図面 25°", "at": [-115.0, -65.0], "h": 5.0}

# 300 layers, one line on each.
doc = ezdxf.new("R2018")
msp = doc.modelspace()
for i in range(300):
    doc.layers.add(f"L{i:03d}")
    msp.add_line((i, 0), (i, 1), dxfattribs={"layer": f"L{i:03d}"})
doc.saveas(f"{out}/layers.dxf")

# A block bomb (10 insertions a level, 8 levels: 10^8 lines placed) and a block inserting itself.
doc = ezdxf.new("R2018")
msp = doc.modelspace()
doc.blocks.new("B8").add_line((0, 0), (1, 0))
for lvl in range(7, -1, -1):
    blk = doc.blocks.new(f"B{lvl}") if lvl else None
    target = blk if blk is not None else msp
    for k in range(10):
        target.add_blockref(f"B{lvl + 1}", (k * 2, 0))
selfb = doc.blocks.new("SELF")
selfb.add_line((0, 0), (1, 1))
selfb.add_blockref("SELF", (5, 5))
msp.add_blockref("SELF", (0, 0))
doc.saveas(f"{out}/bomb.dxf")

# Looks: weights, line types, colours and fonts resolved by layer and by block; hatches, a
# dimension and splines. Millimetres, 400 x 250 on A4 at 1:2.
doc = ezdxf.new("R2018", setup=True)
doc.header["$INSUNITS"] = 4
doc.header["$LTSCALE"] = 2
msp = doc.modelspace()
frame(msp, 400, 250)
scale, cx, cy, unit = 2.0, 200.0, 125.0, 1.0
doc.linetypes.add("ODD", pattern=[15.0, 10.0, -3.0, 0.0, -3.0], description="odd")
doc.layers.add("THICK", color=1, lineweight=50, linetype="DASHED")
doc.styles.add("MINCHO", font="msmincho.ttc")
doc.styles.add("SHAPES", font="romans.shx")
msp.add_line((10, 10), (50, 10), dxfattribs={"layer": "THICK"})  # red 0.50 dashed by layer
msp.add_line((10, 20), (50, 20), dxfattribs={"color": 7, "lineweight": 18})  # black 0.18: pen 2
msp.add_line((10, 30), (50, 30), dxfattribs={"color": 8})  # grey, printed
msp.add_line((10, 40), (50, 40), dxfattribs={"linetype": "ODD", "ltscale": 0.5})
msp.add_line((10, 50), (50, 50), dxfattribs={"true_color": 0x123456, "lineweight": 35})
blk = doc.blocks.new("MARK")
blk.add_line((0, 0), (5, 0), dxfattribs={"color": 0, "linetype": "BYBLOCK", "lineweight": -2, "layer": "THICK"})
msp.add_blockref("MARK", (60, 10), dxfattribs={"color": 5, "linetype": "DASHDOT", "lineweight": 70})
msp.add_blockref("MARK", (60, 20), dxfattribs={"color": 3})
msp.add_text("明朝", dxfattribs={"height": 5, "insert": (10, 230), "style": "MINCHO"})
msp.add_text("shapes", dxfattribs={"height": 5, "insert": (10, 220), "style": "SHAPES"})
# A solid hatch: a 100 x 60 rectangle with a hole of radius 10, and a patterned one.
h = msp.add_hatch(color=1)
h.paths.add_polyline_path([(150, 20), (250, 20), (250, 80), (150, 80)], is_closed=True)
hole = h.paths.add_edge_path()
hole.add_arc((200, 50), 10, 0, 360)
h2 = msp.add_hatch(color=2)
h2.set_pattern_fill("ANSI31", scale=1)
e2 = h2.paths.add_edge_path()
e2.add_line((150, 100), (200, 100))
e2.add_arc((200, 110), 10, 270, 90)
e2.add_line((200, 120), (150, 120))
e2.add_line((150, 120), (150, 100))
# A quarter pie whose arc runs clockwise (stored by its complementary angles).
h3 = msp.add_hatch(color=3)
h3.set_pattern_fill("ANSI31", scale=1)
e3 = h3.paths.add_edge_path()
e3.add_line((300, 100), (300, 110))
e3.add_arc((300, 100), 10, 0, 90, ccw=False)
e3.add_line((310, 100), (300, 100))
dim = msp.add_linear_dim(base=(300, 60), p1=(300, 20), p2=(380, 20))
dim.render()
for name in ("SP1", "SP2", "FIT"):
    doc.layers.add(name)
sp = msp.add_open_spline([(150, 150), (180, 220), (230, 140), (280, 230), (330, 160)], degree=3,
                         dxfattribs={"layer": "SP1"})
# A quarter circle of radius 50 about (350, 180) as a rational spline.
rs = msp.add_rational_spline([(300, 180), (300, 230), (350, 230)], [1, math.sqrt(0.5), 1], degree=2,
                             dxfattribs={"layer": "SP2"})
fs = msp.add_spline([(20, 100), (60, 140), (100, 110), (130, 160)], dxfattribs={"layer": "FIT"})
doc.saveas(f"{out}/looks.dxf")


def dense(spline):
    tool = spline.construction_tool()
    return [paper(p) for p in tool.points([tool.max_t * i / 2000 for i in range(2001)])]


def dashes(name, ltscale):
    tags = doc.linetypes.get(name).pattern_tags.tags
    return [abs(t.value) * doc.header["$LTSCALE"] * ltscale * unit / scale for t in tags if t.code == 49]


expect["looks"] = {
    "scale": scale,
    "dashed": dashes("DASHED", 1), "dashdot": dashes("DASHDOT", 1), "odd": dashes("ODD", 0.5),
    "arc_centre": paper((350, 180)), "arc_r": 50 / scale,
    "hatch_area": (100 * 60 - math.pi * 100) / scale / scale,
    "hole": paper((200, 50)),
    "pie": paper((300, 100)),
    "splines": [dense(sp), dense(rs)],
    "fit": [paper(p) for p in fs.fit_points],
}
print(json.dumps(expect, ensure_ascii=False))
