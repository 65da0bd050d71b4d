import json
import subprocess

import pytest

import dravik


def revision(moved=False, recoloured=False, reworded=False, door_longer=False, nudge=0.0):
    """A small drawing and the changes a revision makes to it."""
    d = dravik.Drawing.new()
    d.add_line(0, 0, 100, nudge)
    d.add_line(0, 10, 100, 10, color=3 if recoloured else 1)
    d.add_line(0, 25 if moved else 20, 100, 25 if moved else 20)
    d.add_text("寝室 2" if reworded else "寝室", 10, 30)
    d.add_arc(50, 50, 10)
    door = d.define_block("door")
    door.add_line(0, 0, 950 if door_longer else 900, 0)
    d.insert("door", 200, 300)
    return d


@pytest.fixture
def pair(tmp_path):
    a, b = tmp_path / "a.jww", tmp_path / "b.jww"
    revision().write(a)
    revision(moved=True, recoloured=True, reworded=True, door_longer=True).write(b)
    return a, b


def test_diff_reports_what_jww_diff_reports(pair, jww_tool):
    a, b = pair
    d = dravik.diff(a, b)
    assert d and not d.same
    assert (d.removed, d.added, d.changed, d.moved) == (1, 1, 2, 1)  # the door's line stretched
    tool = subprocess.run([jww_tool, "diff", "--json", str(a), str(b)], capture_output=True, text=True)
    assert tool.returncode == 1, tool.stderr
    j = json.loads(tool.stdout)
    assert d.header == j["header"] and d.images == j["images"]
    assert [(c.status, c.kind, c.where, c.what) for c in d.entities] == \
        [(e["status"], e["kind"], e["where"], e["what"]) for e in j["entities"]]
    assert [c.changes for c in d.entities if c.status in ("changed", "moved")] == \
        [e["changes"] for e in j["entities"] if e["status"] in ("changed", "moved")]
    assert (d.removed, d.added, d.changed, d.moved, d.unchanged) == \
        tuple(j["counts"][k] for k in ("removed", "added", "changed", "moved", "unchanged"))


def test_diff_hands_out_the_entities(pair):
    a, b = pair
    old, new = dravik.read(a), dravik.read(b)
    d = dravik.diff(old, new)  # Drawings as read give the paths' result
    assert repr(d) == repr(dravik.diff(a, b))
    by = {(c.status, c.kind, c.where): c for c in d.entities}
    recoloured = by["changed", "line", ""]
    assert recoloured.changes == ["colour 1 \u2192 3"]
    assert (recoloured.before.color, recoloured.after.color) == (1, 3)
    assert recoloured.before.y1 == old.lines[recoloured.before_index].y1 == 10
    assert recoloured.after.y1 == new.lines[recoloured.after_index].y1 == 10
    text = by["changed", "text", ""]
    assert (text.before.text, text.after.text) == ("寝室", "寝室 2")
    moved = by["moved", "line", ""]
    assert (moved.before.y1, moved.after.y1, moved.changes) == (20, 25, ["moved by (0, 5)"])
    door = by["removed", "line", "door"]  # a block definition's own entities, under its name
    assert door.before.x2 == 900 and by["added", "line", "door"].after.x2 == 950


def test_diff_same_and_tolerance(pair, tmp_path):
    a, b = pair
    same = dravik.diff(a, a)
    assert same.same and not same and repr(same) == "Diff(same)"
    assert same.unchanged == 8 and same.entities == []  # 7 entities and the definition
    built = revision()
    assert dravik.diff(built, built).same  # one Drawing on both sides
    assert dravik.diff(a, built).same      # a path against a Drawing not yet written
    near = revision(nudge=0.001)           # the first line's end a thousandth off
    assert (dravik.diff(built, near).removed, dravik.diff(built, near).added) == (1, 1)
    assert dravik.diff(built, near, tolerance=0.01).same
    with pytest.raises(ValueError):
        dravik.diff(a, b, tolerance=0)
    with pytest.raises(dravik.DrawingError):
        dravik.diff(a, tmp_path / "missing.jww")


def test_diff_change_picture(pair, tmp_path):
    a, b = pair
    for name, magic in (("changes.pdf", b"%PDF"), ("changes.png", b"\x89PNG"), ("changes.svg", b"<?xml")):
        d = dravik.diff(a, b, out=tmp_path / name, dpi=30)
        assert not d.same
        assert (tmp_path / name).read_bytes().startswith(magic), name
    with pytest.raises(ValueError):
        dravik.diff(a, b, out=tmp_path / "changes.dxf")
    with pytest.raises(dravik.PictureError) as e:
        dravik.diff(a, b, out=tmp_path / "tight.pdf", budget=3)
    assert e.value.over_budget and not (tmp_path / "tight.pdf").exists()


def test_export_says_why_a_picture_is_refused(tmp_path):
    d = revision()
    with pytest.raises(dravik.PictureError) as e:
        d.export(tmp_path / "plan.png", budget=5)
    assert isinstance(e.value, ValueError)
    assert (e.value.over_budget, e.value.too_many_pixels, e.value.budget) == (True, False, 5)
    assert "more than 5 items" in str(e.value)
    assert not (tmp_path / "plan.png").exists()
    with pytest.raises(dravik.PictureError) as e:
        d.export(tmp_path / "plan.png", dpi=2400)  # A3 at 2400 dpi: over a billion pixels
    assert e.value.too_many_pixels and not e.value.over_budget
    assert 100 < e.value.max_dpi < 2400 and e.value.pixels > 2 ** 28
    assert f"{e.value.max_dpi:g} dpi is the most that fits" in str(e.value)
    with pytest.raises(OSError, match="No such file or directory"):
        d.export("/nonexistent-folder/plan.pdf")
    with pytest.raises(OSError, match="No such file or directory"):
        d.export("/nonexistent-folder/plan.dxf")
    d.export(tmp_path / "fit.png", dpi=30, fit="drawing")
    d.export(tmp_path / "paper.png", dpi=30)
    assert (tmp_path / "fit.png").stat().st_size < (tmp_path / "paper.png").stat().st_size
    with pytest.raises(ValueError):
        d.export(tmp_path / "plan.png", fit="page")
