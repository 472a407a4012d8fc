#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs each fuzz target for a few seconds and then every test. Usage: ./test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")"

tools/bootstrap
build=${ZORVIDEO_TEST_BUILD_DIR:-build/test}
# For /usr, as the package installs, so that the install test and tools/check-package see the
# package's layout. The benchmarks are compiled here (not run), so that a change that breaks one
# is seen at once; their figures come from a Release build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORVIDEO_SANITIZE=ON \
    -DZORVIDEO_BUILD_TESTS=ON -DZORVIDEO_BUILD_BENCHMARKS=ON -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
# Each fuzz target briefly (about 20 s in all) when clang is there, so that a regression of the
# readers shows on every run; ./fuzz.sh runs them longer.
if command -v clang++ >/dev/null; then
    ZORVIDEO_FUZZ_BUILD_DIR=${ZORVIDEO_FUZZ_BUILD_DIR:-build/fuzz-test} ./fuzz.sh 5
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
# The Debian package of this build (about a minute and a half): on a full run, where the tools are.
if [[ $# -eq 0 ]] && command -v dpkg-deb >/dev/null && command -v lintian >/dev/null; then
    tools/check-package "$build"
fi
