#!/usr/bin/env bash
# Builds the two Debian packages from the plain build tree into BUILD/packages and checks
# them as a distribution would: lintian finds no error, each package holds exactly its
# files, the menu entry, the AppStream data and the manual pages validate, the game from
# the unpacked package reaches its menu in a real window under Xvfb and keeps its
# Config.cfg in the player's folder only, and the unpacked server answers a check.
# Usage: packages_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../support/window_test.sh"

echo "== Building the packages"
rm -rf "$build/packages"
(cd "$build" && cpack > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
game="$build/packages/zarovel_${version}_amd64.deb"
scores="$build/packages/zarovel-scores_${version}_amd64.deb"
[ -f "$game" ] && [ -f "$scores" ] || fail "missing packages: $(ls "$build/packages")"

echo "== lintian"
lintian --allow-root --fail-on error "$game" "$scores" | tee "$work/lintian.log" || fail "lintian errors"
if grep -q '^E:' "$work/lintian.log"; then fail "lintian errors"; fi

echo "== Files of each package"
files() { dpkg-deb -c "$1" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' | sort; }
icons=""
for size in 16 22 24 32 48 64 128 256; do
  icons+="/usr/share/icons/hicolor/${size}x${size}/apps/org.zarovel.Zarovel.png"$'\n'
done
expected_game="$(sort <<LIST
/usr/games/zarovel
/usr/share/applications/org.zarovel.Zarovel.desktop
/usr/share/doc/zarovel/changelog.gz
/usr/share/doc/zarovel/copyright
/usr/share/games/zarovel/Data/GData.dxg
/usr/share/games/zarovel/Data/MData.dxg
/usr/share/games/zarovel/Sound/1.xm
/usr/share/games/zarovel/Sound/2.xm
/usr/share/games/zarovel/Sound/GSnd.dxg
${icons}/usr/share/icons/hicolor/scalable/apps/org.zarovel.Zarovel.svg
/usr/share/man/man6/zarovel.6.gz
/usr/share/metainfo/org.zarovel.Zarovel.metainfo.xml
LIST
)"
expected_scores="$(sort <<LIST
/etc/default/zarovel-scores
/lib/systemd/system/zarovel-scores.service
/lib/systemd/system/zarovel-scores@.service
/usr/bin/zarovel-scores
/usr/share/doc/zarovel-scores/changelog.gz
/usr/share/doc/zarovel-scores/copyright
/usr/share/doc/zarovel-scores/examples/nginx-zarovel-scores.conf
/usr/share/man/man8/zarovel-scores.8.gz
LIST
)"
diff <(echo "$expected_game") <(files "$game") || fail "files of zarovel"
diff <(echo "$expected_scores") <(files "$scores") || fail "files of zarovel-scores"
dpkg-deb -f "$game" Depends | grep -q 'fonts-liberation2, fonts-comfortaa' || fail "font dependencies"
dpkg-deb -f "$game" Depends | grep -q 'libsdl2-2.0-0' || fail "library dependencies"
[ "$(dpkg-deb -f "$game" Recommends)" = "xdg-utils" ] || fail "xdg-utils recommended"
dpkg-deb -f "$scores" Depends | grep -q 'adduser' || fail "adduser dependency"
dpkg-deb --ctrl-tarfile "$scores" | tar -t | grep -q 'conffiles' || fail "conffiles"

echo "== Unpacking"
dpkg-deb -x "$game" "$work/game"
dpkg-deb -x "$scores" "$work/scores"
chmod -R a-w "$work/game"  # as installed: the player cannot write there

echo "== Menu entry, AppStream data, manual pages"
desktop-file-validate "$work/game/usr/share/applications/org.zarovel.Zarovel.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=/usr/games/zarovel' "$work/game/usr/share/applications/org.zarovel.Zarovel.desktop" || fail "Exec"
appstreamcli validate --no-net "$work/game/usr/share/metainfo/org.zarovel.Zarovel.metainfo.xml" > "$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "appstreamcli validate"; }
if grep -qE '^(E|W):' "$work/appstream.log"; then cat "$work/appstream.log"; fail "appstream warnings"; fi
for page in "$work/game/usr/share/man/man6/zarovel.6.gz" "$work/scores/usr/share/man/man8/zarovel-scores.8.gz"; do
  warnings="$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "groff warnings in $(basename "$page"): $warnings"
