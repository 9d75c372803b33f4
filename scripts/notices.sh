#!/usr/bin/env bash
# Third-party notices from packaging/notices.list, for one package:
#   scripts/notices.sh windows   NOTICES.txt for the zip: every part's notice
#                                in full, from its Debian copyright file
#   scripts/notices.sh linux     the notices part of the Debian package's
#                                copyright file: notices in full for what is
#                                compiled in or shipped, a pointer to the
#                                package's own copyright file for libraries
#                                the package depends on
# Output on standard output; fails when a notice file is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: notices.sh linux|windows}
if [ "$build" = windows ]; then
  echo "Third-party notices for Tarn sim for Windows"
  echo "============================================"
  echo
  echo "tarnsim.exe and tarn-flight.exe contain, or this folder holds, the following"
  echo "software and font made by others. Each part's copyright notice and licence"
  echo "follow its heading (as Debian, where the build took them from, records them)."
else
  echo "Third-party parts"
  echo "-----------------"
fi
grep -v '^#' packaging/notices.list | grep -v '^[[:space:]]*$' |
while IFS='|' read -r name licence builds how package uses; do
  name=$(echo $name) licence=$(echo $licence) how=$(echo $how) package=$(echo $package)
  case " $(echo $builds) " in *" $build "*) ;; *) continue ;; esac
  file=/usr/share/doc/$package/copyright
  [ -f "$file" ] || { echo "notices.sh: $file is missing (install $package)" >&2; exit 1; }
  case $how in
    linked) what="a shared library the programs use" ;;
    static) what="linked into the programs" ;;
    compiled) what="compiled into the programs" ;;
    shipped) what="files made from it are part of the content" ;;
  esac
  echo
  echo "== $name =="
  echo "Licence: $licence ($what)."
  if [ "$build" = linux ] && [ "$how" = linked ]; then
    echo "Its notice: /usr/share/doc/$package/copyright (the $package package)."
  else
    echo
    cat "$file"
  fi
done
