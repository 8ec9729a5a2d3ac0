#!/usr/bin/env python3
"""Points a linked PE image's load-configuration directory at its
_load_config_used structure and brings the header checksum up to date.

GNU ld links the structure (app/LoadConfig_win32.cpp) but leaves data directory
10 empty, so Windows would never read it. The structure's address comes from
the link map, since the image itself is stripped. Running this again on an image
it has already patched changes nothing.

    pe-load-config.py IMAGE MAP
"""
import re
import struct
import sys

LOAD_CONFIG_DIRECTORY = 10
# GNU ld's map shows C names, without the leading underscore x86 adds.
SYMBOL = "_load_config_used"


def fail(message):
    sys.exit(f"pe-load-config: {message}")


def symbol_address(map_path):
    pattern = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+" + re.escape(SYMBOL) + r"\s*$")
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            match = pattern.match(line)
            if match:
                return int(match.group(1), 16)
    fail(f"{SYMBOL} is not in {map_path} (dropped by --gc-sections?)")


def file_offset(sections, rva):
    for _, virtual_address, raw_size, raw_offset in sections:
        if virtual_address <= rva < virtual_address + raw_size:
            return raw_offset + rva - virtual_address
    fail(f"address {rva:#x} lies in no section's file data")


def checksum(image, checksum_offset):
    """The PE checksum: 16-bit one's-complement sum of the file, the checksum
    field counted as zero, plus the file's length."""
    data = bytes(image[:checksum_offset]) + b"\0\0\0\0" + bytes(image[checksum_offset + 4:])
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def main(image_path, map_path):
    with open(image_path, "rb") as f:
        image = bytearray(f.read())
    (e_lfanew,) = struct.unpack_from("<I", image, 0x3C)
    if image[:2] != b"MZ" or image[e_lfanew:e_lfanew + 4] != b"PE\0\0":
        fail(f"{image_path} is not a PE image")
    file_header = e_lfanew + 4
    section_count, optional_size = struct.unpack_from("<H12xH", image, file_header + 2)
    optional = file_header + 20
    (magic,) = struct.unpack_from("<H", image, optional)
    if magic != 0x10B:
        fail("not a 32-bit (PE32) image")
    (image_base,) = struct.unpack_from("<I", image, optional + 28)
    checksum_offset = optional + 64
    (directory_count,) = struct.unpack_from("<I", image, optional + 92)
    if directory_count <= LOAD_CONFIG_DIRECTORY:
        fail("the image has no load-configuration directory entry")
    # Each: VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData.
    sections = [struct.unpack_from("<8xIIII", image, optional + optional_size + 40 * i)
                for i in range(section_count)]

    rva = symbol_address(map_path) - image_base
    (size,) = struct.unpack_from("<I", image, file_offset(sections, rva))
    if not 64 <= size <= 0x1000:
        fail(f"the structure at {rva:#x} gives an implausible size {size}")
    struct.pack_into("<II", image, optional + 96 + 8 * LOAD_CONFIG_DIRECTORY, rva, size)
    struct.pack_into("<I", image, checksum_offset, checksum(image, checksum_offset))
    with open(image_path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
