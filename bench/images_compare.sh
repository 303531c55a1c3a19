#!/usr/bin/env bash
# The Lanczos reduction of the images benchmark beside the command-line tools
# on the same picture: the 400-dpi render of one A4 object (3307 x 4677)
# reduced to 794 x 1122 (96 dpi) by `vips resize --kernel lanczos3 --gap 0`
# (Lanczos-3 over the whole reduction, no box pre-shrink) and by ImageMagick's
# Lanczos filter. Each tool's time is the best of five runs, less the best of
# five runs that only load and save the same files, so that start-up and file
# input and output are not counted.
#
#   scripts/install-deps.sh --compare && make bench && bench/images_compare.sh [build-bench]
set -euo pipefail

build=${1:-build-bench}
bench="$build/bin/bench_images"
[ -x "$bench" ] || { echo "images_compare.sh: $bench not built (make bench)" >&2; exit 2; }
for tool in vips convert; do
  command -v "$tool" >/dev/null || { echo "images_compare.sh: $tool missing (scripts/install-deps.sh --compare)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-render "$work/render.png"
vips copy "$work/render.png" "$work/render.v"
vips copy "$work/render.png" "$work/render.ppm"

best() {  # best wall time in seconds of five runs of "$@"
  local best=999 t0 t1 t
  for _ in 1 2 3 4 5; do
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc -l)
    best=$(echo "if ($t < $best) $t else $best" | bc -l)
  done
  printf '%.3f' "$best"
}

vr=$(best vips resize "$work/render.v" "$work/out.v" 0.24 --kernel lanczos3 --gap 0)
vc=$(best vips copy "$work/render.v" "$work/copy.v")
mr=$(best convert "$work/render.ppm" -filter Lanczos -resize '794x1122!' "$work/out.ppm")
mc=$(best convert "$work/render.ppm" "$work/copy.ppm")
size=$(vipsheader -f width "$work/out.v")x$(vipsheader -f height "$work/out.v")

echo "3307 x 4677 -> $size, best of 5 runs, seconds"
printf '%-44s %s (whole command %s, load and save alone %s)\n' "vips resize --kernel lanczos3 --gap 0" \
  "$(echo "$vr - $vc" | bc -l | xargs printf '%.3f')" "$vr" "$vc"
printf '%-44s %s (whole command %s, load and save alone %s)\n' "ImageMagick -filter Lanczos -resize" \
  "$(echo "$mr - $mc" | bc -l | xargs printf '%.3f')" "$mr" "$mc"
"$bench" --benchmark_filter='Lanczos' --benchmark_min_time=1 2>/dev/null | grep BM_
