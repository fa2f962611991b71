#!/usr/bin/env python3
"""Inspects the shipping 32-bit Setup.exe without running it.

  inspect_setup.py SETUP.EXE MANIFEST
  inspect_setup.py --program OTHER.EXE [MANIFEST]
                      the same checks of another program (machine, versions,
                      imports) and, when MANIFEST is given, of its manifest
  inspect_setup.py --compare A.EXE B.EXE
                      whether two programs carry the same resources: the
                      same types, names and languages, string tables text by
                      text, icon groups image by image (whatever numbers the
                      images carry), everything else byte for byte

Checks the machine, subsystem and versions that Windows XP needs, a
signature when there is one (one Authenticode table that ends the file), the
manifest (byte for byte the project's: administrator rights, no uiAccess,
Windows Vista and 7 as the supported systems), every resource the program
reads (the version information naming the product in English and Chinese,
its version as the string table has it), and that it imports only known system DLLs and nothing newer than
Windows XP.
Prints the size of the program with and without its package. Exit status
0 when every check holds, 1 otherwise.
"""
import re
import struct
import sys

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


class Pe:
    def __init__(self, data):
        self.data = data
        (lfanew,) = struct.unpack_from("<I", data, 0x3C)
        if data[lfanew:lfanew + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        coff = lfanew + 4
        self.machine, nsections, _, _, _, optsize, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, coff)
        opt = coff + 20
        self.magic = struct.unpack_from("<H", data, opt)[0]
        (self.os_major, self.os_minor, _, _, self.sub_major,
         self.sub_minor) = struct.unpack_from("<HHHHHH", data, opt + 40)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + optsize
        for i in range(nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA %#x lies in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii")

    def imports(self):
        rva, _ = self.dirs[1]
        result = {}
        off = self.offset(rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, off)
            if name == 0:
                break
            funcs = []
            table = self.offset(lookup or first)
            while True:
                (entry,) = struct.unpack_from("<I", self.data, table)
                if entry == 0:
                    break
                if entry & 0x80000000:
                    funcs.append("#%d" % (entry & 0xFFFF))
                else:
                    funcs.append(self.cstring(entry + 2))
                table += 4
            result[self.cstring(name)] = funcs
            off += 20
        return result

    def resources(self):
        """(type, name, language) -> bytes; names are upper-case text or ints."""
        base_rva, _ = self.dirs[2]
        if base_rva == 0:
            return {}
        base = self.offset(base_rva)
        out = {}

        def label(entry_name):
            if entry_name & 0x80000000:
                off = base + (entry_name & 0x7FFFFFFF)
                (n,) = struct.unpack_from("<H", self.data, off)
                return self.data[off + 2:off + 2 + 2 * n].decode("utf-16-le")
            return entry_name

        def walk(off, path):
            _, _, _, _, named, ids = struct.unpack_from("<IIHHHH", self.data, off)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, off + 16 + 8 * i)
                key = path + (label(name),)
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), key)
                else:
                    rva, size, _, _ = struct.unpack_from("<IIII", self.data, base + target)
                    start = self.offset(rva)
                    out[key] = self.data[start:start + size]

        walk(base, ())
        return out


RT_BITMAP, RT_ICON, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = \
    2, 3, 6, 10, 14, 16, 24
LANG_ZH_CN = 2052

# System DLLs that Windows always takes from its own folder (its "known
# DLLs", the registry key HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs), whatever lies beside the program, on current Windows.
# version.dll was known on XP and is not any more. Any other system DLL
# (comctl32, msimg32, shlwapi, version) the programs load by full path at run
# time: an import would be looked for in a downloads or temporary folder
# first.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
               "ole32.dll", "oleaut32.dll", "comdlg32.dll", "msvcrt.dll"}

