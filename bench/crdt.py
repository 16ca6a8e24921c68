"""CRDT documents: wirewright.CrdtDocument against pycrdt and loro, and
against the cost of its own bytes.

Every peer does the same work (for each of --chars text sizes):
  1. typing: single-character edits, one per call, at the end of a text held
     in a map, then random-position edits (delete one, insert one);
  2. remote merge: a second replica takes all those operations, once one
     per call and once as one batch;
  3. a map of many keys written key by key; a set of members with identity
     paths added and then removed, one per call;
  4. saving the state, restoring from it, and (wirewright only) compacting.

Then, for texts of --sizes characters (typed one per call, the history made
without a peer), wirewright alone against its yardstick, a plain JSON parse
of the same text (json_to_msgpack):
  5. `apply` of the whole history as one batch; `from_state` of the saved
     state; `state`; the heap held by a restored document per element (glibc
     malloc's count of bytes in use);
  6. `mutate` of one character and `apply` of one operation, at each size:
     the time per call against the bytes of its result, fitted as a fixed
     cost per call plus a speed of writing the result.
The growth per doubling of each size figure is the ratio between the
smallest and the largest size, taken to the power 1 / log2 of their ratio.

The closing summary gives every figure with its target.

    pip install -r bench/requirements-crdt.txt
    python bench/crdt.py [--chars 10000 100000] [--edits 1000] [--keys 10000] [--members 1000]
                         [--sizes 10000 100000 1000000] [--module PATH]

With --write-workloads DIR it only writes, for each of --sizes, the typed
history as one batch (text_N.ops.json) and the saved state after it
(text_N.state.json): the inputs of bench/cpp/crdt_bench, which measures the
same work without the interpreter (callgrind instruction counts, heap).
"""

import argparse
import ctypes
import gc
import json
import math
import os
import random
import time

import loro
import pycrdt

from harness import Summary, add_module_option, best_time, describe, load_wirewright, ms

wirewright = None  # the module under test, loaded in main()

TEXT_SPEC = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "text": {"kind": "sequence", "materialization": "string"}}}})
EMPTY_TEXT = '{"Map":{"text":{"Str":""}}}'
MAP_SPEC = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "entries": {"kind": "map"},
    "people": {"kind": "set", "keys": [["id"]], "element": {"kind": "map"}}}}})
TEXT_PATH = [{"kind": "key", "key": "text"}]
ALPHABET = "abcdefghijklmnopqrstuvwxyz "


def ops_of(result):
    """The operations of a mutate result, as the text of a JSON array."""
    return result[7:result.index('],"effect":') + 1]


def edit_script(rng, chars, edits):
    """(index, delete_count, char) triples: appends, then random edits."""
    script = [(i, 0, rng.choice(ALPHABET)) for i in range(chars)]
    for _ in range(edits):
        script.append((rng.randrange(chars), 1, rng.choice(ALPHABET)))
    return script


def splice_text(index, delete, char):
    """The mutation text of one splice, as a caller would format it."""
    return ('[{"kind":"sequence_splice","path":[{"kind":"key","key":"text"}],"index":%d,"delete_count":%d,'
            '"values":[{"Str":%s}]}]' % (index, delete, json.dumps(char)))


def typed_history(n, rng):
    """The operations of typing n characters one per call at the end, as
    mutate makes them (replica "a", counters 1..n), in one JSON array."""
    ops = []
    after = "null"
    for i in range(1, n + 1):
        ops.append('{"kind":"sequence_insert","dot":{"counter":%d,"replica":"a"},"path":[{"kind":"key","key":"text"}],'
                   '"after":%s,"values":[{"Str":"%s"}]}' % (i, after, rng.choice(ALPHABET)))
        after = '{"dot":{"counter":%d,"replica":"a"},"index":0}' % i
    return "[" + ",".join(ops) + "]"


