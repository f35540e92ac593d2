#!/usr/bin/env bash
# Three ONVIF clients nobody here wrote judge the simulator's ONVIF face in a
# lab of its own: npm `onvif` and `node-onvif` (pinned in onvif/package-lock.json,
# installed by scripts/install-deps.sh with npm ci) and Debian's onvif-util.
# Each discovers the cameras by WS-Discovery inside the lab and runs what it
# offers; the simulator's state, read over its control channel, is the judge.
# onvif-util reuses one nonce and puts its interface arguments in tt:, so it
# meets a camera in the documented lenient mode, and is refused by a strict one.
# The quirks that change HTTP and UDP are looked at on the wire.
#
#   onvif_clients.sh CAMSIM     as root; exit 77 (skipped) otherwise
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
password="s3cret"

if [ "${1:-}" != "--inner" ]; then
  camsim="${1:?usage: onvif_clients.sh CAMSIM}"
  [ "$(id -u)" -eq 0 ] || { echo "skipped: the lab needs root"; exit 77; }
  for tool in node onvif-util ffmpeg curl python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool missing (scripts/install-deps.sh)"; exit 77; }
  done
  [ -d "$here/onvif/node_modules/onvif" ] && [ -d "$here/onvif/node_modules/node-onvif" ] ||
    { echo "skipped: npm clients missing (scripts/install-deps.sh runs npm ci)"; exit 77; }
  config="$(mktemp /tmp/onvif-clients.XXXXXX.json)"
  trap 'rm -f "$config"' EXIT
  # 1 npm onvif, 2 node-onvif, 3 onvif-util (lenient), 4 quirks on the wire,
  # 5 and 6 another maker's ONVIF-only model (6 answers Digest only).
  cat > "$config" <<JSON
{ "cameras": 4, "password": "$password", "reboot_silence_ms": 1500,
  "onvif_models": [ { "maker": "Lumora", "model": "LX-40", "count": 2,
                      "mac_base": "02:6c:75:00:00:00", "versions": ["2.1.4", "2.2.0"],
                      "onvif_port": 8899, "imaging": false, "firmware_upgrade": false } ],
  "cameras_override": { "3": { "onvif_quirks": ["lenient"] },
                        "4": { "onvif_quirks": ["chunked", "odd_prefixes", "probe_spread"] },
                        "6": { "onvif_quirks": ["digest_only"] } } }
JSON
  "$here/../../../scripts/lab" --camsim "$camsim" -c "$config" -- "$0" --inner
  exit $?
fi

failures=0
check() { # check WHAT COMMAND...
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
camera() { # camera N: the simulator's own record of camera N, as JSON
  python3 - "$1" <<'PY'
import json, os, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(os.environ['ORVLAB_CONTROL'])
s.sendall(json.dumps({'op': 'get', 'camera': int(sys.argv[1])}).encode() + b'\n')
print(json.dumps(json.loads(s.makefile().read())['camera']))
PY
}
field() { # field N PYTHON-EXPRESSION-ON-c
  camera "$1" | python3 -c "import json,sys; c=json.load(sys.stdin); print($2)"
}
# Multicast stays on the lab link: the tool namespace has no default route.
ip route add 224.0.0.0/4 dev "$ORVLAB_ADAPTER"

# Every Hello on the lab link, for the moves below.
hellos="$(mktemp /tmp/onvif-hellos.XXXXXX)"
python3 -u - "$ORVLAB_ADAPTER" > "$hellos" <<'PY' &
import re, socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('', 3702))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             socket.inet_aton('239.255.255.250') + struct.pack('=II', 0, socket.if_nametoindex(sys.argv[1])))
while True:
    data, peer = s.recvfrom(65536)
    text = data.decode('utf-8', 'replace')
    if '/discovery/Hello<' in text:
        m = re.search(r'XAddrs>http://([0-9.]+):', text)
        print(peer[0], m.group(1) if m else '-')
PY
listener=$!
trap 'kill "$listener" 2>/dev/null; rm -f "$hellos"' EXIT

