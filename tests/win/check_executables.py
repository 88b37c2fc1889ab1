#!/usr/bin/env python3
"""Reads the built setup.exe and uninst.exe back and checks, for each, what
Windows' loader and shell read from the file: a relocatable GUI program,
marked DYNAMIC_BASE, NX_COMPAT and TERMINAL_SERVER_AWARE, importing only
KERNEL32, USER32 and msvcrt; exactly one manifest, asking for administrator
rights and naming the supported Windows versions, with nothing else of
consequence in it; one version resource in US English, Unicode, whose strings
are the configured ones and whose numeric version is its string version.

  check_executables.py VERSION COMPANY COPYRIGHT PRODUCT (EXE DESCRIPTION)...

Every check prints what it found; the exit status is 1 when one failed.
"""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_VERSION = 16
RT_MANIFEST = 24
GUI_SUBSYSTEM = 2
LOADER_FLAGS = {"DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100, "TERMINAL_SERVER_AWARE": 0x8000}
IMPORTS = ["KERNEL32.dll", "USER32.dll", "msvcrt.dll"]
# Looked up at run time, so that Windows without it still runs the programs.
NOT_IMPORTED = "SetDefaultDllDirectories"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}
# Everything else (dpiAware, a common controls dependency, windowsSettings,
# an assemblyIdentity...) would change how the programs run or look.
MANIFEST_ELEMENTS = {"assembly", "trustInfo", "security", "requestedPrivileges",
                     "requestedExecutionLevel", "compatibility", "application", "supportedOS"}
STRINGS = ["CompanyName", "FileDescription", "FileVersion", "InternalName", "OriginalFilename",
           "ProductName", "ProductVersion", "LegalCopyright"]

failures = 0


def check(what, expected, got):
    global failures
    if expected == got:
        print(f"ok: {what}: {got}")
    else:
        failures += 1
        print(f"FAIL: {what}: expected {expected}, got {got}")


def resources(pe, type_id):
    """(id, language, bytes) of every resource of one type."""
    found = []
    directory = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for kind in directory:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found.append((name.id, lang.id, data))
    return found


def check_loader(name, pe):
    header = pe.OPTIONAL_HEADER
    check(f"{name} subsystem", GUI_SUBSYSTEM, header.Subsystem)
    for flag, bit in LOADER_FLAGS.items():
        check(f"{name} {flag}", True, bool(header.DllCharacteristics & bit))
    relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(f"{name} has base relocations", True, relocations.Size > 0)
    imports = {entry.dll.decode(): [i.name.decode() for i in entry.imports if i.name]
               for entry in pe.DIRECTORY_ENTRY_IMPORT}
    check(f"{name} imported DLLs", sorted(IMPORTS), sorted(imports))
    importers = [dll for dll, names in imports.items() if NOT_IMPORTED in names]
    check(f"{name} DLLs importing {NOT_IMPORTED}", [], importers)


def check_manifest(name, pe):
    manifests = resources(pe, RT_MANIFEST)
    check(f"{name} manifests (id, language)", [(1, 1033)], [(i, lang) for i, lang, _ in manifests])
    if not manifests:
        return
    root = ElementTree.fromstring(manifests[0][2])
    elements = {element.tag.split("}")[-1] for element in root.iter()}
    check(f"{name} manifest elements beyond the expected ones", [], sorted(elements - MANIFEST_ELEMENTS))
    levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter()
              if e.tag.endswith("}requestedExecutionLevel")]
    check(f"{name} requested execution level", [("requireAdministrator", "false")], levels)
    systems = [e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")]
    check(f"{name} supported Windows", sorted(SUPPORTED_OS.values()),
          sorted(SUPPORTED_OS.get(i, i) for i in systems))


def check_version(name, pe, version, expected):
    blocks = resources(pe, RT_VERSION)
    check(f"{name} version resources (id, language)", [(1, 1033)], [(i, lang) for i, lang, _ in blocks])
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF]
    product = [fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
               fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF]
    configured = [int(part) for part in (version.split(".") + ["0"] * 4)[:4]]
    check(f"{name} FILEVERSION", configured, numbers)
    check(f"{name} PRODUCTVERSION", configured, product)
    tables, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode().upper()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations += [[int(word, 16) for word in value.split()]
                             for key, value in var.entry.items() if key == b"Translation"]
    check(f"{name} string tables", ["040904B0"], sorted(tables))
    check(f"{name} Translation", [[0x409, 1200]], translations)
    strings = tables.get("040904B0", {})
    check(f"{name} string names", sorted(STRINGS), sorted(strings))
    dotted = ".".join(str(n) for n in numbers)
    expected = dict(expected, FileVersion=dotted, ProductVersion=dotted)
    for key in STRINGS:
        got = strings.get(key, "")
        check(f"{name} {key}", expected[key], got if got else "(empty)")


def main():
    if len(sys.argv) < 7 or len(sys.argv) % 2 == 0:
        sys.exit(__doc__)
    version, company, copyright_text, product = sys.argv[1:5]
    for path, description in zip(sys.argv[5::2], sys.argv[6::2]):
        name = path.rsplit("/", 1)[-1]
        print(f"== {path}")
        pe = pefile.PE(path)
        check_loader(name, pe)
        check_manifest(name, pe)
        check_version(name, pe, version, {
            "CompanyName": company, "FileDescription": description,
            "InternalName": name.rsplit(".", 1)[0], "OriginalFilename": name,
            "ProductName": product, "LegalCopyright": copyright_text})
    print("PASS" if failures == 0 else f"FAIL: {failures} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
