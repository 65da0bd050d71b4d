#!/usr/bin/python3
"""An independent reader's verdict on DXF files: for each file one JSON line with the auditor's
errors, the entity counts per type with every INSERT expanded, and (with --detail) what the
model space, the blocks and the line types hold."""
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
                "yscale", "rotation", "text", "height", "radius"):
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
            out["layers"] = [l.dxf.name for l in doc.layers]
        print(json.dumps(out, ensure_ascii=False))


main()
