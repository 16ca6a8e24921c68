"""CRDT documents: wirewright.CrdtDocument against pycrdt and loro.

Every peer does the same work:
  1. typing: single-character edits, one per call, at the end of a text held
     in a map, then random-position edits (delete one, insert one);
  2. remote merge: a second replica takes all those operations, once one
     per call and once as one batch;
  3. a map of many keys written key by key; a set of members with identity
     paths added and then removed, one per call;
  4. saving the state, restoring from it, and (wirewright only) compacting.

Prints per-operation times, how they grow with the document (per block of
edits), and the ratio of our time to each peer's.

The closing summary gives our time over the fastest peer's for each work;
these have no targets.

    pip install -r bench/requirements-crdt.txt
    python bench/crdt.py [--chars 10000] [--edits 1000] [--keys 10000] [--members 1000] [--module PATH]
"""

import argparse
import json
import random
import time

import loro
import pycrdt

from harness import Summary, add_module_option, describe, load_wirewright, ms

wirewright = None  # the module under test, loaded in main()

TEXT_SPEC = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "text": {"kind": "sequence", "materialization": "string"}}}})
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


# ---- wirewright ----

class Ours:
    name = "wirewright"

    def typing(self, script, block):
        self.doc = wirewright.CrdtDocument(TEXT_SPEC, '{"Map":{"text":{"Str":""}}}', "a")
        self.ops = []
        timer = Timer()

        def step(edit):
            index, delete, char = edit
            m = [{"kind": "sequence_splice", "path": TEXT_PATH, "index": index, "delete_count": delete,
                  "values": [{"Str": char}]}]
            self.ops.append(ops_of(self.doc.mutate(json.dumps(m))))

        return timer.run(script, step, block), timer.blocks

    def merge_each(self):
        doc = wirewright.CrdtDocument(TEXT_SPEC, '{"Map":{"text":{"Str":""}}}', "b")
        start = time.perf_counter()
        for ops in self.ops:
            doc.apply(ops)
        took = time.perf_counter() - start
        assert doc.value() == self.doc.value()
        return took

    def merge_batch(self):
        doc = wirewright.CrdtDocument(TEXT_SPEC, '{"Map":{"text":{"Str":""}}}', "b")
        batch = "[" + ",".join(ops[1:-1] for ops in self.ops if ops != "[]") + "]"
        start = time.perf_counter()
        doc.apply(batch)
        took = time.perf_counter() - start
        assert doc.value() == self.doc.value()
        return took

    def map_keys(self, keys):
        doc = wirewright.CrdtDocument(MAP_SPEC, '{"Map":{"entries":{"Map":{}},"people":{"List":[]}}}', "a")
        path = [{"kind": "key", "key": "entries"}]
        start = time.perf_counter()
        for k in keys:
            doc.mutate(json.dumps([{"kind": "map_set", "path": path, "key": k, "value": {"Int": 1}}]))
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


def per_op(seconds, count):
    return f"{seconds / max(count, 1) * 1e6:9.1f} us/op"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--chars", type=int, default=10000)
    parser.add_argument("--edits", type=int, default=1000)
    parser.add_argument("--keys", type=int, default=10000)
    parser.add_argument("--members", type=int, default=1000)
    parser.add_argument("--block", type=int, default=1000, help="edits per growth block")
    parser.add_argument("--seed", type=int, default=7)
    add_module_option(parser)
    args = parser.parse_args()
    global wirewright
    wirewright = load_wirewright(args.module)
    print(describe(wirewright, ["pycrdt", "loro"]))

    rng = random.Random(args.seed)
    script = edit_script(rng, args.chars, args.edits)
    keys = [f"key{rng.randrange(10**9):09d}" for _ in range(args.keys)]
    ids = list(range(args.members))
    peers = [Ours(), Yrs(), Loro()]
    results = {p.name: {} for p in peers}

    for p in peers:
        r = results[p.name]
        typing_all, blocks = p.typing(script, args.block)
        r["typing"] = sum(blocks[: args.chars // args.block])
        r["random edits"] = typing_all - r["typing"]
        r["blocks"] = blocks
        r["merge, one op per call"] = p.merge_each()
        r["merge, one batch"] = p.merge_batch()
        r["map keys"] = p.map_keys(keys)
        r["set add + remove"] = p.set_members(ids)
        r["save"], r["restore"], r["state bytes"] = p.save_restore()
        if hasattr(p, "compact"):
            r["compact"], r["tombstones"] = p.compact()

    counts = {
        "typing": args.chars, "random edits": args.edits,
        "merge, one op per call": len(script), "merge, one batch": len(script),
        "map keys": args.keys, "set add + remove": 2 * args.members,
    }
    ours = results["wirewright"]
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
    print(f"{'compact':26} {ours['compact']:8.3f} s   ({ours['tombstones']} tombstones removed)")

    print(f"\ngrowth: seconds per block of {args.block} edits, as the text grows")
    for p in peers:
        print(f"  {p.name:12}" + " ".join(f"{b:6.3f}" for b in results[p.name]["blocks"]))

    summary = Summary("CRDT documents")
    for work in [*counts, "save", "restore"]:
        name, theirs = min(((p.name, results[p.name][work]) for p in peers[1:]), key=lambda r: r[1])
        summary.add(work, ms(ours[work]), f"{name} {ms(theirs)}", f"{ours[work] / theirs:.2f}", "-", None)
    summary.print()


if __name__ == "__main__":
    main()
