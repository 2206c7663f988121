#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Orlet need. Idempotent, and
# quick when everything is already there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config nlohmann-json3-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # real peers of the end-to-end tests: the shell hook runs in zsh inside tmux
    zsh tmux
    # Unicode's own grapheme test data, and clang with libFuzzer for the fuzz targets
    unicode-data clang libclang-rt-14-dev
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
