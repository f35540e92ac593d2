#!/usr/bin/env bash
# Installs every Debian package the build, the tool, the camera lab and the
# test suite need. Idempotent: when everything is present it prints nothing
# and touches nothing.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config git clang-format ccache
  libgtest-dev libgmock-dev
  # Qt 6 widgets and Qt Test
  qt6-base-dev libqt6test6 qt6-base-dev-tools
  # discovery, device SDK, simulator
  libpcap-dev libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev
  libssl-dev zlib1g-dev libbrotli-dev
  # live video
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-libav gstreamer1.0-x gstreamer1.0-tools libx11-dev
  # fonts (without one every glyph renders as an empty box), headless screens
  fonts-dejavu-core fonts-wqy-microhei xvfb xauth x11-apps imagemagick
  # camera lab
  iproute2 libcap2-bin procps
  # outside clients that judge the simulator in the lab tests: ffmpeg and
  # ffprobe (RTSP/H.264), curl and Python's urllib (Digest), Python's
  # cryptography (sealed secrets), tcpdump (nothing secret in clear)
  ffmpeg curl python3 python3-cryptography tcpdump
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing ${#missing[@]} Debian package(s): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
