#!/usr/bin/env python3
"""One writer of the shared-table stress, through the engine library's C interface.

Opens TABLE shared, then does INCREMENTS locked increments of the hot records 1..HOT (go,
record lock, read field N, write N + 1, commit, unlock) with APPENDS appends spread among
them (append a blank record, write N = 0 and TAG = "NAME-k", commit, unlock). Prints one
line: what it completed, the table damage and write refusal the open reported and, when
the engine refused a step, its error code and text and whether this writer had written
anything before. Exit code 0 when all the work was done, 2 when refused, 64 on bad usage.

With --local-locks-accepted it first gives the engine the administrator's word that no
other desk uses the tables.

Usage: share_writers.py LIBXBENGINE TABLE NAME INCREMENTS APPENDS HOT [--local-locks-accepted]
"""
import ctypes
import sys

XB_OPEN_SHARED = 0
XB_TYPE_NTX = 1
XB_COMMIT_NORMAL = 1
XB_REPLACE_TEXT = 1
XB_REPLACE_INT32 = 4


class Refused(Exception):
    """The engine said no; the step names what was being done."""

    def __init__(self, step, code, text):
        super().__init__(step)
        self.step, self.code, self.text = step, code, text


class Engine:
    """The entry points the writer uses, each with its signature from xbengine.h."""

    def __init__(self, path):
        lib = self.lib = ctypes.CDLL(path)
        signatures = {
            "xb_UseEx": (ctypes.c_int16, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int16,
                                          ctypes.c_int16, ctypes.c_int16]),
            "xb_SetLockTimeout": (ctypes.c_int32, [ctypes.c_int16]),
            "xb_LastErrorCode": (ctypes.c_int32, []),
            "xb_LastErrorText": (ctypes.c_char_p, []),
            "xb_TableDamage": (ctypes.c_char_p, []),
            "xb_MountRisks": (ctypes.c_int32, []),
            "xb_RecCount": (ctypes.c_int32, []),
            "xb_Go": (ctypes.c_int32, [ctypes.c_int32]),
            "xb_Rlock": (ctypes.c_int32, [ctypes.c_int32]),
            "xb_Unlock": (ctypes.c_int32, [ctypes.c_int32]),
            "xb_GetInteger": (ctypes.c_int32, [ctypes.c_char_p]),
            "xb_Replace": (ctypes.c_int32, [ctypes.c_char_p, ctypes.c_int16, ctypes.c_void_p]),
            "xb_AppendBlank": (ctypes.c_int32, []),
            "xb_Commit": (ctypes.c_int32, []),
            "xb_Close": (None, []),
        }
        for name, (restype, argtypes) in signatures.items():
            function = getattr(lib, name)
            function.restype, function.argtypes = restype, argtypes
            setattr(self, name[3:], function)
        # Why a table asked for writing opened read-only; older engines tell it in
        # xb_TableDamage alone.
        self.WriteRefusal = getattr(lib, "xb_WriteRefusal", None)
        if self.WriteRefusal:
            self.WriteRefusal.restype, self.WriteRefusal.argtypes = ctypes.c_char_p, []

    def accept_local_locks(self):
        """The administrator's word that no other desk uses the tables: a mount whose locks
        stay on this machine is then written as a local disk. AttributeError on an engine
        without the setting."""
        accept = self.lib.xb_SetLocalLocksAccepted
        accept.restype, accept.argtypes = ctypes.c_int32, [ctypes.c_int32]
        accept(1)

    def check(self, result, step):
        """Raises Refused unless the call answered 1."""
        if result != 1:
            raise Refused(step, self.LastErrorCode(), self.LastErrorText().decode("cp1252"))

    def replace_int(self, field, value, step):
        number = ctypes.c_int32(value)
        self.check(self.Replace(field, XB_REPLACE_INT32, ctypes.byref(number)), step)

    def replace_text(self, field, value, step):
        self.check(self.Replace(field, XB_REPLACE_TEXT, ctypes.c_char_p(value.encode())), step)


class Writer:
    def __init__(self, engine, name):
        self.engine, self.name = engine, name
        self.increments = self.appends = 0
        self.wrote = False  # a replace or commit went through

    def increment(self, record):
        e = self.engine
        e.check(e.Go(record), "go to record %d" % record)
        e.check(e.Rlock(record), "lock record %d" % record)
        value = e.GetInteger(b"N")
        e.replace_int(b"N", value + 1, "write record %d" % record)
        self.wrote = True
        e.check(e.Commit(), "commit record %d" % record)
        e.check(e.Unlock(record), "unlock record %d" % record)
        self.increments += 1

    def append(self):
        e = self.engine
        e.check(e.AppendBlank(), "append")
        self.wrote = True
        e.replace_int(b"N", 0, "write the appended record")
        e.replace_text(b"TAG", "%s-%d" % (self.name, self.appends + 1), "write the appended record")
        e.check(e.Commit(), "commit the appended record")
        e.check(e.Unlock(0), "unlock the appended record")
        self.appends += 1

    def run(self, increments, appends, hot):
        every = max(1, increments // appends) if appends else 0
        for i in range(increments):
            self.increment(i % hot + 1)
            if every and i % every == 0 and self.appends < appends:
                self.append()
        while self.appends < appends:
            self.append()


def main(argv):
    accepted = "--local-locks-accepted" in argv
    argv = [a for a in argv if a != "--local-locks-accepted"]
    if len(argv) != 7:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 64
    library, table, name = argv[1], argv[2], argv[3]
    increments, appends, hot = int(argv[4]), int(argv[5]), int(argv[6])
    engine = Engine(library)
    engine.SetLockTimeout(10)  # writers on one desk wait for each other's record locks
    if accepted:
        engine.accept_local_locks()
    writer = Writer(engine, name)
    opened = engine.UseEx(table.encode(), b"", XB_OPEN_SHARED, XB_TYPE_NTX, XB_COMMIT_NORMAL)
    damage = engine.TableDamage().decode("cp1252") if opened else ""
    read_only_because = (engine.WriteRefusal().decode("cp1252")
                         if opened and engine.WriteRefusal else "")
    refusal = None
    try:
        if opened < 1:
            raise Refused("open", engine.LastErrorCode(), engine.LastErrorText().decode("cp1252"))
        writer.run(increments, appends, hot)
    except Refused as refused:
        refusal = refused
    line = "writer %s: increments=%d appends=%d mount_risks=%d damage=%r write_refusal=%r" % (
        name, writer.increments, writer.appends, engine.MountRisks() if opened else -1, damage,
        read_only_because)
    if refusal:
        line += " refused at %r: code=%d text=%r wrote_before=%s" % (
            refusal.step, refusal.code, refusal.text, "yes" if writer.wrote else "no")
    print(line, flush=True)
    if opened >= 1:
        engine.Close()
    return 2 if refusal else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
