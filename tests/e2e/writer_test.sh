#!/usr/bin/env bash
# The real word processor, LibreOffice Writer, with a private profile: Apri (Ctrl+Enter)
# opens the document in a Writer window; while Writer holds it Cancella leaves it; once
# Writer has closed it Cancella deletes it; the lock file of a Writer that was killed is
# stale and blocks nothing.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
command -v lowriter >/dev/null || { echo "SKIP: LibreOffice Writer is not installed"; exit 77; }
start_category_office

export HOME=$E2E_TMP/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export SAL_USE_VCLPLUGIN=gen  # plain X11: no desktop session needed
profile=$XDG_CONFIG_HOME/libreoffice/4/user
mkdir -p "$profile"
cat >"$profile/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
</oor:items>
XCU

# Writer's processes are the ones started with this test's private HOME.
writer_pids() {
  local environ
  for environ in /proc/[0-9]*/environ; do
    grep -qzx "HOME=$HOME" "$environ" 2>/dev/null && [[ "$(readlink "${environ%/environ}/exe")" == *office* ]] &&
      basename "${environ%/environ}"
  done
  return 0
}
kill_writer() {
  local pids
  pids=$(writer_pids)
  [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
}
trap 'kill_writer; e2e_cleanup' EXIT

# wait_seconds LIMIT TEST...: waits up to LIMIT seconds for the test command to succeed.
wait_seconds() {
  local limit=$1
  shift
  for _ in $(seq $((limit * 5))); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

printf '{\\rtf1\\ansi Lettera di prova\\par}\n' >"$contab/Lettera.doc"
printf '{\\rtf1\\ansi Verbale di prova\\par}\n' >"$contab/Verbale.doc"

"$VELLORIA" 1 13 "$office/DATI/" "" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
click_at "$window" 300 51  # the list: Lettera.doc, Verbale.doc

delete_answered_yes() {
  keys "$window" Home ctrl+Delete
  keys "$(wait_window '^Confirm$')" y
  sleep 0.5
}

# A document open in Writer is not asked about: a box says who has it open.
delete_refused() {
  keys "$window" Home ctrl+Delete
  keys "$(wait_window '^Velloria$')" Return
  [ "$(count_windows '^Confirm$')" = 0 ] || fail "the document open in Writer was asked about"
  sleep 0.5
}

# Writer's first start under Xvfb takes many seconds.
keys "$window" Home ctrl+Return Escape  # Escape: an editor the Enter release may have opened
writer=$(timeout 120 xdotool search --sync --onlyvisible --name '^Lettera\.doc - LibreOffice' | head -1) ||
  fail "no Writer window for Lettera.doc"
wait_seconds 30 test -e "$contab/.~lock.Lettera.doc#" || fail "Writer wrote no lock file"
delete_refused
[ -e "$contab/Lettera.doc" ] || fail "the document open in Writer was deleted"

# Writer closes the document (Ctrl+W) and removes its lock file.
xdotool windowfocus --sync "$writer" key ctrl+w
wait_seconds 30 test ! -e "$contab/.~lock.Lettera.doc#" || fail "Writer kept its lock file"
delete_answered_yes
wait_file absent "$contab/Lettera.doc"

# A Writer that ends without closing the document leaves its lock file behind.
keys "$window" Home ctrl+Return Escape
wait_seconds 60 test -e "$contab/.~lock.Verbale.doc#" || fail "Writer did not open Verbale.doc"
kill_writer
wait_seconds 10 test -z "$(writer_pids)" || fail "Writer did not end"
[ -e "$contab/.~lock.Verbale.doc#" ] || fail "the killed Writer removed its lock file"
delete_answered_yes
wait_file absent "$contab/Verbale.doc"
echo "PASS"
