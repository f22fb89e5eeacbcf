#!/usr/bin/env python3
"""Helpers of scripts/test-windows.sh.

  wine_checks.py reply XDL.json             prints ID=HEX for the first record of `korvit-cli xdl`
  wine_checks.py same-values SCAN PLAYED    the items of each `scan --json` line equal those of the
                                            `play --json` line of the same reply
  wine_checks.py screenshot PNG             the picture is a drawn window, not a blank one
"""
import json
import struct
import sys
import zlib


def reply(path):
    with open(path, encoding="utf-8") as f:
        log = json.load(f)
    record = log["records"][0]
    print(f'{record["id"]}={record["data"].replace(" ", "")}')


def items(line):
    entry = json.loads(line)
    return {k: entry[k] for k in ("values", "bitmasks", "command")}


def same_values(scan_path, played_path):
    with open(scan_path, encoding="utf-8") as f:
        scanned = [items(line) for line in f if line.strip()]
    with open(played_path, encoding="utf-8") as f:
        played = [items(line) for line in f if line.strip()]
    if len(scanned) < 5:
        sys.exit(f"the scan through COM7 processed only {len(scanned)} replies")
    # Recording starts with the reply after the one that confirmed the link.
    skipped = len(scanned) - len(played)
    if skipped not in (0, 1):
        sys.exit(f"{len(scanned)} replies decoded live, {len(played)} recorded")
    for n, (a, b) in enumerate(zip(scanned[skipped:], played)):
        if a != b:
            sys.exit(f"reply {n + 1 + skipped}: decoded live {a}\n  but played back {b}")
    changing = {json.dumps(s["values"]) for s in scanned}
    print(f"   {len(scanned)} replies through COM7, decoded alike live and played back "
          f"({len(changing)} different value sets)")


def screenshot(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path} is no PNG")
    pos, idat, width, height, kind = 8, b"", 0, 0, 0
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            width, height, depth, kind = struct.unpack(">IIBB", body[:10])
            if depth != 8 or kind not in (2, 6):
                sys.exit(f"unexpected PNG format (depth {depth}, colour type {kind})")
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    bpp = 3 if kind == 2 else 4
    stride = width * bpp
    colours = set()
    prev = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        filt = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if filt == 1:
                line[i] = (line[i] + a) & 255
            elif filt == 2:
                line[i] = (line[i] + b) & 255
            elif filt == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif filt == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        if y % 4 == 0:
            for x in range(0, width, 4):
                colours.add(bytes(line[x * bpp:x * bpp + 3]))
        prev = line
    if width < 300 or height < 200 or len(colours) < 20:
        sys.exit(f"{path}: {width}x{height} with {len(colours)} colours does not look drawn")
    print(f"   screenshot {width}x{height}, {len(colours)} colours")


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"reply": reply, "same-values": same_values, "screenshot": screenshot}[command](*args)
