#!/usr/bin/env bash
# The Debian package, installed for real (as root), used by two shop users, removed and purged:
#   - its files where they belong, its dependencies computed, cups only suggested, the program
#     built hardened (bind-now, fortified calls, a protected stack), lintian content;
#   - installed with apt: the group, the program's folder and the report folder (3775: members add
#     files, and cannot remove or replace what is not theirs, the program included);
#   - two users of the group, each under their own umask: a run by each writes the shop's database
#     (the second after the first left its journal); reports by both write their pictures, into a
#     report folder the first of them made;
#   - removed, then purged: the shop's database and pictures stay byte for byte.
# It refuses to run where the program is already installed, and takes away only what it added: the
# package, the packages apt pulled in for it, its two users and, if it made it, the group.
#   package_install.sh PACKAGE_DIR SAMPLE_DB
set -euo pipefail
deb=$(ls "$1"/actualizapvp_*_amd64.deb 2>/dev/null | head -1)
sample_db=$(realpath "$2")
home=/opt/actualizapvp
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
[[ -n $deb ]] || fail "no package in $1"
[[ $(id -u) == 0 ]] || { echo "SKIPPED: installing a package needs root"; exit 0; }
# Nothing of a real installation is touched: the test runs only where there is none.
dpkg -s actualizapvp >/dev/null 2>&1 && fail "actualizapvp is already installed on this machine: the test would replace it"
[[ -e $home ]] && fail "$home already exists on this machine"

work=$(mktemp -d "${TMPDIR:-/tmp}/zuk-package.XXXXXX")
chmod 755 "$work"
users=(zukpkga$$ zukpkgb$$)
group_was_there=0
getent group actualizapvp >/dev/null && group_was_there=1
installed=0
dpkg-query -W -f '${Package}\n' | sort >"$work/packages-before.txt"
pid=""
xvfb=""
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  for u in "${users[@]}"; do
    pkill -KILL -u "$u" 2>/dev/null || true # the program under runuser, whatever it left
    userdel "$u" 2>/dev/null || true
    rm -rf "/tmp/actualizapvp-runtime-$(id -u "$u" 2>/dev/null || echo none)"
  done
  if ((installed)); then
    dpkg -s actualizapvp >/dev/null 2>&1 && dpkg --purge actualizapvp >/dev/null 2>&1
    rm -rf "$home"
    # The packages apt pulled in for it.
    added=$(dpkg-query -W -f '${Package}\n' | sort | comm -13 "$work/packages-before.txt" -)
    [[ -n $added ]] && apt-get purge -y -qq $added >/dev/null 2>&1
  fi
  ((group_was_there)) || groupdel actualizapvp 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
echo "package: $(basename "$deb")"

# --- What it holds -------------------------------------------------------------------------------
root=$work/unpacked
dpkg-deb -x "$deb" "$root"
for f in opt/actualizapvp/actualizapvp opt/actualizapvp/actualizapvp-import usr/bin/actualizapvp usr/bin/actualizapvp-import \
  opt/actualizapvp/actualizapvp-deshacer usr/bin/actualizapvp-deshacer usr/share/man/man1/actualizapvp-deshacer.1.gz \
  usr/share/applications/actualizapvp.desktop usr/share/icons/hicolor/scalable/apps/actualizapvp.svg \
  usr/share/man/man1/actualizapvp.1.gz usr/share/man/man1/actualizapvp-import.1.gz \
  usr/share/doc/actualizapvp/copyright usr/share/doc/actualizapvp/changelog.gz; do
  [[ -e $root/$f ]] || fail "no $f in the package"
