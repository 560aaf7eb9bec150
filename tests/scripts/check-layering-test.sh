#!/usr/bin/env bash
# Runs scripts/check-layering.sh on a small made-up tree: the tree as built
# passes, each allowed include added to it passes, and each forbidden include
# planted in it fails the check with a complaint naming the planted file.
# Usage: check-layering-test.sh [CHECK_SCRIPT]
set -u
check=${1:-"$(dirname "$0")/../../scripts/check-layering.sh"}
[ -f "$check" ] || { echo "no check script at $check"; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
base=$scratch/base
failures=0
checked_files=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# put FILE INCLUDES... writes FILE under $base with one #include per argument
# ("<Q>" or a plain path, which becomes "path").
put() {
  local file=$base/$1; shift
  mkdir -p "$(dirname "$file")"
  : >"$file"
  local inc
  for inc in "$@"; do
    case "$inc" in
      '<'*) printf '#include %s\n' "$inc" >>"$file" ;;
      *) printf '#include "%s"\n' "$inc" >>"$file" ;;
    esac
  done
  printf 'int unused_%s;\n' "$RANDOM" >>"$file"
}
# Files the check must look at.
src() { put "$@"; checked_files=$((checked_files + 1)); }

# Every kind of include the rules allow, once.
src xml/CXmlDocument.h platform/StringUtil.h '<string>'
src xml/CXmlDocument.cpp xml/CXmlDocument.h '<sys/stat.h>'
src platform/StringUtil.h '<string>'
src platform/Bitmap.h '<vector>'
src platform/HidBackend.h platform/Bitmap.h
src platform/Http.h '<string>'
src platform/qt/QtBitmap.h platform/Bitmap.h '<QImage>' '<QtGui/QPainter>'
src platform/qt/QtFontCatalog.cpp platform/qt/QtBitmap.h '<fontconfig/fontconfig.h>'
src platform/hidapi/HidapiBackend.h platform/HidBackend.h
src platform/hidapi/HidapiBackend.cpp platform/hidapi/HidapiBackend.h '<hidapi/hidapi.h>' '<libudev.h>'
src platform/curl/CurlHttp.cpp platform/Http.h platform/curl/CurlHttp.h '<curl/curl.h>'
src platform/curl/CurlHttp.h platform/Http.h
src project/Project.h xml/CXmlDocument.h platform/Bitmap.h assets/PictureLibrary.h
src assets/PictureLibrary.h xml/CXmlDocument.h project/Project.h
src content/CDlgProgram.h project/Project.h assets/PictureLibrary.h platform/StringUtil.h
src device/LinkProtocol.h content/CDlgProgram.h platform/HidBackend.h
src device/sim/SimulatedSign.h device/LinkProtocol.h
src preview/Player.h device/LinkProtocol.h content/CDlgProgram.h
src batch/BatchSend.h preview/Player.h update/UpdateCheck.h
src update/UpdateCheck.h platform/Http.h batch/BatchSend.h
src app/CGlimraDlg.h batch/BatchSend.h device/sim/SimulatedSign.h xml/CXmlDocument.h
src controls/PictureButton.h '<QPushButton>' platform/qt/QtBitmap.h platform/Bitmap.h
src project/ui/CScreenSelDialog.cpp project/Project.h platform/qt/QtBitmap.h controls/PictureButton.h '<QDialog>'
src assets/ui/CImgInfoDialog.cpp assets/PictureLibrary.h project/Project.h '<QDialog>'
src content/ui/CDlgProgramWidget.h content/CDlgProgram.h project/ui/CScreenSelDialog.h assets/ui/CImgInfoDialog.h '<QWidget>'
src device/ui/CVirtualSignWindow.cpp device/sim/SimulatedSign.h content/ui/CDlgProgramWidget.h '<QWidget>'
src preview/ui/CPreviewDlg.cpp preview/Player.h device/ui/CVirtualSignWindow.h
src update/ui/CUpdateDialog.cpp update/UpdateCheck.h batch/BatchSend.h preview/ui/CPreviewDlg.h
src app/ui/CMainWindow.cpp app/CGlimraDlg.h content/ui/CDlgProgramWidget.h device/ui/CVirtualSignWindow.h \
    update/ui/CUpdateDialog.h project/ui/CScreenSelDialog.h platform/qt/QtBitmap.h \
    platform/hidapi/HidapiBackend.h platform/curl/CurlHttp.h controls/PictureButton.h '<QMainWindow>'
src cli/main.cpp app/CGlimraDlg.h device/sim/SimulatedSign.h platform/qt/QtBitmap.h \
    platform/hidapi/HidapiBackend.h cli/Explain.h '<QGuiApplication>'
src cli/Explain.h device/LinkProtocol.h
src flashtool/Package.h '<cstdint>'
src flashtool/sim/SimulatedChip.cpp flashtool/Package.h
src tools/qvfmake/main.cpp platform/StringUtil.h tools/qvfmake/FontRecord.h '<ft2build.h>'
# Not checked: tests, fuzzers and build trees may include anything.
put tests/ui/MainWindowTest.cpp app/ui/CMainWindow.h flashtool/Package.h '<QTest>'
put fuzz/xml_fuzz.cpp '<QString>' xml/CXmlDocument.h
put build/content/moc_Thing.cpp '<QObject>' app/ui/CMainWindow.h

