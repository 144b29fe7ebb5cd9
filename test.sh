#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test. Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

ensure_packages
configure_and_build build-test -DCMAKE_BUILD_TYPE=Debug -DWFS_SANITIZE=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build-test --output-on-failure -j "$(nproc)" "$@"
