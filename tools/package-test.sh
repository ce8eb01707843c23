#!/usr/bin/env bash
# Builds the Debian package from an already built folder, installs it with apt-get,
# renders one still from a folder under /tmp, then purges the package and checks that
# none of its files or folders is left. Needs root (or sudo). Usage:
#   tools/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

rm -f "$build"/vornekka_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(ls "$build"/vornekka_*.deb)
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
apt() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get -y -qq "$@" >"$build/apt.log" 2>&1 ||
    { cat "$build/apt.log"; exit 1; }; }
apt install "$deb"

listed=$(mktemp)
trap 'rm -f "$listed"' EXIT
dpkg -L vornekka >"$listed"
status=0
run=$(mktemp -d /tmp/vornekka-package.XXXXXX)
if (cd "$run" && VORNEKKA_UNATTENDED=1 SDL_AUDIODRIVER=dummy \
        vornekka --frame 20 --output x.png) && [ -s "$run/x.png" ]; then
    echo "package: installed vornekka rendered $(stat -c %s "$run/x.png") bytes of PNG"
else
    echo "package: the installed vornekka made no still" >&2
    status=1
fi
rm -rf "$run"

apt purge vornekka
# Folders other packages own too (/usr/share/man/man6, ...) stay; nothing else may.
while IFS= read -r path; do
    [ "$path" != /. ] || continue
    [ -e "$path" ] || [ -L "$path" ] || continue
    if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
    echo "package: left behind after purge: $path" >&2
    status=1
done <"$listed"
[ $status -eq 0 ] && echo "package: purged, nothing left of its $(wc -l <"$listed") paths"
exit $status
