/* Public C interface of the xBase engine library (libxbengine.so): dBase III style tables
 * (.DBF with .DBT memos) in numbered work areas, with record locks, an expression language
 * and queries. All entry points are listed once in xb_entrypoints.def; this header documents them.
 *
 * Conventions for every entry point:
 *  - Strings are zero-terminated 8-bit text in the table's code page. A returned `const char*`
 *    belongs to the library and stays valid only until the next call on the same thread;
 *    callers copy it at once. A returned string is never NULL ("" when there is nothing).
 *  - Work areas and type codes are 16-bit, record numbers 32-bit (first record is 1), flags
 *    are int 0 (off) / non-zero (on). Setters return the previous value of the setting.
 *  - Calls concerning a table act on the current work area (see xb_Select). Without a table
 *    open there they fail: 0 (or "" / 0.0) with xb_LastErrorCode() == XB_ERR_NO_TABLE.
 *  - Failures never abort: they answer 0 (or -1 where documented), "" or 0.0 and record a
 *    code and an English text, read with xb_LastErrorCode() / xb_LastErrorText().
 *    Every entry point clears the last error on entry (except the two that read it).
 *    No C++ exception leaves the library: memory running out (or a fault of the engine's
 *    own) inside a call gives that call's failure answer with XB_ERR_INTERNAL (xb_Eof and
 *    xb_Bof answer 1).
 *  - NOT SUPPORTED: entry points marked so do nothing, return -1 (NULL for pointers,
 *    "" for strings) and set XB_ERR_NOT_SUPPORTED.
 *  - Operations that need an index order fail with XB_ERR_NO_INDEX when none is open.
 *  - Thread safety: the library keeps process-wide state; call it from one thread. */
#ifndef VELLORIA_ENGINE_XBENGINE_H_
#define VELLORIA_ENGINE_XBENGINE_H_

#include <stdint.h>

#if defined(XBENGINE_BUILDING)
#define XB_API __attribute__((visibility("default")))
#else
#define XB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes of xb_LastErrorCode(). */
enum {
  XB_OK = 0,
  XB_ERR_NO_TABLE = 1,       /* no table open in the current work area */
  XB_ERR_ARGUMENT = 2,       /* a bad argument: NULL, out of range, unknown field */
  XB_ERR_OPEN = 3,           /* the file cannot be opened or created */
  XB_ERR_CORRUPT = 4,        /* the file failed the table checks (the text says which) */
  XB_ERR_IO = 5,             /* a read, write, sync or truncate failed */
  XB_ERR_LOCKED = 6,         /* another process holds the lock or the file */
  XB_ERR_READ_ONLY = 7,      /* a write on a table opened read-only */
  XB_ERR_EXPRESSION = 8,     /* syntax or type error in an expression */
  XB_ERR_VALUE = 9,          /* a value that does not fit its field */
  XB_ERR_NOT_SUPPORTED = 10, /* the entry point or option is not supported */
  XB_ERR_NO_INDEX = 11,      /* the operation needs an index order */
  XB_ERR_WORK_AREAS = 12,    /* all work areas are in use, or the alias is taken */
  XB_ERR_INTERNAL = 13       /* memory ran out, or a fault inside the engine (the text says) */
};

/* Open modes (xb_UseEx), table type codes, commit levels. */
enum { XB_OPEN_SHARED = 0, XB_OPEN_READ_ONLY = 1, XB_OPEN_EXCLUSIVE = 2 };
/* Table types 1..4 all mean dBase tables with Clipper-style indexes here. */
enum { XB_TYPE_NTX = 1, XB_TYPE_NDX = 2, XB_TYPE_FOX = 3, XB_TYPE_CLIPPER = 4 };
/* Commit levels: FULL writes through and fsyncs at every commit; NORMAL hands record and
 * header to the operating system at every commit; NONE may keep writes until close. */
enum { XB_COMMIT_FULL = 0, XB_COMMIT_NORMAL = 1, XB_COMMIT_NONE = 2 };

/* Value kinds of xb_Replace. */
enum {
  XB_REPLACE_TEXT = 1,     /* const char*: the value as text, converted to the field's form */
  XB_REPLACE_INT16 = 2,    /* const int16_t* */
  XB_REPLACE_LOGICAL = 3,  /* const int32_t*: 0 false, non-zero true (L fields) */
  XB_REPLACE_INT32 = 4,    /* const int32_t* */
  XB_REPLACE_JULIAN = 5,   /* const int32_t*: Julian day number, 0 = empty date (D fields) */
  XB_REPLACE_DOUBLE = 8,   /* const double* */
  XB_REPLACE_MEMO = 3072   /* const char*: memo text written to the .DBT (M fields) */
};

