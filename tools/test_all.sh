#!/usr/bin/env bash
# Runs every test: builds the C++ tests, the module and the bridge's test
# module in one CMake build, runs the C++ tests with ctest, then pytest
# against that build. Extra arguments go to pytest.
#   WW_BUILD_DIR  the build directory (default build/cpp)
#   WW_JOBS       parallel jobs (default 2)
#   WW_BUILD_TYPE CMake build type (default Debug: the quickest to compile;
#                 the installed package is the optimised build)
#   PYTHON        the interpreter that builds the module and runs pytest
#                 (default python3)
#
# First it sees to what the build and the tests need, and installs only
# what is missing, so that a second run goes straight to the build:
#   - the Python test requirements (tests/requirements.txt), and cmake and
#     ninja when missing or too old, with pip into that interpreter;
#   - a C++ compiler, OpenSSL's and Python's development files and
#     GoogleTest, with apt-get when run as root on Debian; anyone else is
#     told which package to install.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${WW_BUILD_DIR:-build/cpp}
jobs=${WW_JOBS:-2}
build_type=${WW_BUILD_TYPE:-Debug}
python=${PYTHON:-python3}

say() { echo "test_all: $*"; }

if ! command -v "$python" >/dev/null; then
  say "no $python: install Python 3.11 or later, or set PYTHON"
  exit 1
fi
# What pip installs into the interpreter (cmake, ninja) is found first.
PATH="$("$python" -c 'import sysconfig; print(sysconfig.get_path("scripts"))'):$PATH"

# ---- system packages ----

have_compiler() { [[ -n ${CXX:-} ]] || command -v c++ || command -v g++ || command -v clang++; }
have_openssl() { [[ -n ${OPENSSL_ROOT_DIR:-} || -f /usr/include/openssl/evp.h || -f /usr/local/include/openssl/evp.h ]]; }
have_gtest() {
  [[ -n ${WW_GTEST_SOURCE_DIR:-}${GTest_DIR:-} || -f /usr/src/googletest/CMakeLists.txt ||
     -f /usr/include/gtest/gtest.h || -f /usr/local/include/gtest/gtest.h ]]
}
# Prints the interpreter's version when its headers are missing.
python_headers_missing() {
  "$python" -c 'import os, sys, sysconfig
if not os.path.isfile(os.path.join(sysconfig.get_path("include"), "Python.h")):
    print("%d.%d" % sys.version_info[:2])'
}

packages=()  # Debian package names
reasons=()
have_compiler >/dev/null || { packages+=(g++); reasons+=("a C++ compiler"); }
have_openssl || { packages+=(libssl-dev); reasons+=("OpenSSL development files"); }
have_gtest || { packages+=(libgtest-dev); reasons+=("GoogleTest"); }
python_version=$(python_headers_missing)
if [[ -n $python_version ]]; then
  packages+=("python$python_version-dev")
  reasons+=("Python $python_version development files")
fi

if ((${#packages[@]})); then
  if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    say "installing with apt-get: ${packages[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Errors still show: apt-get and dpkg write them to stderr.
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
  else
    for i in "${!packages[@]}"; do
      say "${reasons[i]} not found: install ${packages[i]} (Debian; as root: apt-get install ${packages[i]})"
    done
    exit 1
  fi
fi

# ---- Python packages ----

# Whether every requirement is installed; a line other than `name` or
# `name>=version` is left to pip to judge.
requirements_met() {
  "$python" - "$1" <<'EOF'
import re, sys
from importlib import metadata

def version(text):
    return tuple(int(n) for n in re.match(r"\d+(?:\.\d+)*", text).group().split("."))

for line in open(sys.argv[1], encoding="utf-8"):
    line = line.split("#")[0].strip()
    if not line:
        continue
    m = re.fullmatch(r"([A-Za-z0-9._-]+)\s*(?:>=\s*([0-9.]+))?", line)
    try:
        if not m or (m[2] and version(metadata.version(m[1])) < version(m[2])):
            sys.exit(1)
    except metadata.PackageNotFoundError:
        sys.exit(1)
EOF
}

cmake_recent() {
  local v
  v=$(cmake --version 2>/dev/null | sed -n '1s/^cmake version \([0-9.]*\).*/\1/p')
  [[ -n $v && $(printf '%s\n' 3.26 "$v" | sort -V | head -n 1) == 3.26 ]]
}

pip_args=()
wanted=""  # for the message
if ! requirements_met tests/requirements.txt; then
  pip_args+=(-r tests/requirements.txt)
  wanted+=", the test requirements"
fi
if ! cmake_recent; then pip_args+=("cmake>=3.26") && wanted+=", cmake>=3.26"; fi
if ! command -v ninja >/dev/null; then pip_args+=("ninja>=1.10") && wanted+=", ninja"; fi
if ((${#pip_args[@]})); then
  say "installing with pip: ${wanted#, }"
  "$python" -m pip install --quiet --disable-pip-version-check "${pip_args[@]}"
  hash -r  # forget the cmake that was too old
fi

# ---- build and test ----

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
# Only a fresh build directory gets a generator; an existing one keeps its own.
[[ -f "$build_dir/CMakeCache.txt" ]] && generator=()

cmake -S . -B "$build_dir" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE="$build_type" \
  -DWW_BUILD_TESTS=ON -DWW_BUILD_MODULE=ON -DWW_WERROR=ON \
  -DPython_EXECUTABLE="$(command -v "$python")"
cmake --build "$build_dir" -j "$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"

WW_BUILD_DIR="$build_dir" "$python" -m pytest "$@"
