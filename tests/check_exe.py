#!/usr/bin/python3
"""check_exe.py - reads the built viewer back and checks what the loader and
the shell see: PE32 for i386 (PE32+ for the 64-bit build), GUI subsystem, the
entry point, the imported DLLs, and every resource (menu, accelerators,
icons, manifest, version block), the same for both builds.

    check_exe.py VelderImage.exe --arch i686|x86_64 --nm i686-w64-mingw32-nm

Needs Debian's python3-pefile. Prints "EXECUTABLE CHECKS PASSED" only when
every check holds; otherwise lists what differs and exits with 1.
"""
import argparse
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_MENU, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 9, 14, 16, 24
LANG_EN_US = 0x0409

ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "COMDLG32.DLL", "SHELL32.DLL",
                "OLE32.DLL"}
# What the program needs from its first day: start-up, window, painting,
# status bar, drag and drop.
REQUIRED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "OLE32.DLL"}

SEPARATOR = ("", 0)
EXPECTED_MENU = [
    ("&File", [("&Open Archive...\tCtrl+O", 101), ("&Save Image As...\tCtrl+S", 102), SEPARATOR,
               ("E&xit", 103)]),
    ("&Edit", [("&Copy Image\tCtrl+C", 104)]),
    ("&View", [("&Black Background", 107)]),
    ("&Help", [("&About Velder Image Viewer", 109)]),
]

# (flags, key, command); the last entry carries the end mark 0x80.
EXPECTED_ACCELERATORS = [(0x0B, 0x4F, 101), (0x0B, 0x53, 102), (0x0B, 0x43, 104), (0x0B, 0x42, 107),
                         (0x83, 0x70, 109)]

# (size, bits per pixel, bytes, icon id)
EXPECTED_ICONS = [(48, 4, 1640, 1), (32, 4, 744, 2), (16, 4, 296, 3), (48, 32, 9640, 4), (32, 32, 4264, 5),
                  (16, 32, 1128, 6)]

EXPECTED_STRINGS = {
    "FileDescription": "Velder Image Viewer",
    "FileVersion": "1.0.0",
    "InternalName": "VelderImage",
    "OriginalFilename": "VelderImage.exe",
    "ProductName": "Velder Image Viewer",
}

# What differs between the two builds: machine, optional-header magic, the
# entry point's symbol (stdcall decoration exists on x86 only) and the
# manifest's processor architecture.
ARCHES = {
    "i686": {"machine": 0x14C, "magic": 0x10B, "format": "PE32 for i386", "entry": "_ProgramEntry@0",
             "manifest": "X86"},
    "x86_64": {"machine": 0x8664, "magic": 0x20B, "format": "PE32+ for x86-64", "entry": "ProgramEntry",
               "manifest": "amd64"},
}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def resources(pe):
    """{(type, id): (language, bytes)} for every resource; a type or name given
    as a string is kept as that string."""
    found = {}
    mapped = pe.get_memory_mapped_image()
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        tkey = rtype.id if rtype.name is None else str(rtype.name)
        for entry in rtype.directory.entries:
            nkey = entry.id if entry.name is None else str(entry.name)
            for lang in entry.directory.entries:
                data = lang.data.struct
                blob = mapped[data.OffsetToData:data.OffsetToData + data.Size]
                check((tkey, nkey) not in found, f"resource {tkey}/{nkey} in more than one language")
                found[(tkey, nkey)] = (lang.id, bytes(blob))
    return found


def utf16z(blob, pos):
    end = pos
    while blob[end:end + 2] != b"\0\0":
        end += 2
    return blob[pos:end].decode("utf-16-le"), end + 2


def parse_menu(blob):
    version, header = struct.unpack_from("<HH", blob, 0)
    check(version == 0 and header == 0, f"menu header {version}/{header}")
    pos = 4 + header

    def items(pos):
        out = []
        while True:
            flags, = struct.unpack_from("<H", blob, pos)
            pos += 2
            check(flags & 0x0B == 0, f"menu item flags {flags:#x}: items start enabled and unchecked")
            if flags & 0x10:  # MF_POPUP
                text, pos = utf16z(blob, pos)
                sub, pos = items(pos)
                out.append((text, sub))
            else:
                command, = struct.unpack_from("<H", blob, pos)
                text, pos = utf16z(blob, pos + 2)
                out.append((text, command))
            if flags & 0x80:  # MF_END
                return out, pos

    menu, _ = items(pos)
    return menu


