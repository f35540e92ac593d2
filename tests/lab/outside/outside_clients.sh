#!/usr/bin/env bash
# Clients nobody here wrote judge the simulator: ffmpeg and ffprobe play
# every model's RTSP stream (TCP and UDP), curl and Python's urllib speak
# Digest to the device API. Runs itself inside a lab (scripts/lab).
#
#   outside_clients.sh CAMSIM     as root; exit 77 (skipped) otherwise
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
password="s3cret"
lifetime_ms=2000
# Debian's Python, which has python3-cryptography, before any other on PATH.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3

if [ "${1:-}" != "--inner" ]; then
  camsim="${1:?usage: outside_clients.sh CAMSIM}"
  [ "$(id -u)" -eq 0 ] || { echo "skipped: the lab needs root"; exit 77; }
  for tool in ffmpeg ffprobe curl python3 openssl; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool missing (scripts/install-deps.sh)"; exit 77; }
  done
  config="$(mktemp /tmp/outside-clients.XXXXXX.json)"
  trap 'rm -f "$config"' EXIT
  # Five cameras, one of each default model, and a sixth behind the first
  # one's address on HTTP port 8080 (as behind a router's port forwarding).
  cat > "$config" <<JSON
{ "cameras": 6, "password": "$password", "reboot_silence_ms": 1500,
  "nonce_lifetime_ms": $lifetime_ms,
  "addresses": { "first": "192.0.2.10", "last": "192.0.2.14", "share": true },
  "cameras_override": { "6": { "http_port": 8080 } } }
JSON
  "$here/../../../scripts/lab" --camsim "$camsim" -c "$config" -- "$0" --inner
  exit $?
fi

failures=0
check() { # check WHAT COMMAND...
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
url() { echo "rtsp://admin:$password@$1:${2:-554}/stream1"; }

# (a) every model's stream: 5 s decoded by ffmpeg with errors fatal, and the
# frames ffprobe sees in the same time: size, rate, key-frame distance.
decode_clean() { # decode_clean IP
  local log; log="$(mktemp)"
  timeout 30 ffmpeg -nostdin -v error -xerror -rtsp_transport tcp -i "$(url "$1")" -t 5 \
    -f null - 2>"$log"
  local rc=$?
  [ -s "$log" ] && sed 's/^/    ffmpeg: /' "$log"
  local lines; lines=$(wc -l < "$log"); rm -f "$log"
  echo "    $1: ffmpeg exit $rc, $lines error lines"
  [ "$rc" -eq 0 ] && [ "$lines" -eq 0 ]
}
stream_shape() { # stream_shape IP TRANSPORT SECONDS
  timeout 30 ffprobe -v error -rtsp_transport "$2" -read_intervals "%+$3" -select_streams v \
    -show_entries frame=key_frame,width,height -of csv=p=0 "$(url "$1")" |
    awk -F, -v ip="$1" -v transport="$2" -v seconds="$3" '
      NF >= 3 { frames++; if ($2 != 640 || $3 != 360) badsize++
                if ($1 == 1) { if (last) gaps[frames - last]++; last = frames } }
      END { n = 0; for (g in gaps) { n++; gap = g }
            printf "    %s over %s: %d frames in %d s, key frames every %s frames, %d of another size\n",
                   ip, transport, frames, seconds, (n == 1 ? gap : "(uneven)"), badsize
            rate = frames / seconds
            exit !(frames > 0 && badsize == 0 && rate >= 20 && rate <= 30 && n == 1 && gap == 20) }'
}
for i in 0 1 2 3 4; do
  ip="192.0.2.1$i"
  decode_clean "$ip" > "/tmp/outside-$$-$i.log" 2>&1 &
  decode=$!
  check "camera $ip: H.264 stream is 640x360, 25 fps, a key frame every 20 frames" \
    stream_shape "$ip" tcp 5
  if wait "$decode"; then rc=0; else rc=1; fi
  cat "/tmp/outside-$$-$i.log"; rm -f "/tmp/outside-$$-$i.log"
  check "camera $ip: ffmpeg decodes 5 s without a single error" test "$rc" -eq 0
done
# (c) RTP over UDP as well.
check "ffprobe plays the stream over UDP" stream_shape 192.0.2.10 udp 2

# (b) curl's Digest, and a replay of the header it sent.
api="http://192.0.2.10/api/v1/device"
verbose="$(curl -sS -v --digest -u "admin:$password" -m 5 -o /dev/null -w '%{http_code}' "$api" 2>&1)"
check "curl --digest logs in" grep -q '^200$' <<< "${verbose##*$'\n'}"
auth="$(grep -i '^> Authorization: Digest' <<< "$verbose" | sed 's/^> Authorization: //' | tr -d '\r' | tail -1)"
check "a replayed Authorization header (same nonce count) is refused" \
  test "$(curl -s -o /dev/null -w '%{http_code}' -m 5 -H "Authorization: $auth" "$api")" = 401
check "curl --digest with a wrong password is refused" \
  test "$(curl -s -o /dev/null -w '%{http_code}' -m 5 --digest -u admin:guess "$api")" = 401
check "Python urllib and a hand-made client: Digest cases, refusals, sealed password" \
  "$python" "$here/digest_client.py" 192.0.2.11 "$password" "$lifetime_ms"

# (d) The API over TLS for outside clients: curl (-k, and pinned to the pin
# the control channel names), openssl s_client for the certificate.
tls="https://192.0.2.11/api/v1"
check "curl -k --digest logs in over TLS" \
  test "$(curl -sk -o /dev/null -w '%{http_code}' -m 5 --digest -u "admin:$password" "$tls/device")" = 200
check "/api/v1/tls names port 443 without a login, over HTTP and TLS" bash -c "
  test \"\$(curl -s -m 5 http://192.0.2.11/api/v1/tls)\" = '{\"port\":443}' &&
  test \"\$(curl -sk -m 5 $tls/tls)\" = '{\"port\":443}'"
cert="$(openssl s_client -connect 192.0.2.11:443 </dev/null 2>/dev/null | openssl x509)"
check "openssl s_client: a self-signed certificate named by the camera's MAC" bash -c "
  openssl x509 -noout -subject <<< '$cert' | grep -q 'CN = 02:4F:56:10:00:02' &&
  openssl x509 -noout -issuer <<< '$cert' | grep -q 'CN = 02:4F:56:10:00:02'"
pin_of() { # pin_of CAMERA: its tlsPin from the control channel
  "$python" - "$1" <<'PY'
import json, os, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(os.environ["ORVLAB_CONTROL"])
s.sendall(json.dumps({"op": "get", "camera": int(sys.argv[1])}).encode() + b"\n")
data = b""
while chunk := s.recv(65536):
    data += chunk
print(json.loads(data)["camera"]["tlsPin"])
PY
}
wire_pin="sha256//$(openssl x509 -pubkey -noout <<< "$cert" | openssl pkey -pubin -outform der |
  openssl dgst -sha256 -binary | base64)"
