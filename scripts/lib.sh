# Shared by the scripts: installs what is missing and builds.
# shellcheck shell=bash
set -euo pipefail

GEOFLUID_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
GEOFLUID_PACKAGES=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libcli11-dev libinih-dev
  libcsv-dev nlohmann-json3-dev hyperfine libtbb-dev
  qt6-base-dev fonts-ipafont-gothic libgsl-dev qt6-charts-dev qt6-svg-dev
  libqt6opengl6-dev
  pybind11-dev python3-dev python3-numpy python3-pandas python3-dask python3-distributed
  python3-matplotlib python3-pytest)
# The results and batch windows: the English translation (lupdate, lrelease and their CMake).
GEOFLUID_PACKAGES+=(qt6-tools-dev qt6-l10n-tools)
# `pip install .` into a venv (the README's Python section, and its test).
GEOFLUID_PACKAGES+=(python3-venv python3-wheel)

# Installs the Debian packages of the list that are not installed yet. When none is missing,
# apt is not called at all (it may have no mirror to reach); when apt fails, one line says
# which packages are missing and how to install them.
geofluid_install() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local log
  log="$(mktemp -t geofluid-apt.XXXXXX)"
  if ! { $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}"; } >"$log" 2>&1; then
    echo "error: missing Debian packages: ${missing[*]}; apt-get could not install them (its output is in $log); install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  rm -f "$log"
}

# geofluid_build DIR [cmake options...] [--target TARGET...]: configures DIR and builds the
# targets given, or everything. What CMake says of a failed configuration is shown, and on
# success its warnings and what it did not find (Qt 6, say).
geofluid_build() {
  local dir="$1"
  shift
  local options=()
  while [ $# -gt 0 ] && [ "$1" != "--target" ]; do
    options+=("$1")
    shift
  done
  [ $# -eq 0 ] || shift
  local log="$GEOFLUID_ROOT/$dir/configure.log"
  mkdir -p "$GEOFLUID_ROOT/$dir"
  if ! cmake -S "$GEOFLUID_ROOT" -B "$GEOFLUID_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${options[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    echo "error: configuring $dir failed (see above; also in $log)" >&2
    exit 1
  fi
  grep -iE 'warning|not found' "$log" >&2 || true
  if [ $# -gt 0 ]; then
    cmake --build "$GEOFLUID_ROOT/$dir" -j "$(nproc)" --target "$@"
  else
    cmake --build "$GEOFLUID_ROOT/$dir" -j "$(nproc)"
  fi
}
