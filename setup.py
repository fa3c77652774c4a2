"""Builds the extension lamina._lamina with the project's CMake build.

The one build definition is CMake's (python/CMakeLists.txt, switched on by
LAMINA_PYTHON): this file configures the repository with it, builds the
target _lamina straight into setuptools' build folder and leaves the rest of
the packaging (python/lamina, metadata in pyproject.toml) to setuptools.

The build takes about two minutes. pip shows nothing of it unless asked:
`pip install -v .` prints CMake's configure and build output as it goes
(each "[ 40%] Building CXX object ..." line), and the progress lines below.

Environment:
  CMAKE_ARGS                  extra configure arguments, e.g. "-DCMAKE_CXX_COMPILER=clang++"
  CMAKE_BUILD_PARALLEL_LEVEL  parallel build jobs (CMake's own variable)
"""

import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def version():
    """The project version, as CMakeLists.txt declares it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(lamina VERSION ([0-9.]+)", text).group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        output = Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        configure = [
            "-DCMAKE_BUILD_TYPE=Release",
            "-DLAMINA_PYTHON=ON",
            "-DLAMINA_BUILD_TESTS=OFF",
            "-DLAMINA_OCTAVE=OFF",
            "-DLAMINA_MATLAB=OFF",
            f"-DLAMINA_PYTHON_OUTPUT_DIR={output}",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        try:  # pybind11 from PyPI (build isolation); Debian's is found by CMake itself
            import pybind11

            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        # Flushed before CMake writes to the same stream, so that pip -v shows
        # them in order.
        print(f"lamina: configuring the extension's CMake build in {build}", flush=True)
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), *configure], check=True)
        print("lamina: building lamina._lamina (about two minutes)", flush=True)
        command = ["cmake", "--build", str(build), "--target", "_lamina"]
        if self.parallel:
            command += ["-j", str(self.parallel)]
        elif "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            command += ["-j", str(min(os.cpu_count() or 1, 4))]
        subprocess.run(command, check=True)


setup(
    version=version(),
    ext_modules=[CMakeExtension("lamina._lamina")],
    cmdclass={"build_ext": CMakeBuild},
)
