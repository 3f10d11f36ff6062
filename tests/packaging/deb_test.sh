#!/bin/sh
# Builds the Debian package from the build folder and checks its files and
# its control data: name, version (the program's), architecture, dependencies
# computed from the binaries, the spreadsheet program recommended.
#   deb_test.sh BUILD_DIR VERSION NAMES   (NAMES: the share files, a,b,c)
set -eu
build=$1 version=$2 names=$3

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "cpack"; }
arch=$(dpkg --print-architecture)
deb=$tmp/formix_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb: $(ls "$tmp")"

control() { dpkg-deb -f "$deb" "$1"; }
[ "$(control Package)" = formix ] || fail "Package: $(control Package)"
[ "$(control Version)" = "$version" ] || fail "Version: $(control Version)"
[ "$(control Architecture)" = "$arch" ] || fail "Architecture: $(control Architecture)"
[ -n "$(control Maintainer)" ] || fail "no Maintainer"
[ -n "$(control Description)" ] || fail "no Description"
# From the binaries: the C library and Qt's widgets, each with a version floor.
for lib in libc6 libqt6widgets6 libqt6gui6; do
  control Depends | tr ',' '\n' | grep -Eq "^ *$lib \(>= [^)]+\)" || fail "Depends lacks $lib: $(control Depends)"
done
# Qt's Russian translations: the program's dialogs speak Russian through them.
control Depends | tr ',' '\n' | grep -Eq "^ *qt6-translations-l10n( |$)" || fail "Depends lacks qt6-translations-l10n: $(control Depends)"
control Recommends | tr ',' '\n' | grep -Eq "^ *libreoffice-calc( |$)" || fail "Recommends: $(control Recommends)"
dpkg-deb -I "$deb" | grep -q " md5sums" || fail "no md5sums"

dpkg-deb -c "$deb" >"$tmp/files"
# Every file under /usr, owned by root.
awk '$6 !~ /^\.\/usr(\/|$)/ && $6 != "./" { print }' "$tmp/files" | grep . && fail "files outside /usr"
awk '$2 != "root/root" { print }' "$tmp/files" | grep . && fail "files not owned by root"
has() { awk -v p="./usr/$1" '$6 == p { print $1 }' "$tmp/files"; }
[ "$(has share/formix/)" = "drwxr-xr-x" ] || fail "no /usr/share/formix/, which marks the program installed"
for exe in bin/formix bin/tdb bin/formix-launcher; do
  [ "$(has "$exe")" = "-rwxr-xr-x" ] || fail "$exe: '$(has "$exe")'"
done
for f in share/applications/formix.desktop share/man/man1/tdb.1.gz share/man/man1/formix.1.gz \
         share/icons/hicolor/scalable/apps/formix.svg \
         $(for s in 16 22 24 32 48 64 128 256; do echo "share/icons/hicolor/${s}x${s}/apps/formix.png"; done) \
         $(echo "$names" | tr ',' '\n' | sed '/^$/d; s|^|share/formix/|'); do
  [ "$(has "$f")" = "-rw-r--r--" ] || fail "$f: '$(has "$f")'"
done
echo "ok"
