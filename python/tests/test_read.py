import json
import os
import subprocess
import threading

import numpy as np
import pytest

import dravik
from conftest import corpus_drawings

DRAWINGS = corpus_drawings()
KINDS = [("lines", "EntLine"), ("arcs", "EntEnko"), ("points", "EntTen"), ("texts", "EntMoji"),
         ("dimensions", "EntSunpo"), ("solids", "EntSolid"), ("insertions", "EntBlock")]


def dump(tool, path):
    out = subprocess.run([tool, "dump", "--indent", "-1", str(path)], check=True, capture_output=True)
    return json.loads(out.stdout)


@pytest.mark.skipif(not DRAWINGS, reason="no corpus")
@pytest.mark.parametrize("path", DRAWINGS, ids=lambda p: p.name[-40:])
def test_corpus_matches_dump(path, jww_tool):
    d = dravik.read(path)
    j = dump(jww_tool, path)
    h = j["Enthd"]
    assert (d.version, d.memo, d.paper_code) == (h["jwVer"], h["strMemo"], h["nZumen"])
    assert d.scales == [g["adScale"] for g in j["EntLgrp"]]
    assert [l.name for g in d.layer_groups for l in g.layers] == [l["aStrLayName"] for l in j["EntLay"]]
    for attr, key in KINDS:
        assert len(getattr(d, attr)) == j[key + "N"], attr
    valid = [e for e in j["EntNo"] if 1 <= e["EntType"] <= 7]
    assert len(d.entities) == len(valid)
    # A sample of values: first and last of each kind, and the drawing order's kinds.
    names = {1: "Line", 2: "Arc", 3: "Point", 4: "Text", 5: "Dimension", 6: "Solid", 7: "Insertion"}
    assert [type(e).__name__ for e in d.entities] == [names[e["EntType"]] for e in valid]
    for i in {0, len(d.lines) - 1} if len(d.lines) else ():
        r = j["EntLine"][i]
        assert tuple(d.lines.xy[i]) == (r["start_x"], r["start_y"], r["end_x"], r["end_y"])
        assert d.lines[i].layer == (r["att"]["nGLayer"], r["att"]["nLayer"])
    for i, t in enumerate(d.texts):
        r = j["EntMoji"][i]
        assert (t.text, t.font, t.height, t.x1) == (r["str"], r["strFontName"], r["dSizeY"], r["start_x"])
    for i, a in enumerate(d.arcs[k] for k in range(min(len(d.arcs), 20))):
        r = j["EntEnko"][i]
        assert (a.cx, a.radius, a.sweep, a.full) == (r["start_x"], r["dHankei"], r["radEnkoKaku"], bool(r["bZenEnFlg"]))
    assert len(d.definitions) == j["EntBlockDefN"]
    for k, definition in enumerate(j["EntBlockDef"]):
        got = d.definitions[k]
        assert got.stored_name == definition["strName"]
        assert len(got.entities) == len([e for e in definition["mNo"] if 1 <= e["EntType"] <= 7])
        assert d.definitions[got.name].number == definition["nNumber"]


@pytest.mark.skipif(not DRAWINGS, reason="no corpus")
def test_numpy_views_equal_entities():
    d = max((dravik.read(p) for p in DRAWINGS), key=lambda d: len(d.entities))
    for attr in ("lines", "arcs", "points", "texts", "dimensions", "solids", "insertions"):
        seq = getattr(d, attr)
        assert seq.xy.shape[0] == len(seq) == seq.layers.shape[0] == seq.colors.shape[0]
    lines = d.lines
    assert np.array_equal(lines.xy, np.array([[l.x1, l.y1, l.x2, l.y2] for l in lines]).reshape(-1, 4))
    assert np.array_equal(lines.layers, np.array([l.layer for l in lines]).reshape(-1, 2))
    assert np.array_equal(d.arcs.xy[:, 2], np.array([a.radius for a in d.arcs]))
    assert np.array_equal(d.texts.xy, np.array([[t.x1, t.y1, t.x2, t.y2] for t in d.texts]).reshape(-1, 4))


@pytest.mark.skipif(not DRAWINGS, reason="no corpus")
def test_budget_reads_a_preview():
    path = max(DRAWINGS, key=lambda p: len(dravik.read(p).entities))
    whole, preview = dravik.read(path), dravik.read(path, budget=10)
    assert 0 < len(preview.entities) < len(whole.entities)


@pytest.mark.skipif(not DRAWINGS, reason="no corpus")
def test_reads_from_threads():
    paths = (DRAWINGS * 8)[:8]
    expected = {p: len(dravik.read(p).entities) for p in paths}
    got, errors = {}, []

    def work(part):
        try:
            for p in part:
                got[p] = len(dravik.read(p).entities)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(paths[i::2],)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors and got == expected


def test_errors_raise(tmp_path):
    d = dravik.Drawing.new()
    d.add_line(0, 0, 10, 0)
    good = tmp_path / "good.jww"
    d.write(good)
    data = good.read_bytes()
    (tmp_path / "short.jww").write_bytes(data[: len(data) // 2])
    (tmp_path / "junk.jww").write_bytes(b"not a drawing at all")
    (tmp_path / "empty.jww").write_bytes(b"")
    (tmp_path / "folder.jww").mkdir()
    os.mkfifo(tmp_path / "fifo.jww")
    cases = {"short.jww": "File I/O Error", "junk.jww": "JWW-Header Error", "empty.jww": None,
             "folder.jww": "not a regular file", "fifo.jww": "not a regular file",
             "missing.jww": "cannot open file"}
    for name, reason in cases.items():
        with pytest.raises(dravik.DrawingError) as e:
            dravik.read(tmp_path / name)
        assert e.value.path.endswith(name)
        if reason:
            assert e.value.reason == reason, name
    with pytest.raises(dravik.DrawingError) as e:
        dravik.read(tmp_path / "short.jww")
    assert 0 < e.value.offset <= len(data) // 2
    with pytest.raises(IndexError):
        dravik.read(good).lines[1]
    with pytest.raises(KeyError):
        dravik.read(good).definitions["none"]
    with pytest.raises(TypeError):
        dravik.read(good).definitions[1.5]
