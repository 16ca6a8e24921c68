#!/usr/bin/env bash
# Runs every test: builds the C++ tests, the module and the bridge's test
# module in one CMake build, runs the C++ tests with ctest, then pytest
# against that build. Extra arguments go to pytest.
#   WW_BUILD_DIR  the build directory (default build/cpp)
#   WW_JOBS       parallel jobs (default 2)
#   WW_BUILD_TYPE CMake build type (default Debug: the quickest to compile;
#                 the installed package is the optimised build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${WW_BUILD_DIR:-build/cpp}
jobs=${WW_JOBS:-2}
build_type=${WW_BUILD_TYPE:-Debug}
python=${PYTHON:-python3}

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
