#!/usr/bin/env bash
# The whole test suite. It installs any missing package, then tests twice: an optimised
# build in build/, then a build with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/. Each is configured, built and run with ctest; any failure stops the script
# with a non-zero status. QUIBO_BUILD_DIR and QUIBO_ASAN_BUILD_DIR point it at other folders.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ASAN_BUILD=${QUIBO_ASAN_BUILD_DIR:-$QUIBO_ROOT/build-asan}

bash "$QUIBO_ROOT/scripts/install-deps.sh"

say "release build in $QUIBO_BUILD"
cmake -S "$QUIBO_ROOT" -B "$QUIBO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$QUIBO_BUILD" -j2
say "tests ($QUIBO_BUILD)"
ctest --test-dir "$QUIBO_BUILD" --output-on-failure --no-tests=error --timeout 300 -j2

say "sanitizer build in $ASAN_BUILD"
cmake -S "$QUIBO_ROOT" -B "$ASAN_BUILD" -DCMAKE_BUILD_TYPE=Debug -DQUIBO_SANITIZE=ON -DQUIBO_BENCH=OFF
cmake --build "$ASAN_BUILD" -j2
say "tests under the sanitizers ($ASAN_BUILD)"
# A sanitized quibo.so cannot be loaded into the uninstrumented HexChat: the e2e
# tests ran against the release build above.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$ASAN_BUILD" --output-on-failure --no-tests=error --timeout 300 -j2 -LE e2e

say "all tests passed"