class Timer:
    def __init__(self):
        self.blocks = []  # seconds per block of operations

    def run(self, items, step, block):
        total = 0.0
        start = time.perf_counter()
        for i, item in enumerate(items, 1):
            step(item)
            if i % block == 0:
                now = time.perf_counter()
                self.blocks.append(now - start)
                total += now - start
                start = now
        rest = time.perf_counter() - start
        return total + rest


# ---- heap in use (glibc) ----

class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def _heap_counter():
    try:
        libc = ctypes.CDLL(None)
        mallinfo2 = libc.mallinfo2
    except (OSError, AttributeError):
        return None
    mallinfo2.restype = _MallInfo2

    def in_use():
        gc.collect()
        m = mallinfo2()
        return m.uordblks + m.hblkhd
    return in_use


heap_in_use = _heap_counter()


# ---- wirewright ----

class Ours:
    name = "wirewright"

    def typing(self, script, block):
        self.doc = wirewright.CrdtDocument(TEXT_SPEC, EMPTY_TEXT, "a")
        self.ops = []
        timer = Timer()

        def step(edit):
            self.ops.append(ops_of(self.doc.mutate(splice_text(*edit))))

        return timer.run(script, step, block), timer.blocks

    def merge_each(self):
        doc = wirewright.CrdtDocument(TEXT_SPEC, EMPTY_TEXT, "b")
        start = time.perf_counter()
        for ops in self.ops:
            doc.apply(ops)
        took = time.perf_counter() - start
        assert doc.value() == self.doc.value()
        return took

    def merge_batch(self):
        doc = wirewright.CrdtDocument(TEXT_SPEC, EMPTY_TEXT, "b")
        batch = "[" + ",".join(ops[1:-1] for ops in self.ops if ops != "[]") + "]"
        start = time.perf_counter()
        doc.apply(batch)
        took = time.perf_counter() - start
        assert doc.value() == self.doc.value()
        return took

    def map_keys(self, keys):
        doc = wirewright.CrdtDocument(MAP_SPEC, '{"Map":{"entries":{"Map":{}},"people":{"List":[]}}}', "a")
        start = time.perf_counter()
        for k in keys:
            doc.mutate('[{"kind":"map_set","path":[{"kind":"key","key":"entries"}],"key":%s,"value":{"Int":1}}]'
                       % json.dumps(k))
        self.map_doc = doc
        return time.perf_counter() - start

    def set_members(self, ids):
        doc = self.map_doc
        path = [{"kind": "key", "key": "people"}]
        start = time.perf_counter()
        for i in ids:
            member = {"Map": {"id": {"Int": i}, "name": {"Str": f"p{i}"}}}
            doc.mutate(json.dumps([{"kind": "set_add", "path": path, "value": member}]))
        for i in ids:
            key = json.dumps([[["id"], {"Int": i}]], separators=(",", ":"))
            doc.mutate(json.dumps([{"kind": "set_remove", "path": path, "key": key}]))
        return time.perf_counter() - start

    def save_restore(self):
        start = time.perf_counter()
        state = self.doc.state()
        saved = time.perf_counter() - start
        start = time.perf_counter()
        wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a")
        restored = time.perf_counter() - start
        return saved, restored, len(state)

    def compact(self):
        state = json.loads(self.map_doc.state())
        counters = [d["counter"] for d in state["context"].get("dots", [])]
        start = time.perf_counter()
        removed = self.map_doc.compact(json.dumps({"a": max(counters)}))
        return time.perf_counter() - start, removed


# ---- pycrdt ----

