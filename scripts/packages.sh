#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its build and its tests need.
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # Qt 6 and its plugins
  qt6-base-dev libqt6sql6-sqlite qt6-serialport-dev qt6-multimedia-dev qt6-charts-dev
  libqt6opengl6-dev libxkbcommon-dev qt6-httpserver-dev qt6-websockets-dev qt6-svg-dev
  # sound and speech
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good libespeak-ng-dev espeak-ng-data
  # test tools: speech and sound checks, a real browser for the pages, packaging
  espeak-ng sox chromium dpkg-dev file desktop-file-utils
  libmosquitto-dev mosquitto mosquitto-clients openssl # MQTT publisher; a broker and a test CA for its tests
  # a silent sound server for the sound output's own test
  pulseaudio libpulse-dev
  # fonts (Cyrillic), certificates for the HTTPS services
  fonts-dejavu-core ca-certificates
  # a virtual display for machines without one
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
