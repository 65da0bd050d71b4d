import os
import pathlib
import subprocess
import sys

import pytest


def test_component_install_puts_the_module_in_the_site_directory(tmp_path):
    build = os.environ.get("DRAVIK_BUILD_DIR")
    if not build:
        pytest.skip("DRAVIK_BUILD_DIR names no build folder")
    env = dict(os.environ, DESTDIR=str(tmp_path))
    subprocess.run(["cmake", "--install", build, "--component", "python", "--prefix", "/usr"], check=True,
                   env=env, capture_output=True)
    site = tmp_path / "usr/lib/python3/dist-packages"
    names = sorted(p.name for p in site.iterdir())
    assert len(names) == 2 and names[0].startswith("dravik.cpython-") and names[1] == "dravik.pyi"
    # The installed module works on its own, from the interpreter's site directory.
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["PYTHONPATH"] = str(site)
    code = ("import dravik; d = dravik.Drawing.new(); d.add_line(0, 0, 1, 0); d.write('x.jww');"
            "print(dravik.__file__, len(dravik.read('x.jww').lines))")
    out = subprocess.run([sys.executable, "-c", code], check=True, env=env, cwd=tmp_path, capture_output=True,
                         text=True).stdout.split()
    assert pathlib.Path(out[0]).parent == site and out[1] == "1"
