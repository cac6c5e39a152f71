#!/usr/bin/env bash
# The Debian package, unpacked into a temporary root as dpkg lays it out:
#   - its files where they belong: the program in /opt/actualizapvp, the launcher, the menu entry
#     (valid for desktop-file-validate), the icon, the manual page, the Debian documents;
#   - started from there, beside a sample database, under Xvfb: the main window appears and a run
#     updates the database;
#   - unpacked again over a folder that holds the shop's database and report pictures, it leaves
#     them byte for byte as they were;
#   - lintian reports no errors.
#   package_install.sh PACKAGE_DIR SAMPLE_DB
set -euo pipefail
if [[ -z "${PACKAGE_UNDER_XVFB:-}" ]]; then
  export PACKAGE_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi
deb=$(ls "$1"/actualizapvp_*_amd64.deb 2>/dev/null | head -1)
sample_db=$(realpath "$2")
root=$(mktemp -d "${TMPDIR:-/tmp}/zuk-package.XXXXXX")
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill -9 "$pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
[[ -n $deb ]] || fail "no package in $1"
echo "package: $(basename "$deb")"

dpkg-deb -x "$deb" "$root"
for f in opt/actualizapvp/actualizapvp usr/bin/actualizapvp usr/share/applications/actualizapvp.desktop \
  usr/share/icons/hicolor/scalable/apps/actualizapvp.svg usr/share/man/man1/actualizapvp.1.gz \
  usr/share/doc/actualizapvp/copyright usr/share/doc/actualizapvp/changelog.gz usr/bin/actualizapvp-import \
  usr/share/man/man1/actualizapvp-import.1.gz; do
  [[ -e $root/$f ]] || fail "no $f in the package"
done
[[ -z $(find "$root" -name '*.mdb' -o -name imagenerror) ]] || fail "the package ships a database or report pictures"
grep -q '^exec /opt/actualizapvp/actualizapvp "\$@"' "$root/usr/bin/actualizapvp" || fail "the launcher does not start the program in /opt"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "the dependencies were not computed"
desktop-file-validate "$root/usr/share/applications/actualizapvp.desktop" || fail "the menu entry is not valid"

# Started from the unpacked folder, beside the shop's database.
home=$root/opt/actualizapvp
"$sample_db" "$home/veskgestion.mdb" >/dev/null
QT_QPA_PLATFORM=xcb "$home/actualizapvp" >"$root/output.txt" 2>&1 &
pid=$!
main=$(timeout 30 xdotool search --sync --onlyvisible --name '^TALVERA\.    Precios-Costes$' | head -1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+a
summary=$(timeout 30 xdotool search --sync --onlyvisible --name '^TALVERA$' | head -1) || fail "no summary"
xdotool windowfocus --sync "$summary"
xdotool key Return
sleep 0.5
priced=$(sqlite3 "$home/veskgestion.mdb" "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
((priced > 0)) || fail "the run updated nothing"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""
echo "installed program: the window, and a run that priced $priced articles"

# Unpacked again (an upgrade): the shop's files stay as they were.
mkdir -p "$home/imagenerror"
echo "picture" >"$home/imagenerror/2026126953.jpg"
before=$(cat "$home/veskgestion.mdb" "$home/imagenerror/2026126953.jpg" | sha256sum)
dpkg-deb -x "$deb" "$root"
after=$(cat "$home/veskgestion.mdb" "$home/imagenerror/2026126953.jpg" | sha256sum)
[[ $before == "$after" ]] || fail "unpacking again changed the shop's files"
echo "unpacked again: the database and the pictures unchanged"

lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >"$root/lintian.txt" 2>&1 ||
  { cat "$root/lintian.txt"; fail "lintian reports errors"; }
echo "lintian: no errors, $(grep -c '^W:' "$root/lintian.txt" || true) warnings"
cat "$root/lintian.txt"
