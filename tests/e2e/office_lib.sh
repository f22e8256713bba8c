# Helpers of the program's end-to-end tests: a category office written with xbtool,
# reading the table back with dbfread, colour counts in screenshots, and keys and
# clicks sent to the program's window. Sourced after e2e_lib.sh.
XBTOOL="$(dirname "$VELLORIA")/xbtool"
[ -x "$XBTOOL" ] || fail "missing $XBTOOL: build the xbtool target"

# make_category_office DIR: DIR/DATI/ and DIR/Stampe/ with STAMPE.DBF holding a type 2
# category first, a type 1 one without folder, then two of type 1 with documents.
make_category_office() {
  local root=$1 table=$1/Stampe/STAMPE.DBF
  mkdir -p "$root/DATI/FG/AGENZIA" "$root/Stampe/DIDA" "$root/Stampe/CONTAB" "$root/Stampe/LETT"
  "$XBTOOL" create "$table" DESCRIZIO:C:40 DIR:C:20 VISUALIZZA:L TIPO:N:3 --codepage 1252 >/dev/null
  "$XBTOOL" append "$table" "DESCRIZIO=Didattica" DIR=DIDA VISUALIZZA=F TIPO=2 >/dev/null
  "$XBTOOL" append "$table" "DESCRIZIO=Sparita" DIR=GONE VISUALIZZA=T TIPO=1 >/dev/null
  "$XBTOOL" append "$table" "DESCRIZIO=Contabilità" DIR=contab VISUALIZZA=F TIPO=1 >/dev/null
  "$XBTOOL" append "$table" "DESCRIZIO=Lettere" DIR=LETT VISUALIZZA=F TIPO=1 >/dev/null
  echo scuola >"$root/Stampe/DIDA/Scuola.doc"
  echo lettera >"$root/Stampe/CONTAB/Lettera.doc"
  echo saluti >"$root/Stampe/LETT/Saluti.doc"
}

# start_category_office: Xvfb, then a category office in $office whose CONTAB folder is
# $contab.
start_category_office() {
  start_xvfb
  office=$E2E_TMP/office
  make_category_office "$office"
  contab=$office/Stampe/CONTAB
}

# install_winword_recorder: a WinWord stand-in in $E2E_TMP/bin (put it first on PATH)
# that writes each argument it gets on a line of $E2E_TMP/winword.args.
install_winword_recorder() {
  mkdir -p "$E2E_TMP/bin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/winword.args"\n' "$E2E_TMP" >"$E2E_TMP/bin/WinWord"
  chmod +x "$E2E_TMP/bin/WinWord"
}

# VISUALIZZA of every record, one letter each (T or F), read with dbfread.
visualizza_column() {
  /usr/bin/python3 - "$1" <<'PY'
import sys
from dbfread import DBF
print("".join("T" if r["VISUALIZZA"] else "F" for r in DBF(sys.argv[1], encoding="cp1252")))
PY
}

# The table's bytes with VISUALIZZA and the header's update date blanked, as hex.
table_without_sweep() {
  /usr/bin/python3 - "$1" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
count, header, size = struct.unpack_from("<IHH", data, 4)
offset, at = 1, 32
while data[at] != 0x0D:
    if data[at:at + 11].rstrip(b"\0") == b"VISUALIZZA":
        break
    offset += data[at + 16]
    at += 32
data[1:4] = b"\0\0\0"
for i in range(count):
    data[header + i * size + offset] = 0
print(data.hex())
PY
}

# Pixels of colour $2 (e.g. "#A6CAF0") in screenshot $1 within geometry $3 (WxH+X+Y).
count_colour() {
  /usr/bin/convert "$1" -crop "$3" +repage -format %c histogram:info:- |
    awk -v c="$2" 'index(toupper($0), c) { sum += $1 } END { print sum + 0 }'
}

# Sends keys to window $1 (xdotool names) and lets the program handle them.
keys() {
  local window=$1
  shift
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  xdotool key --delay 80 "$@"
  sleep 0.4
}

# Clicks at ($2, $3) inside window $1.
click_at() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.4
}

# Waits up to 10 s for a file test ($1 -e/! -e, $2 path).
wait_file() {
  for _ in $(seq 50); do
    if [ "$1" = present ] && [ -e "$2" ]; then return 0; fi
    if [ "$1" = absent ] && [ ! -e "$2" ]; then return 0; fi
    sleep 0.2
  done
  fail "$2 is not $1"
}

# expect_general_message NAME COMMAND...: runs the program (COMMAND, standard error to
# $E2E_TMP/err) and fails unless it shows the general message's box, ends with 1 once the
# box is answered, leaves no main window and prints no sanitizer report.
expect_general_message() {
  local name=$1 pid box
  shift
  "$@" 2>"$E2E_TMP/err" &
  pid=$!
  E2E_PIDS+=($pid)
  box=$(wait_window '^Error$')
  keys "$box" Return
  wait_exit "$pid" 10
  [ "$EXIT_CODE" = 1 ] || fail "$name: exit code $EXIT_CODE, expected the general message"
  [ "$(count_windows '^Tarvolo')" = 0 ] || fail "$name: the main window stayed"
  ! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "$name: sanitizer report: $(cat "$E2E_TMP/err")"
}

# Asks window $1 to close as a window manager's close button does (a WM_DELETE_WINDOW
# message), through libX11 by ctypes.
close_window() {
  /usr/bin/python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]

display = x.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
window = int(sys.argv[1])
event = Event()
event.client.type = 33  # ClientMessage
event.client.display = display
event.client.window = window
event.client.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.client.format = 32
event.client.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.client.data[1] = 0  # CurrentTime
if not x.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("the close message was not sent")
x.XFlush(display)
x.XCloseDisplay(display)
PY
  sleep 0.4
}
