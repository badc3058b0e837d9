#!/usr/bin/env python3
"""Makes the card layer's code tables from the lists in data/codetables/.

  gen-codetables.py DATA_DIR OUT_DIR

writes OUT_DIR/codetables.rc (the string table that "resources\\vkCobAPIrc.dll"
carries) and OUT_DIR/CodeTableData.inc (the key-to-string-number tables the
layer looks codes up in), so that a text and the number that finds it always
come from the same row. A list that breaks a rule below stops the build.
"""
import csv
import os
import sys

# FASC-N tables: file, how many codes, first and last string number.
AGENCY = ("agency-codes-sp800-87.csv", None, 6000, 7182)
STATE = ("fips-5-2-states.csv", 69, 1000, 1068)
COUNTRY = ("iso-3166-1-numeric.csv", 239, 2000, 2239)
# Demographic tables: first and last string number, and a number left out.
DEMOGRAPHIC = {
    "D1": (10053, 10059), "D2": (10060, 10068), "D3": (10069, 10071), "D4": (10072, 10075),
    "D5": (10076, 10078), "D6": (10079, 10081), "D7": (10082, 10084), "D8": (10085, 10092),
    "D9": (10093, 10097), "D10": (10115, 10358), "D11": (10098, 10110), "D12": (10553, 10790),
    "D13": (10386, 10404), "D14": (10111, 10112), "D15": (10405, 10552), "D16": (10359, 10385),
}
UNUSED = {10234}


def fail(message):
    sys.exit("gen-codetables: " + message)


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def fasc_table(data_dir, spec, keep=lambda row: True):
    name, count, first, last = spec
    rows = [row for row in read(os.path.join(data_dir, name)) if keep(row)]
    codes = {}
    for row in rows:
        code = row["code"]
        if len(code) != 4 or not code.isascii() or not code.isalnum():
            fail(f"{name}: code {code!r} is not four letters or digits")
        if code in codes and codes[code] != row["name"]:
            fail(f"{name}: code {code} has two names")
        codes[code] = row["name"]
    if count is not None and len(codes) != count:
        fail(f"{name}: {len(codes)} codes where {count} are wanted")
    if len(codes) > last - first + 1:
        fail(f"{name}: {len(codes)} codes do not fit string numbers {first} to {last}")
    # In the order of the list, one string number each.
    return [(code, first + i, codes[code]) for i, code in enumerate(codes)]


def demographic_table(data_dir):
    entries = []
    numbers = {}
    for row in read(os.path.join(data_dir, "demographic-codes.csv")):
        table, number = row["table"], int(row["number"])
        if table not in DEMOGRAPHIC:
            fail(f"demographic-codes.csv: unknown table {table}")
        first, last = DEMOGRAPHIC[table]
        if not first <= number <= last or number in UNUSED or number in numbers:
            fail(f"demographic-codes.csv: {table} {row['key']} has number {number}, outside {first}-{last} or taken")
        numbers[number] = table
        entries.append((table, row["group"], row["key"], number, row["name"]))
    for table, (first, last) in DEMOGRAPHIC.items():
        wanted = [n for n in range(first, last + 1) if n not in UNUSED]
        if sorted(n for n, t in numbers.items() if t == table) != wanted:
            fail(f"demographic-codes.csv: {table} does not fill string numbers {first} to {last}")
    return entries


def rc_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def c_text(text):
    if not text.isascii() or '"' in text or "\\" in text:
        fail(f"key {text!r} is not plain ASCII")
    return '"' + text + '"'


def main():
    if len(sys.argv) != 3:
        fail("usage: gen-codetables.py DATA_DIR OUT_DIR")
    data_dir, out_dir = sys.argv[1:]
    agency = fasc_table(data_dir, AGENCY)
    state = fasc_table(data_dir, STATE)
    country = fasc_table(data_dir, COUNTRY, lambda row: row["in_239"] == "1")
    demographic = demographic_table(data_dir)

    os.makedirs(out_dir, exist_ok=True)
    strings = [(n, t) for _, n, t in agency + state + country] + [(n, t) for _, _, _, n, t in demographic]
    with open(os.path.join(out_dir, "codetables.rc"), "w", encoding="utf-8", newline="\n") as rc:
        rc.write("// Made by scripts/gen-codetables.py from data/codetables/; edit the lists, not this file.\n")
        rc.write("STRINGTABLE\nBEGIN\n")
        for number, text in sorted(strings):
            rc.write(f"    {number} {rc_text(text)}\n")
        rc.write("END\n")

    with open(os.path.join(out_dir, "CodeTableData.inc"), "w", encoding="utf-8", newline="\n") as inc:
        inc.write("// Made by scripts/gen-codetables.py from data/codetables/; edit the lists, not this file.\n")
        inc.write("// Each table is sorted by key, byte by byte, for a binary search.\n")
        for name, table in (("kAgencyCodes", agency), ("kStateCodes", state), ("kCountryCodes", country)):
            inc.write(f"constexpr CodeEntry {name}[] = {{\n")
            for code, number, _ in sorted(table, key=lambda e: e[0].encode()):
                inc.write(f"    {{{c_text(code)}, {number}}},\n")
            inc.write("};\n")
        inc.write("constexpr DemographicEntry kDemographicCodes[] = {\n")
        for table, group, key, number, _ in sorted(demographic,
                                                   key=lambda e: (e[0].encode(), e[1].encode(), e[2].encode())):
            inc.write(f"    {{{c_text(table)}, {c_text(group)}, {c_text(key)}, {number}}},\n")
        inc.write("};\n")


main()
