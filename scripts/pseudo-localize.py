#!/usr/bin/env python3
"""Makes the pseudo-localized texts of the resource module from the English
ones: every letter accented, each text about 40 % longer, in brackets. A
dialog that still fits and reads right with them is ready for translation.

pseudo-localize.py texts_en.rc texts_pseudo.rc

Format specifiers (%d, %s), escapes (\\n, \\r, "") and the letter of an
access key (after &) stay as they are, so the texts still format and the
dialogs keep their keys."""
import re
import sys

ACCENTED = dict(zip(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
    "áƀçðéƒĝĥíĵķļɱñöþǫŕšţüṽŵẋýžÅƁÇĐÉƑĜĤÎĴĶĻṀÑÖÞǪŔŠŢÛṼŴẊÝŽ"))
FILLER = "ļöŕéɱ íþšüɱ ðöļöŕ šíţ áɱéţ çöñšéçţéţüŕ áðíþíšçíñĝ éļíţ šéð ðö éíüšɱöð ţéɱþöŕ "
# Pieces of a resource string that are copied unchanged.
KEEP = re.compile(r'\\.|""|%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z%]|&.')


def pseudo(text):
    out = []
    visible = 0
    pos = 0
    for m in KEEP.finditer(text):
        for ch in text[pos:m.start()]:
            out.append(ACCENTED.get(ch, ch))
            visible += 1
        out.append(m.group(0))
        visible += 1
        pos = m.end()
    for ch in text[pos:]:
        out.append(ACCENTED.get(ch, ch))
        visible += 1
    if visible == 0:
        return text
    extra = max(0, round(visible * 0.4) - 2)
    filler = (FILLER * (extra // len(FILLER) + 1))[:extra].rstrip()
    return "[" + "".join(out) + (" " + filler if filler else "") + "]"


def main(source, target):
    lines = open(source, encoding="utf-8").read().split("\n")
    result = []
    in_table = False
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("LANGUAGE "):
            line = "LANGUAGE 0x101, 0x01"  # qps-ploc
        elif stripped.startswith("#define VK_VERSION_BLOCK"):
            line = '#define VK_VERSION_BLOCK "050104b0"'
        elif stripped.startswith("#define VK_TRANSLATION"):
            line = "#define VK_TRANSLATION 0x501"
        elif stripped == "BEGIN":
            in_table = True
        elif stripped == "END":
            in_table = False
        elif (in_table and not stripped.startswith("//")) or stripped.startswith("#define TXT_"):
            line = re.sub(r'"((?:[^"\\]|\\.|"")*)"', lambda m: '"' + pseudo(m.group(1)) + '"', line)
        result.append(line)
    with open(target, "w", encoding="utf-8") as out:
        out.write("// Made by scripts/pseudo-localize.py from texts_en.rc; do not edit.\n")
        out.write("\n".join(result))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