/* Value types answered by xb_EvalTest. */
enum { XB_EVAL_ERROR = 0, XB_EVAL_CHARACTER = 1, XB_EVAL_NUMERIC = 2, XB_EVAL_LOGICAL = 3,
       XB_EVAL_DATE = 4 };

/* Date format codes of xb_SetDateFormat: the CTOD/DTOC field order and separator. */
enum {
  XB_DATE_AMERICAN = 0, /* mm/dd/yy */
  XB_DATE_ANSI = 1,     /* yy.mm.dd */
  XB_DATE_BRITISH = 2,  /* dd/mm/yy */
  XB_DATE_FRENCH = 3,   /* dd/mm/yy */
  XB_DATE_GERMAN = 4,   /* dd.mm.yy */
  XB_DATE_ITALIAN = 5,  /* dd-mm-yy */
  XB_DATE_SPANISH = 6,  /* dd-mm-yy */
  XB_DATE_SYSTEM = 99   /* the C library's locale order (nl_langinfo(D_FMT)), "/" when unknown */
};

/* Error levels of xb_ErrorLevel (any level above 1 prints too). */
enum { XB_ERRORS_SILENT = 0, XB_ERRORS_PRINTED = 1 };

/* String types of xb_SetStringType. */
enum { XB_STRING_ZERO_TERMINATED = 1 };

/* xb_SysProp codes. */
enum {
  XB_PROP_GET_EXACT = 1002,      /* value ignored; the exact setting */
  XB_PROP_SET_EXACT = 1003,      /* sets exact to value; returns the previous setting */
  XB_PROP_GET_DELETED = 1006,    /* value ignored; non-zero when deleted records are hidden */
  XB_PROP_GET_OPTIMISTIC = 1008, /* value ignored; the optimistic-buffering setting */
  XB_PROP_SET_OPTIMISTIC = 1009, /* records optimistic buffering; returns the previous value
                                    (the engine always buffers just the current record and
                                    writes it at commit or when moving off it) */
  XB_PROP_ORDER_COUNT = 3000     /* value ignored; open index orders of the area */
};

/* ---- Library and session --------------------------------------------------------------- */

/* Version text, e.g. "Velloria xBase engine 1.0". */
XB_API const char* xb_Version(void);
/* Last error of this thread: an XB_ERR_* code, and its English text ("" when XB_OK).
 * Not among the 169 lookup names; clients may resolve them optionally. */
XB_API int32_t xb_LastErrorCode(void);
XB_API const char* xb_LastErrorText(void);
/* Also beyond the 169: the language-driver byte of the current table (-1 with no table), and
 * why the current table had to open read-only although it was not asked to (damage found
 * by the checks, a missing memo file, a version written by other programs only) or, for a
 * read-only open, the damage found; "" when the table is sound. */
XB_API int32_t xb_LanguageDriver(void);
XB_API const char* xb_TableDamage(void);
/* Also beyond the 169: why a sound table asked for writing was opened for reading only (no
 * write permission, a file system that cannot open the file for writing, a mount whose locks
 * stay on this machine: see xb_MountRisks); "" when it may be written, when it was opened
 * read-only on purpose, or when damage made it read-only (xb_TableDamage says which). */
XB_API const char* xb_WriteRefusal(void);
/* Also beyond the 169: how the mount holding the current table fails several machines
 * sharing it: an OR of XB_MOUNT_LOCKS_LOCAL (record and file locks never reach the file
 * server: CIFS nobrl, NFS nolock or local_lock=all|posix, and FUSE network clients such as
 * smbnetfs, gvfs, sshfs, rclone, kio-fuse), XB_MOUNT_CACHES_DATA (the client may serve data
 * another machine changed: CIFS cache=loose, NFS nocto, those FUSE clients) and
 * XB_MOUNT_UNKNOWN (a FUSE file system of a kind the engine does not know: whether its locks
 * reach a server cannot be told); 0 for local disks, sound network mounts and FUSE clients
 * of cluster file systems that pass locks on (GlusterFS, Ceph), -1 with no table.
 * xb_MountRiskText names the mount, its options or client and what to do, in English ("" for 0).
 * Both answer from the mount table as the open (or the first question) read it: a table's
 * file stays on its mount while it is open.
 * On an XB_MOUNT_LOCKS_LOCAL mount, unless xb_SetLocalLocksAccepted(1): a shared open for
 * writing opens read-only (xb_TableDamage says why; writes and xb_Rlock fail with
 * XB_ERR_READ_ONLY before anything is written), and an exclusive open is refused with
 * XB_ERR_LOCKED, since another machine may hold the table without this one seeing it. */