check "the pin of the certificate on the wire is the control channel's tlsPin" \
  test "$wire_pin" = "$(pin_of 2)"
check "curl pinned to the camera's pin logs in; pinned to another camera's, it refuses" bash -c "
  test \"\$(curl -sk -o /dev/null -w '%{http_code}' -m 5 --pinnedpubkey '$(pin_of 2)' \
    --digest -u 'admin:$password' $tls/device)\" = 200 &&
  ! curl -sk -o /dev/null -m 5 --pinnedpubkey '$(pin_of 3)' $tls/tls"

# Two cameras behind one address each serve their own picture: the one on
# HTTP port 8080 has its own factory RTSP port, and its brightness turned
# down shows in its picture only.
mean_luma() { # mean_luma IP PORT: the average grey of one frame, 0 to 255
  timeout 20 ffmpeg -nostdin -v error -rtsp_transport tcp -i "$(url "$1" "$2")" -frames:v 1 \
    -vf scale=1:1 -pix_fmt gray -f rawvideo - | od -An -tu1 | tr -d ' '
}
second="http://192.0.2.10:8080/api/v1"
rtsp="$(curl -s -m 5 --digest -u "admin:$password" "$second/network/ports" |
        "$python" -c 'import json,sys; print(json.load(sys.stdin)["rtsp1"])')"
curl -s -m 5 --digest -u "admin:$password" -X PUT -H 'Content-Type: application/json' \
  -d '{"brightness":0,"contrast":128,"saturation":128}' -o /dev/null "$second/video/picture"
first_luma="$(mean_luma 192.0.2.10 554)"
second_luma="$(mean_luma 192.0.2.10 "$rtsp")"
echo "    192.0.2.10: camera on HTTP 80 (RTSP 554) grey $first_luma, on HTTP 8080 (RTSP $rtsp) grey $second_luma"
check "two cameras on one address serve their own pictures" \
  test "$rtsp" != 554 -a "${first_luma:-0}" -gt $(( ${second_luma:-255} + 40 ))

# RTSP is silent while the camera reboots, and back after the silence.
curl -s -m 5 --digest -u "admin:$password" -X POST -H 'Content-Type: application/json' -d '{}' \
  -o /dev/null http://192.0.2.12/api/v1/system/reboot
check "no RTSP while the camera reboots" \
  bash -c "! timeout 5 ffprobe -v quiet -rtsp_transport tcp -timeout 1000000 '$(url 192.0.2.12)'"
sleep 2.5
check "RTSP back after the reboot" stream_shape 192.0.2.12 tcp 1

echo "$failures failed"
[ "$failures" -eq 0 ]
