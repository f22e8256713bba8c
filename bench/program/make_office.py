# Makes the benchmark office: a STAMPE.DBF of N categories of type 1 in FOLDER, one category
# folder in a hundred present, the first one holding DOCUMENTS documents.
# Usage: make_office.py FOLDER CATEGORIES DOCUMENTS
import os, struct, sys

folder, count, documents = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
fields = [(b"DESCRIZIO", b"C", 40), (b"DIR", b"C", 20), (b"VISUALIZZA", b"L", 1), (b"TIPO", b"N", 3)]
size = 1 + sum(f[2] for f in fields)
header = 32 + 32 * len(fields) + 1
out = bytearray(struct.pack("<BBBBIHH", 3, 126, 12, 7, count, header, size) + bytes(17) + b"\x03" + bytes(2))
for name, kind, width in fields:
    out += name.ljust(11, b"\0") + kind + bytes(4) + bytes([width, 0]) + bytes(14)
out += b"\r"
for i in range(count):
    name = "C%05d" % i
    out += b" " + ("Categoria %d" % i).encode().ljust(40) + name.encode().ljust(20) + b"F" + b"  1"
    if i % 100 == 0:
        os.mkdir(os.path.join(folder, name))
out += b"\x1a"
open(os.path.join(folder, "STAMPE.DBF"), "wb").write(out)
docs = os.path.join(folder, "C00000")
for i in range(documents):
    with open(os.path.join(docs, "Documento %05d.doc" % i), "wb") as f:
        f.write(b"x" * 100)
