#!/usr/bin/env bash
# Installs every Debian package that building, testing and demonstrating quibo needs.
# Safe to run again: when everything is there it only says so.
set -euo pipefail

PACKAGES=(
    build-essential cmake libgtest-dev libgmock-dev libbenchmark-dev   # build and tests
    libgtk2.0-dev                                                       # the paste window
    hexchat ngircd xvfb xdotool dbus dbus-x11 python3                   # the real client in the tests
    alsa-utils                                                          # aplay, for the sound player
    x11-utils imagemagick fonts-dejavu-core                             # screenshots: the demo's, and the tests' dialog buttons
)

missing=()
for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "==> all packages are installed"
    exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "error: run as root to install: ${missing[*]}" >&2; exit 1; }
    SUDO=(sudo)
fi

echo "==> installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Installing ngircd would start the system's own server on every address; keep
# services from starting while we install, unless the machine already has a policy.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    trap '"${SUDO[@]}" rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 101\n' | "${SUDO[@]}" tee "$policy" >/dev/null
    "${SUDO[@]}" chmod 755 "$policy"
fi
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
