import math

import pytest

import dravik


def every_kind():
    d = dravik.Drawing.new()
    d.add_line(0, 0, 100, 0, layer=(0, 1), color=2, line_type=3)
    d.add_arc(50, 50, 20, 0, 90, layer=(1, 2))
    d.add_arc(50, 50, 10)
    d.add_point(5, 5, code=2)
    d.add_text("寝室", 10, 10, size=(4, 5), angle=30)
    d.add_text("ends", 0, 20, end=(30, 20))
    d.add_dimension(0, -10, 100, -10, "100", at=(50, -9))
    d.add_dimension(0, -20, 100, -20, "100", text_ends=((40, -19), (60, -19)))
    d.add_dimension(0, -30, 100, -30, "100", at=(50, -29), refs=((0, 0), (100, 0)), gap=1, overshoot=2,
                    end_marks=1)
    d.add_dimension(0, -40, 100, -40, "100", text_ends=((40, -39), (60, -39)),
                    aux_lines=(((0, -1), (0, -42)), ((100, -1), (100, -42))), end_marks=2)
    d.add_dimension(0, -50, 100, -50, "100", at=(50, -49), refs=((0, 0), (100, 0)),
                    aux_lines=(((0, -1), (0, -52)), ((100, -1), (100, -52))))
    d.add_solid([(0, 0), (10, 10)], color=10, fill_rgb=0x00FF00)
    d.add_solid([(0, 0), (10, 0), (5, 8)])
    d.add_solid([(0, 0), (10, 0), (10, 10), (0, 10)])
    d.add_disc(0, 0, 5)
    d.add_disc(0, 0, 5, start=0, sweep=90)
    d.add_disc(0, 0, 5, form=2, sweep=180)
    d.add_disc(0, 0, 5, inner=3)
    door = d.define_block("door")
    door.add_line(0, 0, 900, 0)
    door.add_arc(0, 0, 900, 0, 90)
    frame = d.define_block("frame")
    frame.insert("door", 0, 0)
    d.insert("door", 200, 300, angle=90)
    d.insert("frame", 0, 0, scale=(2, 2))
    return d


COUNTS = {"lines": 1, "arcs": 2, "points": 1, "texts": 2, "dimensions": 5, "solids": 7, "insertions": 2}
# Before version 420 a dimension's auxiliary lines and points are stored beside it as lines and points.
COUNTS_BEFORE_420 = dict(COUNTS, lines=7, points=13)


@pytest.mark.parametrize("version, counts", [(700, COUNTS), (600, COUNTS), (230, COUNTS_BEFORE_420)])
def test_build_write_read_back(tmp_path, version, counts):
    d = every_kind()
    path = tmp_path / f"every-{version}.jww"
    d.write(path, version=version)
    back = dravik.read(path)
    assert back.version == version
    assert {k: len(getattr(back, k)) for k in counts} == counts
    assert len(back.entities) == sum(counts.values())
    line = back.lines[0]
    assert (line.x1, line.y1, line.x2, line.y2, line.layer, line.color, line.line_type) == (0, 0, 100, 0, (0, 1), 2, 3)
    arc = back.arcs[0]
    assert (arc.radius, arc.full, arc.layer) == (20, False, (1, 2))
    assert math.isclose(arc.sweep, math.pi / 2, rel_tol=1e-12)
    assert back.arcs[1].full
    assert back.texts[0].text == "寝室" and back.texts[0].height == 5
    assert (back.texts[1].x2, back.texts[1].y2) == (30, 20)
    dims = back.dimensions
    assert [x.text.text for x in dims] == ["100"] * 5
    assert dims[0].line.x2 == 100
    if version >= 420:
        assert dims[2].ref_points[0].x == 0 and dims[2].ref_points[1].x == 100
        assert dims[3].aux_lines[1].x1 == 100
    assert back.solids[0].fill_rgb == 0x00FF00
    assert set(back.definitions) == {"door", "frame"}
    assert len(back.definitions["door"].entities) == 2
    assert [i.name for i in back.definitions["frame"].insertions] == ["door"]
    ins = back.insertions[0]
    assert (ins.name, ins.x, ins.y) == ("door", 200, 300)
    assert math.isclose(ins.angle, math.pi / 2)
    assert (back.insertions[1].scale_x, back.insertions[1].scale_y) == (2, 2)


def test_building_refuses_wrong_input():
    d = dravik.Drawing.new()
    with pytest.raises(KeyError):
        d.insert("nothing", 0, 0)
    with pytest.raises(ValueError):
        d.add_solid([(0, 0)])
    with pytest.raises(ValueError):
        d.add_dimension(0, 0, 1, 0, "1")  # no place for the text
    a = d.define_block("a")
    with pytest.raises(ValueError):
        d.define_block("a")
    with pytest.raises(ValueError):
        a.insert("a", 0, 0)  # a block inserting itself
    with pytest.raises(OSError):
        d.write("/nonexistent-folder/x.jww")
    with pytest.raises(ValueError):
        d.write("x.jww", version=100)


def test_construction_corrects_as_the_library_does(tmp_path):
    d = dravik.Drawing.new()
    d.add_line(0, 0, 1, 1, layer=(99, -1), color=500)
    assert d.lines[0].layer == (0, 0) and d.lines[0].color == 1
