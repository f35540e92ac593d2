#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: when everything
# is present it prints nothing and touches nothing.
#   scripts/install-deps.sh          everything: build, lab, tests, packaging
#   scripts/install-deps.sh --run    only what scripts/run needs
set -euo pipefail

RUN=(
  # build
  cmake ninja-build g++ pkg-config ccache lld
  # Qt 6 widgets
  qt6-base-dev qt6-base-dev-tools
  # discovery, device SDK, simulator
  libpcap-dev libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev
  libssl-dev zlib1g-dev libbrotli-dev
  # the simulator's ONVIF face reads SOAP with a namespace-aware parser
  libxml2-dev
  # each site's book; camera passwords in the desktop keyring (Secret
  # Service through libsecret) or sealed under a site passphrase
  libsqlite3-dev qtkeychain-qt6-dev libsecret-1-dev libsodium-dev
  # live video (the simulator's encoder is in -ugly)
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-libav gstreamer1.0-x libx11-dev
  # fonts (without one every glyph renders as an empty box), headless screens
  fonts-dejavu-core fonts-wqy-microhei xvfb xauth imagemagick
  # camera lab (setpriv is in util-linux)
  iproute2 procps util-linux
)
TEST=(
  # sanitizer and fuzz build, formatting, tests
  clang libclang-rt-14-dev clang-format git libgtest-dev libgmock-dev libqt6test6
  gstreamer1.0-tools x11-apps libcap2-bin
  # the Debian package and its checks
  dpkg-dev file lintian desktop-file-utils appstream
  # outside clients that judge the simulator in the lab tests: ffmpeg and
  # ffprobe (RTSP/H.264), curl and Python's urllib (Digest), Python's
  # cryptography (sealed secrets), tcpdump (nothing secret in clear)
  ffmpeg curl python3 python3-cryptography tcpdump
  # ONVIF client that judges the simulator's ONVIF face (the npm ones below)
  onvif-tools
  # spreadsheet that judges the CSV files the tool writes (headless
  # conversion: no formula comes out of a camera's name)
  libreoffice-calc-nogui
  # the suite's runs under load (scripts/stress)
  stress-ng
  # a real Secret Service on a private D-Bus session for the keyring tests
  gnome-keyring dbus-daemon
  # reader of the handover report the tests judge (pdftotext, pdftoppm)
  poppler-utils
)

packages=("${RUN[@]}")
[ "${1:-}" = "--run" ] || packages+=("${TEST[@]}")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The npm ONVIF clients, exactly as the lockfile pins them.
npm_clients() {
  [ "${1:-}" = "--run" ] && return 0
  local dir; dir="$(cd "$(dirname "$0")/.." && pwd)/tests/lab/outside/onvif"
  # Node.js and npm may come from elsewhere than Debian; Debian's only
  # when there is none.
  if ! command -v npm >/dev/null; then
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
  fi
  if [ ! -d "$dir/node_modules" ] || [ "$dir/package-lock.json" -nt "$dir/node_modules" ]; then
    echo "Installing the npm ONVIF clients (npm ci in $dir)"
    (cd "$dir" && npm ci --no-audit --no-fund --silent >/dev/null)
    touch "$dir/node_modules"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  npm_clients "${1:-}"
  exit 0
fi

echo "Installing ${#missing[@]} Debian package(s): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
npm_clients "${1:-}"
