#!/usr/bin/env bash
# ONVIF over HTTPS judged by clients nobody here wrote, in a lab of its own:
# openssl s_client reads each camera's certificate and key, curl (pinned to
# the key the simulator's control channel names) calls SOAP with Digest and
# posts a firmware image, npm `onvif` (useSecure) calls with UsernameTokens.
# node-onvif sends its SOAP over plain HTTP only, so it is not among them.
#
#   onvif_https.sh CAMSIM     as root; exit 77 (skipped) otherwise
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
password="s3cret"

if [ "${1:-}" != "--inner" ]; then
  camsim="${1:?usage: onvif_https.sh CAMSIM}"
  [ "$(id -u)" -eq 0 ] || { echo "skipped: the lab needs root"; exit 77; }
  for tool in node openssl curl python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool missing (scripts/install-deps.sh)"; exit 77; }
  done
  [ -d "$here/onvif/node_modules/onvif" ] ||
    { echo "skipped: npm clients missing (scripts/install-deps.sh runs npm ci)"; exit 77; }
  config="$(mktemp /tmp/onvif-https.XXXXXX.json)"
  trap 'rm -f "$config"' EXIT
  # 1 and 2 the maker's cameras (TLS 443), 3 another maker's model on 8443.
  cat > "$config" <<JSON
{ "cameras": 2, "password": "$password", "reboot_silence_ms": 1500,
  "onvif_models": [ { "maker": "Lumora", "model": "LX-40", "mac_base": "02:6c:75:00:00:00",
                      "versions": ["2.1.4"], "onvif_port": 8899, "tls_port": 8443 } ] }
JSON
  "$here/../../../scripts/lab" --camsim "$camsim" -c "$config" -- "$0" --inner
  exit $?
fi

failures=0
check() { # check WHAT COMMAND...
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
control() { # control JSON: one request on the control channel, its answer
  python3 -c "
import os, socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(os.environ['ORVLAB_CONTROL'])
s.sendall(sys.argv[1].encode() + b'\\n'); print(s.makefile().read().strip())" "$1"
}
field() { # field N PYTHON-EXPRESSION-ON-c: of the simulator's record of camera N
  control "{\"op\":\"get\",\"camera\":$1}" | python3 -c "import json,sys; c=json.load(sys.stdin)['camera']; print($2)"
}
pin_at() { # pin_at IP PORT: the pin of the key openssl is shown there, empty when none
  local cert
  cert="$(openssl s_client -connect "$1:$2" </dev/null 2>/dev/null | openssl x509 2>/dev/null)" || true
  [ -n "$cert" ] || return 0
  echo "sha256//$(openssl x509 -pubkey -noout <<< "$cert" | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -binary | base64)"
}
envelope() {
  echo "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\"><s:Body>$1</s:Body></s:Envelope>"
}
soap() { # soap URL PIN BODY: a Digest-authenticated call, pinned when PIN is given
  local pinned=()
  [ -z "$2" ] || pinned=(-k --pinnedpubkey "$2")
  curl -s -m 10 "${pinned[@]}" --digest -u "admin:$password" -H 'Content-Type: application/soap+xml' \
    -d "$(envelope "$3")" "$1"
}
xaddr() { grep -o '<[a-zA-Z0-9]*:XAddr>[^<]*' | head -1 | sed 's/.*>//'; }
uri_of() { sed -n 's/.*<[a-zA-Z0-9]*:UploadUri>\([^<]*\)<.*/\1/p'; }

echo "== openssl"
pin1="$(field 1 'c["tlsPin"]')"
pin2="$(field 2 'c["tlsPin"]')"
pin3="$(field 3 'c["tlsPin"]')"
check "camera 1 presents on 443 the key its device API has (tlsPin)" test "$(pin_at 192.0.2.10 443)" = "$pin1"
subject="$(openssl s_client -connect 192.0.2.12:8443 </dev/null 2>/dev/null | openssl x509 -noout -subject 2>/dev/null || true)"
check "another maker's camera presents its own key on its model's port 8443, CN its MAC" \
  test "$(pin_at 192.0.2.12 8443) $(grep -o '02:6C:75:00:00:01' <<< "$subject")" = "$pin3 02:6C:75:00:00:01"

echo "== curl"
device="https://192.0.2.10/onvif/device_service"
info="$(soap "$device" "$pin1" '<tds:GetDeviceInformation/>')"
check "curl over https, pinned: GetDeviceInformation with Digest on the TLS port" \
  grep -q "<tds:Model>$(field 1 'c["model"]')</tds:Model>" <<< "$info"
set +e
curl -s -m 5 -k --pinnedpubkey "$pin2" -d x "$device" > /dev/null
wrong=$?
set -e
check "curl over https: a pin of another camera's key is refused by curl (exit 90, got $wrong)" test "$wrong" -eq 90
secure="$(soap "$device" "$pin1" '<tds:GetServices/>' | xaddr)"
plain="$(soap http://192.0.2.10:8000/onvif/device_service '' '<tds:GetServices/>' | xaddr)"
echo "    GetServices: $secure over https, $plain over http"
check "GetServices names https addresses on 443 over https, http ones on 8000 over http" \
  test "$secure $plain" = "https://192.0.2.10:443/onvif/device_service http://192.0.2.10:8000/onvif/device_service"
check "GetNetworkProtocols reports HTTPS enabled on 443" \
  grep -q '<tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>443</tt:Port>' \
  <<< "$(soap http://192.0.2.10:8000/onvif/device_service '' '<tds:GetNetworkProtocols/>')"

echo "== npm onvif"
check "npm onvif judged cameras 1 and 3 over https" node "$here/onvif/judge_https.js"

echo "== firmware over https (curl)"
device2="https://192.0.2.11/onvif/device_service"
uri="$(soap "$device2" "$pin2" '<tds:StartFirmwareUpgrade/>' | uri_of)"
echo "    upload to $uri"
check "asked over https, StartFirmwareUpgrade hands out an https address on the TLS port" \
  grep -q '^https://192\.0\.2\.11:443/onvif/firmware/' <<< "$uri"
model="$(field 2 'c["model"]')"
version="$(field 2 'c["version"]')"
next="${version%.*}.99"
code="$( (printf 'FW %s %s\n' "$model" "$next"; head -c 200000 /dev/zero) |
  curl -s -o /dev/null -w '%{http_code}' -m 20 -k --pinnedpubkey "$pin2" \
    -H 'Content-Type: application/octet-stream' --data-binary @- "$uri")"
