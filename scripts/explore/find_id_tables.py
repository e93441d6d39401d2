#!/usr/bin/env python3
"""Throw-away exploration: look for stored ID tables (folder members) in raw .nsf files.

Without options: scans each file for the candidate table header seen in sample.nsf (a 32-bit 4, two
equal 16-bit counts, a flags word, a TIMEDATE) followed by `count` entries of one byte + a 32-bit note
ID, and prints what it finds with the 256-byte page it sits in.
With --objects: only payloads of object records (07 00 / 1B 00 at a 256-byte boundary) that start
like a table, with the checks the reader relies on (codes, order, slack after the entries).

    python3 find_id_tables.py [--objects] ../shared/samples/nsf/*.nsf
"""
import re
import struct
import sys

HDR = re.compile(rb'\x04\x00\x00\x00(..)(..)(..)', re.S)


def scan(path):
    d = open(path, 'rb').read()
    for m in HDR.finditer(d):
        n1, n2, f = (struct.unpack('<H', g)[0] for g in m.groups())
        if n1 != n2 or n1 == 0 or n1 > 100000:
            continue
        o = m.start()
        ents = []
        p = o + 18
        ok = True
        for _ in range(n1):
            if p + 5 > len(d):
                ok = False
                break
            ents.append((d[p], struct.unpack_from('<I', d, p + 1)[0]))
            p += 5
        if not ok:
            continue
        # note IDs are 2 mod 4 and ascending in every table seen so far
        ids = [e[1] for e in ents]
        plausible = all(i % 4 == 2 and 0x100 < i < 0x1000000 for i in ids)
        if not plausible:
            continue
        rec = o - (o % 256)
        sig = d[rec:rec + 2].hex()
        print(f'{path} table@{o:#x} n={n1} f={f} td={d[o+10:o+18].hex()} '
              f'entries={[(b, hex(i)) for b, i in ents[:12]]} rest={d[p:p+8].hex()} '
              f'page@{rec:#x} sig={sig} page+0x63={d[rec+0x63] if rec+0x63 < len(d) else None}')


def object_tables(path):
    """Tables that start right after an object record header (07 00: 22 bytes, 1B 00: 115 bytes)."""
    d = open(path, 'rb').read()
    out = []
    for rec in range(0, len(d) - 256, 256):
        sig = d[rec:rec + 2]
        if sig not in (b'\x07\x00', b'\x1b\x00'):
            continue
        hdr = 22 if sig == b'\x07\x00' else 115
        size = struct.unpack_from('<I', d, rec + 2)[0]
        p = rec + hdr
        if size < hdr + 18 or rec + size > len(d) or d[p:p + 4] != b'\x04\x00\x00\x00':
            continue
        n1, n2, flags = struct.unpack_from('<HHH', d, p + 4)
        if hdr + 18 + 5 * n1 > size:
            continue
        ents = [(d[q], struct.unpack_from('<I', d, q + 1)[0]) for q in range(p + 18, p + 18 + 5 * n1, 5)]
        ids = [i for _, i in ents]
        tail = d[p + 18 + 5 * n1:rec + size]
        out.append(dict(file=path, at=rec, n1=n1, n2=n2, flags=flags, codes={c for c, _ in ents},
                        ascending=all(a < b for a, b in zip(ids, ids[1:])), tail=len(tail),
                        tail_zero=all(b == 0 for b in tail), first=hex(ids[0]) if ids else None))
    return out


if __name__ == '__main__':
    # --objects: only tables that fill an object record, with the checks the parser relies on
    objects = '--objects' in sys.argv
    for f in (a for a in sys.argv[1:] if a != '--objects'):
        if not objects:
            scan(f)
            continue
        for t in object_tables(f):
            print(f"{f} record@{t['at']:#x} ids={t['n1']} entries={t['n2']} flags={t['flags']:#x} "
                  f"codes={sorted(t['codes'])} ascending={t['ascending']} slack={t['tail']} "
                  f"slack_zero={t['tail_zero']} first={t['first']}")
