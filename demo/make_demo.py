#!/usr/bin/python3
"""Creates the demo office: DATI/ with its marker file, and the sibling Stampe/ holding
STAMPE.DBF (dBase III, code page 1252) and one folder of sample documents per category.

Usage: make_demo.py DEST [XBTOOL]
With XBTOOL (the engine's command-line tool) the tables are written through the engine;
without it, by the small dBase III writer below.
"""
import datetime
import os
import struct
import subprocess
import sys
import zipfile

# (DESCRIZIO, DIR, TIPO, folder on disk or None when the folder is missing)
CATEGORIES = [
    ("Contabilità generale", "CONTAB", 1, "CONTAB"),
    ("Fatture e ricevute", "FATTURE", 1, "FATTURE"),
    ("Solleciti di pagamento", "SOLLECITI", 1, "solleciti"),  # spelled in another case on disk
    ("Bilanci e rendiconti", "BILANCI", 1, "BILANCI"),
    ("Archivio storico", "STORICO", 1, None),  # its folder is missing
    ("Attività didattiche", "DIDATTICA", 2, "DIDATTICA"),
    ("Circolari ai docenti", "CIRCOLARI", 2, "CIRCOLARI"),
    ("Verbali degli esami", "VERBALI", 2, "VERBALI"),
    ("Iscrizioni e pagelle", "ISCRIZIONI", 2, "ISCRIZIONI"),
    ("Corrispondenza generale", "CORRISP", 3, "CORRISP"),
    ("Modulistica del personale", "PERSONALE", 3, "PERSONALE"),
    ("Comunicazioni all'università", "UNIVERSITA", 3, "UNIVERSITA"),
]

FIELDS = [("DESCRIZIO", "C", 40, 0), ("DIR", "C", 20, 0), ("VISUALIZZA", "L", 1, 0),
          ("TIPO", "N", 1, 0)]

LANGUAGE_DRIVER_CP1252 = 0x03


def dbf_bytes(fields, records):
    """A dBase III table: header, field descriptors, records, end-of-file mark."""
    today = datetime.date.today()
    record_size = 1 + sum(f[2] for f in fields)
    header_size = 32 + 32 * len(fields) + 1
    header = struct.pack("<B3BIHH17xB2x", 0x03, today.year - 1900, today.month, today.day,
                         len(records), header_size, record_size, LANGUAGE_DRIVER_CP1252)
    for name, kind, width, decimals in fields:
        header += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"),
                              width, decimals)
    header += b"\r"
    body = b""
    for values in records:
        body += b" "
        for (name, kind, width, decimals), value in zip(fields, values):
            body += field_bytes(kind, width, value)
    return header + body + b"\x1a"


def field_bytes(kind, width, value):
    if kind == "C":
        data = value.encode("cp1252")
        if len(data) > width:
            raise ValueError("text too long for its field: %r" % value)
        return data.ljust(width, b" ")
    if kind == "L":
        return b"T" if value else b"F"
    if kind == "N":
        return str(value).rjust(width).encode("ascii")
    raise ValueError("unknown field type " + kind)


def write_table(path, fields, records, xbtool):
    if not xbtool:
        with open(path, "wb") as f:
            f.write(dbf_bytes(fields, records))
        return
    columns = ["%s:%s:%d:%d" % field if field[1] in "CN" else "%s:%s" % field[:2] for field in fields]
    subprocess.run([xbtool, "create", path] + columns + ["--codepage", "1252"], check=True)
    for values in records:
        assignments = ["%s=%s" % (field[0], xbtool_text(field[1], value))
                       for field, value in zip(fields, values)]
        subprocess.run([xbtool, "append", path] + assignments, check=True)


def xbtool_text(kind, value):
    if kind == "L":
        return "T" if value else "F"
    return str(value)


def write_rtf(path, title):
    text = title.encode("cp1252")
    escaped = b"".join(b"\\'%02x" % c if c > 127 else bytes([c]) for c in text)
    with open(path, "wb") as f:
        f.write(b"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times New Roman;}}"
                b"\\f0\\fs24 " + escaped + b"\\par }")


def write_docx(path, title):
    content_types = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/word/document.xml" ContentType="application/'
        'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
    rels = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        'relationships/officeDocument" Target="word/document.xml"/></Relationships>')
    document = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
        '<w:body><w:p><w:r><w:t>%s</w:t></w:r></w:p></w:body></w:document>' % title)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", content_types)
        z.writestr("_rels/.rels", rels)
        z.writestr("word/document.xml", document)


def write_odt(path, title):
    manifest = (
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"'
        ' manifest:version="1.2">'
        '<manifest:file-entry manifest:full-path="/" manifest:version="1.2"'
        ' manifest:media-type="application/vnd.oasis.opendocument.text"/>'
        '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
        '</manifest:manifest>')
    content = (
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
        ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
        '<office:body><office:text><text:p>%s</text:p></office:text></office:body>'
        '</office:document-content>' % title)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.text",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/manifest.xml", manifest)
        z.writestr("content.xml", content)


def fill_category(folder, description):
    os.makedirs(folder)
    write_rtf(os.path.join(folder, "Lettera 2.doc"), description + " - lettera 2")
    write_rtf(os.path.join(folder, "Lettera 10.doc"), description + " - lettera 10")
    write_docx(os.path.join(folder, "Modulo di richiesta.docx"), description + " - modulo")
    write_odt(os.path.join(folder, "Promemoria.odt"), description + " - promemoria")
    archive = os.path.join(folder, "Archivio 2025")
    os.makedirs(archive)
    write_rtf(os.path.join(archive, "Lettera archiviata.doc"), description + " - archivio")
    with open(os.path.join(folder, ".indice"), "w", encoding="utf-8") as f:
        f.write("hidden index of the folder\n")


def make_office(dest, xbtool):
    dati = os.path.join(dest, "DATI")
    stampe = os.path.join(dest, "Stampe")
    marker_folder = os.path.join(dati, "FG", "AGENZIA")
    os.makedirs(marker_folder)
    os.makedirs(stampe)
    write_table(os.path.join(marker_folder, "PrevCors.DBF"), [("CODICE", "N", 5, 0)], [], xbtool)
    records = []
    for description, directory, tipo, on_disk in CATEGORIES:
        if on_disk:
            fill_category(os.path.join(stampe, on_disk), description)
        # VISUALIZZA is deliberately stale: the program rewrites it at every start.
        records.append((description, directory, on_disk is None, tipo))
    write_table(os.path.join(stampe, "STAMPE.DBF"), FIELDS, records, xbtool)


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    make_office(argv[1], argv[2] if len(argv) == 3 else None)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
