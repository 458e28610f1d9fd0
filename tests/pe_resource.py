#!/usr/bin/env python3
"""Prints one resource of a Windows program, found by type and id in its resource section, so that
a test can read back what the build put into the exe (its manifest, its version resource).

  pe_resource.py EXE TYPE ID     (exit code 1 when the file holds no such resource)
"""
import struct
import sys


def fail(why):
    print(why, file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) != 4:
        print("usage: pe_resource.py EXE TYPE ID", file=sys.stderr)
        sys.exit(2)
    image = open(sys.argv[1], "rb").read()

    def read(at, size):
        if at < 0 or at + size > len(image):
            fail("truncated file")
        return int.from_bytes(image[at:at + size], "little")

    pe = read(0x3C, 4)
    if read(pe, 4) != 0x4550:
        fail("not a PE file")
    count, optional_size = read(pe + 6, 2), read(pe + 20, 2)
    optional = pe + 24
    directories = optional + (112 if read(optional, 2) == 0x20B else 96)
    resource_rva = read(directories + 8 * 2, 4)
    sections = []
    for i in range(count):
        at = optional + optional_size + 40 * i
        vsize, va, rsize, raw = struct.unpack_from("<IIII", image, at + 8)
        sections.append((va, min(vsize, rsize), raw))

    def file_offset(rva):
        for va, span, raw in sections:
            if va <= rva < va + span:
                return raw + (rva - va)
        fail("an address outside every section")

    if resource_rva == 0:
        fail("no resources")
    base = file_offset(resource_rva)

    def entry(directory, wanted):
        """The offset field of the entry with the id, or of the first entry when wanted is None."""
        named, ids = read(base + directory + 12, 2), read(base + directory + 14, 2)
        for i in range(named + ids):
            name, offset = read(base + directory + 16 + 8 * i, 4), read(base + directory + 20 + 8 * i, 4)
            if wanted is None or (not name & 0x80000000 and name == wanted):
                return offset
        return None

    # Type, then id, then the first language, then the data entry.
    kind = entry(0, int(sys.argv[2]))
    if kind is None or not kind & 0x80000000:
        fail("no such type")
    name = entry(kind & 0x7FFFFFFF, int(sys.argv[3]))
    if name is None or not name & 0x80000000:
        fail("no such id")
    language = entry(name & 0x7FFFFFFF, None)
    if language is None or language & 0x80000000:
        fail("no language entry")
    data = file_offset(read(base + language, 4))
    size = read(base + language + 4, 4)
    if data + size > len(image):
        fail("truncated resource")
    sys.stdout.buffer.write(image[data:data + size])


main()
