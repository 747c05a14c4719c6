# Shared by the build tests: run a Windows program under Wine with standard
# input closed, keeping its output apart from Wine's own messages.
#   wine_run OUT_FILE PROGRAM ARGS...   sets $status
wine_run() {
  local out=$1
  shift
  status=0
  wine "$@" </dev/null >"$out" 2>"$out.err" || status=$?
}

fail() { echo "${0##*/}: $*" >&2; exit 1; }
