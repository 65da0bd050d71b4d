#!/usr/bin/python3
"""An independent reader's verdict on DXF files: for each file one JSON line with the auditor's
errors and fixes, the entity counts per type with every INSERT expanded, the extents in the
header and the view the file opens on, and (with --detail) what the model space, the blocks, the
line types, the layers and the text styles hold."""
import json
import sys
from collections import Counter

import ezdxf
from ezdxf.lldxf.encoding import decode_dxf_unicode


def expand(entities, counts, depth=0):
    for e in entities:
        if e.dxftype() == "INSERT":
            if depth < 64:
                expand(e.virtual_entities(), counts, depth + 1)
        else:
            counts[e.dxftype()] += 1


def describe(e):
    d = {"type": e.dxftype(), "layer": e.dxf.layer}
    for key in ("true_color", "color", "linetype", "lineweight", "ltscale", "name", "xscale",
                "yscale", "rotation", "text", "height", "radius", "style"):
        if e.dxf.hasattr(key):
            d[key] = e.dxf.get(key)
    if "text" in d:
        d["text"] = decode_dxf_unicode(d["text"])  # the \\U+XXXX escapes of DXF strings
    for key in ("start", "end", "insert", "center"):
        if e.dxf.hasattr(key):
            d[key] = list(e.dxf.get(key))[:2]
    return d


def main():
    detail = "--detail" in sys.argv
    for path in [a for a in sys.argv[1:] if a != "--detail"]:
        out = {"file": path}
        try:
            doc = ezdxf.readfile(path)
        except Exception as exc:  # noqa: BLE001 - any failure to load is the verdict
            out["load_error"] = str(exc)
            print(json.dumps(out, ensure_ascii=False))
            continue
        auditor = doc.audit()
        out["errors"] = [str(x.message) for x in auditor.errors]
        out["fixes"] = [str(x.message) for x in auditor.fixes]
        out["extmin"] = list(doc.header.get("$EXTMIN", (0, 0, 0)))[:2]
        out["extmax"] = list(doc.header.get("$EXTMAX", (0, 0, 0)))[:2]
        active = doc.viewports.get("*Active")
        if active:
            v = active[0].dxf
            out["view"] = {"center": list(v.center)[:2], "height": v.height,
                           "aspect": v.aspect_ratio}
        counts = Counter()
        expand(doc.modelspace(), counts)
        out["counts"] = dict(counts)
        out["insunits"] = doc.header.get("$INSUNITS", 0)
        if detail:
            out["entities"] = [describe(e) for e in doc.modelspace()]
            out["blocks"] = {b.name: [describe(e) for e in b] for b in doc.blocks
                             if not b.name.startswith("*")}
            out["linetypes"] = {lt.dxf.name: list(lt.pattern_tags.tags and
                                                  [t.value for t in lt.pattern_tags.tags if t.code == 49])
                                for lt in doc.linetypes}
            out["layers"] = {l.dxf.name: {"off": l.is_off(), "description": l.description}
                             for l in doc.layers}
            out["styles"] = {st.dxf.name: {"font": st.dxf.font, "bigfont": st.dxf.bigfont,
                                           "family": st.get_extended_font_data()[0]}
                             for st in doc.styles}
        print(json.dumps(out, ensure_ascii=False))


main()
