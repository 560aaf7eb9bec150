#!/usr/bin/env bash
# Checks the dependency rules of the source tree:
#  - the core libraries include no Qt, hidapi, libcurl or udev header; only the
#    Qt faces (*/ui, controls, platform/qt, cli, app/ui), platform/hidapi and
#    platform/curl do, each its own;
#  - a folder never includes one above it;
#  - vornload (flashtool/) includes nothing of the rest.
set -u
cd "$(dirname "$0")/.."

# The layers, lowest first; a folder may include its own layer and those below.
rank() {
  case "$1" in
    xml|platform) echo 0 ;;
    project|assets) echo 1 ;;
    content) echo 2 ;;
    device) echo 3 ;;
    preview) echo 4 ;;
    batch|update) echo 5 ;;
    app) echo 6 ;;
    controls|cli) echo 7 ;;
    *) echo -1 ;;
  esac
}

status=0
complain() { echo "layering: $*"; status=1; }

files=$(find xml platform project assets content device preview batch update app controls cli flashtool tools \
          -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)

for f in $files; do
  top=${f%%/*}
  # A UI folder is a Qt face; platform/qt, platform/hidapi, platform/curl are back ends.
  face=""
  case "$f" in
    */ui/*|controls/*|cli/*) face=qt ;;
    platform/qt/*) face=qt ;;
    platform/hidapi/*) face=hidapi ;;
    platform/curl/*) face=curl ;;
  esac
  while IFS= read -r line; do
    inc=$(printf '%s' "$line" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/')
    case "$inc" in
      Q*|Qt*/*|qt*/*)
        [ "$face" = qt ] || complain "$f includes the Qt header $inc" ;;
      hidapi*|*/hidapi.h)
        [ "$face" = hidapi ] || complain "$f includes the hidapi header $inc" ;;
      curl/*)
        [ "$face" = curl ] || complain "$f includes the libcurl header $inc" ;;
      libudev.h)
        [ "$face" = hidapi ] || complain "$f includes libudev.h" ;;
    esac
    dep=${inc%%/*}
    [ "$dep" = "$inc" ] && continue  # not one of ours
    if [ "$top" = flashtool ]; then
      case "$dep" in
        flashtool) ;;
        xml|platform|project|assets|content|device|preview|batch|update|app|controls|cli)
          complain "$f (vornload) includes $inc" ;;
      esac
      continue
    fi
    [ "$top" = tools ] && continue
    r_dep=$(rank "$dep"); r_top=$(rank "$top")
    [ "$r_dep" -lt 0 ] && continue
    if [ "$dep" = flashtool ]; then complain "$f includes vornload's $inc"; continue; fi
    # The Qt faces of a folder sit above every core library.
    case "$inc" in */ui/*) [ -n "$face" ] || complain "$f includes the Qt face $inc"; continue ;; esac
    [ -n "$face" ] && continue
    if [ "$r_dep" -gt "$r_top" ]; then complain "$f includes $inc from a layer above it"; fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$f")
done

[ $status -eq 0 ] && echo "layering: ok ($(echo "$files" | grep -c .) files)"
exit $status
