# Shared by the scripts: installs what is missing and builds.
# shellcheck shell=bash
set -euo pipefail

GEOFLUID_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
GEOFLUID_PACKAGES=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libcli11-dev libinih-dev
  qt6-base-dev fonts-ipafont-gothic)
# The results and batch windows: charts, SVG export, the English translation, CSV cells.
GEOFLUID_PACKAGES+=(qt6-charts-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools libcsv-dev)

# Installs the Debian packages of the list that are not installed yet.
geofluid_install() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# geofluid_build DIR [cmake options...]
geofluid_build() {
  local dir="$1"
  shift
  cmake -S "$GEOFLUID_ROOT" -B "$GEOFLUID_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$GEOFLUID_ROOT/$dir" -j "$(nproc)"
}
