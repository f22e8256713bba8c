#!/usr/bin/env bash
# An office on a real Samba server, two desks per client on one machine: the office's folder
# (DATI beside Stampe) shared and mounted twice through smbnetfs and twice through gvfs,
# clients that keep record locks on this machine. xbtool check warns through each mount;
# four engine writers on the two smbnetfs desks lose nothing (each either does all its work
# or is refused before it writes), nor do two writers at one desk given the administrator's
# word that no other desk uses the tables (on gvfs, which cannot write an existing file,
# refused before writing, saying why); an exclusive open at one desk is refused while the
# other desk has the table open, and goes through on that word alone; and the program,
# started on each client, shows the categories whose folders exist, notes the share's
# problem in a box and works Apri, Rinomina, Cancella, Duplica and Sposta in on the server.
# Skipped (77) where smbd, FUSE or network namespaces are missing.
source "$(dirname "$0")/file_server_lib.sh"
file_server_enter_namespace "$0" "$@"
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
trap 'file_server_stop; e2e_cleanup' EXIT
# The program's one-instance socket is named after the display, in the runtime folder: a
# folder of this test's own, and a display number the tests outside do not take.
export XDG_RUNTIME_DIR=$E2E_TMP/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export E2E_FIRST_DISPLAY=200

ENGINE="$(dirname "$VELLORIA")/../lib/libxbengine.so"
TABLE_HOLDER="$(dirname "$VELLORIA")/table_holder"
[ -e "$ENGINE" ] && [ -x "$TABLE_HOLDER" ] || fail "missing $ENGINE or $TABLE_HOLDER"
WRITERS="$(dirname "$0")/share_writers.py"
# An engine built with the sanitizers needs their runtime loaded first into Python, which
# is not built with them (and whose own allocations are no leaks of ours).
PYTHON_ENV=()
asan_runtime=$(ldd "$ENGINE" | awk '/libasan/ {print $3}')
[ -z "$asan_runtime" ] || PYTHON_ENV=(env "LD_PRELOAD=$asan_runtime" ASAN_OPTIONS=detect_leaks=0)
INCREMENTS=${FILE_SERVER_INCREMENTS:-3000}
APPENDS=${FILE_SERVER_APPENDS:-300}
HOT=5

office=$E2E_TMP/office  # the server's own disk
make_category_office "$office"
docs=$office/Stampe/CONTAB
echo alfa >"$docs/Alfa.doc"
printf 'beta\0\1\2 bytes\n' >"$docs/Beta.doc"
echo vecchia >"$docs/Vecchia.doc"
file_server_start "$E2E_TMP/server" "$office"
smbnetfs_desk smbnetfs-1; smbnetfs_1=$DESK_SHARE
smbnetfs_desk smbnetfs-2; smbnetfs_2=$DESK_SHARE
gvfs_desk gvfs-1; gvfs_1=$DESK_SHARE
gvfs_desk gvfs-2; gvfs_2=$DESK_SHARE
for share in "$smbnetfs_1" "$smbnetfs_2" "$gvfs_1" "$gvfs_2"; do
  cmp -s "$share/Stampe/CONTAB/Beta.doc" "$docs/Beta.doc" || fail "the share does not show the office at $share"
done
echo "ok: smbd in its own network namespace, the share mounted twice through smbnetfs and twice through gvfs"

