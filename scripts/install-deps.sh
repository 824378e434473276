#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running qingtong needs.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev fonts-noto-cjk
  libcurl4-openssl-dev libssl-dev openssl curl
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev rapidjson-dev libsimdjson-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
