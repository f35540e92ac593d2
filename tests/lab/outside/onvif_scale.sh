#!/usr/bin/env bash
# A lab of 1000 simulated cameras in 198.18.0.0/15 answers one multicast
# WS-Discovery Probe within its 500 ms window; a plain UDP receiver counts
# the answers and their rate.
#
#   onvif_scale.sh CAMSIM [CAMERAS]     as root; exit 77 (skipped) otherwise
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ "${1:-}" != "--inner" ]; then
  camsim="${1:?usage: onvif_scale.sh CAMSIM [CAMERAS]}"
  cameras="${2:-1000}"
  [ "$(id -u)" -eq 0 ] || { echo "skipped: the lab needs root"; exit 77; }
  config="$(mktemp /tmp/onvif-scale.XXXXXX.json)"
  trap 'rm -f "$config"' EXIT
  cat > "$config" <<JSON
{ "cameras": $cameras,
  "addresses": { "first": "198.18.0.10", "last": "198.19.255.250", "netmask": "255.254.0.0",
                 "gateway": "198.18.0.1", "dns": "198.18.0.1" } }
JSON
  CAMERAS="$cameras" "$here/../../../scripts/lab" --bench-range --camsim "$camsim" -c "$config" -- "$0" --inner
  exit $?
fi
ip route add 224.0.0.0/4 dev "$ORVLAB_ADAPTER"
# The Hello of every camera at start has gone by; three Probes, each counted.
sleep 1
failures=0
for round in 1 2 3; do
  result="$(python3 "$here/wsd_probe.py" --wait-ms 1500)"
  echo "probe $round: $result"
  python3 -c "
import json, sys
r = json.loads(sys.argv[1]); n = int(sys.argv[2])
ok = r['answers'] == n and r['related'] == n and r['distinct_xaddrs'] == n and r['last_ms'] <= 600
print(('ok   ' if ok else 'FAIL ') + '%d of %d cameras answered, the last after %.0f ms' % (r['answers'], n, r['last_ms'] or 0))
sys.exit(0 if ok else 1)" "$result" "$CAMERAS" || failures=$((failures + 1))
done
echo "$failures failed"
[ "$failures" -eq 0 ]
