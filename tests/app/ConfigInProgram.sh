#!/usr/bin/env bash
# The program itself under a virtual display: the configuration dialog is opened from
# the window's Config button, a new IF and clock are typed and committed with OK, the
# chip is loaded with the word they give for the tuned frequency, and after a restart
# both are still in force: for the Elektor board's AD9835 and for the VESKA board's
# AD9951, whose clock is otherwise derived from the IF at every start. Exits 77
# (skipped) without Xvfb or xdotool.
set -euo pipefail
program=$1
for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

work=$(mktemp -d)
xserver=""
trap '[ -z "$xserver" ] || kill "$xserver" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config/ORVIKSDR" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
printf '[MainBand]\r\nName=Test\r\n' > "$work/home/Test.bpl"
ini="$work/config/ORVIKSDR/ORVIKSDR.ini"
# The Elektor board keeps its clock in the settings and is loaded through the parallel
# port, recorded; the full display shows Config. Tuned to 6 MHz (tenths of a hertz).
cat > "$ini" <<'INI'
[frmMain]
FullDisplay=TRUE
VFO1.IFType=1
SDRModelNo=1
AutoStartSDR=False
[VFO1.ElektorDRM]
DDSInterfaceType=1
TunedFrequency=60000000
INI

# wait_for <seconds> <command...>: runs the command until it succeeds or the time is up.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
export -f wait_for

export XDG_CONFIG_HOME="$work/config" ORVIKSDR_HOME="$work/home" XDG_DATA_HOME="$work/home" \
       XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb ORVIKSDR_SOUND=null \
       ORVIKSDR_SYNTH_PORT="record:$work/synth.txt"

# Xvfb picks a free display itself and names it when it takes connections: choosing one
# by its lock file races with the other display tests running beside this one. -noreset:
# the server would otherwise start over whenever its last client left, turning away the
# program if it connected just then.
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xserver=$!
wait_for 60 test -s "$work/display" || { echo "the virtual display did not come up"; exit 1; }
export DISPLAY=":$(head -1 "$work/display")"

# run <script>: starts the program, waits until its start-up is through (the trace's last
# line) and its window is shown, runs the script with $main set, then ends the program as
# the desktop would and waits until it has saved.
run() {
  rm -f "$ORVIKSDR_HOME/ORVIKSDR.log"
  bash -c '
    set -eu
    "$1" trace >"$3" 2>&1 &
    pid=$!
    started() { grep -q "frmMain:frmMain:Form_Initialize:End" "$ORVIKSDR_HOME/ORVIKSDR.log" 2>/dev/null; }
    shown() {
      main=$(xdotool search --onlyvisible --name "^ORVIKSDR\$" 2>/dev/null | head -1 || true)
      [ -n "$main" ]
    }
    main=""
    wait_for 60 started || { echo "the start-up did not finish"; kill -KILL $pid; exit 1; }
    wait_for 60 shown || { echo "the main window did not appear"; kill -KILL $pid; exit 1; }
    eval "$2"
    kill -TERM $pid
    wait $pid || true
  ' run "$program" "$1" "$work/program.log"
}

# The last frequency word the AD9835 was loaded with, from the recorded parallel writes:
# frames end at a write of 0, a bit is taken where D1 rises (D0 clear is a 1: the board
# inverts), and a load is the frames 30xx 21xx 32xx 23xx carrying the word's four bytes.
last_ad9835_word() {
  awk 'function hex(t,   i, r) {
         t = tolower(substr(t, 3)); r = 0
         for (i = 1; i <= length(t); i++) r = r * 16 + index("0123456789abcdef", substr(t, i, 1)) - 1
         return r
       }
       $1 == "parallel" {
         v = hex($3)
         if (v == 0) { if (n == 16) word[++frames] = bits; n = 0; bits = 0; clock = 0; next }
         d1 = int(v / 2) % 2
         if (d1 == 1 && clock == 0) { bits = bits * 2 + (v % 2 == 0 ? 1 : 0); n++ }
         clock = d1
       }
       END {
         for (i = frames; i >= 4; i--) {
           a = int(word[i-3] / 256); b = int(word[i-2] / 256); c = int(word[i-1] / 256); d = int(word[i] / 256)
           if (a == 48 && b == 33 && c == 50 && d == 35) { # 30xx 21xx 32xx 23xx
             printf "%.0f\n", (word[i] % 256) * 16777216 + (word[i-1] % 256) * 65536 + (word[i-2] % 256) * 256 + word[i-3] % 256
             exit
           }
         }
       }' "$1"
}

value() { # value <section> <key>
  awk -v s="[$1]" -v k="$2" 'tolower($0)==tolower(s){on=1;next} /^\[/{on=0} on{split($0,a,"="); if (tolower(a[1])==tolower(k)) print substr($0,length(a[1])+2)}' "$ini" | tr -d '\r'
}

