#!/bin/sh
# Whole geofluid-cli processes with hyperfine: a measured run and a second-mode run of the
# example water with both datasets. Prints the median wall time and the mean CPU time of each.
#   bench/cli_process.sh [CLI [OTHER_CLI]]   (OTHER_CLI: a second build to compare in one run)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/app/cli/geofluid-cli}
other=${2:-}
sample=$here/examples/nacl-water.ini
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for ds in solveq supcrt; do
  mkdir -p "$dir/$ds"
  "$cli" run "$sample" --dir "$dir/$ds" --dataset "$ds" --mode measured >/dev/null
done
set --
for c in "$cli" $other; do
  for ds in solveq supcrt; do
    set -- "$@" "$c run $sample --dir $dir/$ds --dataset $ds --mode measured" \
      "$c run $sample --dir $dir/$ds --dataset $ds --mode other --temperature 250"
  done
done
hyperfine -N --warmup 20 --runs 200 --export-json "$dir/hyperfine.json" "$@" >/dev/null
/usr/bin/python3 - "$dir/hyperfine.json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    words = r["command"].split()
    print(f"{words[0]:<48} {words[6]:<7} {' '.join(words[8:]):<28} "
          f"median {1000 * r['median']:6.2f} ms  cpu {1000 * (r['user'] + r['system']):5.2f} ms")
PY