def check_icons(found):
    lang, group = found.get((RT_GROUP_ICON, 1), (None, b""))
    if not check(len(group) >= 6, "icon group 1 is missing"):
        return
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check((reserved, kind, count) == (0, 1, 6), f"icon group header {reserved}/{kind}/{count}")
    got = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        got.append((w, bits, size, icon_id))
        check(w == h, f"icon {icon_id} is {w}x{h}")
        check(colours == (16 if bits == 4 else 0), f"icon {icon_id}: colour count {colours}")
        check(planes == 1, f"icon {icon_id}: planes {planes}")
        image = found.get((RT_ICON, icon_id), (None, b""))[1]
        check(len(image) == size, f"icon image {icon_id}: {len(image)} bytes, group says {size}")
        if len(image) >= 40:
            hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", image, 0)
            check((hsize, bw, bh, bbits) == (40, w, 2 * h, bits),
                  f"icon image {icon_id}: header {hsize} {bw}x{bh} {bbits} bits")
    check(got == EXPECTED_ICONS, f"icon group entries {got}")


def check_manifest(blob, arch):
    ns = {"a": "urn:schemas-microsoft-com:asm.v1"}
    try:
        root = ET.fromstring(blob)
    except ET.ParseError as error:
        check(False, f"manifest is not XML: {error}")
        return
    ident = root.find("a:assemblyIdentity", ns)
    check(ident is not None and ident.attrib == {"type": "win32", "name": "VelderImage", "version": "1.0.0.0",
                                                 "processorArchitecture": arch},
          f"manifest identity {None if ident is None else ident.attrib}")
    desc = root.find("a:description", ns)
    check(desc is not None and desc.text == "Velder Image Viewer", "manifest description")
    deps = root.findall("a:dependency/a:dependentAssembly/a:assemblyIdentity", ns)
    check(len(deps) == 1, f"manifest has {len(deps)} dependencies")
    if deps:
        check(deps[0].attrib == {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                                 "version": "6.0.0.0", "processorArchitecture": arch,
                                 "publicKeyToken": "6595b64144ccf1df", "language": "*"},
              f"manifest dependency {deps[0].attrib}")


