#!/usr/bin/env python3
"""Checks the release zip as a user receives it: the files it must hold,
and in the module the one export, the system DLLs it may import, the
string table the host reads and the version resource."""
import io
import re
import sys
import zipfile

import pefile

ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "wsock32.dll", "ole32.dll",
                   "oleaut32.dll", "msvcrt.dll"}
FILES = {"RouserPlugIn.fmx", "functions.html", "README.md", "LICENSE", "CHANGELOG.md"}


def expected_strings(header):
    """The string table as the shared header defines it: id -> text."""
    text = open(header, encoding="utf-8").read()
    defines = dict(re.findall(r'#define (ROUS_STRING_\w+) (.+)', text))
    value = lambda name: defines[name].strip().strip('"').encode().decode("unicode_escape")
    strings = {int(defines["ROUS_STRING_NAME_ID"]): value("ROUS_STRING_NAME"),
               int(defines["ROUS_STRING_DESCRIPTION_ID"]): value("ROUS_STRING_DESCRIPTION"),
               int(defines["ROUS_STRING_ID_FLAGS_ID"]): value("ROUS_STRING_ID_FLAGS"),
               int(defines["ROUS_STRING_ERROR_CAPTION_ID"]): value("ROUS_STRING_ERROR_CAPTION")}
    first = int(defines["ROUS_STRING_FIRST_FUNCTION_ID"])
    for n in range(10):
        strings[first + n] = value("ROUS_STRING_F%d" % n)
    return strings


def module_strings(pe):
    """id -> text of the string table, language 1033."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_STRING"]:
            continue
        for block in kind.directory.entries:
            for language in block.directory.entries:
                if language.id != 1033:
                    continue
                data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                offset = 0
                for index in range(16):
                    length = int.from_bytes(data[offset:offset + 2], "little")
                    offset += 2
                    if length:
                        found[(block.id - 1) * 16 + index] = data[offset:offset + 2 * length].decode("utf-16-le")
                    offset += 2 * length
    return found


def main():
    archive, header, version = sys.argv[1], sys.argv[2], sys.argv[3]
    problems = []
    with zipfile.ZipFile(archive) as z:
        names = {name.split("/")[-1] for name in z.namelist() if not name.endswith("/")}
        problems += ["missing from the zip: " + n for n in sorted(FILES - names)]
        module = next(n for n in z.namelist() if n.endswith("RouserPlugIn.fmx"))
        pe = pefile.PE(data=z.read(module))
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        problems.append("the module is not a 32-bit x86 module")
    exports = [e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name]
    if exports != ["FMExternCallProc"]:
        problems.append("exports: %s" % exports)
    imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if not imports <= ALLOWED_IMPORTS:
        problems.append("imports beyond the system DLLs: %s" % sorted(imports - ALLOWED_IMPORTS))
    wanted, found = expected_strings(header), module_strings(pe)
    for ident, text in sorted(wanted.items()):
        if found.get(ident) != text:
            problems.append("string %d is %r, not %r" % (ident, found.get(ident), text))
    info = {}
    for file_info in getattr(pe, "FileInfo", []):
        for entry in file_info:
            for table in getattr(entry, "StringTable", []):
                info.update({k.decode(): v.decode() for k, v in table.entries.items()})
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    if numbers != version + ".0" or info.get("FileVersion") != version:
        problems.append("version resource %s / %r, not %s" % (numbers, info.get("FileVersion"), version))
    for problem in problems:
        print("  PROBLEM: " + problem)
    print("zip: %d files; module exports %s, imports %s, %d strings, version %s" %
          (len(names), ",".join(exports), " ".join(sorted(imports)), len(found), numbers))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