# Opens the dialog, types IF 10 700 000 and clock 60 000 000 and presses OK.
apply_in_dialog='
  xdotool mousemove --window "$main" 44 461 click 1
  dialog=""
  opened() {
    dialog=$(xdotool search --onlyvisible --name "^ORVIKSDR - Configuration\$" 2>/dev/null | head -1 || true)
    [ -n "$dialog" ]
  }
  wait_for 60 opened || { echo "the dialog did not open"; exit 1; }
  # The program takes the pointer and key events in the order they were sent.
  # Tab captions as the desktop font lays them out: "VFO" about 168 to 217, "DDS" 217 to 268.
  type_into_page() { # type_into_page <x of the tab> <text>
    xdotool mousemove --window "$dialog" "$1" 20 click 1
    xdotool mousemove --window "$dialog" 220 65 click 1
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
  }
  type_into_page 192 "10 700 000"
  type_into_page 242 "60 000 000"
  xdotool mousemove --window "$dialog" 214 390 click 1
  wait_for 60 eval "! opened" || { echo "OK left the dialog open"; exit 1; }
'
run "$apply_in_dialog"
if ! [ "$(value VFO1.ElektorDRM IFFrequency)" = 10700000 ] || ! [ "$(value DDSAD9835 CLKIn)" = 60000000 ]; then
  echo "after OK: IF '$(value VFO1.ElektorDRM IFFrequency)', clock '$(value DDSAD9835 CLKIn)'"
  cat "$work/program.log"
  exit 1
fi
# 6 MHz above the 10.7 MHz IF on a 60 MHz clock: 167e6 x 2^32 / 600e6 (tenths of a hertz).
expected=$(awk 'BEGIN { printf "%.0f", 167000000 * 4294967296 / 600000000 }')
word=$(last_ad9835_word "$work/synth.txt")
if [ "$word" != "$expected" ]; then
  echo "the chip was last loaded with '$word', not $expected"
  exit 1
fi

# A start that read them back saves them again at its end; one that had not would
# save its defaults (455 000 Hz, 50 MHz) over them.
run ':'
if ! [ "$(value VFO1.ElektorDRM IFFrequency)" = 10700000 ] || ! [ "$(value DDSAD9835 CLKIn)" = 60000000 ]; then
  echo "after a restart: IF '$(value VFO1.ElektorDRM IFFrequency)', clock '$(value DDSAD9835 CLKIn)'"
  cat "$work/program.log"
  exit 1
fi

# The last frequency word the AD9951 was loaded with through the parallel port: a frame
# of 40 bits (taken as above) whose first byte is the instruction 04.
last_ad9951_word() {
  awk 'function hex(t,   i, r) {
         t = tolower(substr(t, 3)); r = 0
         for (i = 1; i <= length(t); i++) r = r * 16 + index("0123456789abcdef", substr(t, i, 1)) - 1
         return r
       }
       function frame_end() {
         if (n == 40 && head == 4) last = word
         n = 0; head = 0; word = 0; clock = 0
       }
       $1 == "parallel" {
         v = hex($3)
         if (v == 0) { frame_end(); next }
         d1 = int(v / 2) % 2
         if (d1 == 1 && clock == 0) {
           bit = v % 2 == 0 ? 1 : 0
           if (n < 8) head = head * 2 + bit; else word = word * 2 + bit
           n++
         }
         clock = d1
       }
       END { frame_end(); if (last != "") printf "%.0f\n", last }' "$1"
}

cat > "$ini" <<'INI'
[frmMain]
FullDisplay=TRUE
VFO1.IFType=1
SDRModelNo=0
AutoStartSDR=False
[VFO1.VESKA]
DDSInterfaceType=1
TunedFrequency=60000000
INI
run "$apply_in_dialog"
if ! [ "$(value VFO1.VESKA IFFrequency)" = 10700000 ] || ! [ "$(value DDSAD9951 ClkIn)" = 60000000 ]; then
  echo "VESKA after OK: IF '$(value VFO1.VESKA IFFrequency)', clock '$(value DDSAD9951 ClkIn)'"
  cat "$work/program.log"
  exit 1
fi
# The restarted program loads the chip with the word of the applied clock, not of
# 8 x (10 700 000 + 12 000) Hz.
: > "$work/synth.txt"
run 'sleep 0.5'
word=$(last_ad9951_word "$work/synth.txt")
if [ "$word" != "$expected" ]; then
  echo "VESKA after a restart: the chip was last loaded with '$word', not $expected"
  cat "$work/program.log"
  exit 1
fi
echo "IF and clock applied from the dialog and in force after a restart, on both boards"
