#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Orlet need. Idempotent, and
# quick when everything is already there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config nlohmann-json3-dev
    # the application: Qt 6 with Qt Quick, and the X11 pieces Qt does not wrap
    qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qml6-module-qtquick
    qml6-module-qtquick-window qml6-module-qtqml-workerscript libx11-dev libxi-dev libxext-dev libxfixes-dev
    # a virtual display for `make run` on a headless machine
    xvfb x11-utils
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # real peers of the end-to-end tests: the shell hook runs in zsh inside tmux; the notch on
    # real X servers (Xorg's dummy driver for several monitors), a compositor, a moving pointer
    zsh tmux xserver-xorg-core xserver-xorg-video-dummy xcompmgr x11-xserver-utils xdotool
    imagemagick libxtst-dev strace
    # Unicode's own grapheme test data, and clang with libFuzzer for the fuzz targets
    unicode-data clang libclang-rt-14-dev
    # media: a private session bus, a real MPRIS player (mpv with its MPRIS plugin) and playerctl
    # to cross-check it
    dbus dbus-x11 mpv mpv-mpris playerctl
    # system monitor: UPower mocked on private buses, the system's own tools to compare against
    python3-dbusmock procps stress-ng
    # the test MPRIS player; HUD: libpulse and a PulseAudio daemon with a null sink for tests
    python3-dbus python3-gi libpulse-dev pulseaudio pulseaudio-utils
    # weather: location through Qt Positioning's GeoClue 2 backend
    qt6-positioning-dev libqt6positioning6-plugins
    # calendars through libical; xclip as the other program of the clipboard tests
    libical-dev xclip
    # the end-of-timer sound: the freedesktop theme's "complete", played with paplay
    sound-theme-freedesktop
    # keep-awake labels are checked in a fixed time zone
    tzdata
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
