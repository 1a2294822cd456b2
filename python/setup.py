"""Packages ccs: the extension module ccs._core comes from the project's own
CMake build (target ccs_python) in $CCS_BUILD_DIR (default: the project's
build folder, configured here when it is not yet), the parameter tables from
data/params."""
import os
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent.parent


class CMakeExtension(build_ext):
    def build_extension(self, ext):
        build_dir = Path(os.environ.get("CCS_BUILD_DIR", ROOT / "build")).resolve()
        if not (build_dir / "CMakeCache.txt").is_file():
            subprocess.check_call(["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                                   f"-DPython3_EXECUTABLE={sys.executable}", "-DCCS_BUILD_TESTS=OFF",
                                   "-DCCS_BUILD_BENCH=OFF", "-DCCS_BUILD_MEX=OFF"])
        subprocess.check_call(["cmake", "--build", str(build_dir), "--target", "ccs_python",
                               "-j", str(os.cpu_count() or 2)])
        built = build_dir / "python" / "ccs" / ("_core" + sysconfig.get_config_var("EXT_SUFFIX"))
        if not built.is_file():
            sys.exit(f"{built} was not built: is {build_dir} configured for {sys.executable}?")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


class WithTables(build_py):
    def run(self):
        super().run()
        tables = Path(self.build_lib) / "ccs" / "params"
        tables.mkdir(parents=True, exist_ok=True)
        for f in (ROOT / "data" / "params").glob("*.tsv"):
            shutil.copyfile(f, tables / f.name)


setup(ext_modules=[Extension("ccs._core", sources=[])],
      cmdclass={"build_ext": CMakeExtension, "build_py": WithTables})
