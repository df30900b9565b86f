#!/usr/bin/env python3
"""Checks every PE file the package ships, as read from its own headers.

    check-modules.py <folder> <dmslink.wxs> <VERSION> [path that must not appear ...]

The files are the package's File sources, found under <folder> (an i686 bin folder or the package's
signed files). Each is a 32-bit i386 DLL with ASLR and DEP on, no section both writable and
executable, and imports only from Windows and from the other files shipped. Our own modules also
export exactly their documented names, carry a VERSIONINFO whose version is the package's, hold no
link time in their header and name none of the given paths (the source and build folders); the
plug-ins link libgcc shared, so that a host error thrown in one module is caught in another."""
import re
import struct
import sys

SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
               "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "version.dll"}
# What each of our modules exports: the plug-ins their two entries, the language module nothing.
EXPORTS = {"plugins/dmslink.dll": ["PISetupSDK", "VarnelPlugInMain"],
           "plugins/helptrim.dll": ["PISetupSDK", "VarnelPlugInMain"],
           "Lang/DE/dmslink.dll": []}
SHARED_LIBGCC = "libgcc_s_dw2-1.dll"
I386, PE32 = 0x14C, 0x10B
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000
RT_VERSION = 16


class PeFile:
    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        self.machine, count, self.timestamp = struct.unpack_from("<HHI", data, pe + 4)
        optional_size, self.characteristics = struct.unpack_from("<HH", data, pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        self.dll_characteristics = self.u16(optional + 70)
        self.directories = [struct.unpack_from("<II", data, optional + 96 + 8 * i)
                            for i in range(min(self.u32(optional + 92), 16))]
        self.sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((name, va, max(vsize, raw_size), raw, self.u32(at + 36)))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for _, va, size, raw, _ in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address 0x%x is in no section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def exports(self):
        rva, _ = self.directories[0]
        if not rva:
            return []
        at = self.offset(rva)
        names = self.offset(self.u32(at + 32))
        return sorted(self.text(self.u32(names + 4 * i)) for i in range(self.u32(at + 24)))

    def imports(self):
        found = []
        for index, size in ((1, 20), (13, 32)):  # the import table, then the delay-load one
            rva, _ = self.directories[index] if index < len(self.directories) else (0, 0)
            at = rva and self.offset(rva)
            while rva:
                name = self.u32(at + (12 if index == 1 else 4))
                if not name:
                    break
                found.append(self.text(name))
                at += size
        return found

    def version(self):
        """The file version of the first VERSIONINFO, as "a.b.c.d", or None."""
        rva, _ = self.directories[2]
        if not rva:
            return None
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield ident, target

        for ident, target in entries(base):
            if ident != RT_VERSION or not target & 0x80000000:
                continue
            level = base + (target & 0x7FFFFFFF)
            while True:
                _, target = next(entries(level))
                if not target & 0x80000000:
                    break
                level = base + (target & 0x7FFFFFFF)
            data_rva, size = struct.unpack_from("<II", self.data, base + target)
            block = self.data[self.offset(data_rva):self.offset(data_rva) + size]
            fixed = block.find(struct.pack("<I", 0xFEEF04BD))
            if fixed < 0:
                return None
            ms, ls = struct.unpack_from("<II", block, fixed + 8)
            return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        return None


def check(folder, name, shipped, version, forbidden):
    problems = []
    module = PeFile("%s/%s" % (folder, name))
    if module.machine != I386 or module.magic != PE32 or not module.characteristics & 0x2000:
        problems.append("not a PE32 i386 DLL")
    for flag, label in ((DYNAMIC_BASE, "ASLR"), (NX_COMPAT, "DEP")):
        if not module.dll_characteristics & flag:
            problems.append("%s is off" % label)
    for section, _, _, _, flags in module.sections:
        if flags & MEM_EXECUTE and flags & MEM_WRITE:
            problems.append("section %s is writable and executable" % section)
    for dll in module.imports():
        if dll.lower() not in SYSTEM_DLLS and dll.lower() not in shipped:
            problems.append("imports %s, neither a Windows DLL nor shipped" % dll)
    if name in EXPORTS:
        if module.timestamp != 0:
            problems.append("its header holds a link time (0x%08x)" % module.timestamp)
        if module.exports() != EXPORTS[name]:
            problems.append("exports %s, not %s" % (module.exports(), EXPORTS[name]))
        if name.startswith("plugins/") and SHARED_LIBGCC not in module.imports():
            problems.append("does not import %s" % SHARED_LIBGCC)
        if module.version() != version:
            problems.append("VERSIONINFO says %s, the package %s" % (module.version(), version))
        for path in forbidden:
            for form in (path.encode(), path.encode("utf-16-le")):
                if form in module.data:
                    problems.append("names the build's folder %s" % path)
    return problems


def main(folder, wxs, version_file, *forbidden):
    names = re.findall(r'Source="([^"]+)"', open(wxs, encoding="utf-8").read())
    version = open(version_file).read().strip()
    shipped = {n.rsplit("/", 1)[-1].lower() for n in names}
    unknown = set(EXPORTS) - set(names)
    if unknown:
        print("FAIL: the package ships none of %s" % sorted(unknown))
        return 1
    failed = 0
    for name in names:
        try:
            problems = check(folder, name, shipped, version, [p.rstrip("/") for p in forbidden if p])
        except (OSError, ValueError, struct.error) as error:
            problems = ["unreadable: %s" % error]
        for problem in problems:
            print("FAIL: %s: %s" % (name, problem))
        failed |= bool(problems)
        if not problems:
            print("ok: %s" % name)
    return failed


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
