#!/usr/bin/env bash
# deb_install.sh BUILD_DIR: the Debian package installed as a user would, every file
# where the desktop looks for it, the installed panel run, the package removed again.
# Without root, or with a tarvik-desk package installed already, exits 77 (skipped).
set -euo pipefail

build_dir=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok    $*"; }

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || { echo "SKIPPED: installing needs root or sudo" >&2; exit 77; }
  as_root=(sudo -n)
fi
dpkg-query -W -f='${Status}' tarvik-desk 2>/dev/null | grep -q 'install ok installed' &&
  { echo "SKIPPED: a tarvik-desk package is installed already; not replacing it" >&2; exit 77; }

work=$(mktemp -d)
installed=0
trap '[ "$installed" = 0 ] || "${as_root[@]}" apt-get purge -y -qq tarvik-desk >/dev/null; rm -rf "$work"' EXIT

cpack -G DEB -B "$work" --config "$build_dir/CPackConfig.cmake" >"$work/cpack.log" ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb=$(ls "$work"/tarvik-desk_*.deb) || fail "no tarvik-desk_*.deb in $work"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6serialport6 libqt6gui6 libqt6core6 fonts-liberation; do
  grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

chmod 755 "$work" && chmod 644 "$deb"
(cd "$work" && DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
  --no-install-recommends "./$(basename "$deb")") || fail "apt-get install $deb failed"
installed=1

for file in \
  /usr/bin/tarvik-desk /usr/bin/tarvik-sim /usr/bin/tarvik-station /usr/lib/tarvik/tarvik-mqtt.so \
  /usr/lib/tarvik/tarvik-remote.so \
  /usr/lib/systemd/system/tarvik-station.service /usr/lib/systemd/system/tarvik-station@.service \
  /usr/share/applications/tarvik-desk.desktop \
  /usr/share/icons/hicolor/scalable/apps/tarvik-desk.svg \
  /usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/tarvik-desk.png \
  /usr/share/metainfo/org.tarvikdesk.TarvikDesk.metainfo.xml \
  /usr/share/man/man1/tarvik-desk.1.gz /usr/share/man/man1/tarvik-sim.1.gz \
  /usr/share/tarvik-desk/help/index.html; do
  [ -f "$file" ] || fail "$file is missing"
done

desktop-file-validate /usr/share/applications/tarvik-desk.desktop || fail "desktop entry is invalid"
grep -q '^Categories=.*HamRadio;' /usr/share/applications/tarvik-desk.desktop ||
  fail "desktop entry is not in HamRadio"
appstreamcli validate --no-net /usr/share/metainfo/org.tarvikdesk.TarvikDesk.metainfo.xml >/dev/null ||
  fail "AppStream metainfo is invalid"
for page in tarvik-desk tarvik-sim; do
  zcat "/usr/share/man/man1/$page.1.gz" | grep -qi "^\.TH $page 1" || fail "$page.1 is wrong"
done
ok "desktop entry, metainfo and manual pages validate"

! ldd /usr/bin/tarvik-desk /usr/bin/tarvik-sim | grep "not found" || fail "unresolved libraries"
# The panel opens the HTTP server and the MQTT client as modules, only when it uses them.
! ldd /usr/bin/tarvik-desk | grep -E "libQt6(HttpServer|WebSockets)|libmosquitto" || fail "tarvik-desk links a module's library"
version=$(dpkg-query -W -f='${Version}' tarvik-desk)
for program in tarvik-desk tarvik-sim tarvik-station; do
  QT_QPA_PLATFORM=offscreen "/usr/bin/$program" --version | grep -q "$version" || fail "$program --version"
done
! ldd /usr/bin/tarvik-station | grep -E "not found|libQt6(Gui|Widgets)" || fail "tarvik-station links a GUI"

# ---- run ----------------------------------------------------------------------
# The installed panel on a virtual display stays up with its window mapped, and F1
# finds the installed help beside /usr/bin.
cat >"$work/run.sh" <<'RUN'
export XDG_CONFIG_HOME=$1/config XDG_RUNTIME_DIR=$1/run QT_QPA_PLATFORM=xcb
mkdir -p -m 700 "$XDG_RUNTIME_DIR" && cd /
/usr/bin/tarvik-desk --simulate --listen 127.0.0.1:18732 >"$1/panel.log" 2>&1 & pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name "Pellow Tarvik Virtual Control Panel" | head -1)
sleep 3
kill -0 "$pid" && [ -n "$window" ] || { echo "FAIL: no panel window"; cat "$1/panel.log"; exit 1; }
curl -fsS http://127.0.0.1:18732/api/v1/state | grep -q '"version"' || { echo "FAIL: no API"; exit 1; }
xdotool windowfocus --sync "$window" key F1
help=$(timeout 10 xdotool search --sync --onlyvisible --name " Help" getwindowname | head -1)
kill "$pid"
case "$help" in *Contents*) ;; *) echo "FAIL: F1 did not open the help: '$help'"; exit 1 ;; esac
RUN
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/run.sh" "$work" || fail "the installed panel did not run"
ok "the installed tarvik-desk --simulate runs, maps its window, serves the API and finds its help"
echo "all checks passed"