class Yrs:
    name = "pycrdt"

    def typing(self, script, block):
        self.doc = pycrdt.Doc()
        self.updates = []
        self.doc.observe(lambda event: self.updates.append(event.update))
        root = self.doc.get("root", type=pycrdt.Map)
        root["text"] = pycrdt.Text()
        text = root["text"]
        timer = Timer()

        def step(edit):
            index, delete, char = edit
            with self.doc.transaction():
                if delete:
                    del text[index:index + delete]
                text.insert(index, char)

        took = timer.run(script, step, block), timer.blocks
        self.text = str(text)
        return took

    def _fresh(self):
        doc = pycrdt.Doc()
        doc.get("root", type=pycrdt.Map)
        return doc

    def merge_each(self):
        doc = self._fresh()
        start = time.perf_counter()
        for u in self.updates:
            doc.apply_update(u)
        took = time.perf_counter() - start
        assert str(doc.get("root", type=pycrdt.Map)["text"]) == self.text
        return took

    def merge_batch(self):
        doc = self._fresh()
        batch = pycrdt.merge_updates(*self.updates)
        start = time.perf_counter()
        doc.apply_update(batch)
        took = time.perf_counter() - start
        assert str(doc.get("root", type=pycrdt.Map)["text"]) == self.text
        return took

    def map_keys(self, keys):
        self.map_doc = pycrdt.Doc()
        root = self.map_doc.get("root", type=pycrdt.Map)
        root["entries"] = pycrdt.Map()
        root["people"] = pycrdt.Map()
        entries = root["entries"]
        start = time.perf_counter()
        for k in keys:
            entries[k] = 1
        return time.perf_counter() - start

    def set_members(self, ids):
        people = self.map_doc.get("root", type=pycrdt.Map)["people"]
        start = time.perf_counter()
        for i in ids:
            people[str(i)] = pycrdt.Map({"id": i, "name": f"p{i}"})
        for i in ids:
            del people[str(i)]
        return time.perf_counter() - start

    def save_restore(self):
        start = time.perf_counter()
        state = self.doc.get_update()
        saved = time.perf_counter() - start
        start = time.perf_counter()
        self._fresh().apply_update(state)
        restored = time.perf_counter() - start
        return saved, restored, len(state)


# ---- loro ----

class Loro:
    name = "loro"

    def typing(self, script, block):
        self.doc = loro.LoroDoc()
        text = self.doc.get_map("root").insert_container("text", loro.LoroText())
        self.doc.commit()
        self.updates = []
        timer = Timer()
        version = [loro.VersionVector()]  # the first update carries the container

        def step(edit):
            index, delete, char = edit
            if delete:
                text.delete(index, delete)
            text.insert(index, char)
            self.doc.commit()
            self.updates.append(self.doc.export(loro.ExportMode.Updates(version[0])))
            version[0] = self.doc.oplog_vv

        took = timer.run(script, step, block), timer.blocks
        self.text = text.to_string()
        self.first = self.doc.export(loro.ExportMode.Updates(loro.VersionVector()))
        return took

    def _text(self, doc):
        return doc.get_map("root").get("text").to_string()

    def merge_each(self):
        doc = loro.LoroDoc()
        start = time.perf_counter()
        for u in self.updates:
            doc.import_(u)
        took = time.perf_counter() - start
        assert doc.get_deep_value()["root"]["text"] == self.text
        return took

    def merge_batch(self):
        doc = loro.LoroDoc()
        start = time.perf_counter()
        doc.import_batch(self.updates)
        took = time.perf_counter() - start
        assert doc.get_deep_value()["root"]["text"] == self.text
        return took

    def map_keys(self, keys):
        self.map_doc = loro.LoroDoc()
        root = self.map_doc.get_map("root")
        entries = root.insert_container("entries", loro.LoroMap())
        self.people = root.insert_container("people", loro.LoroMap())
        self.map_doc.commit()
        start = time.perf_counter()
        for k in keys:
            entries.insert(k, 1)
            self.map_doc.commit()
        return time.perf_counter() - start

    def set_members(self, ids):
        start = time.perf_counter()
        for i in ids:
            member = self.people.insert_container(str(i), loro.LoroMap())
            member.insert("id", i)
            member.insert("name", f"p{i}")
            self.map_doc.commit()
        for i in ids:
            self.people.delete(str(i))
            self.map_doc.commit()
        return time.perf_counter() - start

    def save_restore(self):
        start = time.perf_counter()
        state = self.doc.export(loro.ExportMode.Snapshot())
        saved = time.perf_counter() - start
        start = time.perf_counter()
        loro.LoroDoc().import_(state)
        restored = time.perf_counter() - start
        return saved, restored, len(state)