enum { XB_MOUNT_LOCKS_LOCAL = 1, XB_MOUNT_CACHES_DATA = 2, XB_MOUNT_UNKNOWN = 4 };
XB_API int32_t xb_MountRisks(void);
XB_API const char* xb_MountRiskText(void);
/* Also beyond the 169: the bytes of memo field `field` in the current record, NUL bytes
 * included (pictures and documents in binary memos): the bytes, valid until this thread's
 * next call, and their number in *length; "" and 0 for no memo or on failure. */
XB_API const char* xb_GetMemoBytes(const char* field, uint32_t* length);
/* Follows every memo of the current table: each must read whole, end before the memo file's
 * next free block and not start inside another memo. 1 when sound; 0 with XB_ERR_CORRUPT
 * and the first fault in xb_LastErrorText otherwise. */
XB_API int32_t xb_MemoCheck(void);
/* Verifies index order `order` (0 = the controlling one) of the current area against the
 * table: keys in order, every record in its condition indexed once under its current key.
 * 1 when sound; 0 with XB_ERR_CORRUPT and the first fault in xb_LastErrorText otherwise. */
XB_API int32_t xb_IndexCheck(int16_t order);
/* Sets the error level (XB_ERRORS_SILENT, or XB_ERRORS_PRINTED and above: also print
 * errors to stderr); returns the previous level. Errors are always recorded for
 * xb_LastErrorCode/xb_LastErrorText. */
XB_API int32_t xb_ErrorLevel(int16_t level);
/* Closes every work area and resets all settings to their defaults; returns 1. */
XB_API int32_t xb_FinalizeSession(void);
/* Accepted for compatibility: XB_STRING_ZERO_TERMINATED is the only string type; any
 * other type fails with XB_ERR_NOT_SUPPORTED. Returns the previous type (that one). */
XB_API int32_t xb_SetStringType(int16_t type);
/* Handle count hint: file handles are not limited by the library; returns count. */
XB_API int32_t xb_SetHandles(int16_t count);
/* Memory for clients that exchange buffers with the library: malloc/free/realloc. */
XB_API void* xb_MemAlloc(uint32_t size);
XB_API void xb_MemDealloc(void* block);
XB_API void* xb_MemRealloc(void* block, uint32_t size);

/* ---- Settings (process-wide; each returns the previous value) ------------------------ */

/* Hide records marked deleted from navigation, queries and counts (xb_Go still reaches them). */
XB_API int32_t xb_SetDeleted(int32_t on);
/* String "=" in expressions: off = prefix rule, on = trailing blanks ignored. */
XB_API int32_t xb_SetExact(int32_t on);
/* Same setting as xb_SetExact. */
XB_API int32_t xb_QuerySetExact(int32_t on);
/* First year of the 100-year window for two-digit years, 100..2999 (clamped). Default 1900. */
XB_API int32_t xb_SetEpoch(int16_t year);
/* DTOC and xb_GetDateString write four-digit years when on (default off). */
XB_API int32_t xb_SetCentury(int32_t on);
/* Date order and separator for CTOD/DTOC/xb_GetDateString: one of XB_DATE_*. Other codes
 * fail (XB_ERR_ARGUMENT, -1). */
XB_API int32_t xb_SetDateFormat(int16_t code);
/* The current date format as a picture, e.g. "dd/mm/yyyy". */
XB_API const char* xb_GetDateFormat(void);
/* Soft seek: a missed xb_Seek stands on the next higher key. */
XB_API int32_t xb_SetSoftSeek(int32_t on);
/* Block size for .DBT files created from now on. dBase III .DBT files always use 512-byte
 * blocks, so the value is recorded and returned but tables keep 512. */
XB_API int32_t xb_SetMemoBlockSize(int16_t size);
/* OEM/ANSI translation: recorded; text is always exchanged as stored (no translation). */
XB_API int32_t xb_SetTranslate(int32_t on);
/* Read-ahead for shared opens: on lets navigation read records in 128 KiB blocks (always
 * consistent for this process; other processes' changes are seen at the next block). Off,
 * shared opens read each record when they move to it. Exclusive opens always read ahead. */
XB_API int32_t xb_SetTurboRead(int32_t on);
/* Seconds that xb_Rlock, xb_Flock and shared appends retry a refused lock (0: try once).
 * Default 1. */
