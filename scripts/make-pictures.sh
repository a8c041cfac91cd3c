#!/usr/bin/env bash
# Builds the picture generator (resources/generator/) and remakes the main
# window's pictures in resources/pictures/ from it. Commit what changed:
# the build embeds the committed files, and a test checks they are exactly
# what the generator makes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-ffmpeg.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target ornivox-make-pictures
fresh=$(mktemp -d "${TMPDIR:-/tmp}/ornivox-pictures.XXXXXX")
trap 'rm -rf "$fresh"' EXIT
build/release/resources/ornivox-make-pictures "$fresh"
# Replace the whole set, so a picture the generator no longer makes goes too.
find resources/pictures -maxdepth 1 -type f -delete
cp "$fresh"/* resources/pictures/
git status --short resources/pictures