echo "== npm onvif"
check "npm onvif judged camera 1 and the other maker's camera 5" \
  node "$here/onvif/judge.js" onvif
echo "== node-onvif"
check "node-onvif judged camera 2" node "$here/onvif/judge.js" node-onvif

echo "== onvif-util"
session() { # session IP PASSWORD COMMANDS...: one onvif-util session, its output
  local ip="$1" pw="$2"; shift 2
  printf '%s\n' "$@" quit | timeout 60 onvif-util -u admin -p "$pw" "$ip" 2>&1
}
found="$(timeout 30 onvif-util -a 2>&1)"
echo "$found" | sed 's/^/    /'
# Camera 4 repeats its ProbeMatch (probe_spread): onvif-util lists it more than once.
check "onvif-util -a finds the six cameras by WS-Discovery" \
  test "$(grep -o '^192\.0\.2\.[0-9]*' <<< "$found" | sort -u | wc -l)" -eq 6
strict="$(session 192.0.2.11 n0de-pass 'get video')"
check "onvif-util is refused by a strict camera (one nonce for every request)" \
  grep -q NotAuthorized <<< "$strict"
out="$(session 192.0.2.12 "$password" 'get video' 'set framerate 10' 'set bitrate 1000' \
  'set gov_length 22' 'set resolution 1280x720' 'set brightness 50' 'set contrast 60' \
  'set saturation 70' 'set default_gateway 192.0.2.2' 'set dns 192.0.2.3' 'get rtsp' 'get time' \
  'get video' 'get imaging' 'get network')"
echo "$out" | sed 's/^/    /'
check "onvif-util: device information (name and serial) is the camera's" \
  grep -q "serial: $(field 3 'c["mac"].replace(":","").upper()')" <<< "$out"
check "onvif-util: encoder settings reach the primary stream record" \
  test "$(field 3 '[c["deviceConfig"]["streams"][1][k] for k in ("frameRate","bitRate","iFrameInterval","frameSize")]')" = "[10, 1000, 22, 6]"
check "onvif-util: imaging settings reach the picture record" \
  test "$(field 3 '[c["deviceConfig"]["picture"][k] for k in ("brightness","contrast","saturation")]')" = "[50, 60, 70]"
check "onvif-util: get video, get imaging and get network read back what was set" \
  bash -c "grep -q 'Frame Rate: 10' <<< '$out' && grep -q 'Bit Rate:   1000' <<< '$out' &&
           grep -q 'Brightness: 50' <<< '$out' && grep -q 'Gateway:    192.0.2.2' <<< '$out'"
check "onvif-util: gateway and DNS reach the camera" \
  test "$(field 3 'c["gateway"] + " " + c["dns"]')" = "192.0.2.2 192.0.2.3"
uri="$(grep -o 'rtsp://[^ ]*' <<< "$out" | head -1)"
check "onvif-util: ffmpeg -xerror decodes its stream URI for 4 s ($uri)" \
  bash -c "[ -n '$uri' ] && timeout 30 ffmpeg -nostdin -v error -xerror -rtsp_transport tcp \
    -i '${uri/rtsp:\/\//rtsp://admin:$password@}' -t 4 -f null - 2>&1 | (! grep -q .)"
out="$(session 192.0.2.12 "$password" 'sync_time' 'get time')"
echo "$out" | sed 's/^/    /'
check "onvif-util: sync_time sets the camera's clock (UTC within 5 s of the machine's)" \
  python3 -c "
import json, subprocess, sys, time, calendar
c = json.loads(sys.argv[1]); d = c['deviceConfig']['date']
zone = (d['timeZone'] - 12) * 3600
utc = time.time() + d['clockOffsetSeconds'] - zone if not d['useTimeServer'] else time.time()
sys.exit(0 if abs(utc - time.time()) < 5 else 1)" "$(camera 3)"
out="$(session 192.0.2.12 "$password" 'set ip_address 192.0.2.70')"
sleep 0.5
check "onvif-util: set ip_address moves the camera, which answers there" \
  bash -c "[ \"\$(python3 -c 'import json,sys; print(json.load(sys.stdin)[\"ip\"])' <<< '$(camera 3)')\" = 192.0.2.70 ] &&
           printf 'quit\n' | timeout 30 onvif-util -u admin -p '$password' 192.0.2.70 2>&1 | grep -q 'successfully connected'"
