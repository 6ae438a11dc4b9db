#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package Quaymark needs to build, run and test.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang-format clang-tidy
    libssl-dev openssl
    nlohmann-json3-dev
    libutf8proc-dev
    libxxhash-dev libxml2-dev libxml2-utils libsqlite3-dev sqlite3
    rsync time strace
    libavformat-dev libavutil-dev libavcodec-dev libswscale-dev ffmpeg clang libclang-rt-14-dev
    # The handover report's tests read its PDF as text and render it.
    poppler-utils
    qt6-base-dev libblkid-dev e2fsprogs exfatprogs exfat-fuse bindfs
    dbus
    # The desktop a user has: a real portal on the machine (tests keep to their own buses),
    # and the accessibility bus the screen-reader test reads the window through.
    xdg-desktop-portal xdg-desktop-portal-gtk at-spi2-core python3-pyatspi xvfb xauth
    libcurl4-openssl-dev libarchive-dev libcpp-httplib-dev
    # The video projects' tests run the real yt-dlp against a server on 127.0.0.1.
    yt-dlp
    qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
    qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtquick-dialogs
    qml6-module-qtquick-shapes qml6-module-qt-labs-folderlistmodel qml6-module-qtqml-models
    qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qttest
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