done
grep -q 'ExecStart=/usr/bin/zarovel-scores \$ZAROVEL_SCORES_OPTIONS' "$work/scores/lib/systemd/system/zarovel-scores.service" ||
  fail "the unit's ExecStart"
for unit in zarovel-scores.service zarovel-scores@.service; do
  grep -qx 'LimitNOFILE=8192' "$work/scores/lib/systemd/system/$unit" || fail "LimitNOFILE of $unit"
done
grep -qx 'EnvironmentFile=-/etc/default/zarovel-scores@%i' "$work/scores/lib/systemd/system/zarovel-scores@.service" &&
  grep -q '^ExecStart=.* \$ZAROVEL_SCORES_OPTIONS$' "$work/scores/lib/systemd/system/zarovel-scores@.service" ||
  fail "the template unit's options file"

echo "== The unpacked game in a real window"
snapshot() { (cd "$work/game" && find . -printf '%p %s %T@\n' | sort); }
before="$(snapshot)"
mkdir -p "$work/home" "$work/xdg"
start_xvfb
(cd / && exec env -u WAYLAND_DISPLAY HOME="$work/home" XDG_DATA_HOME="$work/xdg" \
  SDL_AUDIODRIVER=dummy "$work/game/usr/games/zarovel" > "$work/game.log" 2>&1) &
gamepid=$!
pids+=("$gamepid")
config="$work/xdg/Zarovel/Config.cfg"
window=""
for _ in $(seq 200); do
  window="$(xwininfo -root -tree 2>/dev/null | awk '/"Zarovel"/ {print $1; exit}')"
  [ -n "$window" ] && [ -f "$config" ] && break
  kill -0 "$gamepid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended"; }
  sleep 0.1
done
[ -n "$window" ] || fail "no window named Zarovel"
[ -f "$config" ] || fail "no Config.cfg in \$XDG_DATA_HOME/Zarovel"
sleep 2  # the menu's first frames
xwininfo -id "$window" | grep -q 'Map State: IsViewable' || fail "the window is not shown"
xwd -silent -id "$window" > "$work/menu.xwd"
read -r width height colours < <(python3 "$here/window_shot.py" "$work/menu.xwd" "$build/packages/installed-menu.png")
echo "window ${width}x${height}, ${colours} colours (picture: $build/packages/installed-menu.png)"
[ "$width" = 800 ] && [ "$height" = 600 ] || fail "window size ${width}x${height}"
[ "$colours" -gt 200 ] || fail "the window shows no menu (${colours} colours)"
kill -TERM "$gamepid"
status=0
wait "$gamepid" || status=$?
[ "$status" = 0 ] || { cat "$work/game.log"; fail "the game exited with $status on SIGTERM"; }
[ "$(stat -c %s "$config")" = 220 ] || fail "Config.cfg is not one 220-byte record"
[ "$(snapshot)" = "$before" ] || { diff <(echo "$before") <(snapshot); fail "the game wrote into its installed tree"; }
[ -z "$(ls -A "$work/home")" ] || fail "the game wrote into the home folder: $(ls -A "$work/home")"

echo "== The unpacked score server"
"$work/scores/usr/bin/zarovel-scores" --listen 127.0.0.1:0 --db "$work/scores.sqlite" 2> "$work/scores.log" &
pids+=($!)
port=""
for _ in $(seq 100); do
  port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/scores.log")"
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/scores.log"; fail "the server did not start"; }
reply="$(curl -sS --max-time 10 "http://127.0.0.1:$port/cgi/version.pl?version&prg=Zarovel")"
[[ "$reply" == OK* ]] || fail "the check's reply: $reply"

echo "Packages: all checks passed"