XB_API int32_t xb_SetLockTimeout(int16_t seconds);
/* Also beyond the 169: the caller's word that no other machine uses the tables on a mount
 * whose locks stay on this machine (XB_MOUNT_LOCKS_LOCAL): on, tables there are written and
 * opened exclusively as on a local disk. Default off. */
XB_API int32_t xb_SetLocalLocksAccepted(int32_t on);
/* System properties: see XB_PROP_*. Unknown codes fail with XB_ERR_NOT_SUPPORTED (-1). */
XB_API int32_t xb_SysProp(int16_t code, int32_t value);
/* Path for user functions / delimiter for text export: recorded and returned. */
XB_API int32_t xb_SetUDFPath(const char* path);
XB_API const char* xb_GetUDFPath(void);
/* Field delimiter of xb_CopyFileText (first character; default ','). Returns 1. */
XB_API int32_t xb_SetUserDelimiter(const char* delimiter);
/* Locale name of the C library (LC_COLLATE), e.g. "C.UTF-8". */
XB_API const char* xb_GetSystemLocale(void);
/* NOT SUPPORTED: collation tables and error/gauge callbacks. */
XB_API int32_t xb_AddDudenCollation(void);
XB_API int32_t xb_AddEtecCollation(void);
XB_API int32_t xb_SetCollationRule(int16_t rule);
XB_API int32_t xb_SetMachineCollation(void);
XB_API int32_t xb_GetSystemCharOrder(void);
XB_API int32_t xb_SetSystemCollation(int16_t collation);
XB_API int32_t xb_SetErrorFunc(void* callback);
XB_API int32_t xb_SetGaugeFunc(void* callback);
XB_API int32_t xb_SetGaugeHook(void* window);

/* ---- Work areas -------------------------------------------------------------------------- */

/* Opens a table in a new work area, which becomes current.
 *  file: path of the .DBF (".DBF" is added when the name has no extension; an existing file
 *        differing only in letter case is found);
 *  alias: name of the area, up to 10 characters (NULL or "" takes the file's base name);
 *         must not be in use by another area;
 *  mode: XB_OPEN_SHARED, XB_OPEN_READ_ONLY (shared, no writes) or XB_OPEN_EXCLUSIVE;
 *  type: table type code 1..4; commit_level: XB_COMMIT_FULL/NORMAL/NONE.
 * Returns the work area (1..250), or 0 when the file cannot be opened: missing, held
 * exclusively by another opener (XB_ERR_LOCKED), or failing the table checks (XB_ERR_CORRUPT,
 * text names the fault). A table whose memo file is missing opens read-only. A writable
 * open first replays a record rewrite that a killed writer left in "<file>-journal". */
XB_API int16_t xb_UseEx(const char* file, const char* alias, int16_t mode, int16_t type,
                        int16_t commit_level);
/* xb_UseEx with commit level NORMAL. */
XB_API int16_t xb_Use(const char* file, const char* alias, int16_t mode, int16_t type);
/* Makes area current; returns the previous current area. Area 0 or one without a table is
 * accepted (later table calls then fail with XB_ERR_NO_TABLE). Out of 0..250: -1. */
XB_API int32_t xb_Select(int16_t area);
/* Work area using alias (case-insensitive), 0 when none. */
XB_API int16_t xb_WorkArea(const char* alias);
/* Alias of area, "" when nothing is open there. */
XB_API const char* xb_Alias(int16_t area);
/* Commits and closes the current area (releases its locks). */
XB_API void xb_Close(void);
/* Closes every area. */
XB_API void xb_CloseAll(void);
/* Open mode of the current area (XB_OPEN_*), -1 with no table. */
XB_API int32_t xb_OpenMode(void);
/* Commit level of the current area; xb_CommitLevel sets it and returns the previous one. */
XB_API int32_t xb_GetCommitLevel(void);
XB_API int32_t xb_CommitLevel(int16_t level);
/* File name of the current table (path as opened, resolved). */
XB_API const char* xb_BaseName(void);
/* Date of the last update stored in the header, "YYYYMMDD". */
XB_API const char* xb_BaseDate(void);
/* Non-zero when the table is encrypted: always 0 (area 0 = current). */
XB_API int32_t xb_IsEncrypted(int16_t area);
/* Encryption password: recorded, returns 1 (encrypted tables are refused at open). */
XB_API int32_t xb_SetPassword(const char* password);
/* NOT SUPPORTED: encryption, filter dialogs, relations, filters over other areas. */
XB_API int32_t xb_DbfDecrypt(void);
XB_API int32_t xb_DbfEncrypt(void);
XB_API int32_t xb_Decrypt(void* buffer, int32_t length, const char* password);
XB_API int32_t xb_Encrypt(void* buffer, int32_t length, const char* password);
XB_API int32_t xb_FilterDlg(void* owner, const char* caption);
XB_API int32_t xb_FilterAlias(int16_t area, const char* alias);
XB_API int32_t xb_SetRelation(int16_t child_area, const char* key);