done
[[ -z $(find "$root" -name '*.mdb' -o -name imagenerror) ]] || fail "the package ships a database or report pictures"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "the dependencies were not computed"
dpkg-deb -f "$deb" Depends | grep -q 'libcups2' || fail "libcups2 is not a dependency"
dpkg-deb -f "$deb" Recommends | grep -qw cups && fail "cups is recommended: it brings a whole print stack"
dpkg-deb -f "$deb" Suggests | grep -qw cups || fail "cups is not suggested"
desktop-file-validate "$root/usr/share/applications/actualizapvp.desktop" || fail "the menu entry is not valid"
# (Each listing is read whole: grep -q stopping early would fail the pipe under pipefail.)
for program in "$root"/opt/actualizapvp/actualizapvp{,-import,-deshacer}; do
  name=$(basename "$program")
  grep -qE 'BIND_NOW|FLAGS.*\bNOW\b' <<<"$(readelf -d "$program")" || fail "$name is not bound now"
  grep -q GNU_RELRO <<<"$(readelf -l "$program")" || fail "$name has no read-only relocations"
  symbols=$(readelf -W --dyn-syms "$program")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
  grep -qE '__[a-z]+_chk\b' <<<"$symbols" || fail "$name has no fortified calls"
done
lintian --pedantic -I --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt"; fail "lintian reports errors or warnings"; }
grep -q hardening "$work/lintian.txt" && { cat "$work/lintian.txt"; fail "lintian finds the hardening missing"; }
echo "contents: in place, hardened, cups only suggested; lintian: $(grep -c '^[IP]:' "$work/lintian.txt" || true) notes"

# --- Installed -----------------------------------------------------------------------------------
installed=1
apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.txt" 2>&1 || { cat "$work/apt.txt"; fail "apt could not install it"; }
getent group actualizapvp >/dev/null || fail "no group actualizapvp"
[[ $(stat -c '%a %G' $home) == "3775 actualizapvp" ]] || fail "$home is $(stat -c '%a %G' $home)"
[[ $(stat -c '%a %G' $home/imagenerror) == "3775 actualizapvp" ]] || fail "the report folder is $(stat -c '%a %G' $home/imagenerror)"
actualizapvp-import --help | grep -q "Uso: actualizapvp-import" || fail "the converter does not answer on the path"
echo "installed: the group, $home 3775, imagenerror 3775, the converter on the path"

# The shop's database, the group's to write; two users of the group. The report folder is taken
# away, as an earlier package left it absent: the first report makes it.
for u in "${users[@]}"; do useradd -M -N -g users -G actualizapvp -s /bin/sh "$u"; done
"$sample_db" "$work/sample.mdb" 200 1000 >/dev/null
sqlite3 "$work/sample.mdb" "INSERT INTO tblArticulos (CODARTI, NOMARTI, margen1, margen2, margen3) VALUES ('ZZ-ENORME', 'Enorme', 20, 0, 0);
  INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES ('ZZ-ENORME', '2026-01-01', 1e308, 0);"
install -g actualizapvp -m 664 "$work/sample.mdb" $home/veskgestion.mdb
rm -rf $home/imagenerror

