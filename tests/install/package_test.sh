#!/usr/bin/env bash
# The Debian package: cpack builds tarnsim_<version>_amd64.deb from the
# install rules; its file list, its computed dependencies and lintian's
# verdict (no errors) are checked.
#
#   package_test.sh BUILD_DIR
set -uo pipefail
build=${1:?build directory}
fail() { echo "FAIL: $*"; exit 1; }
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || { echo "SKIP: dpkg-dev is missing"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^#define TARN_VERSION "\(.*\)"$/\1/p' "$build/generated/tarn_version.h")
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/tarnsim_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work"; fail "no $deb"; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/tarnsim /usr/bin/tarn-flight /usr/share/applications/tarnsim.desktop \
         /usr/share/icons/hicolor/48x48/apps/tarnsim.png /usr/share/icons/hicolor/256x256/apps/tarnsim.png \
         /usr/share/man/man6/tarnsim.6.gz /usr/share/man/man6/tarn-flight.6.gz \
         /usr/share/doc/tarnsim/copyright /usr/share/doc/tarnsim/changelog.gz \
         /usr/share/tarnsim/Models/PlaneTarn.mdl /usr/share/tarnsim/Fonts/basic.fnt \
         /usr/share/tarnsim/Textures/Fonts/basic.png /usr/share/tarnsim/Shaders/font.PSH; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
grep -v -e '/$' -e '^/usr/bin/tarn' -e '^/usr/share/tarnsim/' -e '^/usr/share/icons/hicolor/' \
  -e '^/usr/share/man/man6/' -e '^/usr/share/doc/tarnsim/' -e '^/usr/share/applications/' "$work/files" >"$work/odd"
[ -s "$work/odd" ] && fail "files outside the package's places: $(cat "$work/odd")"
grep -q '\.mdc$' "$work/files" && fail "compiled models in the package"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libsdl2 libepoxy0 libgl1-mesa-dri; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: tarnsim Version: $version Architecture: amd64 " ] ||
  fail "control: $(dpkg-deb -f "$deb" Package Version Architecture)"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1
  cat "$work/lintian"
  grep -q '^E: ' "$work/lintian" && fail "lintian reports errors"
else
  echo "lintian is not installed: its check is skipped"
fi
echo PASS
