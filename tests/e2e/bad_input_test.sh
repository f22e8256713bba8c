#!/usr/bin/env bash
# Bad input end to end, table-driven: damaged STAMPE.DBF files, odd DIR values, folders,
# code pages, data paths and 10,000 arguments. Each run ends with the general message (exit
# 1) or a normal start (exit 0), never a signal or a sanitizer report; untouched tables stay.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_xvfb
CASES=0

# run_program EXPECT NAME ARGS...: EXPECT is "refused" (the general message's box, exit
# 1, no main window left) or "starts" (the main window is shown, exit 0).
run_program() {
  local expect=$1 name=$2 pid
  shift 2
  CASES=$((CASES + 1))
  if [ "$expect" = starts ]; then
    VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1 "$VELLORIA" "$@" 2>"$E2E_TMP/err" &
    pid=$!
    E2E_PIDS+=($pid)
    wait_exit "$pid" 30
    [ "$EXIT_CODE" = 0 ] || fail "$name: exit code $EXIT_CODE, expected a normal start"
    ! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "$name: sanitizer report: $(cat "$E2E_TMP/err")"
  else
    expect_general_message "$name" "$VELLORIA" "$@"
  fi
  echo "ok: $name"
}

# malform KIND TABLE: damages a table of make_category_office in place.
malform() {
  /usr/bin/python3 - "$@" <<'PY'
import random, struct, sys
kind, path = sys.argv[1], sys.argv[2]
data = bytearray(open(path, "rb").read())
def u16(at, value): struct.pack_into("<H", data, at, value)
def u32(at, value): struct.pack_into("<I", data, at, value)
if kind == "empty": data = bytearray()
elif kind == "truncated-header": data = data[:20]
elif kind == "truncated-fields": data = data[:100]
elif kind == "record-length-short": u16(10, 64)
elif kind == "record-length-long": u16(10, 200)
elif kind == "record-length-zero": u16(10, 0)
elif kind == "field-past-record-end": data[32 + 32 + 16] = 60   # DIR 20 -> 60 wide
elif kind == "count-beyond-file": u32(4, 1000)
elif kind == "count-negative": u32(4, 0xFFFFFFFF)
elif kind == "header-length-beyond-file": u16(8, 60000)
elif kind == "no-terminator": data[160] = 0x20
elif kind == "garbage": data = bytearray(random.Random(9).randbytes(4096))
elif kind == "version-byte-garbage": data[0] = 0xFF
else: sys.exit("unknown kind " + kind)
open(path, "wb").write(bytes(data))
PY
}

office=$E2E_TMP/office
table=$office/Stampe/STAMPE.DBF
make_category_office "$office"
cp "$table" "$E2E_TMP/good.dbf"

# 1. Damaged tables: the general message, the file untouched.
for kind in empty truncated-header truncated-fields record-length-short record-length-long \
            record-length-zero field-past-record-end count-beyond-file count-negative \
            header-length-beyond-file no-terminator garbage version-byte-garbage; do
  cp "$E2E_TMP/good.dbf" "$table"
  malform "$kind" "$table"
  sum=$(sha256sum <"$table")
  run_program refused "table: $kind" 1 12 "$office/DATI/" ""
  [ "$(sha256sum <"$table")" = "$sum" ] || fail "table: $kind: the damaged table was changed"
done
rm "$table"
mkdir "$table"
run_program refused "table: a folder named STAMPE.DBF" 1 12 "$office/DATI/" ""
rmdir "$table"


# Sound tables the program cannot use: no VISUALIZZA field, VISUALIZZA not logical (the
# sweep writes it, then the filter fails: only VISUALIZZA may change), a memo field whose
# .DBT is missing (the engine then opens the table read-only).
file_sum() { sha256sum <"$1"; }
refused_layout() {  # NAME all|sweep FIELDS...: what the run may change
  local name=$1 compare=file_sum
  [ "$2" = sweep ] && compare=table_without_sweep
  shift 2
  rm -f "$table" "${table%.DBF}.DBT"
  "$XBTOOL" create "$table" "$@" >/dev/null
  "$XBTOOL" append "$table" DESCRIZIO=Contabilità DIR=CONTAB >/dev/null
  rm -f "${table%.DBF}.DBT"
  local before
  before=$($compare "$table")
  run_program refused "table: $name" 1 12 "$office/DATI/" ""
  [ "$($compare "$table")" = "$before" ] || fail "table: $name: the table was changed"
}
refused_layout "no VISUALIZZA field" all DESCRIZIO:C:40 DIR:C:20 TIPO:N:3
refused_layout "VISUALIZZA of type C" sweep DESCRIZIO:C:40 DIR:C:20 VISUALIZZA:C:1 TIPO:N:3
refused_layout "memo file missing" all DESCRIZIO:C:40 DIR:C:20 VISUALIZZA:L TIPO:N:3 NOTE:M
cp "$E2E_TMP/good.dbf" "$table"

