import os
import pathlib
import shutil
import subprocess

import pytest

import dravik
from conftest import corpus_drawings
from test_build import every_kind

MAGIC = {"pdf": b"%PDF", "png": b"\x89PNG", "svg": b"<?xml", "dxf": b"  0\nSECTION\n  2\nHEADER"}


def test_exports_every_format(tmp_path, jww_tool):
    d = every_kind()
    src = tmp_path / "every.jww"
    d.write(src)
    for fmt, magic in MAGIC.items():
        out = tmp_path / f"plan.{fmt}"
        d.export(out, dpi=50)
        assert magic in out.read_bytes()[:64], fmt
    # The DXF is the scene's, as jww convert writes it.
    subprocess.run([jww_tool, "convert", str(src), str(tmp_path / "tool.dxf")], check=True)
    assert (tmp_path / "plan.dxf").read_bytes() == (tmp_path / "tool.dxf").read_bytes()
    png = (tmp_path / "plan.png").read_bytes()
    d.export(tmp_path / "big.png", dpi=100)
    assert len((tmp_path / "big.png").read_bytes()) > len(png)


def test_export_refuses(tmp_path):
    d = every_kind()
    with pytest.raises(ValueError):
        d.export(tmp_path / "plan.bmp")
    with pytest.raises(ValueError):
        d.export(tmp_path / "plan.png", dpi=0)
    with pytest.raises(OSError):
        d.export("/nonexistent-folder/plan.pdf")


@pytest.mark.skipif(not corpus_drawings(), reason="no corpus")
def test_list_file_same_bytes_as_tool(tmp_path, list_tool, monkeypatch):
    drawings = corpus_drawings()[:5]
    for p in drawings:
        shutil.copy(p, tmp_path / p.name)
    monkeypatch.chdir(tmp_path)
    names = [p.name for p in drawings] + ["missing.jww"]
    env = dict(os.environ)
    subprocess.run([list_tool, "-n", "8", "-o", "tool.txt", *names], check=True, env=env)
    dravik.list_file(names, slots=8, out="List.txt")
    assert (tmp_path / "List.txt").read_bytes() == (tmp_path / "tool.txt").read_bytes()
    with pytest.raises(ValueError):
        dravik.list_file([], out="x.txt")
    with pytest.raises(OSError):
        dravik.list_file(names, out="/nonexistent-folder/List.txt")


@pytest.mark.skipif(not corpus_drawings(), reason="no corpus")
def test_docs_example_runs(tmp_path, monkeypatch):
    doc = (pathlib.Path(__file__).parents[2] / "docs" / "python.md").read_text(encoding="utf-8")
    code = doc.split("```python\n", 1)[1].split("```", 1)[0]
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "docs/python.md", "exec"), {"__name__": "example"})
    for name in ("out.jww", "out.pdf", "out.png", "out.dxf", "changes.pdf"):
        assert (tmp_path / name).stat().st_size > 0


def test_exports_from_threads(tmp_path):
    import threading
    d = every_kind()
    errors = []

    def work(i):
        try:
            for fmt in ("png", "svg", "dxf"):
                d.export(tmp_path / f"{i}.{fmt}", dpi=30)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    assert len({(tmp_path / f"{i}.svg").read_bytes() for i in range(3)}) == 1