# ---- wirewright against the cost of its own bytes ----

def per_call(doc_of, calls, step):
    """(seconds per call, result bytes per call) of `calls` calls of step(doc, i)
    on a fresh document, the best of three runs."""
    best = None
    for _ in range(3):
        doc = doc_of()
        nbytes = 0
        start = time.perf_counter()
        for i in range(calls):
            nbytes += len(step(doc, i))
        took = (time.perf_counter() - start) / calls
        if best is None or took < best[0]:
            best = (took, nbytes / calls)
    return best


def fit_line(points):
    """Least squares t = a + b * x over (x, t) points: (a, b)."""
    n = len(points)
    mx = sum(x for x, _ in points) / n
    mt = sum(t for _, t in points) / n
    sxx = sum((x - mx) ** 2 for x, _ in points)
    if sxx == 0:
        return mt, 0.0
    b = sum((x - mx) * (t - mt) for x, t in points) / sxx
    return mt - b * mx, b


def scaling(sizes, repeat, calls, seed):
    """Per size: batch apply, from_state, state, memory, and the per-call
    cost of mutate and of one-operation apply."""
    rows = {}
    for n in sizes:
        rng = random.Random(seed)
        batch = typed_history(n, rng)
        r = rows[n] = {"batch bytes": len(batch)}

        def fresh(replica="b"):
            return wirewright.CrdtDocument(TEXT_SPEC, EMPTY_TEXT, replica)

        # Documents made while timing are kept until the timing ends, so
        # that freeing them is not timed.
        kept = []

        def apply_batch():
            kept.append(fresh())
            kept[-1].apply(batch)
        r["apply"] = best_time(apply_batch, repeat)
        kept.clear()
        r["apply yardstick"] = best_time(lambda: wirewright.json_to_msgpack(batch), repeat)

        doc = fresh()
        doc.apply(batch)
        state = doc.state()
        del doc
        r["state bytes"] = len(state)
        restored = wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a")
        assert restored.state() == state
        r["from_state"] = best_time(lambda: kept.append(wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a")),
                                    repeat)
        kept.clear()
        r["state"] = best_time(restored.state, repeat)
        r["state yardstick"] = best_time(lambda: wirewright.json_to_msgpack(state), repeat)
        del restored

        if heap_in_use is not None:
            before = heap_in_use()
            kept = wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a")
            r["memory"] = (heap_in_use() - before) / n
            del kept

        # One character per call at the end, on a document of n characters;
        # the other replica's operations, one per call.
        other = wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "z")
        remote = [ops_of(other.mutate(splice_text(n + i, 0, "x"))) for i in range(calls)]
        del other
        r["mutate"] = per_call(lambda: wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a"), calls,
                               lambda d, i: d.mutate(splice_text(n + i, 0, "y")))
        r["apply one"] = per_call(lambda: wirewright.CrdtDocument.from_state(TEXT_SPEC, state, "a"), calls,
                                  lambda d, i: d.apply(remote[i]))
        print(f"  {n:>8} chars: batch {ms(r['apply'])} (yardstick {ms(r['apply yardstick'])}), "
              f"from_state {ms(r['from_state'])}, state {ms(r['state'])} "
              f"(yardstick {ms(r['state yardstick'])}), mutate {r['mutate'][0] * 1e6:.1f} us, "
              f"apply one {r['apply one'][0] * 1e6:.1f} us"
              + (f", {r['memory']:.0f} B/element" if "memory" in r else ""), flush=True)
    return rows


