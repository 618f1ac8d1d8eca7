#!/usr/bin/env python3
"""Prints the target, working directory and description of Windows shortcut
(.lnk) files, read with the published Shell Link binary layout.

usage: scripts/show-lnk.py FILE.lnk...
"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON, IS_UNICODE = (
    1, 2, 4, 8, 0x10, 0x20, 0x40, 0x80)


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    end = data.index(b"\0", at)
    return data[at:end].decode("mbcs" if sys.platform == "win32" else "gbk", errors="replace")


def read_link(path):
    data = open(path, "rb").read()
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    result = {}
    if flags & HAS_LINK_INFO:
        size, header, _, _, base = struct.unpack_from("<IIIII", data, at)
        if header >= 0x24:
            unicode_base = struct.unpack_from("<I", data, at + 0x1C)[0]
            result["target"] = c_string(data, at + unicode_base, True)
        elif base:
            result["target"] = c_string(data, at + base, False)
        at += size
    for flag, name in ((HAS_NAME, "description"), (HAS_RELATIVE_PATH, "relative"),
                       (HAS_WORKING_DIR, "working dir"), (HAS_ARGUMENTS, "arguments"), (HAS_ICON, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            if flags & IS_UNICODE:
                result[name] = data[at:at + 2 * count].decode("utf-16-le").rstrip("\0 ")
                at += 2 * count
            else:
                result[name] = data[at:at + count].decode("gbk", errors="replace")
                at += count
    return result


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    for path in sys.argv[1:]:
        print(path)
        try:
            for key, value in read_link(path).items():
                print(f"    {key}: {value}")
        except (OSError, ValueError, struct.error) as failure:
            print(f"    unreadable: {failure}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
