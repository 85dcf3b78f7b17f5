#!/usr/bin/env python3
"""check_manifests.py DIST: reads the manifest embedded in each program of
DIST (RT_MANIFEST 1) and checks it: well-formed XML, a 32-bit x86 identity,
the execution level the program asks for, and the <compatibility> section
naming Windows Vista, 7, 8, 8.1 and 10/11 and nothing else."""
import os
import struct
import sys
import xml.etree.ElementTree as ET

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"

SUPPORTED_OS = [
    ("Windows Vista", "{e2011457-1546-43c5-a5fe-008deee3d3f0}"),
    ("Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"),
    ("Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"),
    ("Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"),
    ("Windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"),
]

# program, the execution level its manifest asks for
PROGRAMS = [("tf_setup.exe", "requireAdministrator"), ("tf_loader.exe", "asInvoker")]

RT_MANIFEST = 24


class Bad(Exception):
    pass


def u16(data, at):
    if at < 0 or at + 2 > len(data):
        raise Bad("read past the end at 0x%x" % at)
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    if at < 0 or at + 4 > len(data):
        raise Bad("read past the end at 0x%x" % at)
    return struct.unpack_from("<I", data, at)[0]


def resource(image, type_id, name_id):
    """The bytes of resource type_id/name_id (its first language)."""
    pe = u32(image, 0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        raise Bad("no PE signature")
    sections, optional_size = u16(image, pe + 6), u16(image, pe + 20)
    optional = pe + 24
    magic = u16(image, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise Bad("unknown optional header 0x%x" % magic)
    if directories + 3 * 8 > optional + optional_size:
        raise Bad("no resource directory entry")
    table = [(u32(image, s + 12), max(u32(image, s + 8), u32(image, s + 16)), u32(image, s + 20))
             for s in range(optional + optional_size, optional + optional_size + 40 * sections, 40)]

    def at(rva, size):
        for va, length, raw in table:
            if va <= rva and rva + size <= va + length:
                return raw + rva - va
        raise Bad("RVA 0x%x (+%d) in no section" % (rva, size))

    root = at(u32(image, directories + 16), 16)

    def entry(directory, wanted, subdirectory):
        """The offset (from root) that the entry for wanted (None: the first) names."""
        count = u16(image, directory + 12) + u16(image, directory + 14)
        for i in range(count):
            name, value = u32(image, directory + 16 + 8 * i), u32(image, directory + 20 + 8 * i)
            if wanted is None or name == wanted:
                if bool(value & 0x80000000) != subdirectory:
                    raise Bad("resource directory out of shape")
                return value & 0x7FFFFFFF
        raise Bad("resource %s/%s missing" % (type_id, name_id))

    names = entry(root, type_id, True)
    languages = entry(root + names, name_id, True)
    leaf = entry(root + languages, None, False)
    rva, size = u32(image, root + leaf), u32(image, root + leaf + 4)
    offset = at(rva, size)
    return image[offset:offset + size]


def problems(text, level):
    try:
        assembly = ET.fromstring(text)
    except ET.ParseError as e:
        return ["not well-formed XML: %s" % e]
    found = []
    if assembly.tag != ASM_V1 + "assembly":
        found.append("root element %s" % assembly.tag)
    identity = assembly.find(ASM_V1 + "assemblyIdentity")
    if identity is None or identity.get("processorArchitecture") != "x86":
        found.append("assembly identity not x86")
    levels = [(e.get("level"), e.get("uiAccess")) for e in assembly.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != [(level, "false")]:
        found.append("execution level %s, expected %s without UI access" % (levels, level))
    sections = assembly.findall(COMPAT + "compatibility")
    if len(sections) != 1:
        return found + ["%d <compatibility> sections directly under <assembly>" % len(sections)]
    applications = sections[0].findall(COMPAT + "application")
    ids = [e.get("Id", "").lower() for a in applications for e in a.findall(COMPAT + "supportedOS")]
    if len(applications) != 1 or ids != [i for _, i in SUPPORTED_OS]:
        missing = [name for name, i in SUPPORTED_OS if i not in ids]
        found.append("supportedOS ids %s (missing: %s)" % (ids, ", ".join(missing) or "none"))
    return found


def main():
    if len(sys.argv) != 2:
        print("usage: check_manifests.py DIST", file=sys.stderr)
        return 2
    failed = 0
    for name, level in PROGRAMS:
        path = os.path.join(sys.argv[1], name)
        try:
            with open(path, "rb") as f:
                found = problems(resource(f.read(), RT_MANIFEST, 1), level)
        except (OSError, Bad) as e:
            found = [str(e)]
        for p in found:
            print("%s: %s" % (path, p))
        failed += bool(found)
        if not found:
            print("%s: manifest ok (%s, %d supported Windows versions)" % (path, level, len(SUPPORTED_OS)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
