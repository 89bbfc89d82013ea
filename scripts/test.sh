#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# command-line tests, then the same under AddressSanitizer and
# UndefinedBehaviorSanitizer with a short run of each fuzzer, then the
# end-to-end cases against the Linux program and against velmora.exe under
# Wine, and the packages: made, installed, upgraded and removed
# (screenshots in build/e2e-artifacts/).
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

# The end-to-end suites and the package tests each serve a feed site on
# 127.0.0.1:8741, the address the builds name. In a network namespace each
# has a loopback of its own, so they run side by side: most of their time is
# waiting for the program's 60 s checks, which the package builds fill.
# Without namespaces (not root) they take turns.
suites=(e2e-linux e2e-windows e2e-packages)
if ! unshare -n true 2>/dev/null; then
    for suite in "${suites[@]}"; do
        echo "== $suite"
        bash "scripts/$suite.sh"
    done
    exit 0
fi
cmake --preset windows >/dev/null
cmake --build --preset windows
# Made once here, so that the two suites under Wine do not both make it.
bash tests/e2e/wine_prefix.sh "$PWD/build/e2e-windows/template"
logs=build/e2e-logs
mkdir -p "$logs"
echo "== ${suites[*]}, side by side"
declare -A running
for suite in "${suites[@]}"; do
    unshare -n bash -c 'ip link set lo up && exec bash "$@"' isolated "scripts/$suite.sh" >"$logs/$suite.log" 2>&1 &
    running[$suite]=$!
done
failed=()
for suite in "${suites[@]}"; do
    wait "${running[$suite]}" || failed+=("$suite")
    echo "== $suite"
    cat "$logs/$suite.log"
done
if ((${#failed[@]})); then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
