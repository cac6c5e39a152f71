#!/usr/bin/env bash
# Installs what is needed, checks the sources' format, builds with warnings as errors, and runs
# every test (the Qt Test programs on Qt's offscreen platform; the system tests of tests/system/,
# the real program under an Xvfb server that the smoke test starts itself among them) while
# clang-tidy runs over src/, tools/ and tests/ (a finding fails it); then builds the whole suite
# again with AddressSanitizer and UndefinedBehaviorSanitizer and runs it once more; last, the
# fuzzing harnesses, built by clang, each for a few seconds over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --tests

echo "== Format (clang-format --dry-run -Werror)"
find src tests tools -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run -Werror

echo "== Build and tests"
./scripts/build.sh
# The tests mostly wait (for X servers, CUPS, other processes): the static analysis uses the
# processors meanwhile, and says what it found once they are done.
./scripts/tidy.sh >build/tidy.out 2>&1 &
tidy=$!
tests=0
(cd build && ctest --output-on-failure -j"$(nproc)") || tests=$?
echo "== Static analysis (clang-tidy)"
analysis=0
wait "$tidy" || analysis=$?
cat build/tidy.out
((tests == 0 && analysis == 0)) || exit 1

echo "== Build and tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DZUK_SANITIZERS=ON -DZUK_WERROR=ON >/dev/null
cmake --build build-san -j"$(nproc)"
suppressions=$PWD/tests/sanitizers/lsan.supp
(cd build-san && LSAN_OPTIONS="suppressions=$suppressions" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$(nproc)")

echo "== Fuzzing (libFuzzer, ASan and UBSan)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DZUK_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
(cd build-fuzz && ctest --output-on-failure -j"$(nproc)")
