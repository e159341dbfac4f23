#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those
# missing. Waits for the dpkg lock instead of failing on it.
set -euo pipefail

QM_PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev libgl-dev libpci-dev libudev-dev libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  clang-format g++-mingw-w64-x86-64-posix
  xvfb xauth imagemagick pciutils
  dpkg-dev lintian wine wine64
)

qm_missing_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

qm_install_packages() {
  local missing
  missing=$(qm_missing_packages "$@")
  [ -z "$missing" ] && return 0
  local sudo=""
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: $missing" >&2; return 1; }
    sudo=sudo
  fi
  echo "setup: installing $missing"
  local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -o Acquire::Retries=3)
  # The package lists may be missing on a fresh machine; refresh them once.
  $sudo "${apt[@]}" update -qq
  # shellcheck disable=SC2086
  $sudo "${apt[@]}" install -y -qq --no-install-recommends $missing
}

qm_install_packages "${QM_PACKAGES[@]}" "${QM_EXTRA_PACKAGES[@]:-}"

# Compiler cache shared between build trees and clones of the project.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"
