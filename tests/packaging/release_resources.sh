#!/usr/bin/env bash
# The plain release build from two folders, with files of different times,
# compiles the pictures into the same bytes: file times must not reach the
# program. (The rest of the release build is compared by
# scripts/check-reproducible.sh --release, which takes two full builds.)
# Usage: release_resources.sh SOURCE_DIR
set -euo pipefail
source=$1
tmp=$(mktemp -d /tmp/velmora-resources.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
objects=()
for side in one "a second folder/elsewhere"; do
    dir=$tmp/$side
    mkdir -p "$dir"
    git -C "$source" ls-files -z | (cd "$source" && xargs -0 cp --parents -t "$dir")
    # Each side's files carry a time of their own, as two checkouts do.
    find "$dir" -exec touch -d "@$((1700000000 + ${#objects[@]} * 86400))" {} +
    (cd "$dir" && CCACHE_DISABLE=1 cmake --preset release >/dev/null &&
        cmake --build --preset release --target velmora_qt_resources_1 >/dev/null)
    objects+=("$(find "$dir/build/release" -name 'qrc_velmora_artwork.cpp.o')")
done
cmp "${objects[0]}" "${objects[1]}"
echo "the pictures compile to the same bytes in both folders"
