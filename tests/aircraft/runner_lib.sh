# Sourced by the flight runner's script tests: their two arguments, a scratch
# folder removed on exit, and the FAIL lines that set the exit status.
#   source runner_lib.sh TARN_FLIGHT RUN_DIR
set -uo pipefail
runner=${1:?tarn-flight} run=${2:?run directory}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# fly ARGS...: the runner started in the content's folder, as a user starts it.
fly() { (cd "$run" && "$runner" "$@"); }
