#!/usr/bin/python3
"""Static checks of the Windows module's identity: its export directory as
objdump reads it, and its machine, imports and resources (version block,
string table, type library) as pefile reads them.

usage: check_pe.py OBJDUMP PendraxWAVFlanger.dll VERSION
(OBJDUMP is the cross toolchain's, x86_64- or i686-w64-mingw32-objdump; its
prefix says which machine the file must be for. VERSION is the project's,
four numbers: 1.0.0.1.)
"""
import os
import re
import struct
import subprocess
import sys

import pefile

LANGUAGE = 0x0409
CODE_PAGE = 0x04B0
EXPECTED_STRINGS = {
    "CompanyName": "",
    "FileDescription": "PendraxWAVFlanger DLL",
    "FileVersion": None,
    "InternalName": "PendraxWAVFlanger",
    "LegalTrademarks": "",
    "OLESelfRegister": "",
    "OriginalFilename": "PendraxWAVFlanger.DLL",
    "ProductName": "PendraxWAVFlanger Dynamic Link Library",
    "ProductVersion": None,
}
EXPECTED_FIXED = {
    "FileVersionMS": None, "FileVersionLS": None, "ProductVersionMS": None, "ProductVersionLS": None,
    "FileFlagsMask": 0x3F, "FileFlags": 0, "FileOS": 0x4, "FileType": 0x2, "FileSubtype": 0,
}
EXPECTED_EXPORTS = {1: "WAVFlanger", 2: "SoundRecorderStart", 3: "SoundRecorderStop"}
MACHINES = {"x86_64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
            "i686": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]}
# The compiler's runtime is linked in: a host needs nothing beside the module
# but what every Windows installation has.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "winmm.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def check_exports(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    section = text.split("The Export Tables", 1)
    check(len(section) == 2, "no export table")
    if len(section) < 2:
        return
    exports = section[1]
    name = re.search(r"^Name\s+\S+\s+(\S+)$", exports, re.M)
    check(name and name.group(1) == "PENDRAXWAVFLANGER.dll",
          f"export directory name {name and name.group(1)!r}")
    base = re.search(r"^Ordinal Base\s+(\d+)$", exports, re.M)
    check(base and int(base.group(1)) == 1, f"ordinal base {base and base.group(1)}")
    ordinal_base = int(base.group(1)) if base else 0
    # The address table ends where the name table begins; binutils 2.41 and
    # later print each name row with its ordinal and hint as well:
    # "[   1] +base[   2]  0000 SoundRecorderStart".
    addresses_text, _, table = exports.partition("[Ordinal/Name Pointer] Table")
    addresses = re.findall(r"^\s+\[\s*(\d+)\] \+base\[\s*(\d+)\]", addresses_text, re.M)
    check(sorted(int(b) for _, b in addresses) == [1, 2, 3], f"exported ordinals {addresses}")
    table = table.split("\n\n", 1)[0]
    names = {int(index) + ordinal_base: symbol for index, symbol in
             re.findall(r"^\s+\[\s*(\d+)\](?: \+base\[\s*\d+\]\s+[0-9a-fA-F]+)? (\S+)$", table, re.M)}
    check(names == EXPECTED_EXPORTS, f"exports by name and ordinal {names}")


def resource(pe, type_key, resource_id):
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_name = str(type_entry.name) if type_entry.name is not None else type_entry.id
        if type_name == type_key:
            for id_entry in type_entry.directory.entries:
                if id_entry.id == resource_id:
                    return id_entry
    return None


def check_image(pe, arch, path):
    check(os.path.basename(path) == "PendraxWAVFlanger.dll", f"file name {os.path.basename(path)}")
    check(pe.FILE_HEADER.Machine == MACHINES[arch], f"machine {pe.FILE_HEADER.Machine:#x} for {arch}")
    check(pe.is_dll(), "not a DLL")
    imported = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imported <= SYSTEM_DLLS and "kernel32.dll" in imported, f"imports {sorted(imported)}")
    types = sorted(str(entry.name) if entry.name is not None else pefile.RESOURCE_TYPE.get(entry.id, entry.id)
                   for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries)
    check(types == ["RT_STRING", "RT_VERSION", "TYPELIB"], f"resource types {types}")


