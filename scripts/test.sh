#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and
# command-line tests, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer with a short run of each fuzzer, the end-to-end
# cases against the Linux program (on X11 and on Wayland compositors) and
# against velmora.exe under Wine, and the
# packages: made, installed, upgraded and removed (screenshots in
# build/e2e-artifacts/, the suites' logs in build/e2e-logs/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh all

# The end-to-end suites and the package tests each serve a feed site on
# 127.0.0.1:8741, the address the builds name. In a network namespace each
# has a loopback of its own, so they run side by side and beside the other
# builds: most of their time is waiting for the program's 60 s checks. The
# Wine suite, the longest, starts first. Without namespaces (not root) they
# take turns at the end.
logs=build/e2e-logs
mkdir -p "$logs"
suites=()
declare -A running
trap 'for pid in "${running[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
# start_suite NAME SCRIPT...: the scripts run one after another in one
# namespace. Suites that drive the same build of the Linux program share one,
# so that no two of them build it at once.
start_suite() {
    local name=$1
    shift
    suites+=("$name")
    unshare -n bash -c 'ip link set lo up && rc=0 && for suite; do echo "== $suite"; bash "scripts/$suite.sh" || rc=1; done; exit $rc' \
        isolated "$@" >"$logs/$name.log" 2>&1 &
    running[$name]=$!
}
side_by_side=no
unshare -n true 2>/dev/null && side_by_side=yes

if [ $side_by_side = yes ]; then
    echo "== velmora.exe, then its end-to-end suite under Wine in the background"
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    # Made once here, so that the two suites under Wine do not both make it.
    bash tests/e2e/wine_prefix.sh "$PWD/build/e2e-windows/template"
    start_suite e2e-windows e2e-windows
fi

echo "== unit and command-line tests"
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2

if [ $side_by_side = yes ]; then
    echo "== the Linux program's end-to-end suites (X11, Wayland compositors) and the packages' in the background"
    start_suite e2e-desktops e2e-linux e2e-compositors e2e-gnome
    start_suite e2e-packages e2e-packages
fi

echo "== sanitizers and fuzzers"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

if [ $side_by_side = no ]; then
    for suite in e2e-linux e2e-compositors e2e-windows e2e-packages e2e-gnome; do
        echo "== $suite"
        bash "scripts/$suite.sh"
    done
    exit 0
fi
failed=()
for suite in "${suites[@]}"; do
    wait "${running[$suite]}" || failed+=("$suite")
    unset "running[$suite]"
    echo "== $suite"
    cat "$logs/$suite.log"
done
if ((${#failed[@]})); then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
