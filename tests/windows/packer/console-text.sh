#!/usr/bin/env bash
# onefile-pack.exe's text in an interactive Windows console (Wine's cmd in a
# tmux pane) whose code page is a legacy one (850): names in Cyrillic, CJK and
# outside the BMP must reach the console as they are, since the tool gives a
# console UTF-16. The screen is read back from tmux; Wine's terminal console
# draws every UTF-16 unit on its own, so no character outside the BMP can
# show there, and those are read from the console's screen buffer instead
# (console-screen). As a control, the same names given to that console as
# UTF-8 bytes come out garbled. Redirected to a file, the tool's text is UTF-8.
#
#   console-text.sh LINUX_PACK WINDOWS_PACK CONSOLE_SCREEN WORK_DIR
set -euo pipefail
linux_pack=$1 windows_pack=$2 console_screen=$3 work=$4
export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }
wine_path() { winepath -w "$1" 2>/dev/null; }
LEGACY_CODE_PAGE=850

rm -rf "$work" && mkdir -p "$work/app/Жук 日本"
bmp_name='Жук 日本\ноты.txt'
name='Жук 日本\ноты-𝄞-🙂.txt'
printf 'main\n' >"$work/app/Start.exe"
printf 'in the BMP\n' >"$work/app/Жук 日本/ноты.txt"
printf 'outside the BMP\n' >"$work/app/Жук 日本/ноты-𝄞-🙂.txt"
"$linux_pack" payload "$work/app" --main Start.exe -o "$work/names.payload" -q
printf '%s\r\n' "$bmp_name" >"$work/name-utf8.txt"

# A tmux server of this test's own, so that no other session is touched.
tmux_do() { tmux -L "onefile-console-$$" "$@"; }
trap "tmux_do kill-server 2>/dev/null || true" EXIT
tmux_do new-session -d -x 200 -y 50 "cd '$work' && wine cmd"
screen() { tmux_do capture-pane -p -J -S -200; }
# Keys typed before cmd shows its prompt reach a terminal not yet in Wine's hands.
for _ in $(seq 1 300); do
  grep -q '>$' <<<"$(screen)" && break
  sleep 0.1
done
# Types a command and waits until the marker it echoes shows.
type_line() {
  local marker=$1 line=$2
  tmux_do send-keys "$line & echo $marker-%ERRORLEVEL%" Enter
  for _ in $(seq 1 300); do
    grep -q "^$marker-" <<<"$(screen)" && return 0
    sleep 0.1
  done
  fail "no end of '$line' on the screen: $(screen)"
}
pack=$(wine_path "$windows_pack") payload=$(wine_path "$work/names.payload")
type_line CHCP "chcp $LEGACY_CODE_PAGE"
type_line LISTED "$pack list $payload"
type_line SCREEN "$(wine_path "$console_screen") $(wine_path "$work/buffer.txt")"
type_line TYPED "type $(wine_path "$work/name-utf8.txt")"
type_line WRITTEN "$pack list $payload > $(wine_path "$work/list.txt")"
shown=$(screen)
printf '%s\n' "$shown" >"$work/screen.txt"

grep -q "^CHCP-0" <<<"$shown" || fail "chcp failed: $shown"
grep -q "^LISTED-0" <<<"$shown" || fail "list failed in the console: $shown"
listed=$(sed -n '/& echo LISTED-/,/^LISTED-/p' <<<"$shown")
grep -qF " $bmp_name" <<<"$listed" || fail "the console does not show $bmp_name: $listed"
grep -q "^SCREEN-0" <<<"$shown" || fail "the console's screen buffer could not be read: $shown"
grep -qF " $name" "$work/buffer.txt" || fail "the console was not given $name: $(cat "$work/buffer.txt")"
typed=$(sed -n '/& echo TYPED-/,/^TYPED-/p' <<<"$shown")
if grep -qF "$bmp_name" <<<"$typed"; then
  fail "this console shows UTF-8 bytes as they are, so it cannot tell wide text from bytes: $typed"
fi
grep -qF " $name"$'\r' "$work/list.txt" || fail "the redirected text is not UTF-8 with CR LF: $(cat "$work/list.txt")"
echo "onefile-pack.exe: names reach a console of code page $LEGACY_CODE_PAGE as they are; UTF-8 in a file"
