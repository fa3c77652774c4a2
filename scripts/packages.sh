# The Debian 12 packages lamina needs, and the function that installs them.
# This is the one list: scripts/demo.sh, scripts/test.sh and .ci/run source
# this file and read it.
#
# lamina_demo_packages   build the Octave plug-ins and run the demo, picture
#                        included (scripts/demo.sh).
#     libsuitesparse-dev: CHOLMOD's headers and library, which lamina_solve
#     (and lamina::solve, the Python solver) links; Octave itself uses the
#     same CHOLMOD but does not bring its headers.
#     Octave only *recommends* fonts-freefont-otf and ghostscript, and the
#     scripts install without recommends: without fonts-freefont-otf
#     Octave's text renderer cannot load FreeSans and no plot with a title
#     or label can be drawn ("ft_text_renderer: invalid bounding box");
#     without ghostscript print -dpng fails. libtbb-dev: oneTBB, the threads
#     of the C++ library and the Hessian plug-in.
#     libopenblas0-serial: CHOLMOD's factorisation runs on the system's
#     BLAS, and on Debian's default, the reference BLAS, the solver is half
#     as fast (figures in docs/development.md). Installed, it becomes the
#     system's libblas.so.3 (Debian's alternatives), for Octave and NumPy
#     too. The serial build, not the threaded ones, so that no thread count
#     enters the solver's sums; its bits are the same from run to run.
# lamina_test_packages   build and run every test (scripts/test.sh): the demo's
#                        packages, CMake, GoogleTest, Google Benchmark,
#                        clang with its runtime for the fuzzers, and
#                        clang-format for the format check, Eigen for the
#                        C++ examples and the Eigen adapter's test,
#                        pkg-config for the package test's consumer built
#                        without CMake, and Python (its standard library
#                        alone) for the runner of the documentation's
#                        examples (tests/docs). The package
#                        tests need nothing more: pkg install runs make and
#                        Octave's mkoctfile (liboctave-dev), and the C++
#                        package is built with CMake and g++.
# lamina_ci_packages     what .ci/run needs on the CI machine itself to make
#                        the fresh Debian 12 root it runs the scripts in.
# shellcheck disable=SC2034  # the lists are read by the scripts that source this
lamina_demo_packages=(g++ octave liboctave-dev libsuitesparse-dev gnuplot-nox fonts-freefont-otf
                      ghostscript libtbb-dev libopenblas0-serial)
lamina_test_packages=("${lamina_demo_packages[@]}" cmake make binutils pkg-config libgtest-dev
                      libeigen3-dev libbenchmark-dev clang-14 libclang-rt-14-dev clang-format-14
                      python3)
lamina_ci_packages=(mmdebstrap git)
# lamina_python_packages  pip install and test the Python module
#     (scripts/python_test.sh): the compiler, CMake, pybind11, Python's
#     headers and CHOLMOD (the solver) to build it, with the serial OpenBLAS
#     it runs fastest on (see above); venv and pip; NumPy and SciPy it runs
#     on; pytest; matplotlib for the demos' pictures.
lamina_python_packages=(g++ cmake make pybind11-dev python3-dev libsuitesparse-dev python3-venv
                        python3-pip python3-numpy python3-scipy python3-pytest python3-matplotlib
                        libtbb-dev libopenblas0-serial)

# require_packages PACKAGE...
#
# Checks that the Debian packages are installed; installs the missing ones
# when run as root, otherwise says what to install and exits.
require_packages() {
  local missing=() p
  if ! command -v dpkg >/dev/null 2>&1; then
    echo "note: not a Debian system; make sure these are installed: $*" >&2
    return 0
  fi
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "missing packages: ${missing[*]}" >&2
    echo "install them with:  sudo apt-get install ${missing[*]}" >&2
    echo "(or run this script as root, and it installs them itself)" >&2
    exit 1
  fi
}
