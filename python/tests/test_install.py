import os
import pathlib
import shutil
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


def test_pip_installs_the_module(tmp_path):
    build = os.environ.get("DRAVIK_BUILD_DIR")
    if not build:
        pytest.skip("DRAVIK_BUILD_DIR names no build folder")
    here = pathlib.Path(__file__).resolve().parents[1]
    package = tmp_path / "package"  # a copy: pip builds in the folder it is given
    package.mkdir()
    for name in ("setup.py", "pyproject.toml", "dravik.pyi"):
        shutil.copy(here / name, package / name)
    env = dict(os.environ, DRAVIK_BUILD_DIR=build, DRAVIK_SOURCE_DIR=str(here.parent), PIP_NO_CACHE_DIR="1")
    subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-deps",
                    "--target", str(tmp_path / "site"), str(package)], check=True, env=env, capture_output=True)
    installed = sorted(p.name for p in (tmp_path / "site").iterdir() if not p.name.endswith(".dist-info"))
    assert installed[1:] == ["dravik.pyi"] and installed[0].startswith("dravik.cpython-")
    env["PYTHONPATH"] = str(tmp_path / "site")
    out = subprocess.run([sys.executable, "-c", "import dravik; print(dravik.__file__)"], check=True, env=env,
                         cwd=tmp_path, capture_output=True, text=True).stdout
    assert pathlib.Path(out.strip()).parent == tmp_path / "site"


def test_debian_package_holds_the_module(tmp_path):
    build = os.environ.get("DRAVIK_BUILD_DIR")
    if not build:
        pytest.skip("DRAVIK_BUILD_DIR names no build folder")
    subprocess.run(["cpack", "--config", os.path.join(build, "python", "CPackPythonConfig.cmake"), "-B",
                    str(tmp_path)], check=True, capture_output=True)
    (deb,) = tmp_path.glob("*.deb")
    field = lambda name: subprocess.run(["dpkg-deb", "-f", str(deb), name], check=True, capture_output=True,
                                        text=True).stdout.strip()
    assert field("Package") == "python3-dravik"
    assert "python3-numpy" in field("Depends") and f"python3 (>= 3.{sys.version_info.minor})" in field("Depends")
    listing = subprocess.run(["dpkg-deb", "-c", str(deb)], check=True, capture_output=True, text=True).stdout
    files = sorted(line.split()[-1] for line in listing.splitlines() if not line.startswith("d"))
    assert files[1] == "./usr/lib/python3/dist-packages/dravik.pyi"
    assert files[0].startswith("./usr/lib/python3/dist-packages/dravik.cpython-") and len(files) == 2
