#!/usr/bin/env python3
"""Lists the functions of src/, app/ and python/src longer than 80 lines, longest first, then
their count. A function runs from its definition at column 0 to the first "}" at column 0, so a
function followed by a table at namespace level may count long; a table's own initializer
("... = {") is none. Run from the top of the tree:
python3 scripts/long_functions.py"""
import subprocess

LIMIT = 80
NOT_A_FUNCTION = ('//', '#', '}', '{', 'namespace', 'using', 'struct', 'class', 'enum', 'template',
                  'extern', 'static_assert')

files = subprocess.run("git ls-files src app python/src | grep -E '\\.(cpp|h)$'", shell=True,
                       capture_output=True, text=True, check=True).stdout.split()
found = []
for path in files:
    with open(path, encoding='utf-8', errors='replace') as f:
        lines = f.read().split('\n')
    i = 0
    while i < len(lines):
        line = lines[i]
        if (line and not line[0].isspace() and not line.startswith(NOT_A_FUNCTION) and
                '(' in line and not line.rstrip().endswith((';', '= {'))):
            # The opening brace (a declaration ends in ';' first), then the first '}' at column 0.
            j = i
            while j < len(lines) and '{' not in lines[j] and not lines[j].rstrip().endswith(';'):
                j += 1
            if j < len(lines) and '{' in lines[j]:
                k = j
                if lines[j].count('{') != lines[j].count('}'):  # not a body on one line
                    k = j + 1
                    while k < len(lines) and not lines[k].startswith('}'):
                        k += 1
                length = k - i + 1
                if length > LIMIT:
                    found.append((length, path, i + 1, line.strip()[:70]))
                i = k
        i += 1
for length, path, number, text in sorted(found, reverse=True):
    print(length, f"{path}:{number}", text)
print(len(found))
