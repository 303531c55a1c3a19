#!/usr/bin/env bash
# Side by side on the same generated documents (1 MB and 10 MB):
# tagsmith-convert --to html, this system's RTF reader alone, pandoc -f rtf
# -t html and unrtf --html, with wall time, throughput and peak memory of
# each as one process. Run from the checkout after make bench; installs
# pandoc and unrtf when missing.
#
#   bench/rtf_compare.sh [BUILD_DIR]      (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
generator=../shared/bench/gen_rtf.py
[ -f "$generator" ] || { echo "rtf_compare.sh: $generator is not there" >&2; exit 1; }
for exe in bench_rtf_reader tagsmith-convert; do
  [ -x "$build/bin/$exe" ] || { echo "rtf_compare.sh: build $build first (make bench)" >&2; exit 1; }
done
scripts/install-deps.sh --compare

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# tagsmith-convert reads its tag sets from a settings store of its own here.
export XDG_CONFIG_HOME="$tmp/config"

# Runs a command three times and prints the best wall time and its peak RSS.
measure() {
  local best="" rss=""
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$tmp/time" "$@" > /dev/null 2>&1
    read -r t m < "$tmp/time"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; rss=$m; fi
  done
  echo "$best $rss"
}

printf "%-8s %-18s %8s %8s %12s\n" size program seconds "MB/s" "peak RSS MB"
for bytes in 1000000 10000000; do
  doc="$tmp/doc-$bytes.rtf"
  python3 "$generator" "$doc" "$bytes" 1 > /dev/null
  size=$(stat -c %s "$doc")
  for program in tagsmith-convert reader-only pandoc unrtf; do
    case $program in
      tagsmith-convert) cmd=("$build/bin/tagsmith-convert" --to html -o "$tmp/out.html" "$doc") ;;
      reader-only) cmd=("$build/bin/bench_rtf_reader" --read-once "$doc") ;;
      pandoc) cmd=(pandoc -f rtf -t html "$doc") ;;
      unrtf) cmd=(unrtf --html "$doc") ;;
    esac
    read -r secs kb < <(measure "${cmd[@]}")
    mbs=$(awk "BEGIN{ if ($secs > 0) printf \"%.1f\", $size / 1e6 / $secs; else print \"-\" }")
    printf "%-8s %-18s %8s %8s %12.1f\n" "$((bytes / 1000000)) MB" "$program" "$secs" "$mbs" "$(awk "BEGIN{print $kb/1024}")"
  done
done
echo
echo "In-process figures, fastest of five runs (Google Benchmark):"
"$build/bin/bench_rtf_reader" --benchmark_filter='/10000000' 2>/dev/null | grep '_min '
