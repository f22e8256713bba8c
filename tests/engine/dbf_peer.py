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
    elif command == "expected":
        expected(int(path))
    else:
        sys.exit("unknown command " + command)
