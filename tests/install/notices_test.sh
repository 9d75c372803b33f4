#!/usr/bin/env bash
# Every library the programs link, every third-party header our sources
# include and every shipped file made from others' work has its line in
# packaging/notices.list, and both packages' notices are made from it.
#   notices_test.sh BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
windows=${2:-$src/build-windows}
list=$src/packaging/notices.list
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v readelf >/dev/null && command -v dpkg >/dev/null || { echo "needs readelf and dpkg"; exit 77; }

# The "uses" words of the entries for one build.
uses() { grep -v '^#' "$list" | awk -F'|' -v b="$1" '" " $3 " " ~ " " b " " { print $6 }' | tr ' ' '\n' | grep .; }
linux_uses=$(uses linux)
windows_uses=$(uses windows)

# 1. Shared libraries the Linux programs need.
problems=0
for program in "$build/tarnsim" "$build/tarn-flight"; do
  [ -x "$program" ] || fail "$program is not built"
  for so in $(readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
    found=0
    for u in $(grep '^so:' <<<"$linux_uses"); do [[ "$so" == "${u#so:}"* ]] && found=1; done
    [ $found = 1 ] || { echo "$(basename "$program") needs $so: no line in packaging/notices.list"; problems=1; }
  done
done

# 2. Headers of other projects that our program sources include (the
# system's C and C++ libraries aside).
headers=$(cd "$src" && grep -rhoE '^\s*#\s*include\s*<[^>]+>' app aircraft air assets content diag flightrec foundation \
            physics platform render sim tools | sed 's/.*<\(.*\)>/\1/' | sort -u)
for h in $headers; do
  file=""
  for dir in /usr/include /usr/include/x86_64-linux-gnu /usr/include/SDL2; do
    [ -f "$dir/$h" ] && { file=$dir/$h; break; }
  done
  [ -n "$file" ] || continue  # Windows' own headers, or C++ headers without a file of that name here
  package=$(dpkg -S "$file" 2>/dev/null | head -1 | cut -d: -f1)
  case $package in libc6-dev|linux-libc-dev|libstdc++-*-dev|libgcc-*-dev|"") continue ;; esac
  found=0
  for u in $(grep '^include:' <<<"$linux_uses$(printf '\n')$windows_uses"); do [[ "$h" == "${u#include:}"* ]] && found=1; done
  [ $found = 1 ] || { echo "our sources include <$h> ($package): no line in packaging/notices.list"; problems=1; }
done

# 3. Shipped files made from others' work are where the list says.
for u in $(grep '^content:' <<<"$linux_uses"); do
  [ -f "$build/run/${u#content:}" ] || { echo "${u#content:} is not in the content the build made"; problems=1; }
done

# 4. The Windows programs import only Windows' own DLLs and D3DX (which the
# DirectX runtime brings, not the zip); what MinGW links statically is listed.
for u in static:libstdc++ static:libgcc static:mingw-w64-crt static:winpthreads; do
  grep -qx "$u" <<<"$windows_uses" || { echo "the Windows programs link $u statically: not in the list"; problems=1; }
done
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  for exe in "$windows/tarnsim.exe" "$windows/tarn-flight.exe"; do
    [ -f "$exe" ] || continue
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
      case $dll in
        kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|winmm.dll|msvcrt.dll|d3d9.dll|\
        d3dx9_43.dll|dinput8.dll|xinput1_4.dll|xinput9_1_0.dll|shlwapi.dll|comdlg32.dll|api-ms-win-*) ;;
        *) echo "$(basename "$exe") imports $dll: not Windows' own, and no line in packaging/notices.list"; problems=1 ;;
      esac
    done
  done
fi

# 5. Both packages' notices are made: the Debian copyright file holds every
# Linux entry, NOTICES.txt every Windows one with its licence text.
deb_copyright=$build/packaging/copyright
[ -f "$deb_copyright" ] || fail "$deb_copyright was not made"
"$src/scripts/notices.sh" windows >"$build/notices-windows.txt" || fail "the Windows notices cannot be made"
while IFS='|' read -r name _ builds _ package _; do
  name=$(echo $name) package=$(echo $package)
  case " $(echo $builds) " in *" linux "*) grep -qF "== $name ==" "$deb_copyright" ||
    { echo "the Debian copyright file lacks $name"; problems=1; } ;; esac
  case " $(echo $builds) " in *" windows "*)
    grep -qF "== $name ==" "$build/notices-windows.txt" && grep -qF "$(sed -n 2p "/usr/share/doc/$package/copyright")" "$build/notices-windows.txt" ||
    { echo "NOTICES.txt lacks $name or its notice"; problems=1; } ;; esac
done < <(grep -v '^#' "$list" | grep -v '^\s*$')
[ $problems = 0 ] || fail "notices are missing"
echo "notices: every linked library, included header and shipped font has its notice"