def write_workloads(directory, sizes, seed):
    os.makedirs(directory, exist_ok=True)
    for n in sizes:
        batch = typed_history(n, random.Random(seed))
        doc = wirewright.CrdtDocument(TEXT_SPEC, EMPTY_TEXT, "b")
        doc.apply(batch)
        for name, text in ((f"text_{n}.ops.json", batch), (f"text_{n}.state.json", doc.state())):
            with open(os.path.join(directory, name), "w", encoding="utf-8") as f:
                f.write(text)
        print(f"{n} characters: {len(batch)} bytes of operations, {len(doc.state())} bytes of state")


def growth_per_doubling(rows, key, value=lambda v: v):
    sizes = sorted(rows)
    lo, hi = sizes[0], sizes[-1]
    if hi == lo:
        return None
    return (value(rows[hi][key]) / value(rows[lo][key])) ** (1 / math.log2(hi / lo))


def per_op(seconds, count):
    return f"{seconds / max(count, 1) * 1e6:9.1f} us/op"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--chars", type=int, nargs="+", default=[10000, 100000],
                        help="text sizes typed one character per call, against the peers")
    parser.add_argument("--edits", type=int, default=1000)
    parser.add_argument("--keys", type=int, default=10000)
    parser.add_argument("--members", type=int, default=1000)
    parser.add_argument("--block", type=int, default=1000, help="edits per growth block")
    parser.add_argument("--sizes", type=int, nargs="+", default=[10000, 100000, 1000000],
                        help="text sizes of the batch, restore, save and per-call work")
    parser.add_argument("--calls", type=int, default=200, help="calls per size of the per-call work")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--write-workloads", metavar="DIR", help="write the inputs of bench/cpp/crdt_bench and stop")
    add_module_option(parser)
    args = parser.parse_args()
    global wirewright
    wirewright = load_wirewright(args.module)
    if args.write_workloads:
        write_workloads(args.write_workloads, sorted(args.sizes), args.seed)
        return
    print(describe(wirewright, ["pycrdt", "loro"]))

    summary = Summary("CRDT documents")
    # Against the peers; typing, random edits, one-by-one merge and map keys
    # have the target of at most pycrdt's time.
    targets = {"typing", "random edits", "merge, one op per call", "map keys"}
    for chars in args.chars:
        rng = random.Random(args.seed)
        script = edit_script(rng, chars, args.edits)
        keys = [f"key{rng.randrange(10**9):09d}" for _ in range(args.keys)]
        ids = list(range(args.members))
        peers = [Ours(), Yrs(), Loro()]
        results = {p.name: {} for p in peers}
        first = chars == args.chars[0]

        for p in peers:
            r = results[p.name]
            typing_all, blocks = p.typing(script, args.block)
            r["typing"] = sum(blocks[: chars // args.block])
            r["random edits"] = typing_all - r["typing"]
            r["blocks"] = blocks
            r["merge, one op per call"] = p.merge_each()
            r["merge, one batch"] = p.merge_batch()
            if first:
                r["map keys"] = p.map_keys(keys)
                r["set add + remove"] = p.set_members(ids)
            r["save"], r["restore"], r["state bytes"] = p.save_restore()
            if first and hasattr(p, "compact"):
                r["compact"], r["tombstones"] = p.compact()

        counts = {
            "typing": chars, "random edits": args.edits,
            "merge, one op per call": len(script), "merge, one batch": len(script),
        }
        if first:
            counts.update({"map keys": args.keys, "set add + remove": 2 * args.members})
        ours = results["wirewright"]
        print(f"\n{chars} characters typed, then {args.edits} random edits")
        print(f"{'work':26} {'wirewright':>30} " + " ".join(f"{p.name:>22}" for p in peers[1:]))
        for work, n in counts.items():
            line = f"{work:26} {ours[work]:8.3f} s {per_op(ours[work], n)}"
            for p in peers[1:]:
                theirs = results[p.name][work]
                line += f"   {theirs:7.3f} s x{ours[work] / theirs:7.2f}"
            print(line)
        for work in ("save", "restore"):
            line = f"{work:26} {ours[work]:8.3f} s {ours['state bytes']:>11} bytes"
            for p in peers[1:]:
                theirs = results[p.name]
                line += f"   {theirs[work]:7.3f} s x{ours[work] / theirs[work]:7.2f}"
            print(line)
        if first:
            print(f"{'compact':26} {ours['compact']:8.3f} s   ({ours['tombstones']} tombstones removed)")
        print(f"growth: seconds per block of {args.block} edits, as the text grows")
        for p in peers:
            print(f"  {p.name:12}" + " ".join(f"{b:6.3f}" for b in results[p.name]["blocks"]))

        for work in [*counts, "save", "restore"]:
            case = work if work in ("map keys", "set add + remove") else f"{work}, {chars} chars"
            for p in peers[1:]:
                theirs = results[p.name][work]
                if work in targets and p.name == "pycrdt":
                    summary.ratio(case, ours[work], p.name, theirs, 1.0)
                else:
                    summary.add(case, ms(ours[work]), f"{p.name} {ms(theirs)}", f"{ours[work] / theirs:.2f}", "-",
                                None)

    print("\nwirewright against a plain parse of the same text (json_to_msgpack), by text size:")
    rows = scaling(sorted(args.sizes), args.repeat, args.calls, args.seed)
    for n in sorted(rows):
        r = rows[n]
        summary.ratio(f"from_state, {n} chars ({r['state bytes'] / 1e6:.1f} MB)", r["from_state"],
                      "parse of the state", r["state yardstick"], 1.5)
        summary.ratio(f"apply one batch, {n} chars ({r['batch bytes'] / 1e6:.1f} MB)", r["apply"],
                      "parse of the batch", r["apply yardstick"], 2.0)
        summary.throughput(f"state, {n} chars", r["state"], r["state bytes"], 1.0, "parse of the state",
                           r["state yardstick"])
        if "memory" in r:
            summary.add(f"memory of a restored document, {n} chars", f"{r['memory']:.0f} B/element", "-", "-",
                        "<= 200 B/element", r["memory"] <= 200)
    # Per call: a fixed cost plus the writing of the result.
    for work in ("mutate", "apply one"):
        points = [(rows[n][work][1], rows[n][work][0]) for n in sorted(rows)]
        fixed, per_byte = fit_line(points)
        detail = ", ".join(f"{rows[n][work][0] * 1e6:.1f} us for {rows[n][work][1] / 1e3:.1f} KB"
                           for n in sorted(rows))
        summary.add(f"{work}: fixed cost per call", f"{fixed * 1e6:.2f} us", detail, "-", "<= 3 us", fixed <= 3e-6)
        speed = 1 / per_byte / 1e9 if per_byte > 0 else float("inf")
        summary.add(f"{work}: writing of the result", f"{speed:.2f} GB/s", "-", "-", ">= 1 GB/s", speed >= 1.0)
    # Growth per doubling of the document, smallest to largest size; memory
    # counts the whole document, its bytes per element times its elements.
    grown = [("from_state", "from_state", lambda v: v), ("apply one batch", "apply", lambda v: v),
             ("state", "state", lambda v: v), ("memory of a restored document", "memory", lambda v: v),
             ("mutate per call", "mutate", lambda v: v[0]), ("apply one per call", "apply one", lambda v: v[0])]
    for name, key, value in grown:
        if not all(key in rows[n] for n in rows):
            continue
        g = growth_per_doubling(rows, key, value)
        if g is None:
            continue
        if key == "memory":
            g *= 2
        summary.add(f"growth per doubling: {name}", f"x{g:.2f}", "-", "-", "<= 2.2", g <= 2.2)
    summary.print()


if __name__ == "__main__":
    main()
