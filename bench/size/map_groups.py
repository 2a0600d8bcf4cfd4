#!/usr/bin/env python3
"""Sums the bytes a GNU ld link map places in the loaded sections of a PE executable,
by input file and by group, to show where a stripped executable's size comes from.
    map_groups.py LINK.map [--files N]
Debugging sections are left out: stripping removes them. .bss takes no file space."""
import re
import sys
from collections import defaultdict

LOADED = {'.text', '.rdata', '.eh_frame', '.data', '.pdata', '.xdata', '.idata', '.CRT', '.tls', '.rsrc', '.reloc'}
ENTRY = re.compile(r'^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$')


def group_of(path):
    member = re.search(r'\(([^)]+)\)$', path)
    name = member.group(1) if member else path.rsplit('/', 1)[-1]
    if 'libqm_' in path or 'Quillomar.dir' in path:
        return 'ours'
    if 'libstdc++' in path:
        if re.match(r'(floating_to_chars|floating_from_chars|to_chars|ryu)', name):
            return 'libstdc++: floating-point to_chars/from_chars'
        if re.match(r'(locale|codecvt|ctype|ios|istream|ostream|sstream|fstream|streambuf|'
                    r'cow-|wlocale|numeric_members|monetary|time_members|messages|collate|'
                    r'c\+\+locale|locale_|basic_file|stdio_|compatibility|string-inst|wstring|'
                    r'cxx11-|ext11|misc-inst|istream-inst|ostream-inst|locale-inst|'
                    r'wlocale-inst|sstream-inst|fstream-inst|ios_init)', name):
            return 'libstdc++: strings, locale and iostreams'
        if re.match(r'(eh_|del_|new_|guard|pure|vterminate|tinfo|class_type|si_class|'
                    r'vmi_class|cxx_|functexcept|snprintf_lite|system_error|cow-stdexcept|'
                    r'stdexcept|bad_|atexit|eh_alloc|eh_personality|functional|'
                    r'future|mutex|thread|condition|shared_ptr|random|debug|chrono|'
                    r'hash|list|tree|bitmap|fundamental|pointer_type|pbase|'
                    r'dyncast|emergency)', name):
            return 'libstdc++: exceptions, RTTI, new/delete, support'
        return 'libstdc++: other (' + name + ')'
    if 'libgcc' in path:
        return 'libgcc and unwinder'
    if 'libmingwex' in path or 'libmingw32' in path or 'crt' in name.lower() or 'libmsvcrt' in path \
            or 'libpthread' in path or 'libwinpthread' in path or 'libmoldname' in path:
        return 'C runtime (mingw-w64 CRT, winpthreads)'
    if path == 'dll stuff':
        return 'base relocations'
    if path.endswith('.res') or '.rc' in path or 'rsrc' in path:
        return 'resources'
    if re.search(r'lib(kernel32|user32|gdi32|comctl32|ole32|oleaut32|uuid|shell32|advapi32|'
                 r'comdlg32|winspool)\.a', path):
        return 'import tables'
    return 'other (' + name + ')'


def main():
    path = sys.argv[1]
    top = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == '--files' else 25
    by_group = defaultdict(int)
    by_file = defaultdict(int)
    by_symbol = defaultdict(int)
    pending = None
    section = None
    with open(path, errors='replace') as f:
        lines = f.read().split('\n')
    start = next(i for i, l in enumerate(lines) if l.startswith('Linker script and memory map'))
    for line in lines[start:]:
        out = re.match(r'^(\.\S+)\s', line)
        if out:
            section = out.group(1)
            continue
        if section not in LOADED:
            continue
        m = ENTRY.match(line)
        if not m:
            lone = re.match(r'^ (\.\S+)$', line)
            pending = lone.group(1) if lone else None
            continue
        name = m.group(1) or pending
        pending = None
        size = int(m.group(3), 16)
        file = m.group(4).strip()
        if size == 0 or file.startswith('*') or not name:
            continue
        by_group[group_of(file)] += size
        short = re.sub(r'^.*/', '', file)
        by_file[short] += size
        by_symbol[(name, short)] += size
    total = sum(by_group.values())
    print(f'{total:>9,}  all loaded input sections')
    for g, s in sorted(by_group.items(), key=lambda x: -x[1]):
        print(f'{s:>9,}  {g}')
    print('\nlargest input files:')
    for f_, s in sorted(by_file.items(), key=lambda x: -x[1])[:top]:
        print(f'{s:>9,}  {f_}')
    print('\nlargest input sections:')
    for (n, f_), s in sorted(by_symbol.items(), key=lambda x: -x[1])[:top]:
        print(f'{s:>9,}  {n}  [{f_}]')


main()