display=77
while [[ -e /tmp/.X11-unix/X$display ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset -ac >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 300); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
[[ -e /tmp/.X11-unix/X$display ]] || { echo "Xvfb :$display did not start within 30 s" >&2; exit 1; }
export DISPLAY=:$display

window() { timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -1; }
keys() {
  xdotool windowfocus --sync "$1"
  shift
  xdotool key --clearmodifiers "$@"
}
# The installed program, as a user of the group, under that user's umask 022.
as_user() {
  runuser -u "$1" -- sh -c "umask 022; cd /tmp; exec env DISPLAY=$DISPLAY QT_QPA_PLATFORM=xcb actualizapvp" \
    >"$work/$1.txt" 2>&1 &
  pid=$!
}
# A run that reaches the article whose price overflows; "Enviar Vesk", then "EMAIL": the picture.
report_as() {
  as_user "$1"
  main=$(window '^TALVERA\.    Precios-Costes$') || fail "no main window for $1"
  keys "$main" alt+a
  dialog=$(window '^Informando errores $') || fail "no error dialog for $1"
  keys "$dialog" Tab Tab Return
  preview=$(window '^Previsualizador de errores$') || fail "no report window for $1"
  sleep 0.5
  # No window manager here: the preview opens behind the main window, and is raised to be clicked.
  xdotool windowraise "$preview"
  sleep 0.3
  xdotool mousemove --window "$preview" 245 40 click 1 # "EMAIL"
  for _ in $(seq 50); do
    (($(ls $home/imagenerror/*.jpg 2>/dev/null | xargs -r stat -c '%U %s' | grep -c "^$1 [1-9]") > 0)) && break
    sleep 0.2
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
  ls -l $home/imagenerror | grep -E "^-.* $1 .*\.jpg$" | grep -qv ' 0 ' || fail "$1 could not write a report picture: $(ls -la $home/imagenerror; cat "$work/$1.txt")"
}

# A run by a user: the prices reach the shop's database.
run_as() {
  as_user "$1"
  main=$(window '^TALVERA\.    Precios-Costes$') || fail "the main window did not appear for $1"
  keys "$main" alt+a
  dialog=$(window '^Informando errores $') || fail "no dialog at the overflowing article for $1"
  keys "$dialog" Return # "Continuar"
  summary=$(window '^TALVERA$') || fail "no summary for $1"
  keys "$summary" Return
  sleep 0.5
  priced=$(sqlite3 $home/veskgestion.mdb "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0")
  ((priced > 0)) || fail "the run by $1 wrote nothing: $(cat "$work/$1.txt")"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}
run_as "${users[0]}"
[[ $(stat -c %U $home/veskgestion.mdb-journal) == "${users[0]}" ]] || fail "the first run left no journal of its own"
# The prices set to nothing again, the first user's journal kept as it is, for the second user.
sqlite3 $home/veskgestion.mdb "PRAGMA journal_mode=TRUNCATE; UPDATE tblArticulos SET pvp1 = 0;" >/dev/null
run_as "${users[1]}"
echo "runs by ${users[0]} and then ${users[1]} (with the journal ${users[0]} made): $priced articles priced"
# Both runs are kept, each with its user; the second is put back by its user, on the path.
runuser -u "${users[1]}" -- actualizapvp-deshacer $home/veskgestion.mdb >"$work/runs.txt" 2>&1 ||
  fail "the runs kept cannot be listed: $(cat "$work/runs.txt")"
grep -q "^1  .*  ${users[0]}  " "$work/runs.txt" && grep -q "^2  .*  ${users[1]}  " "$work/runs.txt" ||
  fail "the runs kept are not both there: $(cat "$work/runs.txt")"
status=0
runuser -u "${users[1]}" -- actualizapvp-deshacer $home/veskgestion.mdb 2 >"$work/undo.txt" 2>&1 || status=$?
((status == 0 || status == 3)) && grep -q "^Actualización 2 .* deshecha" "$work/undo.txt" ||
  fail "the second run was not undone ($status): $(cat "$work/undo.txt")"
[[ $(sqlite3 $home/veskgestion.mdb "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0") == 0 ]] ||
  fail "the undo left prices of the second run"
echo "undo: both runs listed with their users; the second put back by ${users[1]}"

# A member cannot replace the program, nor remove what another member made.
runuser -u "${users[0]}" -- sh -c "cp /bin/true $home/sustituto && mv -f $home/sustituto $home/actualizapvp" 2>/dev/null &&
  fail "${users[0]} replaced the program"
runuser -u "${users[1]}" -- rm -f $home/veskgestion.mdb-journal 2>/dev/null && fail "${users[1]} removed a file of ${users[0]}"
rm -f $home/sustituto
[[ $(stat -c %U $home/actualizapvp) == root ]] || fail "the program is not root's any more"
echo "the program stays root's: no member replaces it"

report_as "${users[0]}"
[[ $(stat -c '%G' $home/imagenerror) == actualizapvp && $(($(stat -c '0%a' $home/imagenerror) & 0020)) != 0 ]] ||
  fail "the report folder ${users[0]} made is not the group's to write: $(stat -c '%a %G' $home/imagenerror)"
report_as "${users[1]}"
echo "reports by ${users[0]} and ${users[1]}: both pictures written ($(stat -c '%a' $home/imagenerror) on the folder)"

# A member cannot load code into another member's program: a qt.conf (or qt6.conf) naming a
# plugin folder of the second member's, and Qt's plugin folders beside the program, holding
# copies of Qt's own plugins (code the second member could have written). The folders Qt reads
# while the program starts are the package's, root's and empty: the member cannot fill them. The
# first member's program maps nothing of the member's, and looks for plugins in no folder beside
# it that a member can write (QT_DEBUG_PLUGINS lists every folder it looks in).
planter=${users[1]}
theirs=$work/plugins-of-$planter
plugins=$(ls -d /usr/lib/*/qt6/plugins | head -1)
shipped=(platforms platformthemes platforminputcontexts styles xcbglintegrations)
others=(imageformats iconengines printsupport accessible)
mkdir -p "$theirs"
chown "$planter" "$theirs"
runuser -u "$planter" -- sh -c "cp -r $plugins/. '$theirs/' && printf '[Paths]\nPrefix=$theirs\nPlugins=$theirs\n' >$home/qt.conf &&
  cp $home/qt.conf $home/qt6.conf" || fail "$planter could not put a qt.conf beside the program"
for k in "${shipped[@]}"; do
  [[ $(stat -c '%U %a' "$home/$k") == "root 755" ]] || fail "$home/$k is not the package's: $(stat -c '%U %a' "$home/$k")"
  runuser -u "$planter" -- cp -r "$plugins/platforms/." "$home/$k/" 2>/dev/null && fail "$planter put plugins in $home/$k"
done
for k in "${others[@]}"; do
  [[ -d $plugins/$k ]] || continue
  runuser -u "$planter" -- cp -r "$plugins/$k" "$home/" || fail "$planter could not put $k beside the program"
done
runuser -u "${users[0]}" -- sh -c "umask 022; cd /tmp; exec env DISPLAY=$DISPLAY QT_QPA_PLATFORM=xcb QT_DEBUG_PLUGINS=1 actualizapvp" \
  >"$work/plugins.txt" 2>&1 &
pid=$!
window '^TALVERA\.    Precios-Costes$' >/dev/null || fail "the main window did not appear: $(tail -5 "$work/plugins.txt")"
program=$(pgrep -u "${users[0]}" -f "^$home/actualizapvp" | head -1)
[[ -n $program ]] || fail "no program of ${users[0]} running"
loaded=$(grep -E "$theirs|$home/[a-z]+/" /proc/"$program"/maps | awk '{print $6}' | sort -u || true)
qts_own=$(grep -c "$plugins/platforms/" /proc/"$program"/maps || true)
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=""
[[ -z $loaded ]] || fail "${users[0]}'s program loaded what $planter put there: $loaded"
((qts_own > 0)) || fail "${users[0]}'s program did not load its platform plugin from $plugins"
looked=$(sed -n 's/.*checking directory path "\([^"]*\)".*/\1/p' "$work/plugins.txt" | sort -u)
grep -q "^$plugins/" <<<"$looked" || fail "QT_DEBUG_PLUGINS listed no folder: $(tail -5 "$work/plugins.txt")"
while read -r folder; do
  [[ $folder == "$home"/* ]] || continue
  [[ $(stat -c '%U %a' "$folder") == "root 755" && -z $(ls -A "$folder") ]] ||
    fail "${users[0]}'s program looked for plugins in $folder, which a member can fill"
done <<<"$looked"
rm -rf "$home/qt.conf" "$home/qt6.conf" "${others[@]/#/$home/}"
echo "$planter's qt.conf and plugin folders beside the program: none read or loaded by ${users[0]}'s program"

# --- Removed, then purged: the shop's files stay ----------------------------------------------------
before=$(cat $home/veskgestion.mdb $home/imagenerror/*.jpg | sha256sum)
apt-get remove -y -qq actualizapvp >/dev/null 2>&1 || fail "apt could not remove it"
[[ -e /usr/bin/actualizapvp ]] && fail "the program is still there after its removal"
# (A package from a file is no longer known to apt once removed: dpkg purges what is left.)
dpkg --purge actualizapvp >/dev/null 2>&1 || fail "dpkg could not purge it"
after=$(cat $home/veskgestion.mdb $home/imagenerror/*.jpg | sha256sum)
[[ $before == "$after" ]] || fail "removing the package changed the shop's files"
echo "removed and purged: the database and the pictures unchanged"
