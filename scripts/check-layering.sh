#!/usr/bin/env bash
# Checks the dependency rules of the source tree:
#  - the core libraries include no Qt, hidapi, libcurl or udev header; only the
#    Qt faces (*/ui, controls, cli) and platform/qt include Qt, only
#    platform/hidapi includes hidapi or udev, only platform/curl includes libcurl;
#  - a core folder never includes one above it, nor a back end (platform/qt,
#    platform/hidapi, platform/curl) nor a Qt face;
#  - a back end includes platform/ and itself only;
#  - a Qt face includes the core up to its own folder's layer, the back ends,
#    and the faces of lower layers;
#  - vornload (flashtool/) includes nothing of the rest, nor the rest of it;
#  - every source folder has a layer here.
# Usage: check-layering.sh [ROOT]   (ROOT defaults to the tree this script is in)
set -u
root=${1:-"$(dirname "$0")/.."}
cd "$root" || { echo "layering: cannot enter $root"; exit 2; }

# The functions below answer in globals (rank, kind, name) rather than on
# standard output: the check runs them for every include, and forks are slow.

# The core layers, lowest first; a core folder may include its own layer and those below.
core_rank() {
  case "$1" in
    xml|platform) rank=0 ;;
    project|assets) rank=1 ;;
    content) rank=2 ;;
    device) rank=3 ;;
    preview) rank=4 ;;
    batch|update) rank=5 ;;
    app) rank=6 ;;
    *) rank=-1 ;;
  esac
}

# The faces sit above all of the core. Each reaches into the core up to its
# folder's layer (face_reach) and includes the faces of a lower order: controls
# under every */ui face, cli beside app/ui.
face_reach() {
  case "$1" in
    controls) rank=0 ;;
    cli) core_rank app ;;
    *) core_rank "$1" ;;
  esac
}
face_order() {
  case "$1" in
    controls) rank=0 ;;
    cli) core_rank app; rank=$((rank + 1)) ;;
    *) core_rank "$1"; rank=$((rank + 1)) ;;
  esac
}

# unit PATH: what PATH belongs to, as kind and name: core X, face X (X/ui,
# controls, cli), backend qt|hidapi|curl, flashtool, tools; kind none otherwise.
unit() {
  local top=${1%%/*} rest=${1#*/}
  kind=none name=none
  case "$1" in
    platform/qt/*) kind=backend name=qt; return ;;
    platform/hidapi/*) kind=backend name=hidapi; return ;;
    platform/curl/*) kind=backend name=curl; return ;;
    controls/*) kind=face name=controls; return ;;
    cli/*) kind=face name=cli; return ;;
    flashtool/*) kind=flashtool name=flashtool; return ;;
    tools/*) kind=tools name=tools; return ;;
  esac
  [ "$top" = "$1" ] && return
  core_rank "$top"
  [ "$rank" -ge 0 ] || return
  name=$top
  case "$rest" in
    ui/*) kind=face ;;
    *) kind=core ;;
  esac
}

status=0
complain() { echo "layering: $*"; status=1; }

# Every folder with C++ sources is checked, except the tests, fuzzers and
# benchmarks (they may reach anywhere) and the build trees.
files=$(find . -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) \
          -not -path './.*' -not -path './tests/*' -not -path './fuzz/*' \
          -not -path './bench/*' -not -path './build/*' -not -path './build-*' \
          -not -path './data/*' -not -path './cmake/*' -not -path './scripts/*' \
          2>/dev/null | sed 's|^\./||' | sort)
if [ -z "$files" ]; then
  echo "layering: no C++ sources under $(pwd)"
  exit 2
fi

include_re='^([^:]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"]'
for f in $files; do
  unit "$f"
  [ "$kind" = none ] &&
    complain "$f is in a folder without a layer (give it one in scripts/check-layering.sh)"
done

while IFS= read -r line; do
  [[ $line =~ $include_re ]] || continue
  f=${BASH_REMATCH[1]} inc=${BASH_REMATCH[2]}
  unit "$f"
  fkind=$kind fname=$name
  [ "$fkind" = none ] && continue

  # Headers of the outside libraries, each in its own place.
  case "$inc" in
    Q*|qt*/*)
      [ "$fkind" = face ] || [ "$fkind $fname" = "backend qt" ] ||
        complain "$f includes the Qt header $inc" ;;
    hidapi*|*/hidapi.h)
      [ "$fkind $fname" = "backend hidapi" ] || complain "$f includes the hidapi header $inc" ;;
    curl/*)
      [ "$fkind $fname" = "backend curl" ] || complain "$f includes the libcurl header $inc" ;;
    libudev.h)
      [ "$fkind $fname" = "backend hidapi" ] || complain "$f includes libudev.h" ;;
  esac

  unit "$inc"
  dkind=$kind dname=$name
  case "$dkind" in none|tools) continue ;; esac

  if [ "$fkind" = flashtool ]; then
    [ "$dkind" = flashtool ] || complain "$f (vornload) includes $inc"
    continue
  fi
  if [ "$dkind" = flashtool ]; then
    complain "$f includes vornload's $inc"
    continue
  fi

  case "$fkind" in
    core)
      case "$dkind" in
        core)
          core_rank "$dname"; r_dep=$rank; core_rank "$fname"
          [ "$r_dep" -le "$rank" ] || complain "$f includes $inc from a layer above it" ;;
        face) complain "$f includes the Qt face $inc" ;;
        backend) complain "$f includes the $dname back end's $inc (only the faces do)" ;;
      esac ;;
    backend)
      case "$dkind" in
        core) [ "$dname" = platform ] || complain "$f (a back end) includes $inc" ;;
        backend) [ "$dname" = "$fname" ] || complain "$f includes the $dname back end's $inc" ;;
        face) complain "$f (a back end) includes the Qt face $inc" ;;
      esac ;;
    face)
      case "$dkind" in
        core)
          core_rank "$dname"; r_dep=$rank; face_reach "$fname"
          [ "$r_dep" -le "$rank" ] || complain "$f includes $inc from a layer above its face" ;;
        face)
          face_order "$dname"; o_dep=$rank; face_order "$fname"
          [ "$dname" = "$fname" ] || [ "$o_dep" -lt "$rank" ] ||
            complain "$f includes the Qt face $inc of its own or a higher layer" ;;
      esac ;;
  esac
done < <(printf '%s\n' "$files" | xargs -d '\n' grep -HE '^[[:space:]]*#[[:space:]]*include')

[ $status -eq 0 ] && echo "layering: ok ($(echo "$files" | grep -c .) files)"
exit $status
