#!/usr/bin/env bash
# The installed programs, as a user meets them: `cmake --install` into a
# temporary prefix, the files it lays out, both programs started from an
# unrelated directory (the runner through a short flight, the window program
# under a private Xvfb to its first frame and out with Escape), the compiled
# models in the user's cache folder and silent on the second start, a
# read-only copy of the content, and programs with no content at all.
#
#   install_test.sh BUILD_DIR
#
# Exit 77 (skipped) only when a tool is missing.
set -uo pipefail
build=${1:?build directory}

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
for tool in Xvfb xdotool import convert desktop-file-validate man setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid="" program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }

# --- the layout ---
for f in bin/tarnsim bin/tarn-flight share/applications/tarnsim.desktop \
         share/man/man6/tarnsim.6.gz share/man/man6/tarn-flight.6.gz share/doc/tarnsim/copyright \
         share/tarnsim/Models/PlaneTarn.mdl share/tarnsim/Models/DivadiZarov.mdl share/tarnsim/Models/InvBox.mdl \
         share/tarnsim/Models/Windsock.mdl share/tarnsim/Textures/Windsock.png \
         share/tarnsim/Fonts/basic.fnt share/tarnsim/Textures/SkyCube.dds share/tarnsim/Shaders/Default.VSH; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
for n in 16 24 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${n}x${n}/apps/tarnsim.png
  [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${n}x${n}" ] || fail "icon $icon is not ${n}x${n}"
done
stray=$(find "$prefix/share/tarnsim" -name '*.mdc' -o -name '.*stamp' -o -name '*.tmp*')
[ -z "$stray" ] || fail "build leftovers installed: $stray"
desktop-file-validate "$prefix/share/applications/tarnsim.desktop" || fail "desktop entry"
for page in tarnsim tarn-flight; do
  text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man6/$page.6.gz" 2>"$work/man.err")
  [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "man warns about $page.6"; }
  grep -q "SYNOPSIS" <<<"$text" && grep -q -- "--data" <<<"$text" || fail "$page.6 does not render"
done
echo "layout: ok"

# --- the runner from elsewhere; its compiled models go to the cache ---
mkdir -p "$work/elsewhere" "$work/home"
printf '0 press Pause\n0.5 end\n' >"$work/elsewhere/short.txt"
export HOME=$work/home XDG_CACHE_HOME=$work/cache
unset TARNSIM_DATA
fly() {  # fly OUT ERR [args...]: the installed runner from an unrelated directory
  local out=$1 err=$2
  shift 2
  (cd "$work/elsewhere" && "$prefix/bin/tarn-flight" short.txt "$@") >"$out" 2>"$err"
}
fly "$work/out1" "$work/err1" --csv short.csv || { cat "$work/err1"; fail "first installed flight"; }
grep -q '^t=0.500 s ' "$work/out1" || fail "no summary line: $(cat "$work/out1")"
[ -s "$work/elsewhere/short.csv" ] || fail "--csv was not written beside the script's caller"
grep -q 'Loading RAW model "Models/PlaneTarn.mdl"' "$work/err1" || fail "first start did not compile: $(cat "$work/err1")"
[ "$(ls "$work/cache/tarnsim" | grep -c '^PlaneTarn-[0-9a-f]\{16\}\.mdc$')" = 1 ] || fail "cache: $(ls -R "$work/cache")"
[ -z "$(find "$prefix/share/tarnsim" -newer "$work/install.log" -type f)" ] || fail "the installed content was written"
fly "$work/out2" "$work/err2" || fail "second installed flight"
[ -s "$work/err2" ] && { cat "$work/err2"; fail "the second start was not silent"; }
[ "$(cut -d"|" -f1 "$work/out1")" = "$(cut -d"|" -f1 "$work/out2")" ] || fail "the second flight differs"
echo "runner from elsewhere, cache, silent second start: ok"

# --- a read-only content copy, as a user who may not write it ---
ro=$work/readonly
cp -r "$prefix/share/tarnsim" "$ro"
chmod -R a-w "$ro"
mkdir -p "$work/rocache"
chmod 777 "$work/rocache" "$work/elsewhere"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
for run in 1 2; do
  (cd "$work/elsewhere" && env HOME=/nonexistent XDG_CACHE_HOME="$work/rocache" \
     "${as_user[@]}" "$prefix/bin/tarn-flight" short.txt --data "$ro") >"$work/ro$run" 2>"$work/roerr$run" ||
    { cat "$work/roerr$run"; fail "read-only flight $run"; }
done
grep -q 'Loading RAW model' "$work/roerr1" || fail "read-only: the first start did not compile"
[ -s "$work/roerr2" ] && { cat "$work/roerr2"; fail "read-only: the second start was not silent"; }
[ "$(ls "$work/rocache/tarnsim" | grep -c '\.mdc$')" = 2 ] || fail "read-only cache: $(ls "$work/rocache/tarnsim")"
[ -z "$(find "$ro" -name '*.mdc' -o -name '*.tmp*')" ] || fail "the read-only content was written"
echo "read-only content: ok"

# --- no content anywhere: one line naming the places, status 1, no window ---
mkdir -p "$work/lonely/bin"
cp "$prefix/bin/tarnsim" "$prefix/bin/tarn-flight" "$work/lonely/bin/"
(cd "$work/elsewhere" && env -u DISPLAY "$work/lonely/bin/tarnsim") >"$work/lone1" 2>&1
rc=$?
[ "$rc" -eq 1 ] || fail "tarnsim without content: status $rc"
[ "$(grep -c '' "$work/lone1")" -eq 1 ] &&
  grep -q "\"$work/lonely/bin/run\", \"$work/lonely/bin\" or \"$work/lonely/share/tarnsim\"" "$work/lone1" ||
  fail "tarnsim without content: $(cat "$work/lone1")"
(cd "$work/elsewhere" && "$work/lonely/bin/tarn-flight" short.txt) >"$work/lone2" 2>&1
rc=$?
[ "$rc" -eq 1 ] && [ "$(grep -c '' "$work/lone2")" -eq 1 ] && grep -q '^tarn-flight: No content' "$work/lone2" ||
  fail "tarn-flight without content: status $rc, $(cat "$work/lone2")"
TARNSIM_DATA=$work/elsewhere "$prefix/bin/tarnsim" >"$work/lone3" 2>&1
[ $? -eq 1 ] && grep -q "(from TARNSIM_DATA)" "$work/lone3" || fail "TARNSIM_DATA without content: $(cat "$work/lone3")"
# Content beside the program (as in the Windows zip) is found from anywhere.
cp -r "$prefix/share/tarnsim/." "$work/lonely/bin/"
(cd "$work/elsewhere" && "$work/lonely/bin/tarn-flight" short.txt) >"$work/lone4" 2>&1 ||
  fail "tarn-flight beside its content: $(cat "$work/lone4")"
echo "missing content: ok"

# --- the window program from elsewhere, to its first frame, out with Escape ---
source "$(dirname "$0")/../e2e/window_helpers.sh"
start_private_xvfb 200 239 1024x640 || fail "could not start Xvfb"
(cd "$work/elsewhere" && exec "$prefix/bin/tarnsim") >"$work/window.log" 2>&1 &
program_pid=$!
wid=$(timeout 60 xdotool search --sync --name '^Tarn sim$' 2>/dev/null | head -n1)
[ -n "$wid" ] || { cat "$work/window.log"; fail "no window within 60 s"; }
# The window exists before its first frame; a frame is there once its
# pixels differ from one another.
framed=""
for _ in $(seq 120); do
  spread=$(import -window "$wid" png:- 2>/dev/null | convert - -format '%[fx:standard_deviation]' info: 2>/dev/null)
  if [ -n "$spread" ] && awk -v s="$spread" 'BEGIN { exit !(s > 0.01) }'; then framed=1; break; fi
  sleep 0.5
done
[ -n "$framed" ] || { cat "$work/window.log"; fail "no frame was drawn within 60 s"; }
quit_with_escape "$wid" 10 || fail "still running 10 s after Escape"
[ "$quit_status" -eq 0 ] || { cat "$work/window.log"; fail "the window program ended with status $quit_status"; }
grep -q '^Memory objects left: 0$' "$work/window.log" || { cat "$work/window.log"; fail "no clean shut-down"; }
grep -Eq 'Loading RAW model "Models/(PlaneTarn|DivadiZarov).mdl"' "$work/window.log" && { cat "$work/window.log"; fail "the window program recompiled cached models"; }
echo "window program from elsewhere: ok"
echo PASS
