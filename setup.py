# Builds the Python module frlayout3d: the package in python/frlayout3d and
# its compiled part, _frlayout3d, from the library's own sources (every
# subsystem folder of src/, of the tool's driver only the layout step and
# the method table) with the flags of the CMake build.
import glob
import os
import re

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

with open("CMakeLists.txt") as f:
    VERSION = re.search(r"project\(frlayout3d VERSION ([0-9.]+)", f.read()).group(1)

DRIVER_PARTS = ["src/driver/layout_graph.cpp", "src/driver/report.cpp"]
SOURCES = sorted(p for p in glob.glob("src/*/*.cpp") if not p.startswith("src/driver/"))
SOURCES += DRIVER_PARTS + ["python/_frlayout3d.cpp"]

macros = [("FRLAYOUT3D_VERSION", '"%s"' % VERSION)]
libraries = []
if os.path.exists("/usr/include/zlib.h"):  # gzip input, as the CMake build reads it
    macros.append(("FRLAYOUT_HAVE_ZLIB", "1"))
    libraries.append("z")

ParallelCompile("FRLAYOUT_BUILD_JOBS", default=2).install()

setup(
    version=VERSION,
    package_dir={"": "python"},
    packages=["frlayout3d"],
    ext_modules=[
        Pybind11Extension(
            "frlayout3d._frlayout3d",
            SOURCES,
            include_dirs=["src", "include"],
            define_macros=macros,
            libraries=libraries,
            cxx_std=20,
            # One seed, one layout, bit for bit: as the CMake build.
            extra_compile_args=["-O2", "-ffp-contract=off", "-fno-fast-math"],
        )
    ],
    cmdclass={"build_ext": build_ext},
    # Beside, not inside, the CMake build folder.
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
