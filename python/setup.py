"""pip install ./python: builds the extension with the project's CMake (offline, no downloads)
and installs it with the reader library beside it."""
import glob
import os
import shutil
import subprocess

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECT = os.path.dirname(HERE)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        subprocess.check_call(["cmake", "-S", PROJECT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                               "-DRECFILEREADER_BUILD_TESTS=OFF", "-DRECFILEREADER_BUILD_BENCH=OFF",
                               "-DRECFILEREADER_PYTHON=ON", "-DCMAKE_BUILD_RPATH=$ORIGIN"])
        subprocess.check_call(["cmake", "--build", build, "--target", "_recfile", "-j2"])
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        shutil.copy(glob.glob(os.path.join(build, "python", "recfile", "_recfile*.so"))[0], self.get_ext_fullpath(ext.name))
        for library in glob.glob(os.path.join(build, "offline", "recfilereader", "librecfilereader.so.*")):
            shutil.copy(library, target)


setup(
    name="recfile",
    version="1.0.0",
    description="Read, edit, extract and repair REC recordings; many recordings on dask",
    packages=["recfile"],
    ext_modules=[Extension("recfile._recfile", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=[],
    python_requires=">=3.9",
)
