# Builds the module with the project's own CMake build (the library, the scene and the painter
# come with it) and hands the result to setuptools. DRAVIK_BUILD_DIR names a configured build
# folder to use (only what is missing is built); otherwise a folder beside the setuptools build is
# configured. DRAVIK_SOURCE_DIR names the project when this folder is not inside it.
import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
PROJECT = pathlib.Path(os.environ.get("DRAVIK_SOURCE_DIR") or HERE.parent)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(os.environ.get("DRAVIK_BUILD_DIR") or pathlib.Path(self.build_temp).resolve() / "cmake")
        build.mkdir(parents=True, exist_ok=True)
        if not (build / "CMakeCache.txt").exists():
            subprocess.run(["cmake", "-S", str(PROJECT), "-B", str(build), "-G", "Ninja",
                            f"-DPython3_EXECUTABLE={sys.executable}", "-DCMAKE_BUILD_TYPE=Release",
                            "-DDRAVIK_BUILD_APP=OFF", "-DDRAVIK_BUILD_BENCH=OFF"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "dravik_module"], check=True)
        built = next((build / "python").glob("dravik.cpython-*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(HERE / "dravik.pyi", target.parent / "dravik.pyi")


setup(ext_modules=[Extension("dravik", sources=[])], cmdclass={"build_ext": CMakeBuild},
      py_modules=[], packages=[])
