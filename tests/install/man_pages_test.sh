#!/usr/bin/env bash
# The manual pages the build made: each renders without a warning from man,
# holds every option its program's --help lists and the hand-written sections,
# and names the program's version.
#
#   man_pages_test.sh PAGE_DIR PROGRAM...
set -uo pipefail
pages=${1:?page directory}
shift
command -v man >/dev/null || { echo "SKIP: man is not installed"; exit 77; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }
err=$(mktemp)
trap 'rm -f "$err"' EXIT

for program in "$@"; do
  name=$(basename "$program")
  page=$pages/$name.6
  text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$err")
  [ -s "$err" ] && fail "man warns about $name.6: $(cat "$err")"
  options=$("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || fail "$name --help lists no options"
  # man prints hyphens in options as U+2010 in some locales; compare plain ones.
  plain=$(sed 's/\xe2\x80\x90/-/g' <<<"$text")
  for option in $options; do
    grep -q -- "$option\\b" <<<"$plain" || fail "$name.6 lacks $option (in $name --help)"
  done
  case $name in
    tarnsim) sections=(KEYS MOUSE "RECORDING AND REPLAY" FILES ENVIRONMENT "EXIT STATUS") ;;
    *) sections=("KEY SCRIPTS" FILES ENVIRONMENT "EXIT STATUS" EXAMPLES) ;;
  esac
  for section in "${sections[@]}" SYNOPSIS DESCRIPTION OPTIONS; do
    grep -q "^$section\$" <<<"$plain" || fail "$name.6 has no $section section"
  done
  version=$("$program" --version | awk '{print $NF}')
  grep -q "Tarn sim $version" <<<"$plain" || fail "$name.6 does not name version $version"
done
[ "$failed" = 0 ] && echo "manual pages: ok"
exit "$failed"
