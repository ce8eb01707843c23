#!/usr/bin/env bash
# AddressSanitizer + UndefinedBehaviorSanitizer build: the whole test suite, then a
# short headless run of every scene. Usage: tools/sanitize.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-sanitize}
jobs=${JOBS:-2}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORNEKKA_SANITIZE=ON -DVORNEKKA_BENCH=OFF \
  ${CCACHE_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=ccache}
cmake --build "$build" -j"$jobs"
[ -f "$build/data/sorvan.mp3" ] || "$build/make-data" --output "$build/data"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
# Leaks inside the GL driver, X and audio libraries are theirs, not ours.
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export SDL_AUDIODRIVER=dummy VORNEKKA_UNATTENDED=1
(cd "$build" && xvfb-run -a ctest -j"$jobs" --output-on-failure)
# The whole programme once: every scene draws, and the run ends by itself at the end of
# the music, so the leak check at exit covers start-up and every scene's set-up.
(cd "$build" && xvfb-run -a timeout 400 ./demo --windowed --mute)
echo "sanitized tests and demo run: clean"
