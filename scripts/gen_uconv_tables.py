#!/usr/bin/env python3
"""Generate src/base/uconv_tables.cpp, the static GBK <-> Unicode tables.

Usage (from the repository root; needs only Python 3's standard library):

    python3 scripts/gen_uconv_tables.py            # writes src/base/uconv_tables.cpp
    python3 scripts/gen_uconv_tables.py -o FILE    # writes FILE instead
    python3 scripts/gen_uconv_tables.py --check    # exit 1 if the committed file differs

The two-byte cells are read from Python's `gb18030` codec, which follows the
2000 edition of GB18030 (user-defined areas in the Private Use Area; A6D9,
A8BC, FE51 and their neighbours in the PUA too).  Do not build these tables
from iconv: recent C libraries follow a later edition in 25 cells.

The codec's mapping is then adjusted to the character set the library has
always used:
  * every cell with trail byte 0x7F holds U+FFFD (the codec rejects them anyway);
  * A2AB-A2B0, A2E3, A2E4, A2EF, A2F0, A2FD and A2FE hold U+FFFD;
  * A3A0 holds U+3000 (as A1A1 does); the inverse table maps U+3000 to A1A1.

Tables written:
  gGBKToUnicodeTable[24066]  (lead 0x81-0xFE) x (trail 0x40-0xFE); U+FFFD = no character
  gUnicodeToGBKTable[65536]  code unit -> lead*256+trail, 0 = no GBK character
  gPsedoUtf8[1024]           1 for U+0080+i when GBK encodes it (U+01F9 excepted)

The script checks every count the library relies on and fails loudly if the
codec ever disagrees.
"""

import argparse
import os
import sys

LEAD_FIRST, LEAD_LAST = 0x81, 0xFE
TRAIL_FIRST, TRAIL_LAST = 0x40, 0xFE
TRAILS = TRAIL_LAST - TRAIL_FIRST + 1          # 191
FORWARD_SIZE = (LEAD_LAST - LEAD_FIRST + 1) * TRAILS  # 24066
NO_CHAR = 0xFFFD

BLANKED = [0xA2AB, 0xA2AC, 0xA2AD, 0xA2AE, 0xA2AF, 0xA2B0,
           0xA2E3, 0xA2E4, 0xA2EF, 0xA2F0, 0xA2FD, 0xA2FE]

# Code points U+0080..U+047F whose two-byte UTF-8 form can also be read as a
# GBK character pair; listed here independently of the tables as a check.
PSEUDO_UTF8_RANGES = [
    (0x00A4, 0x00A4), (0x00A7, 0x00A8), (0x00B0, 0x00B1), (0x00B7, 0x00B7),
    (0x00D7, 0x00D7), (0x00E0, 0x00E1), (0x00E8, 0x00EA), (0x00EC, 0x00ED),
    (0x00F2, 0x00F3), (0x00F7, 0x00F7), (0x00F9, 0x00FA), (0x00FC, 0x00FC),
    (0x0101, 0x0101), (0x0113, 0x0113), (0x011B, 0x011B), (0x012B, 0x012B),
    (0x0144, 0x0144), (0x0148, 0x0148), (0x014D, 0x014D), (0x016B, 0x016B),
    (0x01CE, 0x01CE), (0x01D0, 0x01D0), (0x01D2, 0x01D2), (0x01D4, 0x01D4),
    (0x01D6, 0x01D6), (0x01D8, 0x01D8), (0x01DA, 0x01DA), (0x01DC, 0x01DC),
    (0x0251, 0x0251), (0x0261, 0x0261), (0x02C7, 0x02C7), (0x02C9, 0x02CB),
    (0x02D9, 0x02D9), (0x0391, 0x03A1), (0x03A3, 0x03A9), (0x03B1, 0x03C1),
    (0x03C3, 0x03C9), (0x0401, 0x0401), (0x0410, 0x044F), (0x0451, 0x0451),
]


def fail(msg):
    sys.exit("gen_uconv_tables: " + msg)


def check(cond, msg):
    if not cond:
        fail(msg)


def build_forward():
    table = [NO_CHAR] * FORWARD_SIZE
    for lead in range(LEAD_FIRST, LEAD_LAST + 1):
        for trail in range(TRAIL_FIRST, TRAIL_LAST + 1):
            if trail == 0x7F:
                continue
            try:
                text = bytes([lead, trail]).decode("gb18030")
            except UnicodeDecodeError:
                continue
            check(len(text) == 1, "cell %02X%02X decodes to %r" % (lead, trail, text))
            cp = ord(text)
            check(0x80 <= cp <= 0xFFFF and cp != NO_CHAR,
                  "cell %02X%02X decodes to U+%04X" % (lead, trail, cp))
            table[(lead - LEAD_FIRST) * TRAILS + (trail - TRAIL_FIRST)] = cp
    return table


def index_of(code):
    return ((code >> 8) - LEAD_FIRST) * TRAILS + ((code & 0xFF) - TRAIL_FIRST)


def adjust_forward(table):
    for code in BLANKED:
        table[index_of(code)] = NO_CHAR
    table[index_of(0xA3A0)] = 0x3000