# Functions that Windows XP (32-bit, SP3) does not export; the program looks
# the first few up by name instead of importing them.
NEWER_THAN_XP = {
    "SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory", "GetTickCount64",
    "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeConditionVariable", "WakeAllConditionVariable", "InitOnceExecuteOnce",
    "InitOnceBeginInitialize", "InitOnceComplete", "FlsAlloc", "FlsFree", "FlsGetValue",
    "FlsSetValue", "GetFinalPathNameByHandleW", "GetFinalPathNameByHandleA",
    "CreateSymbolicLinkW", "CreateSymbolicLinkA", "GetFileInformationByHandleEx",
    "SetFileInformationByHandle", "CancelIoEx", "GetQueuedCompletionStatusEx",
    "CreateEventExW", "CreateMutexExW", "CreateSemaphoreExW", "InitializeCriticalSectionEx",
    "GetErrorMode", "GetLocaleInfoEx", "LCIDToLocaleName", "LocaleNameToLCID",
    "CompareStringEx", "LCMapStringEx", "GetUserDefaultLocaleName", "GetSystemTimePreciseAsFileTime",
    "QueryFullProcessImageNameW", "QueryFullProcessImageNameA", "RegGetValueW", "RegGetValueA",
    "RegDeleteTreeW", "RegDeleteTreeA", "RegSetKeyValueW", "RegDeleteKeyExW",
    "SHGetKnownFolderPath", "SHCreateItemFromParsingName", "TaskDialog", "TaskDialogIndirect",
    "GetThreadId", "GetProcessId", "Wow64DisableWow64FsRedirection", "GetNumaNodeProcessorMaskEx",
    "SetThreadErrorMode", "GetThreadErrorMode", "K32GetModuleFileNameExW", "CreateRemoteThreadEx",
    "GetDpiForWindow", "SetProcessDPIAware", "SetProcessDpiAwareness", "ChangeWindowMessageFilter",
    "ChangeWindowMessageFilterEx", "IsThemeActive", "DwmIsCompositionEnabled",
    "SetProcessMitigationPolicy", "GetProcessMitigationPolicy",
}

# What a compatibility layer set for the program (by any user, in HKCU) makes
# lie about the Windows version, turning the DLL hardening of current
# Windows off; the programs ask RtlGetVersion, looked up by name.
BENT_BY_COMPATIBILITY = {"GetVersion", "GetVersionExA", "GetVersionExW"}


