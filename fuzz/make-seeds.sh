#!/usr/bin/env bash
# Seed corpora for the fuzz targets: the small files of a make-data folder plus tiny
# clips and pictures written here. Usage: fuzz/make-seeds.sh DATA_DIR OUT_DIR
set -euo pipefail
data=${1:?data folder made by make-data}
out=${2:?output folder}
mkdir -p "$out"/{aml,material,png,jpeg,clip}
cp "$data"/*.aml "$out/aml/"
cp "$data"/materials/* "$out/material/"
for f in "$data"/*.png; do [ "$(stat -c %s "$f")" -le 16384 ] && cp "$f" "$out/png/"; done
cp "$data"/*.jpg "$out/jpeg/"
lavfi() { ffmpeg -v error -y -f lavfi -i "$1" "${@:2}"; }
# Clips in the codecs the decoder meets, small enough for many runs a second.
lavfi testsrc=size=16x16:rate=10:duration=0.3 -c:v mjpeg "$out/clip/mjpeg.avi"
lavfi testsrc=size=8x8:rate=10:duration=0.2 -c:v rawvideo -pix_fmt bgr24 "$out/clip/raw.avi"
lavfi testsrc=size=16x16:rate=10:duration=0.1 -c:v mpeg4 "$out/clip/one-frame.avi"
lavfi sine=duration=0.1 -c:a pcm_s16le "$out/clip/audio-only.avi"
# Pictures of every readable layout.
lavfi color=red:size=3x5:d=1 -frames:v 1 -pix_fmt gray "$out/png/grey.png"
lavfi color=red:size=3x5:d=1 -frames:v 1 -pix_fmt ya8 "$out/png/grey-alpha.png"
lavfi color=red:size=3x5:d=1 -frames:v 1 -pix_fmt rgba "$out/png/rgba.png"
lavfi color=red:size=3x5:d=1 -frames:v 1 -pix_fmt monob "$out/png/mono.png"
lavfi color=red:size=5x3:d=1 -frames:v 1 -pix_fmt gray "$out/jpeg/grey.jpg"
lavfi color=red:size=5x3:d=1 -frames:v 1 -pix_fmt yuvj420p "$out/jpeg/colour.jpg"