/* ---- Structure ---------------------------------------------------------------------------- */

XB_API int32_t xb_FieldCount(void);
/* Bytes of one record image: 1 (deletion marker) + the field widths. */
XB_API int32_t xb_RecSize(void);
/* Name of field number (1-based), upper case; "" when out of range. */
XB_API const char* xb_FieldName(int32_t number);
/* Field number (1-based) of a name (case-insensitive), 0 when none. */
XB_API int32_t xb_FieldNum(const char* field);
/* Type text of a field: "Character", "Numeric", "Float", "Logical", "Date", "Memo",
 * "Integer", "Binary double", "Y currency", "Timestamp"; its first letter is the type. */
XB_API const char* xb_FieldType(const char* field);
/* One-based offset: the field's first byte is at offset - 1 in the record image. */
XB_API int32_t xb_FieldOffset(const char* field);
XB_API int32_t xb_FieldWidth(const char* field);
XB_API int32_t xb_FieldDecimals(const char* field);

/* ---- Navigation --------------------------------------------------------------------------- */
/* Navigation visits the records that are shown: not those marked deleted when
 * xb_SetDeleted is on, and only those matching the active query. Past the last shown record
 * the area stands on the phantom record RecCount + 1 (blank, Eof set). Moving before the
 * first shown record stands on the first one with Bof set. An empty view is Bof and Eof. */

/* Each returns 1 when the area stands on a shown record afterwards, else 0. */
XB_API int32_t xb_GoTop(void);
XB_API int32_t xb_GoBottom(void);
XB_API int32_t xb_Skip(int32_t count);
/* Goes to a record number, deleted or filtered or not; out of range gives the phantom
 * record with Eof set (returns 0). */
XB_API int32_t xb_Go(int32_t record);
XB_API int32_t xb_Eof(void);
XB_API int32_t xb_Bof(void);
/* Current record number (RecCount + 1 on the phantom record). */
XB_API int32_t xb_RecNo(void);
/* Records in the file (deleted and filtered ones included). */
XB_API int32_t xb_RecCount(void);
/* Records shown (see above): deleted setting and query applied. Keeps the position. */
XB_API int32_t xb_Count(void);

/* ---- Records ------------------------------------------------------------------------------ */

/* Copies the current record image (xb_RecSize bytes) into buffer; returns 1. */
XB_API int32_t xb_GetRecord(void* buffer);
/* Replaces the current record from an image of xb_RecSize bytes (its byte 0 the deletion
 * marker, ' ' or '*'); returns 1. Fails on the phantom record, on read-only tables. */
XB_API int32_t xb_PutRecord(const void* buffer);
/* Byte at zero-based offset of the current record image, -1 out of range. */
XB_API int32_t xb_GetByte(int32_t offset);
/* Appends a blank record and makes it current; returns 1. The record reaches the file
 * before the header counts it. In shared mode the header is locked during the append and
 * the new record stays locked for this area (released by xb_Unlock). */
XB_API int32_t xb_AppendBlank(void);
XB_API int32_t xb_Append(void);
/* As xb_AppendBlank; lock 0 leaves the new record unlocked. */
XB_API int32_t xb_AppendBlankEx(int32_t lock);
XB_API int32_t xb_AppendEx(int32_t lock);
/* Appends the records of another table (fields matched by name) for which condition (may
 * be NULL or "") is true; type is its table type code. Returns the records appended, -1 on
 * failure. */
XB_API int32_t xb_AppendFrom(const char* file, int16_t type, const char* condition);
/* Marks the current record deleted / live; 1 on success. */
XB_API int32_t xb_Delete(void);
XB_API int32_t xb_Recall(void);
/* Non-zero when the current record is marked deleted. */
XB_API int32_t xb_Deleted(void);
/* Writes a value into a field of the current record (see XB_REPLACE_*): text is blank
 * padded or cut for C, formatted for N/F (too wide: XB_ERR_VALUE, nothing written),
 * "T"/"F" for L, "YYYYMMDD" for D; XB_REPLACE_MEMO stores memo text in the .DBT and the
 * block number in the field. Returns 1 on success. The value is checked before the record:
 * on the phantom record a value that does not fit still fails with XB_ERR_VALUE (a fitting
 * one with XB_ERR_ARGUMENT, no current record), so callers can check values first. */
