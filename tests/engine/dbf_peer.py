#!/usr/bin/python3
# Peer for the engine's interoperability tests: writes tables with python3-dbf and reads
# tables with python3-dbf or python3-dbfread, printing one line per record in the form the
# test builds from the engine: deleted mark, NAME, QTY, OK, DAY, NOTE separated by "|".
import datetime
import sys

import dbf
import dbfread


def expected_row(i):
    """Values of record i (0-based) as the writer stores them."""
    name = "Categoria è %d «Contabilità»" % i
    qty = round(i * 1.25 - 3, 2)
    ok = i % 2 == 0
    day = datetime.date(2020, 1, 1) + datetime.timedelta(days=i) if i % 4 else None
    note = "" if i % 3 == 0 else "nota %d à\r\nseconda riga" % i
    return name, qty, ok, day, note


def write(path, count):
    table = dbf.Table(path, "NAME C(40); QTY N(8,2); OK L; DAY D; NOTE M",
                      dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for i in range(count):
        name, qty, ok, day, note = expected_row(i)
        table.append((name, qty, ok, day, note))
    for i, record in enumerate(table):
        if i % 5 == 4:
            dbf.delete(record)
    table.close()


def fmt(deleted, name, qty, ok, day, note):
    qty_text = "" if qty is None else "%.2f" % qty
    ok_text = "" if ok is None else ("T" if ok else "F")
    day_text = day.strftime("%Y%m%d") if day else ""
    return "|".join(["*" if deleted else " ", (name or "").rstrip(), qty_text, ok_text,
                     day_text, (note or "").replace("\r\n", "\\n")])


def read_dbfread(path):
    table = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict")
    for r in table:
        print(fmt(False, r["NAME"], r["QTY"], r["OK"], r["DAY"], r["NOTE"]))
    for r in table.deleted:
        print(fmt(True, r["NAME"], r["QTY"], r["OK"], r["DAY"], r["NOTE"]))


def read_dbf(path):
    table = dbf.Table(path, codepage="cp1252")
    table.open(dbf.READ_ONLY)
    rows = []
    for r in table:
        day = datetime.date(r.day.year, r.day.month, r.day.day) if r.day else None
        rows.append((dbf.is_deleted(r), r.name, r.qty, r.ok, day, r.note))
    table.close()
    for row in [r for r in rows if not r[0]] + [r for r in rows if r[0]]:
        print(fmt(*row))


def write_fox(path, dbf_type):
    """A FoxPro 2 ("fp") or Visual FoxPro ("vfp") table with the types that kind has."""
    if dbf_type == "vfp":
        table = dbf.Table(path, "NAME C(12); QTY I; PRICE B; AMOUNT Y; WHEN T; NOTE M; PIC G",
                          dbf_type="vfp", codepage="cp1252")
        rows = [("uno", -7, 2.5, 12, datetime.datetime(2024, 2, 29, 13, 45, 10), "nota",
                 b"\x89PNG\x00\x01"),
                ("due", 123456, -0.125, -5, None, "", b"")]
    else:
        table = dbf.Table(path, "NAME C(12); QTY N(5,0); NOTE M; PIC G", dbf_type="fp",
                          codepage="cp437")
        rows = [("uno", -7, "nota", b"\x00bin\x00"), ("due", 42, "", b"")]
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()


def read_wide(path):
    """NAME and the length of the wide NOTE field of each record, as dbfread reads them."""
    for r in dbfread.DBF(path, encoding="cp1252"):
        print("%s|%d|%s" % (r["NAME"], len(r["NOTE"]), r["NOTE"][-3:]))


def expected(count):
    rows = [(i % 5 == 4,) + expected_row(i) for i in range(count)]
    for row in [r for r in rows if not r[0]] + [r for r in rows if r[0]]:
        print(fmt(*row))


if __name__ == "__main__":
    command, path = sys.argv[1], sys.argv[2]
    if command == "write":
        write(path, int(sys.argv[3]))
    elif command == "read-dbfread":
        read_dbfread(path)
    elif command == "read-dbf":
        read_dbf(path)
    elif command in ("write-fp", "write-vfp"):
        write_fox(path, command[len("write-"):])
    elif command == "read-wide":
        read_wide(path)
    elif command == "expected":
        expected(int(path))
    else:
        sys.exit("unknown command " + command)
