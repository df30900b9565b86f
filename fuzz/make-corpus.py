#!/usr/bin/env python3
"""Writes the seed inputs under fuzz/corpus/<fuzzer>/ from the cases the GoogleTest programs use.
Crash inputs kept there are other files; this script leaves them alone."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def write(fuzzer, name, data):
    folder = os.path.join(here, "corpus", fuzzer)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


# TSFile.dat records (TempWorkspaceTest).
def text(value, count=None):
    return struct.pack("<I", len(value) if count is None else count) + utf16(value)


def record(number, version, name, database, server):
    return struct.pack("<ii", number, version) + text(name) + text(database) + text(server)


valid = record(1234, 2, "1234_2.pdf", "DOCS", "SRV1")
write("file_data", "complete", valid)
write("file_data", "longest-name", record(1, 2, "n" * 260, "DOCS", "SRV1"))
write("file_data", "name-too-long", record(1, 2, "n" * 261, "DOCS", "SRV1"))
write("file_data", "server-cut-short", valid[:-2])
write("file_data", "six-bytes", valid[:6])
write("file_data", "count-beyond-end", struct.pack("<ii", 1234, 2) + text("1234_2.pdf", 20))
write("file_data", "no-database", record(1234, 2, "1234_2.pdf", "", "SRV1"))
write("file_data", "negative-number", record(-1, 2, "1234_2.pdf", "DOCS", "SRV1"))
write("file_data", "no-server", record(1234, 2, "1234_2.pdf", "DOCS", ""))
for i, name in enumerate(["..\\victim.pdf", "..", "sub/x.pdf", "C:x.pdf", "x.pdf:stream", "NUL", "com1.pdf",
                          "CON .txt", "x.pdf.", "COM10.pdf", "x\x01.pdf", "a b.pdf"]):
    write("file_data", "name-%02d" % i, record(1234, 2, name, "DOCS", "SRV1"))

# PRF files (DeskClientPRFTest); the fuzzer accepts any FILE value.
path = "C:\\users\\dev\\Temp\\Lease.pdf"


def lines(file, tail):
    return "[Tessera]\r\nFILE=" + file + "\r\nDOCID=!session:SRV1:!DOCS:1234:2\r\n" + tail


standard_tail = "DB=DOCS\r\nNUM=1234\r\nVER=2\r\nDESCRIPTION=Lease\r\n"
standard = lines(path, standard_tail)
write("prf_text", "ansi", standard.encode("latin-1"))
write("prf_text", "utf16", b"\xff\xfe" + utf16(lines(path.upper(), standard_tail)))
write("prf_text", "no-last-line-end", lines(path, standard_tail[:-2]).encode("latin-1"))
write("prf_text", "file-on-first-line", standard[standard.find("FILE="):].encode("latin-1"))
write("prf_text", "keys-before-docid",
      ("[Tessera]\r\n" + standard_tail + "FILE=" + path + "\r\nDOCID=!session:SRV1:!\r\n").encode("latin-1"))
write("prf_text", "digits-then-letters",
      lines(path, "DB=DOCS\r\nNUM=12abc\r\nVER=2\r\nDESCRIPTION=\r\n").encode("latin-1"))
write("prf_text", "empty-number", lines(path, "DB=DOCS\r\nNUM=\r\nVER=2\r\nDESCRIPTION=Lease\r\n").encode("latin-1"))
write("prf_text", "negative-version",
      lines(path, "DB=DOCS\r\nNUM=5\r\nVER=-1\r\nDESCRIPTION=Lease\r\n").encode("latin-1"))
write("prf_text", "empty-database", lines(path, "DB=\r\nNUM=5\r\nVER=1\r\nDESCRIPTION=Lease\r\n").encode("latin-1"))
write("prf_text", "beyond-the-head",
      lines(path, "DB=DOCS\r\nNUM=1234\r\nVER=2\r\n" + " " * 10240 + "\r\nDESCRIPTION=Lease\r\n").encode("latin-1"))

# Stored password texts as UTF-16 code units (TSPasswordTest, TSServerListTest).
iv = "000102030405060708090A0B0C0D0E0F"
ciphers = ["9CF3EF8E50BA5934D9CF270D951C198C", "B210ACA0AAEC9BB757C6D961C24997FA",
           "BE8486579AF15DC0534719372633F56F915AE2377B07425DDDC275EE4E571730", "F19A266973CB1147188C8F45A441228E"]
for i, cipher in enumerate(ciphers):
    write("stored_password", "vector-%d" % i, utf16(iv + cipher))
good = iv + ciphers[2]
write("stored_password", "lower-case", utf16((iv + ciphers[1]).lower()))
write("stored_password", "eight-bytes", utf16("0123456789ABCDEF"))
write("stored_password", "iv-only", utf16(iv))
write("stored_password", "odd-length", utf16(good[:95]))
write("stored_password", "forty-digits", utf16(good[:40]))
write("stored_password", "not-hex", utf16(good[:40] + "G" + good[41:]))
write("stored_password", "blank-last", utf16(good[:95] + " "))
write("stored_password", "arabic-digit", utf16("\u0660" + good[1:]))

# Registry values (TSServerListTest, PluginStartupTest): type byte, maxChars (uint16 LE), the bytes.
REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ = 1, 2, 4, 7


def value(kind, max_chars, data):
    return struct.pack("<BH", kind, max_chars) + data


def sz(text_value):
    return utf16(text_value) + b"\0\0"


write("registry_text", "longest", value(REG_SZ, 260, sz("n" * 259)))
write("registry_text", "too-long", value(REG_SZ, 260, sz("x" * 260)))
write("registry_text", "dword", value(REG_DWORD, 260, b"\1\0\0\0"))
write("registry_text", "odd-length", value(REG_SZ, 260, b"a\0b\0\0"))
write("registry_text", "no-terminator", value(REG_SZ, 260, b"a\0b\0"))
write("registry_text", "multi-string", value(REG_MULTI_SZ, 260, b"a\0\0\0\0\0"))
write("registry_text", "expandable", value(REG_EXPAND_SZ, 260, sz("%TEMP%\\srv")))
write("registry_text", "empty", value(REG_SZ, 260, b""))
write("registry_text", "flag", value(REG_SZ, 260, sz("1")))
write("registry_text", "flag-word", value(REG_SZ, 260, sz("true")))
write("registry_text", "flag-unterminated", value(REG_SZ, 260, utf16("1")))
write("registry_text", "flag-odd-length", value(REG_SZ, 260, utf16("1")[:1] + b"\0\0"))
write("registry_text", "password", value(REG_SZ, 1024, sz(good)))
write("registry_text", "nul-inside", value(REG_SZ, 260, utf16("ab") + b"\0\0" + utf16("cd") + b"\0\0"))