XB_API int32_t xb_Replace(const char* field, int16_t type, const void* value);
/* Writes length bytes as the memo of an M field; returns the bytes written (length). */
XB_API int32_t xb_PutBlob(const char* field, const void* data, uint32_t length);
/* Memo length / copy of up to capacity bytes (returns bytes copied). */
XB_API int32_t xb_GetBlobLength(const char* field);
XB_API int32_t xb_GetBlob(const char* field, void* buffer, uint32_t capacity);
/* Writes the memo of field to a new file; returns the bytes written, -1 on failure. */
XB_API int32_t xb_BlobToFile(const char* field, const char* file);
/* Memo text of an M field ("" when none). */
XB_API const char* xb_GetMemo(const char* field);
/* Typed readers of the current record. Strings: the stored bytes (C padded); trimmed
 * without trailing blanks. Logical: 1 for T/t/Y/y. Integer/Long: numeric value truncated
 * toward zero. Date string: in the date format; Julian: day number, 0 empty. */
XB_API const char* xb_GetString(const char* field);
XB_API const char* xb_GetTrimString(const char* field);
XB_API int32_t xb_GetLogical(const char* field);
XB_API int32_t xb_GetInteger(const char* field);
XB_API int32_t xb_GetLong(const char* field);
XB_API double xb_GetDouble(const char* field);
XB_API const char* xb_GetDateString(const char* field);
XB_API int32_t xb_GetDateJulian(const char* field);
/* Also beyond the 169: typed readers by field number (1-based, see xb_FieldNum), for callers
 * that read many records: no name is compared at each call, and the text comes with its
 * length. xb_GetTrimStringNum copies the field's bytes without trailing blanks, cut to
 * capacity - 1 bytes and zero-terminated, into buffer and returns their whole length (a
 * result >= capacity tells the text was cut; capacity 0 with buffer NULL asks the length
 * alone); -1 with XB_ERR_ARGUMENT for a number out of range or no buffer. xb_GetLogicalNum
 * and xb_GetIntegerNum read as xb_GetLogical and xb_GetInteger. */
XB_API int32_t xb_GetTrimStringNum(int32_t number, char* buffer, int32_t capacity);
XB_API int32_t xb_GetLogicalNum(int32_t number);
XB_API int32_t xb_GetIntegerNum(int32_t number);
/* Non-zero when the field is blank (EMPTY() rules). xb_IsNull: same for these tables. */
XB_API int32_t xb_Empty(const char* field);
XB_API int32_t xb_IsNull(const char* field);
/* Writes pending changes of the current area as its commit level says; returns 1. */
XB_API int32_t xb_Commit(void);
/* Removes the records marked deleted (exclusive open only); returns 1. */
XB_API int32_t xb_Pack(void);
/* Removes all records (exclusive open only); returns 1. */
XB_API int32_t xb_Zap(void);
/* Complement used for descending keys: each byte b of text becomes 255 - b (bytes 255
 * become 1 so the result stays zero-terminated). */
XB_API const char* xb_Descend(const char* text);

/* ---- Creation and copies ------------------------------------------------------------------- */

/* Starts the definition of a new table: file path, alias (opened under it after creation;
 * NULL/"" = do not open), type code, number of fields to come. Returns 1. */
XB_API int32_t xb_CreateNew(const char* file, const char* alias, int16_t type,
                            int16_t field_count);
/* As xb_CreateNew with the language-driver byte to store (0x03 = CP1252, 0x01 = CP437...). */
XB_API int32_t xb_CreateNewEx(const char* file, const char* alias, int16_t type,
                              int16_t field_count, int16_t language_driver);
/* Adds a field: name (1..10 letters, digits, "_"), type "C" "N" "F" "L" "D" "M", width,
 * decimals (C up to 65,535 wide; N/F up to 20 with decimals < width - 1; L 1; D 8; M 10).
 * Returns 1; a bad definition fails (XB_ERR_ARGUMENT) and is not added. */
XB_API int32_t xb_CreateField(const char* name, const char* type, int16_t width,
                              int16_t decimals);
/* Writes the defined table (version 0x03, 0x83 with memo fields, and a .DBT); an existing
 * file is replaced, unless another opener holds it. A symbolic link at either name is
 * refused, never written through (as for every file the engine creates). Opens it when an
 * alias was given (returns its work area), else 1. 0 on failure. */
XB_API int32_t xb_CreateExec(void);
/* Creates an empty table with the current table's structure; returns 1. */
XB_API int32_t xb_CopyStructure(const char* file);
/* Creates a table describing the current structure (FIELD_NAME C10, FIELD_TYPE C1,
 * FIELD_LEN N3, FIELD_DEC N3, one record per field); returns 1. */