# xbtool check through each mount: a warning that names the client and says that locks
# stay on this machine, and the table sound.
for share in "$smbnetfs_1" "$smbnetfs_2" "$gvfs_1" "$gvfs_2"; do
  client=smbnetfs
  [[ "$share" == */gvfs/* ]] && client=gvfs
  out=$("$XBTOOL" check "$share/Stampe/STAMPE.DBF" 2>&1) || fail "xbtool check through $client: $out"
  grep -i '^warning:' <<<"$out" | grep -i "$client" | grep -qi 'locks stay on this machine' ||
    fail "xbtool check through $client gives no warning naming the client and local locks: $out"
  [[ "$out" == *": sound" ]] || fail "xbtool check through $client: $out"
done
echo "ok: xbtool check warns through each mount, naming its client: locks stay on this machine"

# new_counts: the writers' table on the server's disk, HOT records at 0.
new_counts() {
  counts=$office/DATI/CONTATORI.DBF
  "$XBTOOL" create "$counts" N:N:10 TAG:C:20 >/dev/null
  for _ in $(seq "$HOT"); do "$XBTOOL" append "$counts" N=0 TAG=hot >/dev/null; done
}

# run_writers [OPTION] SHARE...: one writer through each SHARE at once, each with OPTION when
# it is given; their lines in $E2E_TMP/writer.N.
run_writers() {
  local option=() i=0 pids=() status begin
  [[ "$1" == --* ]] && { option=("$1"); shift; }
  rm -f "$E2E_TMP"/writer.*
  begin=$(date +%s)
  for share in "$@"; do
    i=$((i + 1))
    "${PYTHON_ENV[@]}" /usr/bin/python3 "$WRITERS" "$ENGINE" "$share/DATI/CONTATORI.DBF" "w$i" "$INCREMENTS" "$APPENDS" \
      "$HOT" "${option[@]}" >"$E2E_TMP/writer.$i" 2>&1 &
    pids+=($!)
    E2E_PIDS+=($!)
  done
  for i in "${!pids[@]}"; do
    status=0
    wait "${pids[i]}" || status=$?
    [ "$status" = 0 ] || [ "$status" = 2 ] || fail "writer $((i + 1)) ended with $status: $(cat "$E2E_TMP/writer.$((i + 1))")"
    cat "$E2E_TMP/writer.$((i + 1))"
  done
  echo "note: $# writers took $(( $(date +%s) - begin )) s ($INCREMENTS increments and $APPENDS appends each)"
}

# check_writers finished|finished-or-refused: the table is sound on the server's disk and
# holds exactly what the writers report: the hot records' sum is the increments done, one
# record per append done, each with its own tag. Each writer finished its work, or (with
# finished-or-refused) was refused with a code and a text before it wrote anything.
check_writers() {
  local out
  out=$("$XBTOOL" check "$counts") || fail "xbtool check on the server's disk after the writers: $out"
  [[ "$out" == *": sound" ]] || fail "xbtool check on the server's disk after the writers: $out"
  /usr/bin/python3 - "$1" "$counts" "$INCREMENTS" "$APPENDS" "$HOT" "$E2E_TMP"/writer.* <<'PY'
import re, sys
from collections import Counter
from dbfread import DBF
may_refuse, table = sys.argv[1] == "finished-or-refused", sys.argv[2]
increments, appends, hot = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
done_increments = done_appends = 0
expected_tags = Counter()
for path in sys.argv[6:]:
    line = open(path).read().strip()
    m = re.match(r"writer (\w+): increments=(\d+) appends=(\d+)", line)
    if not m:
        sys.exit("unreadable writer line: " + line)
    name, inc, app = m.group(1), int(m.group(2)), int(m.group(3))
    refused = " refused at " in line
    if refused and not may_refuse:
        sys.exit("a writer was refused: " + line)
    if refused and "wrote_before=no" not in line:
        sys.exit("a writer was refused after writing: " + line)
    if refused and not re.search(r"code=[1-9]\d* text=(['\"]).+\1 wrote_before=", line):
        sys.exit("a refusal without an error code and text: " + line)
    if not refused and (inc, app) != (increments, appends):
        sys.exit("a writer neither finished nor was refused: " + line)
    done_increments += inc
    done_appends += app
    expected_tags.update("%s-%d" % (name, k) for k in range(1, app + 1))
records = list(DBF(table, encoding="cp1252"))
hot_sum = sum(int(r["N"]) for r in records[:hot])
tags = Counter(r["TAG"] for r in records[hot:])
if hot_sum != done_increments:
    sys.exit("lost increments: the hot records hold %d, the writers did %d" % (hot_sum, done_increments))
if len(records) != hot + done_appends:
    sys.exit("lost appends: %d records, expected %d" % (len(records), hot + done_appends))
if tags != expected_tags:
    sys.exit("appended records overwritten: %d distinct tags of %d" % (len(tags), done_appends))
print("%d increments and %d appends done, all in the table" % (done_increments, done_appends))
PY
}

# Four writers, two per smbnetfs desk, on one table at once.
new_counts
run_writers "$smbnetfs_1" "$smbnetfs_1" "$smbnetfs_2" "$smbnetfs_2"
done=$(check_writers finished-or-refused 2>&1) || fail "the four writers on two smbnetfs desks: $done"
echo "ok: 0 lost by four writers on two smbnetfs desks: $done"

# With the administrator's word that no other desk uses the tables, two writers at one
# desk write as on a local disk: all their work, nothing lost.
new_counts
run_writers --local-locks-accepted "$smbnetfs_1" "$smbnetfs_1"
done=$(check_writers finished 2>&1) || fail "two writers at one smbnetfs desk with local locks accepted: $done"
echo "ok: 0 lost by two writers at one smbnetfs desk with local locks accepted: $done"

# gvfs cannot open an existing file for writing: even on the administrator's word a writer
# there is refused before it writes, and the reason names the file system.
new_counts
run_writers --local-locks-accepted "$gvfs_1"
done=$(check_writers finished-or-refused 2>&1) || fail "a writer on gvfs with local locks accepted: $done"
line=$(cat "$E2E_TMP/writer.1")
[[ "$line" == *" refused at "* ]] || fail "a writer on gvfs wrote: $line"
reason=${line#* refused at }
reason=${reason//"${gvfs_1%/*}"/MOUNT}  # the paths name gvfs's folder
grep -qi gvfs <<<"$reason" || fail "the refusal on gvfs does not name the file system: $line"
[[ "$line" != *"The file is read-only"* ]] || fail "the refusal on gvfs blames the file's rights: $line"
echo "ok: a writer on gvfs with local locks accepted is refused before writing, naming the file system"

# An exclusive open at desk 2 while desk 1 holds the table open shared: refused, saying why,
# and no index made.
for pair in "smbnetfs $smbnetfs_1 $smbnetfs_2" "gvfs $gvfs_1 $gvfs_2"; do
  read -r client first second <<<"$pair"
  coproc HOLDER { "$TABLE_HOLDER" "$first/Stampe/STAMPE.DBF" shared; }
  read -r ready <&"${HOLDER[0]}" || fail "table_holder through $client said nothing"
  [[ "$ready" == ready* ]] || fail "table_holder through $client: $ready"
  status=0
  out=$("$XBTOOL" index "$second/Stampe/STAMPE.DBF" "$second/Stampe/DESCR.NTX" DESCRIZIO 2>&1) || status=$?
  eval "exec ${HOLDER[1]}>&-"
  wait "$HOLDER_PID" || true
  [ "$status" != 0 ] || fail "an exclusive open through $client desk 2 went through while desk 1 had the table open"
  grep -qiE 'locks stay on this machine|open by another program|exclusive' <<<"$out" ||
    fail "the refused exclusive open through $client does not say why: $out"
  [ ! -e "$office/Stampe/DESCR.NTX" ] || fail "the refused exclusive open through $client made an index"
  echo "ok: an exclusive open through $client desk 2 is refused while desk 1 has the table open: $out"
done
# With the administrator's word and no other desk on the table, the same index is made.
out=$("$XBTOOL" index "$smbnetfs_2/Stampe/STAMPE.DBF" "$smbnetfs_2/Stampe/DESCR.NTX" DESCRIZIO --no-other-desks 2>&1) ||
  fail "xbtool index --no-other-desks through smbnetfs: $out"
out=$("$XBTOOL" check "$office/Stampe/STAMPE.DBF" "$office/Stampe/DESCR.NTX") ||
  fail "the index made through smbnetfs with --no-other-desks: $out"
rm "$office/Stampe/DESCR.NTX"
echo "ok: with --no-other-desks an exclusive open through smbnetfs makes a sound index"

# Rows of the category grid in screenshot $1: runs of sky blue (a type 1 row) or navy (the
# current row) down a line through the grid's rows.
category_rows() {
  /usr/bin/convert "$1" -crop 1x370+150+20 +repage txt:- | awk '
    /#A6CAF0|#000080/ { if (!inside) rows++; inside = 1; next }
    /^[0-9]/ { inside = 0 }
    END { print rows + 0 }'
}

install_winword_recorder
start_xvfb

# program_on CLIENT SHARE ROWS: the program on SHARE/DATI/ (so its Stampe folder is
# SHARE/Stampe): it starts, the grid shows ROWS categories, a box notes the share's problem,
# and Apri, Rinomina, Cancella and Duplica act on the server's disk.
program_on() {
  local client=$1 share=$2 rows=$3 window box before pid opened
  before=$(visualizza_column "$office/Stampe/STAMPE.DBF")
  rm -f "$E2E_TMP/winword.args"
  (cd / && PATH="$E2E_TMP/bin:$PATH" exec "$VELLORIA" 1 12 "$share/DATI/" "" 2>"$E2E_TMP/err.$client") &
  pid=$!
  E2E_PIDS+=($pid)
  window=$(wait_window '^Tarvolo - Gestione')
  box=$(wait_window '^Warning$')
  keys "$box" Return
  sleep 1
  import -window "$window" "$E2E_TMP/shot.$client.png"
  [ "$(category_rows "$E2E_TMP/shot.$client.png")" = "$rows" ] ||
    fail "$client: the grid shows $(category_rows "$E2E_TMP/shot.$client.png") categories, expected $rows"
  [ "$(visualizza_column "$office/Stampe/STAMPE.DBF")" = "$before" ] ||
    fail "$client: the program wrote VISUALIZZA through a mount whose locks stay on this machine"
  echo "ok: $client: the program starts, shows the $rows categories whose folders exist and notes the share"

  # The category's folder is named as DIR has it ("contab"): the share ignores letter case.
  click_at "$window" 300 51  # the list's first row: Alfa.doc
  keys "$window" Home ctrl+Return
  wait_file present "$E2E_TMP/winword.args"
  opened=$(cat "$E2E_TMP/winword.args")
  [[ "$opened" == "$share/Stampe/"*/Alfa.doc ]] && cmp -s "$opened" "$docs/Alfa.doc" ||
    fail "$client: the word processor got $opened"
  echo "ok: $client: Apri started the word processor on $opened"

  keys "$window" Home Down F2 N u o v o Return  # Beta.doc
  wait_file present "$docs/Nuovo.doc"
  wait_file absent "$docs/Beta.doc"
  echo "ok: $client: Rinomina renamed Beta.doc to Nuovo.doc on the server"

  keys "$window" F5 End ctrl+Delete  # Vecchia.doc
  keys "$(wait_window '^Confirm$')" y
  wait_file absent "$docs/Vecchia.doc"
  # A client whose mount's top is the share keeps the share's own Trash; smbnetfs and gvfs
  # mount many shares under one top, where no Trash can be made, and Cancella there asks
  # whether to delete for good.
  local trashed
  trashed=$(cd "$office" && find . -path '*/.Trash*/files/Vecchia.doc*' | head -1)
  echo "ok: $client: Cancella took Vecchia.doc off the server's folder (${trashed:-deleted for good, no Trash on this mount})"
  find "$office" -maxdepth 1 -name '.Trash*' -exec rm -rf {} +  # the next client starts anew

  keys "$window" F5 Home ctrl+d
  wait_file present "$docs/Copia di Alfa.doc"
  cmp -s "$docs/Alfa.doc" "$docs/Copia di Alfa.doc" || fail "$client: the copy differs from Alfa.doc"
  echo "ok: $client: Duplica made Copia di Alfa.doc on the server, the same bytes"

  # Where the grid shows Lettere too, "Sposta in…" moves a document there on the server and
  # Ctrl+Z brings it back.
  if [ "$rows" = 2 ]; then
    keys "$window" F5 Home Menu s
    keys "$(wait_window '^Sposta in$')" l e t Return
    wait_file present "$office/Stampe/LETT/Alfa.doc"
    wait_file absent "$docs/Alfa.doc"
    keys "$window" ctrl+z
    wait_file present "$docs/Alfa.doc"
    wait_file absent "$office/Stampe/LETT/Alfa.doc"
    echo "ok: $client: Sposta in moved Alfa.doc into Lettere on the server, and Annulla brought it back"
  fi

  kill "$pid"
  wait_exit "$pid" 10
  # The next start waits for this one's windows to go: xdotool's search fails on a window
  # destroyed while it reads the names.
  for _ in $(seq 50); do
    [ "$(count_windows '^(Tarvolo|Warning)')" = 0 ] && sleep 0.5 && break
    sleep 0.1
  done
  ! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err.$client" || fail "$client: sanitizer report: $(cat "$E2E_TMP/err.$client")"
  mv "$docs/Nuovo.doc" "$docs/Beta.doc"
  echo vecchia >"$docs/Vecchia.doc"
  rm "$docs/Copia di Alfa.doc"
}

# The stored VISUALIZZA disagrees with the folders: Sparita is shown but has no folder, and
# Contabilità and Lettere are hidden but have one. The grid shows those two.
program_on gvfs "$gvfs_1" 2
# The Lettere folder goes on the server's disk: the grid shows Contabilità alone.
mv "$office/Stampe/LETT" "$E2E_TMP/LETT"
program_on smbnetfs "$smbnetfs_1" 1
echo "PASS"
