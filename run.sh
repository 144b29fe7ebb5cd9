#!/usr/bin/env bash
# Builds wfsmount and runs it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

ensure_packages
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWFS_BUILD_TESTS=OFF
./build/fuse/wfsmount "$@" || true