XB_API int32_t xb_CopyStructureExtended(const char* file);
/* Creates a table from a structure-extended table (as written above); returns the new work
 * area when alias is given, else 1; 0 on failure. */
XB_API int16_t xb_CreateFrom(const char* file, const char* alias, const char* structure_file,
                             int16_t type);
/* Copies the records of the current area for which condition (NULL/"" = all shown records)
 * is true into a new table of the same structure / a delimited text file; returns the
 * records copied, -1 on failure. The position is kept. */
XB_API int32_t xb_CopyFile(const char* file, const char* condition);
XB_API int32_t xb_CopyFileText(const char* file, const char* condition);

/* ---- Locks ---------------------------------------------------------------------------------- */
/* Record and file locks are operating-system byte-range locks at the Clipper offsets, seen by
 * every process on the same file; an exclusive open needs no locks and grants them all. */

/* Locks one record (0 = the current one); 1 when granted (also when already held), 0 when
 * another process holds it after the lock timeout. */
XB_API int32_t xb_Rlock(int32_t record);
/* Locks the whole file; 1 when granted. */
XB_API int32_t xb_Flock(void);
/* Releases one record lock, or with 0 every lock of the area; returns 1. */
XB_API int32_t xb_Unlock(int32_t record);
/* Non-zero when this area holds the lock of record (0 = the file lock). */
XB_API int32_t xb_Locked(int32_t record);
/* Record locks held by the area. */
XB_API int32_t xb_LockCount(void);
/* Copies up to capacity locked record numbers (ascending); returns how many are held. */
XB_API int32_t xb_DBRlockList(uint32_t* records, int32_t capacity);

/* ---- Expressions, queries, locate ---------------------------------------------------------- */

/* Type of an expression against the current table (XB_EVAL_*; 0 for a syntax or type
 * error). Field names need a table; without one only constant expressions are typed. */
XB_API int32_t xb_EvalTest(const char* expression);
/* Value of an expression on the current record; 0 / 0.0 / "" on error or other type.
 * xb_EvalString gives numbers, logicals and dates as text (STR form, "T"/"F", DTOS form). */
XB_API int32_t xb_EvalLogical(const char* expression);
XB_API double xb_EvalNumeric(const char* expression);
XB_API const char* xb_EvalString(const char* expression);
/* Sets the area's query (a logical expression); NULL or "" removes it. Returns non-zero
 * exactly when at least one shown record matches; the current record is then the first
 * match in the current order, else the phantom record (Eof). A bad expression returns 0,
 * keeps no query and sets XB_ERR_EXPRESSION. */
XB_API int32_t xb_Query(const char* expression);
/* Same as xb_Query (a filter evaluated as the records are visited). */
XB_API int32_t xb_SetFilter(const char* expression);
/* 1 when expression is a valid logical query whose count xb_QueryRecCount can give,
 * 0 when it is not valid. */
XB_API int32_t xb_QueryTest(const char* expression);
/* Records matching the active query (deleted setting applied); xb_RecCount without query. */
XB_API int32_t xb_QueryRecCount(void);
/* Text of the active query, "" when none. */
XB_API const char* xb_DBFilter(void);
/* Query bits: non-zero when record matches the active query (1 for every record without
 * one). xb_SetQueryBit: NOT SUPPORTED (queries are computed, not stored). */
XB_API int32_t xb_GetQueryBit(int32_t record);
XB_API int32_t xb_SetQueryBit(int32_t record, int32_t on);
/* Finds the next shown record for which expression is true. direction >= 0 forward, < 0
 * backward; continue_from_current non-zero starts after/before the current record, 0 at the
 * top/bottom. Returns 1 on a match (current record), 0 when none (Eof forward, Bof and the
 * first record backward) or on a bad expression. */
XB_API int32_t xb_Locate(const char* expression, int16_t direction,
                         int32_t continue_from_current);

/* ---- Indexes ------------------------------------------------------------------------------- */
/* NTX index orders (one order per file, docs/ntx-format.md). Each work area holds the orders
 * opened in it, numbered from 1 in opening order; the controlling order (0 = natural order)
 * drives GoTop, GoBottom and Skip, which still hide deleted records (xb_SetDeleted) and apply
 * the query. Every write through this interface (PutRecord, Replace, Delete, Recall,
 * AppendBlank, Pack, Zap) keeps every open order of the area right; updates take the lock at
 * byte 1,000,000,000 of the index and increment its header version. A file name without an
 * extension gets ".ntx". Without an order the describing calls answer 0 / "". */

