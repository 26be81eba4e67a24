"""Builds the Python package lxwordseg as a self-contained wheel.

    pip wheel --no-deps --no-build-isolation .

CMake builds the extension module _LXWordSeg, linked with the static library,
and unpacks the default resources, which go into the package (lxwordseg/
resources); the wheel needs no other file.  It needs what the library's build
needs, plus SWIG 4 and the Python headers.  The build directories go to
build-wheel/ ($LXWORDSEG_SETUP_BUILD changes it); CMake reuses its directory
there, so a second build is quick.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(os.environ.get("LXWORDSEG_SETUP_BUILD") or os.path.join(ROOT, "build-wheel"))


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(LXWordSeg\s+VERSION\s+([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        cmake_dir = os.path.join(BUILD, "cmake")
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(["cmake", "-S", ROOT, "-B", cmake_dir, *generator,
                        "-DCMAKE_BUILD_TYPE=Release", "-DLX_BUILD_TESTS=OFF", "-DLX_BUILD_BENCH=OFF",
                        "-DLX_PYTHON_STATIC=ON", "-DPython3_EXECUTABLE=" + sys.executable],
                       check=True)
        subprocess.run(["cmake", "--build", cmake_dir, "-j", str(os.cpu_count() or 1),
                        "--target", "_LXWordSeg", "default_resources"], check=True)
        module = glob.glob(os.path.join(cmake_dir, "python", "_LXWordSeg*.so"))
        if not module:
            sys.exit("setup.py: CMake built no _LXWordSeg module (are SWIG 4 and python3-dev installed?)")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(module[0], target)
        resources = os.path.join(self.build_lib, "lxwordseg", "resources")
        shutil.rmtree(resources, ignore_errors=True)
        shutil.copytree(os.path.join(cmake_dir, "data", "resources"), resources)


os.makedirs(BUILD, exist_ok=True)
setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["lxwordseg"],
    package_data={"lxwordseg": ["py.typed"]},
    ext_modules=[Extension("_LXWordSeg", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD}, "egg_info": {"egg_base": BUILD}},
    zip_safe=False,
)
