#!/bin/sh
# Installs the build into a temporary prefix and starts the installed program
# as the desktop menu does (through formix-launcher), offscreen, with the
# prefix and the starting folder read-only and a fresh home: the launcher must
# prepare the data folder, the program must find its files in share/formix
# and keep its settings in $XDG_CONFIG_HOME.
#   install_test.sh BUILD_DIR VERSION NAMES   (NAMES: the share files, a,b,c)
set -eu
build=$1 version=$2 names=$3

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share/formix
# One file the program must find whatever the build ships.
echo probe >"$share/probe.txt"

for f in bin/formix bin/tdb bin/formix-launcher share/applications/formix.desktop \
         share/icons/hicolor/scalable/apps/formix.svg share/icons/hicolor/48x48/apps/formix.png \
         share/man/man1/tdb.1.gz share/man/man1/formix.1.gz; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
desktop-file-validate "$prefix/share/applications/formix.desktop" || fail "desktop entry"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/share/applications/formix.desktop")
[ -x "$prefix/bin/$exec_cmd" ] || fail "the menu entry starts '$exec_cmd', which is not in bin/"

# man finds and renders the page, without complaints.
man_out=$(MANWIDTH=80 man --warnings -M "$prefix/share/man" tdb 2>"$tmp/man.err") || fail "man tdb"
[ ! -s "$tmp/man.err" ] || fail "man tdb: $(cat "$tmp/man.err")"
echo "$man_out" | grep -q "create-receipts" || fail "man tdb lacks the commands"

[ "$("$prefix/bin/tdb" --version)" = "tdb (formix) $version" ] || fail "tdb --version"

# Root writes into read-only folders; the installed program runs without that
# privilege here, as a user would.
drop=""
if [ "$(id -u)" = 0 ]; then drop="setpriv --bounding-set -dac_override,-dac_read_search,-fowner"; fi
readonly_dir=$tmp/readonly
mkdir "$readonly_dir"
chmod -R a-w "$prefix" "$readonly_dir"
if $drop sh -c "touch '$prefix/bin/probe'" 2>/dev/null; then fail "cannot make the prefix read-only"; fi

home=$tmp/home
config=$tmp/config
mkdir "$home"
# Runs the launcher from the read-only folder with a fresh home; prints the
# program's start-up report.
start() {
  (cd "$readonly_dir" &&
   env -u FORMIX_DATA HOME="$home" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
       FORMIX_STARTUP_CHECK="$names${names:+,}probe.txt" \
       timeout 120 $drop "$prefix/bin/formix-launcher") 2>"$tmp/stderr" ||
    fail "the program did not start and end: $(cat "$tmp/stderr")"
}
field() { printf '%s\n' "$report" | awk -F '\t' -v k="$1" '$1 == k { print $2 }'; }
found() { printf '%s\n' "$report" | awk -F '\t' -v n="$1" '$1 == "file" && $2 == n { print $3 }'; }

report=$(start)
data=$home/.local/share/formix
[ "$(field version)" = "Версия $version" ] || fail "about box version: $(field version)"
[ "$(field cwd)" = "$data" ] || fail "started in $(field cwd), not in the data folder $data"
for db in formix.tdb platel.tdb Poluchat.tdb sprkodBK.tdb; do
  [ -f "$data/$db" ] || fail "the launcher did not write $db"
  "$prefix/bin/tdb" check "$data/$db" >/dev/null || fail "$db is not sound"
done
[ "$(field settings)" = "$config/formix/formix.ini" ] || fail "settings file: $(field settings)"
grep -q '^\[Nastr\]' "$config/formix/formix.ini" || fail "the settings file was not written at exit"
[ ! -e "$prefix/bin/formix.ini" ] && [ ! -e "$readonly_dir/formix.ini" ] || fail "formix.ini written outside the config folder"
! grep -qi "formix.ini\|настроек" "$tmp/stderr" || fail "an error about the settings: $(cat "$tmp/stderr")"
for name in $(echo "$names" | tr ',' ' ') probe.txt; do
  [ "$(found "$name")" = "$share/$name" ] || fail "$name found at '$(found "$name")', not in $share"
done

# An installed program keeps its settings in the config folder even where it
# could write beside itself (root running it, a prefix of one's own): no
# stray file among the installed ones.
chmod -R u+w "$prefix"
drop=""
rm -r "$config"
report=$(start)
[ "$(field settings)" = "$config/formix/formix.ini" ] || fail "writable prefix: settings in $(field settings)"
[ -f "$config/formix/formix.ini" ] && [ ! -e "$prefix/bin/formix.ini" ] || fail "writable prefix: formix.ini misplaced"
echo "ok"