def check_version(pe):
    if not check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version block"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x10000, 0), "FILEVERSION is not 1.0.0.0")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x10000, 0), "PRODUCTVERSION is not 1.0.0.0")
    check(fixed.FileFlagsMask == 1 and fixed.FileFlags == 1, "FILEFLAGSMASK/FILEFLAGS are not VS_FF_DEBUG")
    check(fixed.FileOS == 0x40004, f"FILEOS {fixed.FileOS:#x}")
    check(fixed.FileType == 1 and fixed.FileSubtype == 0, "FILETYPE/FILESUBTYPE are not VFT_APP/0")
    tables, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                for key, value in var.entry.items():
                    key = key.decode() if isinstance(key, bytes) else key
                    value = value.decode() if isinstance(value, bytes) else value
                    translations.append((key, value))
    check(list(tables) == ["040904B0"], f"string tables {list(tables)}")
    strings = tables.get("040904B0", {})
    for key, value in EXPECTED_STRINGS.items():
        check(strings.get(key) == value, f"version string {key} = {strings.get(key)!r}")
    for key in ("CompanyName", "LegalCopyright"):
        check(bool(strings.get(key)), f"version string {key} is empty")
    check(translations == [("Translation", "0x0409 0x04b0")], f"Translation {translations}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--arch", choices=sorted(ARCHES), default="i686")
    parser.add_argument("--nm", default="i686-w64-mingw32-nm")
    parser.add_argument("--companion", help="mhkbmp.exe of the same build")
    args = parser.parse_args()
    arch = ARCHES[args.arch]
    pe = pefile.PE(args.exe)
    # No link time in either program, so that a build can be made again byte for byte.
    check(pe.FILE_HEADER.TimeDateStamp == 0, f"link time {pe.FILE_HEADER.TimeDateStamp}")
    if args.companion:
        companion = pefile.PE(args.companion)
        companion.parse_data_directories()
        strings = {k.decode(): v.decode() for info in companion.FileInfo[0] if info.Key == b"StringFileInfo"
                   for table in info.StringTable for k, v in table.entries.items()}
        manifest = resources(companion).get((RT_MANIFEST, 1), (None, b""))[1]
        check((companion.OPTIONAL_HEADER.Subsystem, companion.FILE_HEADER.TimeDateStamp, b'level="asInvoker"' in
               manifest, [strings.get(k) for k in ("InternalName", "OriginalFilename", "ProductVersion")]) ==
              (3, 0, True, ["mhkbmp", "mhkbmp.exe", EXPECTED_STRINGS["FileVersion"]]),
              f"mhkbmp.exe: subsystem, link time, manifest or version strings {strings}")

    check(pe.FILE_HEADER.Machine == arch["machine"] and pe.OPTIONAL_HEADER.Magic == arch["magic"],
          f"machine {pe.FILE_HEADER.Machine:#x}, magic {pe.OPTIONAL_HEADER.Magic:#x}: not {arch['format']}")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not Windows GUI")

    symbols = subprocess.run([args.nm, args.exe], capture_output=True, text=True, check=True).stdout
    entry = [int(line.split()[0], 16) for line in symbols.splitlines()
             if line.endswith(" " + arch["entry"]) and line.split()[0] != "U"]
    check(entry == [pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.AddressOfEntryPoint],
          f"entry point {pe.OPTIONAL_HEADER.AddressOfEntryPoint:#x} is not ProgramEntry ({entry})")

    dlls = {imp.dll.decode().upper() for imp in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(dlls <= ALLOWED_DLLS, f"imports from {sorted(dlls - ALLOWED_DLLS)}")
    check(REQUIRED_DLLS <= dlls, f"no imports from {sorted(REQUIRED_DLLS - dlls)}")
    check(not hasattr(pe, "DIRECTORY_ENTRY_TLS"), "the program has a TLS directory (runtime start-up code?)")

    found = resources(pe)
    expected_keys = {(RT_MENU, 1), (RT_ACCELERATOR, 1), (RT_GROUP_ICON, 1), (RT_VERSION, 1), (RT_MANIFEST, 1)}
    expected_keys |= {(RT_ICON, i) for i in range(1, 7)}
    check(set(found) == expected_keys, f"resources {sorted(map(str, found))}")
    for key, (lang, _) in sorted(found.items(), key=str):
        check(lang == LANG_EN_US, f"resource {key} has language {lang:#x}")

    if (RT_MENU, 1) in found:
        menu = parse_menu(found[(RT_MENU, 1)][1])
        check(menu == EXPECTED_MENU, f"menu {menu}")
    accel = found.get((RT_ACCELERATOR, 1), (None, b""))[1]
    check(len(accel) == 8 * len(EXPECTED_ACCELERATORS), f"accelerator table of {len(accel)} bytes")
    got = [struct.unpack_from("<HHHH", accel, i)[:3] for i in range(0, len(accel) - 7, 8)]
    check(got == EXPECTED_ACCELERATORS, f"accelerators {[(hex(f), hex(k), c) for f, k, c in got]}")
    check_icons(found)
    if (RT_MANIFEST, 1) in found:
        check_manifest(found[(RT_MANIFEST, 1)][1], arch["manifest"])
    check_version(pe)

    for failure in failures:
        print("FAILED:", failure)
    if failures:
        return 1
    print(f"{arch['format']}; imports: {', '.join(sorted(dlls))}; entry {pe.OPTIONAL_HEADER.AddressOfEntryPoint:#x}; "
          f"{len(found)} resources")
    print("EXECUTABLE CHECKS PASSED")
    return 0


if __name__ == "__main__":
    sys.exit(main())
