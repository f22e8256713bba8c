#!/usr/bin/python3
# An independent writer of NTX files, made from the documented layout alone: writes a table
# ntx-char.dbf (V1 C(10), 101 records) and its index ntx-char.ntx on the key
# "ntx_char->v1", as a program that opened the table under the alias ntx_char writes it (a
# file name with '-' cannot be an alias). Two levels: three leaves and a root whose items are
# real entries between them. Usage: ntx_writer.py FOLDER
import struct
import sys

KEY_SIZE = 10
PAGE = 1024
RECORDS = 101


def value(recno):
    return "N%03d" % ((recno * 37) % RECORDS)


def write_table(path):
    header_length = 32 + 32 + 1
    record_length = 1 + KEY_SIZE
    head = struct.pack("<BBBBIHH20x", 3, 126, 12, 7, RECORDS, header_length, record_length)
    field = b"V1".ljust(11, b"\0") + b"C" + b"\0" * 4 + bytes([KEY_SIZE, 0]) + b"\0" * 14
    body = b"".join(b" " + value(r).ljust(KEY_SIZE).encode() for r in range(1, RECORDS + 1))
    with open(path, "wb") as f:
        f.write(head + field + b"\r" + body + b"\x1a")


def page_bytes(items, max_items, right_child=0):
    """items: (left child offset, recno, key bytes); the item after them holds right_child."""
    item_size = KEY_SIZE + 8
    table_size = 2 + (max_items + 1) * 2
    page = bytearray(PAGE)
    struct.pack_into("<H", page, 0, len(items))
    for i in range(max_items + 1):
        struct.pack_into("<H", page, 2 + 2 * i, table_size + i * item_size)
    for i, (child, recno, key) in enumerate(items):
        struct.pack_into("<II", page, table_size + i * item_size, child, recno)
        page[table_size + i * item_size + 8:table_size + (i + 1) * item_size] = key
    struct.pack_into("<I", page, table_size + len(items) * item_size, right_child)
    return bytes(page)


def write_index(path):
    max_items = (PAGE - 2) // (KEY_SIZE + 10) - 1
    if max_items % 2 == 1 and max_items > 2:
        max_items -= 1
    entries = sorted((value(r).ljust(KEY_SIZE).encode(), r) for r in range(1, RECORDS + 1))
    per_leaf = (RECORDS - 2) // 3  # three leaves of 33 and two separators
    leaves, separators = [], []
    at = 0
    for leaf in range(3):
        leaves.append(entries[at:at + per_leaf])
        at += per_leaf
        if leaf < 2:
            separators.append(entries[at])
            at += 1
    leaf_offsets = [PAGE * (1 + i) for i in range(3)]
    root_offset = PAGE * 4
    root_items = [(leaf_offsets[i], recno, key) for i, (key, recno) in enumerate(separators)]
    header = bytearray(PAGE)
    struct.pack_into("<HHIIHHHHH", header, 0, 6, 1, root_offset, 0, KEY_SIZE + 8, KEY_SIZE, 0,
                     max_items, max_items // 2)
    expression = b"ntx_char->v1"
    header[22:22 + len(expression)] = expression
    with open(path, "wb") as f:
        f.write(bytes(header))
        for leaf in leaves:
            f.write(page_bytes([(0, recno, key) for key, recno in leaf], max_items))
        f.write(page_bytes(root_items, max_items, right_child=leaf_offsets[2]))


folder = sys.argv[1]
write_table(folder + "/ntx-char.dbf")
write_index(folder + "/ntx-char.ntx")
