"""The history of prices a file keeps, read and written without the program, as a test sees it.

A run's changes are stored a piece at a time (actualizapvp_changes, keyed run << 40 | piece), each
piece the records of the connection's change log: for each article its row number (int64), the
five prices it replaced, its code and the five it wrote, each value a tag byte (0 NULL, 1 int64,
2 double, 3 text, 4 blob; texts and blobs with a uint32 length before their bytes), little-endian.
The earlier history, one row an article (actualizapvp_prices, keyed run << 40 | article), is read
too.
"""
import struct

PIECE_BITS = 40
PRICES = ("costesiniva", "ultimopreciocoste", "pvp1", "pvp2", "pvp3")


def _value(blob, at):
    tag = blob[at]
    at += 1
    if tag == 0:
        return None, at
    if tag == 1:
        return struct.unpack_from("<q", blob, at)[0], at + 8
    if tag == 2:
        return struct.unpack_from("<d", blob, at)[0], at + 8
    if tag in (3, 4):
        n = struct.unpack_from("<I", blob, at)[0]
        raw = bytes(blob[at + 4:at + 4 + n])
        return (raw.decode() if tag == 3 else raw), at + 4 + n
    raise ValueError("tag %d at %d" % (tag, at - 1))


def records(blob):
    """(article, code, old prices, new prices) for each record of a piece."""
    at = 0
    while at < len(blob):
        article = struct.unpack_from("<q", blob, at)[0]
        at += 8
        values = []
        for _ in range(11):
            v, at = _value(blob, at)
            values.append(v)
        yield article, values[5], tuple(values[0:5]), tuple(values[6:11])


def _encode_value(v):
    if v is None:
        return b"\0"
    if isinstance(v, int):
        return b"\1" + struct.pack("<q", v)
    if isinstance(v, float):
        return b"\2" + struct.pack("<d", v)
    raw = v.encode()
    return b"\3" + struct.pack("<I", len(raw)) + raw


def encode(changes):
    """A piece of (article, code, old prices, new prices) changes."""
    return b"".join(struct.pack("<q", article) + b"".join(_encode_value(v) for v in (*old, code, *new))
                    for article, code, old, new in changes)


def _has(c, table):
    return c.execute("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = ?", (table,)).fetchone()[0]


def changes(c, run=None):
    """(run, article, code, old prices, new prices) of every change kept (of one run), in the order
    the runs wrote them."""
    found = []
    where = "" if run is None else " WHERE id BETWEEN %d AND %d" % (run << PIECE_BITS, ((run + 1) << PIECE_BITS) - 1)
    if _has(c, "actualizapvp_prices"):
        columns = ", ".join("old_" + p for p in PRICES) + ", " + ", ".join("new_" + p for p in PRICES)
        for row in c.execute("SELECT id, code, %s FROM actualizapvp_prices%s ORDER BY id" % (columns, where)):
            found.append((row[0] >> PIECE_BITS, row[0] & ((1 << PIECE_BITS) - 1), row[1], tuple(row[2:7]),
                          tuple(row[7:12])))
    if _has(c, "actualizapvp_changes"):
        for key, blob in c.execute("SELECT id, changes FROM actualizapvp_changes%s ORDER BY id" % where):
            found += [(key >> PIECE_BITS, *change) for change in records(blob)]
    found.sort(key=lambda change: change[0])  # stable: the order within a run stays
    return found


def orphans(c):
    """How many pieces (or earlier rows) name a run the file does not keep."""
    count = 0
    for table in ("actualizapvp_changes", "actualizapvp_prices"):
        if _has(c, table):
            count += c.execute("SELECT count(*) FROM %s WHERE id >> %d NOT IN (SELECT run FROM actualizapvp_runs)"
                               % (table, PIECE_BITS)).fetchone()[0]
    return count