def check_version(pe):
    check(len(pe.VS_FIXEDFILEINFO) == 1, f"{len(pe.VS_FIXEDFILEINFO)} version blocks")
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(fixed.Signature == 0xFEEF04BD, f"version signature {fixed.Signature:#x}")
    for field, value in EXPECTED_FIXED.items():
        check(getattr(fixed, field) == value, f"version {field} {getattr(fixed, field):#x}")
    tables = [table for info in pe.FileInfo for entry in info if entry.Key == b"StringFileInfo"
              for table in entry.StringTable]
    check(len(tables) == 1, f"{len(tables)} version string tables")
    for table in tables:
        check(table.LangID == f"{LANGUAGE:04X}{CODE_PAGE:04X}".encode(), f"string table {table.LangID}")
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        notice = strings.pop("LegalCopyright", "")
        check(notice != "", "no legal notice")
        check(strings == EXPECTED_STRINGS, f"version strings {strings}")
    translations = [var.entry for info in pe.FileInfo for entry in info if entry.Key == b"VarFileInfo"
                    for var in entry.Var]
    check(translations == [{b"Translation": f"{LANGUAGE:#06x} {CODE_PAGE:#06x}"}],
          f"translation {translations}")
    entry = resource(pe, pefile.RESOURCE_TYPE["RT_VERSION"], 1)
    check(entry and [lang.id for lang in entry.directory.entries] == [LANGUAGE], "version language")


def check_string_table(pe):
    # String 101 lives in block 101 / 16 + 1 = 7, at index 101 % 16 = 5.
    blocks = [entry.id for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries
              if type_entry.id == pefile.RESOURCE_TYPE["RT_STRING"] for entry in type_entry.directory.entries]
    check(blocks == [7], f"string table blocks {blocks}")
    block = resource(pe, pefile.RESOURCE_TYPE["RT_STRING"], 7)
    check(block is not None, "no string table block 7")
    if block is None:
        return
    check([lang.id for lang in block.directory.entries] == [LANGUAGE], "string table language")
    data = pe.get_data(block.directory.entries[0].data.struct.OffsetToData,
                       block.directory.entries[0].data.struct.Size)
    strings, offset = {}, 0
    for index in range(16):
        (length,) = struct.unpack_from("<H", data, offset)
        offset += 2
        if length:
            strings[6 * 16 + index] = data[offset:offset + 2 * length].decode("utf-16-le")
        offset += 2 * length
    check(strings == {101: "Windows sockets initialization failed."}, f"string table {strings}")


def check_type_library(pe):
    entry = resource(pe, "TYPELIB", 1)
    check(entry is not None, "no TYPELIB resource 1")
    if entry is None:
        return
    languages = entry.directory.entries
    check([lang.id for lang in languages] == [LANGUAGE], "type library language")
    data = pe.get_data(languages[0].data.struct.OffsetToData, languages[0].data.struct.Size)
    # The compound type library ("MSFT") header: magic, format version,
    # library GUID offset, locale, locale again, flags whose low nibble is
    # the system kind, version, flags, number of type descriptions, ...
    magic, _, _, lcid, _, varflags, version, _, type_count = struct.unpack_from("<4s8i", data, 0)
    check(magic == b"MSFT", f"type library magic {magic}")
    check(lcid == LANGUAGE, f"type library locale {lcid:#x}")
    check(varflags & 0xF == 1, f"type library system kind {varflags & 0xF} (1 is Win32)")
    check((version & 0xFFFF, version >> 16) == (1, 0), f"type library version {version:#x}")
    check(type_count == 0, f"{type_count} type descriptions")
    # Segment directory after the header (0x54 bytes) and the (empty) type
    # offsets; its eighth segment is the name table, where the library's
    # name is the entry at the header's name offset.
    (name_offset,) = struct.unpack_from("<i", data, 0x38)
    segments = 0x54 + 4 * type_count
    name_table, _ = struct.unpack_from("<2i", data, segments + 7 * 16)
    length = data[name_table + name_offset + 8]
    name = data[name_table + name_offset + 12:name_table + name_offset + 12 + length]
    check(name == b"PendraxWAVFlanger", f"type library name {name}")


def expect_version(version):
    numbers = [int(part) for part in version.split(".")]
    EXPECTED_STRINGS["FileVersion"] = EXPECTED_STRINGS["ProductVersion"] = ", ".join(map(str, numbers))
    high, low = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    EXPECTED_FIXED.update(FileVersionMS=high, FileVersionLS=low, ProductVersionMS=high, ProductVersionLS=low)


def main():
    objdump, path, version = sys.argv[1:4]
    expect_version(version)
    arch = os.path.basename(objdump).split("-", 1)[0]
    check_exports(objdump, path)
    pe = pefile.PE(path)
    check_image(pe, arch, path)
    check_version(pe)
    check_string_table(pe)
    check_type_library(pe)
    for failure in failures:
        print(f"{path}: {failure}")
    print(f"{path}: {'FAILED' if failures else 'identity as expected'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