/* Creates file (not through a symbolic link) on the key expression (character, numeric,
 * date or logical; at most 250 key bytes), optionally unique (first record of equal keys
 * only), descending and with a FOR condition ("" none); opens it as the controlling order
 * and goes to the top. Returns the order number, 0 on failure. xb_IndexTag ignores the
 * tag: an NTX file holds one order. */
XB_API int32_t xb_Index(const char* file, const char* key, int16_t unique, int16_t descending,
                        const char* condition);
XB_API int32_t xb_IndexTag(const char* file, const char* tag, const char* key, int16_t unique,
                           int16_t descending, const char* condition);
/* Opens an existing NTX file; the first order opened in an area becomes controlling (and the
 * table goes to its top). Returns the order number, 0 on failure. */
XB_API int32_t xb_IndexOpen(const char* file);
/* Closes the controlling order (order 1, if any, becomes controlling); returns 1. */
XB_API int32_t xb_IndexClose(void);
XB_API void xb_CloseIndexes(void);
/* Makes order 0..count controlling; returns the previous one, -1 (XB_ERR_NO_INDEX) for an
 * order that is not open. The current record stays. */
XB_API int32_t xb_SetOrder(int16_t order);
XB_API int32_t xb_IndexOrd(void);               /* controlling order, 0 natural */
XB_API const char* xb_IndexKey(void);           /* its key expression */
XB_API const char* xb_IndexKeyField(void);      /* first field the key names, upper case */
XB_API const char* xb_IndexCondition(void);     /* its FOR condition */
XB_API const char* xb_IndexName(int16_t order); /* file path of order (0 = controlling) */
XB_API const char* xb_TagName(int16_t order);   /* file base name, upper case */
XB_API int32_t xb_IndexType(void);              /* XB_TYPE_NTX, 0 without an order */
XB_API int32_t xb_KeyLength(void);              /* key bytes */
XB_API const char* xb_KeyData(const char* tag); /* current record's key (tag ignored) */
/* Seeks key in the controlling order: a numeric order parses the text; a character key
 * shorter than the key length matches as a prefix unless exact is on (xb_SetExact,
 * xb_SysProp 1003), which compares it blank-padded. Found: the first matching shown record
 * is current, 1. Not found: 0 and Eof, or with soft seek on the next higher key's record.
 * Without an order: 0 and XB_ERR_NO_INDEX. */
XB_API int32_t xb_Seek(const char* key);
XB_API int32_t xb_SeekBin(const void* key, int16_t length);
XB_API int32_t xb_Found(void);                  /* result of the last seek */
/* Rebuilds every open order of the area from the table; 1, or 0 without orders. */
XB_API int32_t xb_Reindex(void);
/* Relative position 0..1 of the current record in the controlling order (approximate, from
 * its place in the tree), and going to a relative position; natural order: RecNo/RecCount. */
XB_API double xb_OrderPosGet(void);
XB_API int32_t xb_OrderPosSet(double position);
/* The current record's number. */
XB_API int32_t xb_OrderRecNo(void);
/* NOT SUPPORTED: scopes, flipping the direction, adding or dropping single keys, tags. */
XB_API const char* xb_GetScope(int16_t which); /* "" */
XB_API int32_t xb_IndexFlip(void);
XB_API int32_t xb_KeyAdd(const char* tag);
XB_API int32_t xb_KeyDrop(const char* tag);
XB_API int32_t xb_TagArea(const char* tag);
XB_API int32_t xb_TagDelete(const char* tag);
XB_API int32_t xb_SetScope(const char* low, const char* high);
/* NOT SUPPORTED: roll-your-own filters and keys. */
XB_API int32_t xb_RYOFilterActivate(int16_t handle, int16_t mode);
XB_API int32_t xb_RYOFilterCopy(void);
XB_API int32_t xb_RYOFilterCreate(void);
XB_API int32_t xb_RYOFilterDestroy(int16_t handle);
XB_API int32_t xb_RYOFilterGetBit(int16_t handle, int32_t record);
XB_API int32_t xb_RYOFilterRestore(const char* file);
XB_API int32_t xb_RYOFilterSave(int16_t handle, const char* file);
XB_API int32_t xb_RYOFilterSetBit(int16_t handle, int32_t record, int16_t on);
XB_API int32_t xb_RYOKeyAdd(const char* tag, const char* key);
XB_API int32_t xb_RYOKeyDrop(const char* tag);

#ifdef __cplusplus
}
#endif

#endif /* VELLORIA_ENGINE_XBENGINE_H_ */
