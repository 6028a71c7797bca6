#!/usr/bin/env bash
# Makes the README's screenshots: the three views and the Setup dialog, taken from
# the real panel on its simulated controller under a virtual display, then the panel
# following a real rigctld (dummy rig on 21.074 MHz) and the Radio dialog.
#
#   docs/screenshots.sh [BUILD_DIR [OUT_DIR [SCALE]]]
#
# Defaults: build/default, docs/screenshots, scale 1. A scale of 1.5 or 2 shows the
# panel as on a high-resolution screen (QT_SCALE_FACTOR). Needs xvfb-run, xdotool and
# ImageMagick's import (./dev setup installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
out=${2:-$root/docs/screenshots}
scale=${3:-1}
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/shoot.sh" <<'SHOOT'
set -euo pipefail
build=$1 out=$2 scale=$3 work=$4
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
export QT_SCALE_FACTOR=$scale
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$build/bin/tarvik-desk" --simulate >"$work/panel.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
main=$(xdotool search --sync --onlyvisible --name "Pellow Tarvik Virtual Control Panel" | head -1)
xdotool windowfocus --sync "$main"
sleep 1
# Tune to 20 m and let the elements settle, so that a band lamp is lit.
xdotool key F6
sleep 3
shoot() { sleep 1.5; import -window "$1" "$out/$2.png"; echo "$out/$2.png"; }
xdotool key F3; shoot "$main" compact
xdotool key F4; shoot "$main" full
xdotool key F5; shoot "$main" diagnostics
xdotool key F2
setup=$(xdotool search --sync --onlyvisible --name "^Setup$" | head -1)
shoot "$setup" setup
kill $pid; wait $pid 2>/dev/null || true

# Following a radio: rigctld's dummy rig moved to 21.074 MHz over its own protocol.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
rigctld -m 1 -P RIG -T 127.0.0.1 -t "$port" >"$work/rigctld.log" 2>&1 &
rig=$!
trap 'kill $pid $rig 2>/dev/null || true' EXIT
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
exec 3<>"/dev/tcp/127.0.0.1/$port"; printf 'F 21074000\n' >&3; read -r _ <&3; exec 3>&-
# Stored, as Preferences, Follow Radio and the Radio dialog leave it.
sed -i "s/^Enabled=0\$/Enabled=1/; s/^Port=4532\$/Port=$port/" "$XDG_CONFIG_HOME/TarvikDesk/TarvikDesk.conf"
"$build/bin/tarvik-desk" --simulate >"$work/panel.log" 2>&1 &
pid=$!
main=$(xdotool search --sync --onlyvisible --name "Pellow Tarvik Virtual Control Panel" | head -1)
xdotool windowfocus --sync "$main"
xdotool key F4; sleep 3
shoot "$main" follow
xdotool key alt+p r
radio=$(xdotool search --sync --onlyvisible --name "^Radio$" | head -1)
shoot "$radio" radio
SHOOT
xvfb-run -a -s "-screen 0 1600x1200x24" bash "$work/shoot.sh" "$build" "$out" "$scale" "$work"
