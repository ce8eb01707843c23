#!/bin/sh
# The installed tree: its programs find their data from any working directory, also
# after the whole prefix is moved; a --data folder that is missing or empty is
# reported with status 1; the manual page names exactly the options --help names.
# Usage: install-test.sh CMAKE BUILD_DIR
set -u
cmake=$1 build=$2
export VORNEKKA_UNATTENDED=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A PNG of the demo's 800 x 600 viewport: signature, then the IHDR width and height.
is_still() {
    [ "$(od -An -tx1 -N8 "$1" 2>/dev/null | tr -d ' \n')" = 89504e470d0a1a0a ] &&
    [ "$(od -An -tu1 -j16 -N8 "$1" | tr -s ' ' | sed 's/^ //')" = "0 0 3 32 0 0 2 88" ]
}

"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAILED: cmake --install (is everything built?)"; exit 1; }
for f in bin/vornekka bin/vornekka-2d bin/vornekka-make-data share/man/man6/vornekka.6 \
         share/applications/vornekka.desktop share/icons/hicolor/256x256/apps/vornekka.png \
         share/vornekka/data/sorvan.mp3 share/vornekka/data/materials/test.mat; do
    [ -f "$work/prefix/$f" ] || fail "$f was not installed"
done
grep -qx 'Exec=vornekka --desktop' "$work/prefix/share/applications/vornekka.desktop" ||
    fail "the desktop entry does not start vornekka --desktop"

mkdir "$work/elsewhere"
cd "$work/elsewhere" || exit 1
for prefix in prefix moved; do
    [ "$prefix" = moved ] && mv "$work/prefix" "$work/moved"
    "$work/$prefix/bin/vornekka" --frame 20 --output still.png >run.log 2>&1 ||
        { cat run.log; fail "a still from the $prefix tree"; }
    is_still still.png || fail "no 800 x 600 PNG from the $prefix tree"
    rm -f still.png
done
bin=$work/moved/bin

mkdir empty
for case in "missing:does not exist" "empty:is empty"; do
    folder=${case%%:*} text=${case#*:}
    "$bin/vornekka" --data "$folder" --frame 20 --output still.png >run.log 2>&1
    status=$?
    [ $status -eq 1 ] || fail "--data with a $folder folder: status $status, not 1"
    grep -q "The data folder \"$folder\" $text" run.log ||
        { cat run.log; fail "--data with a $folder folder: no message naming it"; }
    [ ! -e still.png ] || fail "--data with a $folder folder still wrote a picture"
done

# Hyphens are escaped in the page's source.
options() { grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
"$bin/vornekka" --help | options >help.txt
sed 's/\\-/-/g' "$work/moved/share/man/man6/vornekka.6" | options >page.txt
diff help.txt page.txt >/dev/null ||
    { diff help.txt page.txt; fail "--help (<) and the manual page (>) name different options"; }

[ $failures -eq 0 ] || exit 1
echo "install test: passed"
