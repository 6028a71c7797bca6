#!/usr/bin/env bash
# systemd_verify.sh PACKAGING_DIR STATION_BINARY: systemd-analyze verify on the station's
# units (the template as one instance), with ExecStart pointing at the built binary.
# Without systemd-analyze it says so and exits 77 (skipped).
set -euo pipefail
command -v systemd-analyze >/dev/null || { echo "SKIPPED: no systemd-analyze" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/tarvik-station|$2|g" "$1/tarvik-station.service" >"$work/tarvik-station.service"
sed "s|/usr/bin/tarvik-station|$2|g" "$1/tarvik-station@.service" >"$work/tarvik-station@north.service"
out=$(cd "$work" && SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no \
  ./tarvik-station.service ./tarvik-station@north.service 2>&1) || { echo "$out"; exit 1; }
# verify also reports other units of this machine; only ours count.
if grep -i "tarvik-station" <<<"$out"; then exit 1; fi
echo "ok    both units verify"
