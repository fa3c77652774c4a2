#!/usr/bin/env bash
# The Python module's tests: installs lamina from this checkout with pip, as
# a user would, into a fresh virtual environment that sees Debian's NumPy,
# SciPy, pytest and matplotlib (--system-site-packages; offline:
# --no-build-isolation --no-index), then runs the pytest suite (tests/python)
# against the installed package, the demo included. The suite builds its C++
# oracle with CMake in build/python-oracle. As root on Debian it first
# installs the packages it needs; otherwise it says which.
#
#   bash scripts/python_test.sh      the environment goes to build/python-venv
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
require_packages "${lamina_python_packages[@]}"

venv=$root/build/python-venv
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
cd "$root"
"$venv/bin/python" -m pip install --quiet --no-build-isolation --no-index .
# From the repository root, but importing the installed package: the sources
# lie in python/lamina, which is not on the path.
"$venv/bin/python" -m pytest -q tests/python
