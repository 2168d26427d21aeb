#!/usr/bin/env bash
# The program itself under a virtual display: the configuration dialog is opened from
# the window's Config button, a new IF and clock are typed and committed with OK, and
# after a restart both are still in force. Exits 77 (skipped) without xvfb-run or xdotool.
set -euo pipefail
program=$1
for tool in xvfb-run xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/ORVIKSDR" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
printf '[MainBand]\r\nName=Test\r\n' > "$work/home/Test.bpl"
ini="$work/config/ORVIKSDR/ORVIKSDR.ini"
# The Elektor board keeps its clock in the settings; the full display shows Config.
cat > "$ini" <<'INI'
[frmMain]
FullDisplay=TRUE
VFO1.IFType=1
SDRModelNo=1
AutoStartSDR=False
INI

export XDG_CONFIG_HOME="$work/config" ORVIKSDR_HOME="$work/home" XDG_DATA_HOME="$work/home" \
       XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb ORVIKSDR_SOUND=null

# run <script>: starts the program, waits for its window, runs the script with $main set,
# then ends the program as the desktop would and waits until it has saved.
run() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    set -eu
    "$1" >"$3" 2>&1 &
    pid=$!
    main=""
    for _ in $(seq 1 150); do
      main=$(xdotool search --name "^ORVIKSDR\$" 2>/dev/null | head -1 || true)
      [ -n "$main" ] && break
      sleep 0.2
    done
    [ -n "$main" ] || { echo "the main window did not appear"; kill -KILL $pid; exit 1; }
    sleep 1
    eval "$2"
    kill -TERM $pid
    wait $pid || true
  ' run "$program" "$1" "$work/program.log"
}

value() { # value <section> <key>
  awk -v s="[$1]" -v k="$2" 'tolower($0)==tolower(s){on=1;next} /^\[/{on=0} on{split($0,a,"="); if (tolower(a[1])==tolower(k)) print substr($0,length(a[1])+2)}' "$ini" | tr -d '\r'
}

run '
  xdotool mousemove --window "$main" 44 461 click 1
  dialog=""
  for _ in $(seq 1 50); do
    dialog=$(xdotool search --name "^ORVIKSDR - Configuration\$" 2>/dev/null | head -1 || true)
    [ -n "$dialog" ] && break
    sleep 0.2
  done
  [ -n "$dialog" ] || { echo "the dialog did not open"; exit 1; }
  sleep 0.5
  # Tab captions as the desktop font lays them out: "VFO" about 168 to 217, "DDS" 217 to 268.
  type_into_page() { # type_into_page <x of the tab> <text>
    xdotool mousemove --window "$dialog" "$1" 20 click 1
    sleep 0.4
    xdotool mousemove --window "$dialog" 220 65 click 1
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
  }
  type_into_page 192 "10 700 000"
  type_into_page 242 "60 000 000"
  xdotool mousemove --window "$dialog" 214 390 click 1
  sleep 0.5
  if xdotool search --name "^ORVIKSDR - Configuration\$" >/dev/null 2>&1; then echo "OK left the dialog open"; exit 1; fi
'
if ! [ "$(value VFO1.ElektorDRM IFFrequency)" = 10700000 ] || ! [ "$(value DDSAD9835 CLKIn)" = 60000000 ]; then
  echo "after OK: IF '$(value VFO1.ElektorDRM IFFrequency)', clock '$(value DDSAD9835 CLKIn)'"
  cat "$work/program.log"
  exit 1
fi

# A start that read them back saves them again at its end; one that had not would
# save its defaults (455 000 Hz, 50 MHz) over them.
run 'sleep 0.5'
if ! [ "$(value VFO1.ElektorDRM IFFrequency)" = 10700000 ] || ! [ "$(value DDSAD9835 CLKIn)" = 60000000 ]; then
  echo "after a restart: IF '$(value VFO1.ElektorDRM IFFrequency)', clock '$(value DDSAD9835 CLKIn)'"
  cat "$work/program.log"
  exit 1
fi
echo "IF and clock applied from the dialog and in force after a restart"
