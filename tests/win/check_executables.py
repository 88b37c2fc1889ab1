#!/usr/bin/env python3
"""Reads built Windows programs back as the loader and the shell read them.

  check_executables.py VERSION COMPANY COPYRIGHT PRODUCT ICON (EXE DESCRIPTION)...

Each EXE: a relocatable GUI program marked DYNAMIC_BASE, NX_COMPAT and
TERMINAL_SERVER_AWARE that imports only KERNEL32, USER32 and msvcrt (and not
SetDefaultDllDirectories, which it looks up); one manifest that asks for
administrator rights, depends on Common Controls 6, names Windows Vista to 11
and holds nothing else; one US English, Unicode version resource with the
configured strings, whose numbers are its string versions; one icon group
with the ICON file's images, byte for byte. Prints every value it checks.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

FLAGS = {"DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100, "TERMINAL_SERVER_AWARE": 0x8000}
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
                "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11"}
COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                   "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"}
# Anything else (dpiAware, another dependency...) changes how the programs run or look.
MANIFEST_ELEMENTS = {"assembly", "trustInfo", "security", "requestedPrivileges",
                     "requestedExecutionLevel", "compatibility", "application", "supportedOS",
                     "assemblyIdentity", "dependency", "dependentAssembly"}
failures = 0


def check(what, expected, got):
    global failures
    failures += expected != got
    print(f"ok: {what}: {got}" if expected == got else f"FAIL: {what}: expected {expected}, got {got}")


def resources(pe, type_id):
    """(id, language, data) of each resource of a type."""
    kinds = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    return [(name.id, lang.id, pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size))
            for kind in kinds if kind.id == type_id
            for name in kind.directory.entries for lang in name.directory.entries]


def check_icon(path, icon):
    name, pe = path.rsplit("/", 1)[-1], pefile.PE(path)
    groups = resources(pe, pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
    check(f"{name} icon groups (id, language)", [(1, 1033)], [g[:2] for g in groups])
    images = {ident: data for ident, _, data in resources(pe, pefile.RESOURCE_TYPE["RT_ICON"])}
    ico, group = open(icon, "rb").read(), groups[0][2] if groups else bytes(6)
    want = [e[:2] + e[5:6] + (ico[e[7]:e[7] + e[6]],)
            for e in (struct.unpack_from("<4B2H2I", ico, 6 + 16 * i) for i in range(ico[4]))]
    got = [e[:2] + e[5:6] + (images.get(e[7]),)
           for e in (struct.unpack_from("<4B2HIH", group, 6 + 14 * i) for i in range(group[4]))]
    check(f"{name} icon images (width, height, bits, bytes) equal to {icon}'s",
          [w[:3] + (len(w[3]),) for w in want], [g[:3] + (len(g[3]) if g in want else "other bytes",) for g in got])


def check_program(path, expected, version):
    name = path.rsplit("/", 1)[-1]
    pe = pefile.PE(path)
    header = pe.OPTIONAL_HEADER
    check(f"{name} subsystem (2: GUI)", 2, header.Subsystem)
    for flag, bit in FLAGS.items():
        check(f"{name} {flag}", True, bool(header.DllCharacteristics & bit))
    check(f"{name} has base relocations", True, header.DATA_DIRECTORY[5].Size > 0)
    imports = {e.dll.decode(): {i.name.decode() for i in e.imports if i.name} for e in pe.DIRECTORY_ENTRY_IMPORT}
    check(f"{name} imported DLLs", ["KERNEL32.dll", "USER32.dll", "msvcrt.dll"], sorted(imports))
    check(f"{name} imports SetDefaultDllDirectories", False,
          any("SetDefaultDllDirectories" in names for names in imports.values()))

    manifests = resources(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    check(f"{name} manifests (id, language)", [(1, 1033)], [m[:2] for m in manifests])
    root = ElementTree.fromstring(manifests[0][2]) if manifests else ElementTree.Element("none")
    tags = [(e.tag.split("}")[-1], e) for e in root.iter()]
    check(f"{name} manifest elements beyond the expected", [],
          sorted({tag for tag, _ in tags} - MANIFEST_ELEMENTS))
    check(f"{name} requested execution level", [("requireAdministrator", "false")],
          [(e.get("level"), e.get("uiAccess")) for tag, e in tags if tag == "requestedExecutionLevel"])
    check(f"{name} supported Windows", sorted(SUPPORTED_OS.values()),
          sorted(SUPPORTED_OS.get(e.get("Id"), e.get("Id")) for tag, e in tags if tag == "supportedOS"))
    check(f"{name} dependent assemblies", [COMMON_CONTROLS],
          [dict(identity.attrib) for tag, e in tags if tag == "dependentAssembly"
           for identity in e if identity.tag.split("}")[-1] == "assemblyIdentity"])

    check(f"{name} version resources (id, language)", [(1, 1033)],
          [v[:2] for v in resources(pe, pefile.RESOURCE_TYPE["RT_VERSION"])])
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    configured = [int(part) for part in (version.split(".") + ["0"] * 4)[:4]]
    for field in ("FileVersion", "ProductVersion"):
        high, low = getattr(fixed, field + "MS"), getattr(fixed, field + "LS")
        check(f"{name} {field.upper()}", configured, [high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF])
    tables = {t.LangID.decode().upper(): {k.decode(): v.decode() for k, v in t.entries.items()}
              for info in pe.FileInfo[0] for t in getattr(info, "StringTable", [])}
    translations = [value for info in pe.FileInfo[0] for var in getattr(info, "Var", [])
                    for key, value in var.entry.items() if key == b"Translation"]
    check(f"{name} string tables", ["040904B0"], sorted(tables))
    check(f"{name} Translation", ["0x0409 0x04b0"], translations)
    strings = tables.get("040904B0", {})
    dotted = ".".join(str(n) for n in configured)
    expected = dict(expected, FileVersion=dotted, ProductVersion=dotted, InternalName=name[:-4],
                    OriginalFilename=name)
    check(f"{name} string names", sorted(expected), sorted(strings))
    for key, value in expected.items():
        check(f"{name} {key}", value, strings.get(key) or "(empty)")


def main():
    if len(sys.argv) < 8 or len(sys.argv) % 2 == 1:
        sys.exit(__doc__)
    version, company, copyright_text, product, icon = sys.argv[1:6]
    for path, description in zip(sys.argv[6::2], sys.argv[7::2]):
        print(f"== {path}")
        check_program(path, {"CompanyName": company, "FileDescription": description,
                             "ProductName": product, "LegalCopyright": copyright_text}, version)
        check_icon(path, icon)
    print("PASS" if failures == 0 else f"FAIL: {failures} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