def build_inverse(forward):
    inverse = [0] * 65536
    for idx, cp in enumerate(forward):
        if cp == NO_CHAR:
            continue
        code = ((idx // TRAILS) + LEAD_FIRST) * 256 + (idx % TRAILS) + TRAIL_FIRST
        if inverse[cp]:
            check(cp == 0x3000, "U+%04X is mapped twice" % cp)
            continue  # A1A1 comes first and stays
        inverse[cp] = code
    return inverse


def build_pseudo(inverse):
    flags = [0] * 1024
    for i in range(1024):
        cp = 0x80 + i
        if inverse[cp] and cp != 0x01F9:
            flags[i] = 1
    return flags


def verify(forward, inverse, pseudo):
    mapped = [cp for cp in forward if cp != NO_CHAR]
    check(len(mapped) == 23928, "mapped cells: %d" % len(mapped))
    check(len(set(mapped)) == 23927, "distinct code points: %d" % len(set(mapped)))
    check(sum(1 for v in inverse if v) == 23927, "inverse entries")
    check(inverse[0x3000] == 0xA1A1, "U+3000")
    check(all(v == 0 for v in inverse[:0x80]), "ASCII in the inverse table")
    check(inverse[0x20AC] == 0, "U+20AC in the inverse table")
    for lead in range(LEAD_FIRST, LEAD_LAST + 1):
        check(forward[index_of(lead * 256 + 0x7F)] == NO_CHAR, "trail 0x7F")
    # user-defined areas: first and last cell of each
    for code, cp in [(0xAAA1, 0xE000), (0xAFFE, 0xE233), (0xF8A1, 0xE234),
                     (0xFEFE, 0xE4C5), (0xA140, 0xE4C6), (0xA7A0, 0xE765),
                     (0xA8BC, 0xE7C7), (0xA6D9, 0xE78D), (0xFE51, 0xE816),
                     (0xA8BF, 0x01F9), (0xD6D0, 0x4E2D)]:
        check(forward[index_of(code)] == cp, "cell %04X" % code)
    expected = set()
    for lo, hi in PSEUDO_UTF8_RANGES:
        expected.update(range(lo, hi + 1))
    got = {0x80 + i for i, f in enumerate(pseudo) if f}
    check(len(got) == 157 and got == expected, "pseudo-UTF-8 flags: %d" % len(got))


def fmt_rows(values, per_line=16, indent="  "):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ",".join("0x%04X" % v for v in values[i:i + per_line]) + ",")
    return lines


def render(forward, inverse, pseudo):
    out = []
    out.append("// Generated by scripts/gen_uconv_tables.py -- do not edit by hand.")
    out.append("//")
    out.append("// GBK <-> Unicode tables: the two-byte cells of GB18030-2000, with trail")
    out.append("// byte 0x7F, A2AB-A2B0, A2E3, A2E4, A2EF, A2F0, A2FD and A2FE left empty")
    out.append("// (U+FFFD) and A3A0 read as U+3000.")
    out.append("")
    out.append('#include "base/uconv.h"')
    out.append("")
    out.append("// Index (lead - 0x81) * 191 + (trail - 0x40); U+FFFD marks an empty cell.")
    out.append("extern \"C\" const uint16_t gGBKToUnicodeTable[UCONV_GBK_TABLE_SIZE] = {")
    for lead in range(LEAD_FIRST, LEAD_LAST + 1):
        row = forward[(lead - LEAD_FIRST) * TRAILS:(lead - LEAD_FIRST + 1) * TRAILS]
        out.append("  // lead 0x%02X, trail 0x40-0xFE" % lead)
        out.extend(fmt_rows(row))
    out.append("};")
    out.append("")
    out.append("// Index: UTF-16 code unit; value lead * 256 + trail, 0 = no GBK character.")
    out.append("// Lines of sixteen zeros are written as Z16.")
    out.append("#define Z16 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0")
    out.append("extern \"C\" const uint16_t gUnicodeToGBKTable[UCONV_UNICODE_TABLE_SIZE] = {")
    for base in range(0, 65536, 256):
        block = inverse[base:base + 256]
        out.append("  // U+%04X" % base)
        if not any(block):
            out.append("  " + ",".join(["Z16"] * 16) + ",")
            continue
        for i in range(0, 256, 16):
            line = block[i:i + 16]
            if any(line):
                out.append("  " + ",".join("0x%04X" % v for v in line) + ",")
            else:
                out.append("  Z16,")
    out.append("};")
    out.append("#undef Z16")
    out.append("")
    out.append("// Index: code point - 0x80 (two-byte UTF-8 with lead byte 0xC2-0xD1).")
    out.append("extern \"C\" const uint16_t gPsedoUtf8[UCONV_PSEUDO_UTF8_SIZE] = {")
    for i in range(0, 1024, 32):
        out.append("  " + ",".join(str(v) for v in pseudo[i:i + 32]) + ",")
    out.append("};")
    out.append("")
    return "\n".join(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output",
                        default=os.path.join(root, "src", "base", "uconv_tables.cpp"))
    parser.add_argument("--check", action="store_true",
                        help="compare with the existing file instead of writing it")
    args = parser.parse_args()

    forward = build_forward()
    adjust_forward(forward)
    inverse = build_inverse(forward)
    pseudo = build_pseudo(inverse)
    verify(forward, inverse, pseudo)
    text = render(forward, inverse, pseudo)

    if args.check:
        with open(args.output, encoding="ascii") as f:
            if f.read() != text:
                fail("%s is out of date" % args.output)
        return
    with open(args.output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