rebooting="$(field 2 'c["rebooting"]')"
during="$(pin_at 192.0.2.11 443)"
echo "    upload answered $code, rebooting $rebooting"
check "the camera's own image is taken over https (200), the camera reboots and takes no handshake" \
  test "$code $rebooting ${during:-none}" = "200 True none"
sleep 2
check "after the reboot the camera runs $next, in its state and over https with the same key" \
  test "$(field 2 'c["version"]') $(soap "$device2" "$pin2" '<tds:GetDeviceInformation/>' |
    grep -o 'FirmwareVersion>[^<]*' | sed 's/.*>//')" = "$next $next"

echo "== renew-identity and the HTTPS port"
control '{"op":"renew-identity","camera":2}' > /dev/null
renewed="$(field 2 'c["tlsPin"]')"
check "renew-identity: ONVIF over https presents the new key" \
  test "$(pin_at 192.0.2.11 443)" = "$renewed"
check "renew-identity: the old pin is refused, the new one taken" \
  test "$(soap "$device2" "$pin2" '<tds:GetDeviceInformation/>' | grep -c Manufacturer) $(soap "$device2" "$renewed" '<tds:GetDeviceInformation/>' | grep -c Manufacturer)" = "0 1"
moved="$(soap "$device2" "$renewed" '<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8444</tt:Port></tds:NetworkProtocols></tds:SetNetworkProtocols>')"
sleep 0.5
check "SetNetworkProtocols over https answers, and the device API says TLS is on 8444 now" \
  test "$(grep -c SetNetworkProtocolsResponse <<< "$moved") $(curl -s -m 5 http://192.0.2.11/api/v1/tls)" = '1 {"port":8444}'
check "the camera's key is on 8444, not on 443; camera 1 stays on 443" \
  test "$(pin_at 192.0.2.11 8444) $(pin_at 192.0.2.11 443)none $(pin_at 192.0.2.10 443)" = "$renewed none $pin1"
check "ONVIF answers on 8444" \
  grep -q '<tds:Manufacturer>' <<< "$(soap https://192.0.2.11:8444/onvif/device_service "$renewed" '<tds:GetDeviceInformation/>')"

echo "$failures failed"
[ "$failures" -eq 0 ]