# run NAME: runs the check on a copy of the base tree (after the caller's
# planting in $work); leaves the output in $out and the status in $rc.
work=$scratch/work
fresh() { rm -rf "$work" && cp -a "$base" "$work"; }
plant() {
  local file=$work/$1; shift
  mkdir -p "$(dirname "$file")"
  : >>"$file"
  local inc
  for inc in "$@"; do
    case "$inc" in
      '<'*) printf '#include %s\n' "$inc" >>"$file" ;;
      *) printf '#include "%s"\n' "$inc" >>"$file" ;;
    esac
  done
}
run() { out=$(bash "$check" "$work" 2>&1); rc=$?; }

# The tree as built passes, and every file of it was looked at.
fresh
run
if [ "$rc" -ne 0 ]; then
  fail "the allowed tree does not pass:"; echo "$out"
elif ! grep -qx "layering: ok ($checked_files files)" <<<"$out"; then
  fail "the allowed tree was not checked whole (expected $checked_files files): $out"
else
  echo "ok: the allowed tree passes ($checked_files files)"
fi

# A check of an empty tree must not pass.
rm -rf "$work" && mkdir -p "$work"
run
[ "$rc" -ne 0 ] || fail "an empty tree passes: $out"

# allowed FILE INCLUDE: planting it keeps the check passing.
allowed() {
  fresh
  plant "$@"
  run
  if [ "$rc" -ne 0 ]; then fail "$1 including ${*:2} is refused: $out"; else echo "ok: $1 may include ${*:2}"; fi
}
# forbidden FILE INCLUDE: planting it fails the check with a complaint naming
# FILE, and nothing else is complained about.
forbidden() {
  fresh
  plant "$@"
  run
  if [ "$rc" -eq 0 ]; then
    fail "$1 including ${*:2} passes: $out"
  elif ! grep -q "^layering: $1 " <<<"$out"; then
    fail "$1 including ${*:2} fails without naming $1: $out"
  elif grep '^layering: ' <<<"$out" | grep -vq "^layering: $1 "; then
    fail "$1 including ${*:2} brings other complaints: $out"
  else
    echo "ok: $1 may not include ${*:2} ($(grep -m1 "^layering: $1 " <<<"$out"))"
  fi
}

allowed content/Planted.cpp project/Project.h
allowed content/Planted.cpp assets/PictureLibrary.h
allowed platform/qt/Planted.cpp platform/StringUtil.h
allowed platform/curl/Planted.cpp platform/Http.h
allowed app/ui/Planted.cpp assets/ui/CImgInfoDialog.h
allowed content/ui/Planted.cpp content/CDlgProgram.h
allowed device/ui/Planted.cpp platform/qt/QtBitmap.h
allowed cli/Planted.cpp app/CGlimraDlg.h

# The back ends stay out of the core.
forbidden content/Planted.cpp platform/qt/QtBitmap.h
forbidden content/Planted.cpp platform/hidapi/HidapiBackend.h
forbidden platform/Planted.cpp platform/curl/CurlHttp.h
forbidden app/Planted.h platform/qt/QtBitmap.h
# ... and include platform/ and themselves only.
forbidden platform/qt/Planted.cpp project/Project.h
forbidden platform/qt/Planted.cpp platform/hidapi/HidapiBackend.h
forbidden platform/hidapi/Planted.cpp xml/CXmlDocument.h
forbidden platform/curl/Planted.cpp controls/PictureButton.h
# The core never includes a layer above it.
forbidden device/Planted.cpp app/CGlimraDlg.h
forbidden xml/Planted.cpp project/Project.h
forbidden project/Planted.cpp content/CDlgProgram.h
forbidden device/sim/Planted.cpp preview/Player.h
forbidden app/Planted.cpp app/ui/CMainWindow.h
# Faces: nothing of their own layer or above, core above their folder neither.
forbidden content/ui/Planted.cpp app/ui/CMainWindow.h
forbidden content/ui/Planted.cpp device/ui/CVirtualSignWindow.h
forbidden project/ui/Planted.cpp assets/ui/CImgInfoDialog.h
forbidden project/ui/Planted.cpp content/CDlgProgram.h
forbidden app/ui/Planted.cpp cli/Explain.h
forbidden cli/Planted.cpp app/ui/CMainWindow.h
forbidden controls/Planted.cpp project/ui/CScreenSelDialog.h
forbidden controls/Planted.cpp project/Project.h
# Outside headers only in their places.
forbidden project/Planted.cpp '<QString>'
forbidden device/Planted.h '<QtCore/QObject>'
forbidden platform/hidapi/Planted.cpp '<QString>'
forbidden device/Planted.cpp '<hidapi/hidapi.h>'
forbidden platform/qt/Planted.cpp '<libudev.h>'
forbidden update/Planted.cpp '<curl/curl.h>'
forbidden tools/qvfmake/Planted.cpp '<QImage>'
# vornload and the rest share nothing.
forbidden flashtool/Planted.cpp xml/CXmlDocument.h
forbidden flashtool/Planted.cpp platform/StringUtil.h
forbidden app/Planted.cpp flashtool/Package.h
forbidden app/ui/Planted.cpp flashtool/Package.h
forbidden tools/qvfmake/Planted.cpp flashtool/Package.h
# A folder the check does not know.
forbidden scheduler/Planted.cpp platform/StringUtil.h
forbidden tools2/Planted.cpp

if [ "$failures" -ne 0 ]; then
  echo "check-layering-test: $failures failure(s)"
  exit 1
fi
echo "check-layering-test: all cases behave"
