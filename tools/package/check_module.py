#!/usr/bin/env python3
"""Checks a built Windows module without running it, as the host would find
it: its machine type, the one export, the system DLLs it may import, the
string table the host reads and the version resource.

usage: check_module.py MODULE HEADER VERSION [--machine i386|amd64]"""
import re
import sys

import pefile

# Secur32 (SChannel) and Crypt32 (certificate chains) serve TLS.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "wsock32.dll", "secur32.dll", "crypt32.dll",
                   "ole32.dll", "oleaut32.dll", "msvcrt.dll"}


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


def check(data, header, version, machine="i386"):
    """(problems, summary) of the module's bytes."""
    pe = pefile.PE(data=data)
    problems = []
    wanted_machine = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_" + machine.upper()]
    if pe.FILE_HEADER.Machine != wanted_machine:
        problems.append("machine 0x%x, not %s" % (pe.FILE_HEADER.Machine, machine))
    if not pe.FILE_HEADER.Characteristics & 0x2000:
        problems.append("not a DLL")
    # An export by ordinal only has no name but still counts.
    symbols = pe.DIRECTORY_ENTRY_EXPORT.symbols if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") else []
    exports = [e.name.decode() if e.name else "#%d" % e.ordinal for e in symbols]
    if exports != ["FMExternCallProc"]:
        problems.append("exports: %s, expected only FMExternCallProc" % exports)
    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if not imports:
        problems.append("no imports found")
    # A MinGW runtime DLL among them would make the one-file install fail.
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
    summary = ("%s module; exports %s; imports %s; %d strings; version %s" %
               (machine, ",".join(exports), " ".join(sorted(imports)), len(found), numbers))
    return problems, summary


def main():
    args = sys.argv[1:]
    machine = "i386"
    if "--machine" in args:
        at = args.index("--machine")
        machine = args[at + 1]
        del args[at:at + 2]
    module, header, version = args
    with open(module, "rb") as f:
        problems, summary = check(f.read(), header, version, machine)
    print("  " + summary)
    for problem in problems:
        print("  PROBLEM: " + problem)
    print("  module check: %s" % ("%d problem(s)" % len(problems) if problems else "ok"))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
