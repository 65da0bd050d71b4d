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
msp.add_spline([(0, 0), (1, 2), (3, 1)])
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

print(json.dumps(expect, ensure_ascii=False))
