# Sourced by the test runners: one wineserver for the whole run, so that each
# Wine start is cheap, ended when the run ends. Wine's own background
# processes are started first, holding none of ctest's pipes: Wine starts
# them from whichever program first needs them, and they keep that
# program's open descriptors, so ctest would wait on a test's output until
# they end. The desktop process ends a few seconds after its last user and
# would be started again by a test; a program that uses the desktop for the
# whole run keeps the one started here.
#
#   start_wine_session WINDOWS_BUILD
start_wine_session() {
  local keeper=$1/bin/desktop-keeper.exe
  wineserver -p
  trap 'wineserver -k 2>/dev/null; true' EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1
  if [ -f "$keeper" ]; then wine "$keeper" </dev/null >/dev/null 2>&1 & fi
}
