"""The oracle: tests/python/oracle built with CMake, once per session.

LAMINA_ORACLE names an oracle built already; otherwise it is configured and
built in build/python-oracle under the repository root."""

import os
import subprocess
from pathlib import Path

import pytest

from support import Oracle

ROOT = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def oracle():
    executable = os.environ.get("LAMINA_ORACLE")
    if not executable:
        build = ROOT / "build" / "python-oracle"
        for command in (
            ["cmake", "-S", str(ROOT / "tests" / "python" / "oracle"), "-B", str(build)],
            ["cmake", "--build", str(build), "-j", "2"],
        ):
            done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if done.returncode != 0:
                pytest.fail(f"building the oracle failed: {' '.join(command)}\n{done.stdout}")
        executable = str(build / "lamina_oracle")
    return Oracle(executable)