out="$(session 192.0.2.70 "$password" 'set password fresh-pw')"
echo "$out" | sed 's/^/    /'
check "onvif-util: set password changes the admin password" test "$(field 3 'c["password"]')" = fresh-pw
check "onvif-util: the old password is refused after" \
  bash -c "session() { :; }; ! printf 'get video\nquit\n' | timeout 30 onvif-util -u admin -p '$password' 192.0.2.70 2>&1 | grep -q 'Resolution:'"
# The session ends at once after the reboot; the state is read right after.
started=$(date +%s%N)
out="$(session 192.0.2.70 fresh-pw 'reboot' 'yes')"
rebooting="$(field 3 'c["rebooting"]')"
echo "$out" | sed 's/^/    /'
echo "    rebooting: $rebooting, $(( ($(date +%s%N) - started) / 1000000 )) ms after the command"
check "onvif-util: reboot silences the camera" test "$rebooting" = True
sleep 2
check "onvif-util: the camera is back after its reboot" \
  bash -c "printf 'quit\n' | timeout 30 onvif-util -u admin -p fresh-pw 192.0.2.70 2>&1 | grep -q 'successfully connected'"

check "a camera moved through ONVIF says Hello from its new address (npm onvif's move, onvif-util's move)" \
  bash -c "grep -qx '192.0.2.60 192.0.2.60' '$hellos' && grep -qx '192.0.2.70 192.0.2.70' '$hellos'"

echo "== firmware upgrade (curl: none of the three clients offers it)"
soap_call() { # soap_call IP:PORT BODY: the answer of a Digest-authenticated call
  curl -s -m 10 --digest -u "admin:$password" -H 'Content-Type: application/soap+xml' \
    -d "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>$2</s:Body></s:Envelope>" \
    "http://$1/onvif/device_service"
}
upload_uri() { soap_call 192.0.2.13:8000 '<StartFirmwareUpgrade xmlns="http://www.onvif.org/ver10/device/wsdl"/>' |
  sed -n 's/.*<[a-zA-Z0-9]*:UploadUri>\([^<]*\)<.*/\1/p'; }
model="$(field 4 'c["model"]')"
uri="$(upload_uri)"
echo "    upload to $uri"
check "StartFirmwareUpgrade hands out an upload address on the camera" \
  grep -q '^http://192\.0\.2\.13:8000/onvif/firmware/' <<< "$uri"
