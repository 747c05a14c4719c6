#!/usr/bin/env bash
# 7-Zip's console program packed with only --main and -o, typed at an
# interactive cmd prompt on a real terminal (tmux): cmd waits for it, as for
# any console program, so its output comes before the next command's, and
# %ERRORLEVEL% afterwards is its exit status.
set -euo pipefail
pack=$1 seven_zip=$2 work=$3
. "$(dirname "$0")/wine-run.sh"
command -v tmux >/dev/null || fail "no tmux (scripts/setup.sh installs it)"
rm -rf "$work" && mkdir -p "$work/app"
cp "$seven_zip" "$work/app/7za.exe"
"$pack" build "$work/app" --main 7za.exe -o "$work/packed.exe" -q

# A tmux server of this test's own, ended when the test ends.
server=onefile-prompt-$$
finish() { tmux -L "$server" kill-server 2>/dev/null || true; }
trap finish EXIT
tmux -L "$server" new-session -d -s prompt -x 200 -y 50 \
  "env WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all wine cmd; sleep 600"
screen() { tmux -L "$server" capture-pane -t prompt -p -J -S -200; }
# Waits until the screen shows a line matching the pattern; fails after 60 s.
wait_for() {
  for _ in $(seq 600); do
    screen | grep -qE "$1" && return 0
    sleep 0.1
  done
  fail "the screen never showed '$1': $(screen)"
}
type_line() { tmux -L "$server" send-keys -t prompt -l "$1" && tmux -L "$server" send-keys -t prompt Enter; }

wait_for '^[A-Z]:\\.*>'
# Typed from the program's own folder, as a user would, so that the command
# stays on one line of the screen whatever the checkout's path.
type_line "cd /d $(winepath -w "$work")"
wait_for 'console-at-the-prompt>$'
type_line "packed.exe t missing.7z & echo AFTER"
wait_for '^AFTER'
type_line 'echo STATUS-%ERRORLEVEL%'
wait_for '^STATUS-'
shown=$(screen)
# The number of the nth line that matches, or nothing.
line_of() { grep -n -e "$1" <<<"$shown" | sed -n "${2:-1}p" | cut -d: -f1; }
# 7-Zip's banner and its complaint (the second line naming the archive; the
# first is the command typed) come whole, before AFTER and the next prompt.
banner=$(line_of '^7-Zip') complaint=$(line_of 'missing.7z' 2) after=$(line_of '^AFTER')
[ -n "$banner" ] && [ "$banner" -lt "$after" ] || fail "7-Zip's banner did not come before AFTER: $shown"
[ -n "$complaint" ] && [ "$complaint" -lt "$after" ] || fail "7-Zip's complaint did not come before AFTER: $shown"
grep -qx 'STATUS-2' <<<"$shown" || fail "%ERRORLEVEL% is not 7-Zip's status 2: $shown"
type_line exit
echo ok
