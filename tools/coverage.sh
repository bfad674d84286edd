#!/bin/sh
# Line coverage of src/ and tools/ from the whole test suite.
# Builds a gcov-instrumented tree in build/cov, runs ctest there, and prints the line coverage.
# Usage: tools/coverage.sh [jobs]   (default 4; needs gcovr: apt-get install -y gcovr)
set -eu
cd "$(dirname "$0")/.."
JOBS=${1:-4}
BUILD=build/cov
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr is not installed (apt-get install -y gcovr)" >&2; exit 1; }
# Assertions stay on as in the release preset (some tests need them); -O1 raises maybe-uninitialized
# warnings that -O2 does not, so warnings are not errors here.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithAsserts -DCMAKE_CXX_FLAGS_RELWITHASSERTS="-O1 --coverage" \
  -DCMAKE_C_FLAGS_RELWITHASSERTS="-O1 --coverage" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DQZ_BUILD_BENCH=OFF -DQZ_WERROR=OFF >/dev/null
cmake --build "$BUILD" -j"$JOBS"
# Counters from an earlier run would add to this one.
find "$BUILD" -name '*.gcda' -delete
(cd "$BUILD" && ctest -j"$JOBS" --output-on-failure) || echo "coverage.sh: some tests failed; coverage still reported" >&2
gcovr -r . --object-directory "$BUILD" -f 'src/' -f 'tools/' -j "$JOBS" --print-summary -o "$BUILD/coverage.txt" \
  | tee "$BUILD/coverage-summary.txt"
