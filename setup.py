"""Builds the compiled part `geofluid._geofluid` with the project's CMake and packages it with
the pure-Python package in python/geofluid.

Environment:
  GEOFLUID_CMAKE_BUILD_DIR  the CMake build directory (default build/python-package)
  GEOFLUID_CMAKE_ARGS       more options for the configuration, e.g. a compiler launcher
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*geofluid\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt: no project(geofluid VERSION ...) line")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        cmake = shutil.which("cmake")
        if cmake is None:
            raise RuntimeError("cmake is not on the PATH (Debian: apt-get install cmake)")
        build_dir = Path(os.environ.get("GEOFLUID_CMAKE_BUILD_DIR") or
                         ROOT / "build" / "python-package").resolve()
        # Only what the module needs: no window, charts or benchmarks. The module is built for
        # the interpreter that runs pip.
        configure = [cmake, "-S", str(ROOT), "-B", str(build_dir),
                     "-DGEOFLUID_GUI=OFF", "-DGEOFLUID_CHARTS=OFF", "-DGEOFLUID_BENCH=OFF",
                     "-DPython_EXECUTABLE=" + sys.executable]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("GEOFLUID_CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)
        build = [cmake, "--build", str(build_dir), "--target", "_geofluid"]
        if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            build += ["--parallel", str(os.cpu_count() or 1)]
        subprocess.run(build, check=True)
        built = sorted((build_dir / "python" / "geofluid").glob("_geofluid*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one _geofluid module in {build_dir}/python/geofluid, "
                               f"found {[p.name for p in built]}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


# setuptools' own build directory, apart from CMake's builds under build/.
SETUPTOOLS_DIR = ROOT / "build" / "setuptools"
SETUPTOOLS_DIR.mkdir(parents=True, exist_ok=True)

setup(
    version=project_version(),
    packages=["geofluid"],
    package_dir={"": "python"},
    ext_modules=[Extension("geofluid._geofluid", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(SETUPTOOLS_DIR)},
             "egg_info": {"egg_base": str(SETUPTOOLS_DIR)}},
)