check "an image of another model is refused (409) and nothing changes" \
  bash -c "[ \"\$(curl -s -o /dev/null -w '%{http_code}' -m 10 --data-binary \$'FW QV-X9999 99.0.0.1\nimage' '$uri')\" = 409 ] &&
           [ \"\$(python3 -c 'import json,sys; print(json.load(sys.stdin)[\"version\"])' <<< '$(camera 4)')\" = 14.1.1.8 ]"
uri="$(upload_uri)"
head -c 300000 /dev/urandom > /tmp/onvif-image.$$ && sed -i "1s/^/FW $model 14.1.1.99\n/" /tmp/onvif-image.$$
code="$(curl -s -o /dev/null -w '%{http_code}' -m 20 -H 'Content-Type: application/octet-stream' \
  --data-binary @/tmp/onvif-image.$$ "$uri")"
rm -f /tmp/onvif-image.$$
rebooting="$(field 4 'c["rebooting"]')"
echo "    upload answered $code, rebooting $rebooting"
check "the camera's own image is taken (200) and the camera reboots" test "$code $rebooting" = "200 True"
sleep 2
check "after the reboot the camera runs the new firmware, in its state and over ONVIF" \
  bash -c "[ \"\$(python3 -c 'import json,sys; print(json.load(sys.stdin)[\"version\"])' <<< '$(camera 4)')\" = 14.1.1.99 ] &&
           curl -s -m 10 --digest -u 'admin:$password' -d '<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></s:Body></s:Envelope>' \
             http://192.0.2.13:8000/onvif/device_service | grep -q 'FirmwareVersion>14.1.1.99<'"

echo "== quirks on the wire"
soap='<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"><s:Body><GetSystemDateAndTime xmlns="http://www.onvif.org/ver10/device/wsdl"/></s:Body></s:Envelope>'
plain="$(curl -s -i -m 5 -d "$soap" http://192.0.2.14:8899/onvif/device_service | tr -d '\r')"
check "a strict camera answers with Content-Length, not chunked" \
  bash -c "grep -qi '^Content-Length: [0-9]' <<< '$plain' && ! grep -qi '^Transfer-Encoding' <<< '$plain'"
chunked="$(curl -s -i -m 5 -d "$soap" http://192.0.2.13:8000/onvif/device_service | tr -d '\r')"
check "chunked: Transfer-Encoding chunked and no Content-Length" \
  bash -c "grep -qi '^Transfer-Encoding: chunked' <<< '$chunked' && ! grep -qi '^Content-Length' <<< '$chunked'"
check "odd_prefixes: SOAP-ENV: and numbered prefixes on the wire" \
  bash -c "grep -q '<SOAP-ENV:Envelope' <<< '$chunked' && grep -q '<ns1:GetSystemDateAndTimeResponse>' <<< '$chunked'"
deviceinfo='<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"><s:Body><GetDeviceInformation xmlns="http://www.onvif.org/ver10/device/wsdl"/></s:Body></s:Envelope>'
html="$(curl -s -i -m 5 -d "$deviceinfo" http://192.0.2.15:8899/onvif/device_service | tr -d '\r')"
check "digest_only: 401 with an HTML page and Digest challenges" \
  bash -c "grep -q '^HTTP/1.1 401' <<< '$html' && grep -qi '^Content-Type: text/html' <<< '$html' && grep -qi '^WWW-Authenticate: Digest' <<< '$html'"
check "digest_only: curl's Digest gets the device information" \
  bash -c "curl -s -m 5 --digest -u admin:$password -d '$deviceinfo' http://192.0.2.15:8899/onvif/device_service | grep -q '<tds:Model>LX-40</tds:Model>'"
control() { # control JSON: one request on the control channel
  python3 -c "
import os, socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(os.environ['ORVLAB_CONTROL'])
s.sendall(sys.argv[1].encode() + b'\\n'); print(s.makefile().read().strip())" "$1"
}
control '{"op":"faults","camera":4,"faults":{"http_down":true}}' > /dev/null
check "the device API's http_down fault takes the camera's ONVIF service down too" \
  bash -c "! curl -s -m 3 -d '$soap' http://192.0.2.13:8000/onvif/device_service | grep -q Envelope"
control '{"op":"faults","camera":4,"faults":{}}' > /dev/null
check "and ONVIF is back once the fault is cleared" \
  bash -c "curl -s -m 3 -d '$soap' http://192.0.2.13:8000/onvif/device_service | grep -q Envelope"
spread="$(python3 "$here/wsd_probe.py" --wait-ms 1200)"
echo "    probe: $spread"
check "WS-Discovery: every camera answers once, RelatesTo the Probe, within 500 ms; camera 4 repeats to the end of the window" \
  python3 -c "
import json, sys
r = json.loads(sys.argv[1])
ok = r['distinct_xaddrs'] == 6 and r['answers'] == 8 and r['related'] == 8 and r['max_copies'] == 3 and r['last_ms'] < 650 and r['last_ms'] > 450
sys.exit(0 if ok else 1)" "$spread"
display="$(python3 "$here/wsd_probe.py" --types 'dn:NetworkVideoDisplay' --wait-ms 800)"
check "WS-Discovery: a Probe for NetworkVideoDisplay gets no answer" \
  python3 -c "import json,sys; sys.exit(json.loads(sys.argv[1])['answers'] != 0)" "$display"

echo "$failures failed"
[ "$failures" -eq 0 ]