# 2. Odd DIR values and category folders: the program starts; only a real folder inside
# the Stampe folder counts; every other byte of the table is rewritten as it was.
odd=$E2E_TMP/odd
mkdir -p "$odd/DATI" "$odd/Stampe/CONTAB" "$odd/Stampe/Spazio e \"virgolette\""
long=$(printf 'L%.0s' $(seq 254))
odd_table=$odd/Stampe/STAMPE.DBF
"$XBTOOL" create "$odd_table" DESCRIZIO:C:40 DIR:C:254 VISUALIZZA:L TIPO:N:3 --codepage 1252 >/dev/null
add_category() { "$XBTOOL" append "$odd_table" "DESCRIZIO=$1" "DIR=$2" VISUALIZZA=F TIPO=1 >/dev/null; }
add_category "Buona" CONTAB
add_category "Padre" ..
add_category "Fuori" ../DATI
add_category "Giro" CONTAB/../../DATI
add_category "Assoluta" /tmp
add_category "Controllo" "$(printf 'A\001B')"
add_category "Lunga" "$long"
add_category "Un file" UNFILE
add_category "Collegamento rotto" ROTTO
add_category "Virgolette" "Spazio e \"virgolette\""
add_category "Anello" ANELLO
touch "$odd/Stampe/UNFILE"
ln -s "$odd/Stampe/NONCE" "$odd/Stampe/ROTTO"
ln -s ANELLO "$odd/Stampe/ANELLO"
before=$(table_without_sweep "$odd_table")
run_program starts "odd DIR values" 1 12 "$odd/DATI/" ""
[ "$(visualizza_column "$odd_table")" = TFFFFFFFFTF ] ||
  fail "odd DIR values: VISUALIZZA is $(visualizza_column "$odd_table")"
[ "$(table_without_sweep "$odd_table")" = "$before" ] || fail "odd DIR values: other bytes changed"

# 3. Descriptions in other code pages: UTF-8 bytes, CP437/CP850 letters, the five bytes
# CP1252 leaves unassigned, NUL bytes; all must come back byte for byte after the sweep.
cp "$E2E_TMP/good.dbf" "$table"
/usr/bin/python3 - "$table" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
texts = ["Contabilità".encode("utf-8"), "Contabilit\x85 \x82\x8a".encode("latin-1"),
         b"\x81\x8d\x8f\x90\x9d e\0nd", "Didattica €".encode("utf-8")]
for i, text in enumerate(texts):
    at = 161 + i * 65 + 1
    data[at:at + 40] = text.ljust(40, b" ")[:40]
at = 161 + 3 * 65 + 41  # DIR of the last record padded with NUL bytes, as some writers do
data[at:at + 20] = b"LETT".ljust(20, b"\0")
open(path, "wb").write(bytes(data))
PY
before=$(table_without_sweep "$table")
run_program starts "descriptions in other code pages" 1 12 "$office/DATI/" ""
[ "$(table_without_sweep "$table")" = "$before" ] || fail "descriptions changed by the sweep"
marks=$(/usr/bin/python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
print("".join(chr(d[161 + i * 65 + 61]) for i in range(4)))' "$table")
[ "$marks" = TFTT ] || fail "code pages: VISUALIZZA is $marks"

# 4. Data paths with blanks and quotes, in another encoding, too long, with control
# characters; 10,000 arguments.
quoted="$E2E_TMP/uffi \"cio\" 'due'"
make_category_office "$quoted"
run_program starts "data path with blanks and quotes" 1 12 "$quoted/DATI/" ""
[ "$(visualizza_column "$quoted/Stampe/STAMPE.DBF")" = TFTT ] || fail "the quoted office was not swept"
# File names are UTF-8 to the program: a data path in another encoding cannot name the
# category's folder to the document list, and start-up ends with the general message.
latin1=$E2E_TMP/$'Contabilit\xe0'
make_category_office "$latin1"
run_program refused "data path not in UTF-8" 1 12 "$latin1/DATI/" ""
run_program refused "a data path of 100,000 characters" 1 12 "/$(head -c 100000 /dev/zero | tr '\0' a)/" ""
run_program refused "a data path of 3,000 folders" 1 12 "$(printf 'ab/%.0s' $(seq 3000))" ""
run_program starts "control characters in the data folder's name" 1 12 "$office/DA"$'\n\t\001'"TI/" ""
run_program refused "control characters above it" 1 12 "$office"$'\n\t\001'"/DATI/" ""
mapfile -t many < <(seq 9996)
run_program starts "10,000 arguments after four good ones" 1 12 "$office/DATI/" "" "${many[@]}"
run_program refused "10,000 numbers" $(seq 10000)
echo "PASS ($CASES cases)"
