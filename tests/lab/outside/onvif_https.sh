#!/usr/bin/env bash
# ONVIF over HTTPS judged by clients nobody here wrote, in a lab of its own:
# openssl s_client reads each camera's certificate and key, curl (pinned to
# the key the simulator's control channel names) calls SOAP with Digest and
# moves the HTTPS port, npm `onvif` (useSecure) calls with UsernameTokens.
# node-onvif sends its SOAP over plain HTTP only, so it is not among them.
# The loopback tests (camsim_api_tests, OnvifTls) cover the rest.
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
check "curl over https, pinned: GetDeviceInformation with Digest on the TLS port" \
  grep -q "<tds:Model>$(field 1 'c["model"]')</tds:Model>" <<< "$(soap "$device" "$pin1" '<tds:GetDeviceInformation/>')"
check "GetNetworkProtocols over http reports HTTPS enabled on 443" \
  grep -q '<tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>443</tt:Port>' \
  <<< "$(soap http://192.0.2.10:8000/onvif/device_service '' '<tds:GetNetworkProtocols/>')"

echo "== npm onvif"
check "npm onvif judged cameras 1 and 3 over https" node "$here/onvif/judge_https.js"

echo "== the HTTPS port moved through ONVIF"
device2="https://192.0.2.11/onvif/device_service"
moved="$(soap "$device2" "$pin2" '<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8444</tt:Port></tds:NetworkProtocols></tds:SetNetworkProtocols>')"
sleep 0.5
check "SetNetworkProtocols over https answers, and the device API says TLS is on 8444 now" \
  test "$(grep -c SetNetworkProtocolsResponse <<< "$moved") $(curl -s -m 5 http://192.0.2.11/api/v1/tls)" = '1 {"port":8444}'
check "the camera's key is on 8444, not on 443; camera 1 stays on 443" \
  test "$(pin_at 192.0.2.11 8444) $(pin_at 192.0.2.11 443)none $(pin_at 192.0.2.10 443)" = "$pin2 none $pin1"
check "ONVIF answers on 8444" \
  grep -q '<tds:Manufacturer>' <<< "$(soap https://192.0.2.11:8444/onvif/device_service "$pin2" '<tds:GetDeviceInformation/>')"

echo "$failures failed"
[ "$failures" -eq 0 ]
