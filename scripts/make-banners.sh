#!/usr/bin/env bash
# Draws the banner storages that ship in Data/ from their sources:
#   Data/banners/banner.svg.in    the picture of one banner (500 x 100)
#   Data/banners/<lang>/tips.txt  the tips of one language, their addresses,
#                                 the storage version
# and writes Data/storage_<lang>_<ver>.bin, a ZIP archive with list.xml and
# one PNG a tip. Run it after changing a source and commit the storages with
# it; the build only copies them (tests/updates checks they match tips.txt).
# Needs rsvg-convert and the DejaVu fonts: scripts/install-deps.sh --banners.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true  # "&" in a replacement stays "&"

root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/Data/banners"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

command -v rsvg-convert >/dev/null || { echo "make-banners.sh: rsvg-convert is missing (scripts/install-deps.sh --banners)" >&2; exit 1; }

xml_escape() {
  local s=$1
  s=${s//&/&amp;}
  s=${s//</&lt;}
  s=${s//>/&gt;}
  s=${s//\"/&quot;}
  printf '%s' "$s"
}
trim() {
  local s=$1
  s=${s#"${s%%[![:space:]]*}"}
  s=${s%"${s##*[![:space:]]}"}
  printf '%s' "$s"
}
header() {  # header FIELD FILE: the value of a "# FIELD: value" line
  sed -n "s/^# $1: *//p" "$2" | head -n 1
}

template=$(<"$src/banner.svg.in")
for tips in "$src"/*/tips.txt; do
  lang=$(basename "$(dirname "$tips")")
  ver=$(header Ver "$tips")
  label=$(header Label "$tips")
  more=$(header More "$tips")
  [[ "$ver" =~ ^[0-9]+$ ]] || { echo "make-banners.sh: $tips has no \"# Ver: N\" line" >&2; exit 1; }
  out="$work/$lang"
  mkdir -p "$out"
  list='<?xml version="1.0" encoding="UTF-8"?>'$'\n'"<Banners Ver=\"$ver\" Lang=\"$(xml_escape "$lang")\">"$'\n'
  names=()
  while IFS='|' read -r name url title line1 line2; do
    name=$(trim "$name")
    [[ -z "$name" || "$name" == \#* ]] && continue
    url=$(trim "$url")
    svg=$template
    svg=${svg//@LABEL@/$(xml_escape "$label")}
    svg=${svg//@MORE@/$(xml_escape "$more")}
    svg=${svg//@TITLE@/$(xml_escape "$(trim "$title")")}
    svg=${svg//@LINE1@/$(xml_escape "$(trim "$line1")")}
    svg=${svg//@LINE2@/$(xml_escape "$(trim "$line2")")}
    printf '%s\n' "$svg" >"$out/${name%.png}.svg"
    rsvg-convert --width 500 --height 100 --format png --output "$out/$name" "$out/${name%.png}.svg"
    list+="  <Item Name=\"$(xml_escape "$name")\" Url=\"$(xml_escape "$url")\"/>"$'\n'
    names+=("$name")
  done <"$tips"
  list+='</Banners>'$'\n'
  printf '%s' "$list" >"$out/list.xml"
  rm -f -- "$root/Data/storage_${lang}_"*.bin
  (cd "$out" && cmake -E tar cf "$root/Data/storage_${lang}_${ver}.bin" --format=zip \
    --mtime="2025-01-01 00:00:00 UTC" list.xml "${names[@]}")
  echo "Data/storage_${lang}_${ver}.bin: ${#names[@]} banners"
done
