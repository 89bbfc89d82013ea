#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# command-line tests, then the same under AddressSanitizer and
# UndefinedBehaviorSanitizer with a short run of each fuzzer, then the
# end-to-end cases against the Linux program and against velmora.exe under
# Wine (screenshots in build/e2e-artifacts/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh all

echo "== unit and command-line tests"
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2

echo "== sanitizers and fuzzers"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

# Both end-to-end suites serve their feed site on 127.0.0.1:8741, the
# address the builds name. In a network namespace each has a loopback of its
# own, so they run side by side: most of their time is waiting for the
# program's 60 s checks, not work. Without namespaces (not root) they take
# turns.
if unshare -n true 2>/dev/null; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    logs=build/e2e-logs
    mkdir -p "$logs"
    isolated() { unshare -n bash -c 'ip link set lo up && exec bash "$@"' isolated "$@"; }
    echo "== end-to-end: the Linux program and velmora.exe under Wine, side by side"
    isolated scripts/e2e-linux.sh >"$logs/linux.log" 2>&1 &
    linux=$!
    isolated scripts/e2e-windows.sh >"$logs/windows.log" 2>&1 &
    windows=$!
    status=0
    wait "$linux" || status=1
    echo "== end-to-end: the Linux program"
    cat "$logs/linux.log"
    wait "$windows" || status=1
    echo "== end-to-end: velmora.exe under Wine"
    cat "$logs/windows.log"
    exit "$status"
fi
echo "== end-to-end: the Linux program"
bash scripts/e2e-linux.sh
echo "== end-to-end: velmora.exe under Wine"
bash scripts/e2e-windows.sh
