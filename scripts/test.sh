#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# command-line tests, then the same under AddressSanitizer and
# UndefinedBehaviorSanitizer with a short run of each fuzzer, then the
# end-to-end cases against the Linux program and against velmora.exe under
# Wine, then the packages: made, installed, upgraded and removed
# (screenshots in build/e2e-artifacts/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh sanitize
bash scripts/deps.sh linux

echo "== unit and command-line tests"
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2

echo "== sanitizers and fuzzers"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

echo "== end-to-end: the Linux program"
bash scripts/e2e-linux.sh

echo "== end-to-end: velmora.exe under Wine"
bash scripts/e2e-windows.sh

echo "== the packages: the Windows installer under Wine, the Debian package with apt-get"
bash scripts/e2e-packages.sh