def string_table(res):
    strings = {}
    for (rtype, block, lang), data in res.items():
        if rtype != RT_STRING:
            continue
        pos = 0
        for i in range(16):
            (n,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if n:
                strings[(block - 1) * 16 + i] = (data[pos:pos + 2 * n].decode("utf-16-le"), lang)
            pos += 2 * n
    return strings


def one(res, rtype, name):
    found = [v for (t, n, _), v in res.items() if t == rtype and n == name]
    return found[0] if len(found) == 1 else None


def version_info(data):
    """VS_VERSION_INFO: the file and product versions and each block's texts by language."""
    def node(pos):
        length, value_length, kind = struct.unpack_from("<HHH", data, pos)
        end = data.index(b"\0\0", pos + 6)
        while (end - pos) % 2:
            end = data.index(b"\0\0", end + 1)
        key = data[pos + 6:end].decode("utf-16-le")
        value = (end + 2 + 3) & ~3
        size = value_length * (2 if kind == 1 else 1)
        children, child = [], (value + size + 3) & ~3
        while child < pos + length:
            children.append(node(child))
            child = (child + children[-1][3] + 3) & ~3
        return key, data[value:value + size], children, length
    key, fixed, children, _ = node(0)
    if key != "VS_VERSION_INFO" or len(fixed) != 52 or fixed[:4] != b"\xbd\x04\xef\xfe":
        return None
    ms, ls, pms, pls = struct.unpack_from("<IIII", fixed, 8)
    blocks = {}
    for name, _, tables, _ in children:
        if name == "StringFileInfo":
            for lang, _, values, _ in tables:
                blocks[int(lang[:4], 16)] = {k: v.decode("utf-16-le").rstrip("\0")
                                             for k, v, _, _ in values}
    split = lambda hi, lo: (hi >> 16, hi & 0xFFFF, lo >> 16, lo & 0xFFFF)
    return split(ms, ls), split(pms, pls), blocks


def check_version(res, names, version):
    """The version information names the product in each language and carries its version."""
    data = one(res, RT_VERSION, 1)
    info = version_info(data) if data is not None else None
    check(info is not None, "version information (VERSION 1, VS_VERSION_INFO)")
    if info is None:
        return
    numbers = [int(n) for n in re.match(r"[0-9]+(?:\.[0-9]+){0,3}", version or "0").group(0).split(".")]
    numbers = tuple(numbers + [0] * (4 - len(numbers)))
    check(info[0] == numbers and info[1] == numbers,
          "file and product version %s from the version text %r" % (".".join(map(str, info[0])), version))
    for lang, name in ((0x409, names[0]), (0x804, names[1])):
        block = info[2].get(lang, {})
        check(block.get("ProductName") == name and block.get("ProductVersion") == version
              and block.get("CompanyName"),
              "version block %04x: product %r, version %r, a company" % (lang, name, version))


def check_program(pe):
    check(pe.machine == 0x14C, "machine i386 (%#x)" % pe.machine)
    check(pe.magic == 0x10B, "a 32-bit program (optional header %#x)" % pe.magic)
    check(pe.subsystem == 2, "GUI subsystem (%d)" % pe.subsystem)
    check((pe.os_major, pe.os_minor) == (5, 1), "OS version %d.%02d" % (pe.os_major, pe.os_minor))
    check((pe.sub_major, pe.sub_minor) == (5, 1),
          "subsystem version %d.%02d" % (pe.sub_major, pe.sub_minor))
    imports = pe.imports()
    dlls = sorted(imports)
    check(all(d.lower() in SYSTEM_DLLS for d in dlls), "imports only known system DLLs: " + " ".join(dlls))
    newer = sorted(f for funcs in imports.values() for f in funcs if f in NEWER_THAN_XP)
    check(not newer, "no imported function newer than Windows XP" +
          (": " + " ".join(newer) if newer else ""))
    bent = sorted(f for funcs in imports.values() for f in funcs if f in BENT_BY_COMPATIBILITY)
    check(not bent, "no version call a compatibility layer bends" +
          (": " + " ".join(bent) if bent else ""))


def check_manifest(res, manifest):
    check(one(res, RT_MANIFEST, 1) == manifest, "manifest 1 is byte for byte the project's")
    text = manifest.decode("utf-8")
    check('level="requireAdministrator"' in text and 'uiAccess="false"' in text,
          "manifest asks for administrator rights without uiAccess")
    check(text.count("<supportedOS ") == 2
          and "{e2011457-1546-43c5-a5fe-008deee3d3f0}" in text
          and "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}" in text,
          "manifest lists Windows Vista and Windows 7, and nothing else")


def check_signature(pe):
    """A signed program: one Authenticode table (PKCS#7 signed data) that ends the file."""
    offset, size = pe.dirs[4]
    if offset == 0 and size == 0:
        print("info unsigned")
        return 0
    ok = offset + size == len(pe.data) and size >= 8
    length = revision = kind = 0
    if ok:
        length, revision, kind = struct.unpack_from("<IHH", pe.data, offset)
        ok = 8 < length <= size and revision == 0x0200 and kind == 0x0002
    check(ok, "signed: an Authenticode table of %d bytes ends the file (certificate of %d bytes,"
          " revision %#x, type %d)" % (size, length, revision, kind))
    return size


def comparable(pe):
    """The resources as the program reads them: the icon images through their groups."""
    res = pe.resources()
    out = {}
    for (rtype, name, lang), data in res.items():
        if rtype == RT_ICON:
            continue
        if rtype == RT_STRING:
            texts, pos = [], 0
            for _ in range(16):
                (n,) = struct.unpack_from("<H", data, pos)
                texts.append(data[pos + 2:pos + 2 + 2 * n])
                pos += 2 + 2 * n
            data = texts
        elif rtype == RT_GROUP_ICON:
            (count,) = struct.unpack_from("<H", data, 4)
            images = []
            for i in range(count):
                entry = data[6 + 14 * i:6 + 14 * i + 14]
                (image,) = struct.unpack_from("<H", entry, 12)
                images.append((entry[:12], res.get((RT_ICON, image, lang))))
            data = images
        out[(rtype, name, lang)] = data
    return out


def compare(a, b):
    ra, rb = comparable(Pe(open(a, "rb").read())), comparable(Pe(open(b, "rb").read()))
    check(sorted(ra, key=str) == sorted(rb, key=str),
          "the same resources listed: %s" % " ".join(
              "%s/%s/%s" % k for k in sorted(set(ra) ^ set(rb), key=str)) if set(ra) != set(rb)
          else "the same %d resources listed" % len(ra))
    for key in sorted(set(ra) & set(rb), key=str):
        check(ra[key] == rb[key], "resource %s/%s/%s the same" % key)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--compare":
        return compare(sys.argv[2], sys.argv[3])
    if len(sys.argv) in (3, 4) and sys.argv[1] == "--program":
        exe = open(sys.argv[2], "rb").read()
        pe = Pe(exe)
        check_program(pe)
        if len(sys.argv) == 4:
            check_manifest(pe.resources(), open(sys.argv[3], "rb").read())
        check_signature(pe)
        print("size: %s %d bytes (%.2f MiB)" % (sys.argv[2].split("/")[-1], len(exe), len(exe) / 2**20))
        return 1 if failures else 0
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe = open(sys.argv[1], "rb").read()
    manifest = open(sys.argv[2], "rb").read()
    pe = Pe(exe)
    check_program(pe)
    signature = check_signature(pe)

    res = pe.resources()
    check_manifest(res, manifest)

    strings = string_table(res)
    for sid in (1001, 1002, 1003, 1004, 1007, 1009, 1010, 1011, 1012):
        check(sid in strings and strings[sid][1] == LANG_ZH_CN, "string %d (language 2052)" % sid)
    for sid in (1005, 1006, 1008):
        check(sid not in strings, "no string %d" % sid)
    text = lambda sid: strings.get(sid, ("", 0))[0]
    check_version(res, (text(1001), text(1002)), text(1011))

    for name in ("IMAGELEFT0", "IMAGELEFT2"):
        jpeg = one(res, RT_RCDATA, name)
        ok = jpeg is not None and jpeg[:2] == b"\xff\xd8"
        if ok:  # the baseline frame header gives the size and components
            at = jpeg.find(b"\xff\xc0")
            ok = at > 0 and struct.unpack_from(">HHB", jpeg, at + 5) == (308, 160, 3)
        check(ok, "%s: a baseline JPEG of 160 x 308, three components" % name)
    bmp = one(res, RT_BITMAP, "IMAGEICON")
    check(bmp is not None and struct.unpack_from("<iiHH", bmp, 4) == (32, 32, 1, 24),
          "IMAGEICON: a 32 x 32 bitmap of 24 bits")
    for name in ("APPICON", "MAINICON"):
        group = one(res, RT_GROUP_ICON, name)
        sizes = set()
        if group is not None:
            (count,) = struct.unpack_from("<H", group, 4)
            sizes = {(group[6 + 14 * i] or 256) for i in range(count)}
        check({16, 32} <= sizes, "%s: an icon group with 16 and 32 pixel images" % name)
    for name in ("TFORM1", "TFRMCONFLICT"):
        layout = one(res, RT_RCDATA, name)
        check(layout is not None and layout.startswith(b"#"), "layout %s" % name)
    package = one(res, "STPFILE", "SETUPPACKAGE")
    check(package is not None and len(package) > 0, 'package "SetupPackage" of type "StpFile"')

    package_size = len(package or b"")
    bare = len(exe) - package_size - signature
    print("size: Setup.exe %d bytes; package %d bytes; signature %d bytes; program without package"
          " and signature %d bytes (%.2f MiB)" % (len(exe), package_size, signature, bare,
                                                   bare / 2**20))
    if failures:
        print("%d checks failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
