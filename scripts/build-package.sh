#!/usr/bin/env bash
# Builds the Debian package of this source tree with debhelper:
#
#   scripts/build-package.sh [folder]
#
# leaves pondlark_<version>_<arch>.deb in the folder (the current one
# unless given), for "apt install ./pondlark_<version>_<arch>.deb". The
# version is the one CMakeLists.txt gives. The build runs in a fresh copy
# of the tree (the files git knows, or all but build folders), so nothing
# of an earlier build is used and nothing is left in the tree. It needs
# what "scripts/install-deps.sh --package" installs. DEB_BUILD_OPTIONS
# passes through (for example "parallel=2 noddebs").
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:-.}" && pwd)
version=$(sed -n 's/^project(PondLark VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || { echo "no version in $src/CMakeLists.txt" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree="$work/pondlark-$version"
mkdir "$tree"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -C "$tree" -xf -
else
    tar -C "$src" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -C "$tree" -xf -
fi
# The changelog names the version CMake gives.
sed -i "1s/^pondlark ([^)]*)/pondlark ($version)/" "$tree/debian/changelog"

(cd "$tree" && dpkg-checkbuilddeps && dpkg-buildpackage -us -uc -b)
for deb in "$work"/*.deb; do
    mv "$deb" "$out/"
    echo "built $out/$(basename "$deb")"
done
