#!/bin/sh
# Line coverage of src/ and tools/ from the whole test suite.
# Builds a gcov-instrumented tree in build/cov, runs ctest there, and prints the line coverage.
# Usage: tools/coverage.sh [jobs]   (default 4; needs gcovr: apt-get install -y gcovr)
# With 4 jobs it takes about 10 minutes from a clean tree (the build about 5, the tests 5), about 6 when
# ccache holds the objects.
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
# Some tests run qz as another user (to meet a refused permission) or under a file-size limit, and compare
# its standard error line for line: libgcov must write their counters there without a word. So the
# counters' folders and files are open to every user, and what it still cannot write (past the size limit)
# it reports into a log, not on standard error.
find "$BUILD/CMakeFiles" -type d -exec chmod a+w {} +
: >"$BUILD/gcov-errors.log"
(cd "$BUILD" && umask 000 && GCOV_ERROR_FILE="$PWD/gcov-errors.log" ctest -j"$JOBS" --output-on-failure) ||
  echo "coverage.sh: some tests failed; coverage still reported" >&2
# qz's own calls to fwrite go through its wrapper (src/host/output_order.cpp), and so do libgcov's while it
# writes the counters at exit: the wrapper's counters move as they are written, and gcov derives a negative
# count for one of its branches. gcovr skips that line instead of stopping.
gcovr -r . --object-directory "$BUILD" -f 'src/' -f 'tools/' -j "$JOBS" --gcov-ignore-parse-errors \
  --print-summary -o "$BUILD/coverage.txt" | tee "$BUILD/coverage-summary.txt"
