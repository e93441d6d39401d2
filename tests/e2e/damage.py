"""Damage applied to copies of real databases, found from the file's own structure so that each kind
breaks what it names: an RRV bucket (one byte of its entries changed, so its check value fails), a
summary bucket (its 2-byte marker zeroed), every superblock copy (zeroed), or the file's end (cut)."""
import random
import struct

SUPERBLOCK_TABLE = 560  # 4 x (position / 256, size) in the database header
KINDS = ["rrv", "bucket", "superblock", "truncate"]


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def rrv_buckets(data):
    """Offsets of the RRV buckets (signature 06 20 on a 4096-byte boundary, first ID 2 modulo 4)."""
    found = []
    for at in range(0, len(data) - 4096 + 1, 4096):
        if data[at:at + 2] == b"\x06\x20" and u32(data, at + 6) % 4 == 2:
            found.append(at)
    return found


def buckets(data):
    """Offsets of the summary and non-summary buckets (02 42 on a 512-byte boundary, a footer of size / 1024)."""
    found = []
    for at in range(0, len(data) - 66 + 1, 512):
        if data[at:at + 2] == b"\x02\x42":
            size = u32(data, at + 6)
            if 66 < size and at + size <= len(data) and u32(data, at + 50) == size // 1024:
                found.append(at)
    return found


def note_records(data, at):
    """How many slots of the bucket at `at` hold a note record (signature 04 00)."""
    size, slots, footer = u32(data, at + 6), u32(data, at + 44), u32(data, at + 50)
    count = 0
    for slot in range(1, min(slots, size // 4) + 1):
        entry = at + size - footer - 4 * slot
        if entry < at + 66:
            break
        offset, length = u16(data, entry), u16(data, entry + 2)
        if length >= 100 and 66 <= offset and offset + length <= size and u16(data, at + offset) == 4:
            count += 1
    return count


def superblocks(data):
    out = []
    for i in range(4):
        pos, size = u32(data, SUPERBLOCK_TABLE + 8 * i) * 256, u32(data, SUPERBLOCK_TABLE + 8 * i + 4)
        if size and pos + size <= len(data):
            out.append((pos, size))
    return out


def damage(data, kind, seed):
    """A damaged copy of `data`, or None when the database has no such structure."""
    rng = random.Random(f"{kind}:{seed}")
    out = bytearray(data)
    if kind == "rrv":
        found = rrv_buckets(data)
        if not found:
            return None
        at = rng.choice(found) + 32 + rng.randrange(4096 - 32)
        out[at] ^= 1 + rng.randrange(255)
    elif kind == "bucket":
        found = buckets(data)
        if not found:
            return None
        at = rng.choice(found)
        out[at:at + 2] = b"\0\0"
    elif kind == "superblock":
        found = superblocks(data)
        if not found:
            return None
        for pos, size in found:
            out[pos:pos + size] = bytes(size)
    elif kind == "truncate":
        del out[len(data) // 2 + rng.randrange(len(data) // 2):]
    else:
        raise ValueError(kind)
    return bytes(out)
