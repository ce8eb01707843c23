#!/usr/bin/env bash
# Seed corpora for the fuzz targets, all made by our own data tool: the small files of
# its data folder plus the tiny clips and pictures of `make-data --fuzz-seeds`.
# Usage: fuzz/make-seeds.sh BUILD_DIR OUT_DIR   (BUILD_DIR holds make-data and data/)
set -euo pipefail
build=${1:?build folder with make-data and the data folder it made}
out=${2:?output folder}
data=$build/data
[ -f "$data/sorvan.mp3" ] || "$build/make-data" --output "$data"
mkdir -p "$out"/{aml,material,png,jpeg,clip}
cp "$data"/*.aml "$out/aml/"
cp "$data"/materials/* "$out/material/"
for f in "$data"/*.png; do [ "$(stat -c %s "$f")" -le 16384 ] && cp "$f" "$out/png/"; done
cp "$data"/*.jpg "$out/jpeg/"
"$build/make-data" --fuzz-seeds "$out"
