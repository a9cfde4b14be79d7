#!/usr/bin/env bash
# pip installs the package from the checkout into a fresh venv, as the README says; the module
# is built by CMake in its own build directory. Then the Python tests run on what was
# installed. Exit 77 (skipped) without the venv module.
# check.sh SOURCE_DIR WORK_DIR PYTHON [CMake options for the module's build...]
set -euo pipefail
source_dir="$1" work="$2" python="$3"
shift 3
if ! "$python" -c 'import ensurepip, venv' 2>/dev/null; then
  echo "no venv module for $python (Debian: apt-get install python3-venv): skipped"
  exit 77
fi
rm -rf "$work/venv" "$work/site"
mkdir -p "$work"
"$python" -m venv --system-site-packages "$work/venv"
# --no-index: everything the build and the package need is already installed (Debian).
GEOFLUID_CMAKE_BUILD_DIR="$work/cmake" GEOFLUID_CMAKE_ARGS="$*" \
  "$work/venv/bin/python" -m pip install --no-build-isolation --no-index "$source_dir"

# The package imported is the installed one, not the checkout's or the build tree's.
cd "$work"
"$work/venv/bin/python" - "$work/venv" <<'PY'
import sys
from pathlib import Path
import geofluid
venv = Path(sys.argv[1]).resolve()
where = Path(geofluid.__file__).resolve()
assert venv in where.parents, f"geofluid imported from {where}, not from {venv}"
assert venv in Path(geofluid._geofluid.__file__).resolve().parents
print("installed:", where.parent)
PY
env -u PYTHONPATH PYTHONDONTWRITEBYTECODE=1 "$work/venv/bin/python" -m pytest -q \
  -p no:cacheprovider -m "not dask" "$source_dir/python/tests"
