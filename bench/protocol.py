"""Live-protocol messages: normalize_message, encode_message and
decode_message over a stream of 10,000 mixed messages in each codec,
against the pipelines a user would write instead, in one run.

The stream holds all eight kinds and unknown messages, in the proportions
and sizes of a live session: many awareness updates, patches, CRDT
operations and acks, fewer rejections, batches and snapshots (a few KB
each), and some messages of other kinds. Every peer pipeline writes object
keys sorted, as our MessagePack and CBOR writers do:

    json      orjson.dumps(orjson.loads(x), sorted keys)
              msgspec.json.encode(msgspec.json.decode(x), order="sorted")
    msgpack   ormsgpack.packb(orjson.loads(x), sorted keys), msgspec.msgpack
              over orjson and over msgspec.json; back: orjson.dumps or
              msgspec.json.encode over ormsgpack.unpackb / msgspec.msgpack.decode
    cbor      cbor2.dumps(orjson.loads(x), canonical=True);
              back: orjson.dumps(cbor2.loads(b), sorted keys)

The inputs of decode_message are made by the peer libraries, so two builds
read the same bytes. Prints the best time of R runs per pipeline and the
ratio of ours to each; then the summary of the target: at most 0.6 of the
fastest peer pipeline for each function in every codec.

    pip install -r bench/requirements-formats.txt
    python bench/protocol.py [--messages 10000] [--repeat 5] [--module PATH]
"""

import argparse
import json
import random

from harness import Summary, add_module_option, best_time, describe, load_wirewright, ms, optional

orjson = optional("orjson")
ormsgpack = optional("ormsgpack")
msgspec = optional("msgspec")
cbor2 = optional("cbor2")

LIMIT = 0.6  # our time over the fastest peer pipeline

NAMES = ["Ana", "Björn", "Chloé", "Dmitri", "Eun-ji", "Fatima", "Gökhan", "Hiroshi", "Inés", "Jun"]


class Stream:
    """A reproducible stream of mixed live-protocol messages."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.rev = 100

    # ---- parts ----

    def value(self, depth=0):
        rng = self.rng
        r = rng.random()
        if depth >= 3 or r < 0.5:
            pick = rng.randrange(5)
            if pick == 0:
                return {"Int": rng.randrange(-10**6, 10**6)}
            if pick == 1:
                return {"Float": round(rng.uniform(-1e3, 1e3), rng.randrange(1, 8))}
            if pick == 2:
                return {"Str": rng.choice(NAMES) + " " + "x" * rng.randrange(30)}
            if pick == 3:
                return {"Bool": rng.random() < 0.5}
            return "Null" if rng.random() < 0.5 else {"Submodel": rng.randrange(1, 10**6)}
        if r < 0.75:
            return {"List": [self.value(depth + 1) for _ in range(rng.randrange(1, 6))]}
        return {"Map": {f"f{rng.randrange(40)}": self.value(depth + 1) for _ in range(rng.randrange(1, 6))}}

    def document(self, fields):
        rng = self.rng
        return {"Map": {
            "title": {"Str": f"Doc {rng.randrange(10**4)} — {rng.choice(NAMES)}"},
            "items": {"List": [{"Map": {"n": {"Int": i}, "label": {"Str": f"item {i}"}, "done": {"Bool": rng.random() < 0.3}}}
                               for i in range(fields)]},
            "meta": self.value(),
            "owner": {"Submodel": rng.randrange(1, 10**6)},
        }}

    def path(self):
        rng = self.rng
        return [{"Key": "items"}, {"Index": rng.randrange(100)}, {"Key": rng.choice(["label", "done", "n"])}][: rng.randrange(1, 4)]

    def op(self):
        rng = self.rng
        k = rng.randrange(6)
        if k == 0:
            return {"Set": {"path": self.path(), "value": self.value()}}
        if k == 1:
            return {"Insert": {"path": [{"Key": "items"}], "index": rng.randrange(50), "value": self.value()}}
        if k == 2:
            return {"Remove": {"path": self.path()}}
        if k == 3:
            return {"RemoveAt": {"path": [{"Key": "items"}], "index": rng.randrange(50)}}
        if k == 4:
            return {"Move": {"path": [{"Key": "items"}], "from": rng.randrange(50), "to": rng.randrange(50)}}
        order = list(range(rng.randrange(2, 12)))
        rng.shuffle(order)
        return {"Reorder": {"path": [{"Key": "items"}], "order": order}}

    def dot(self):
        return {"counter": self.rng.randrange(1, 10**5), "replica": f"r{self.rng.randrange(8)}"}

    def crdt_op(self):
        rng = self.rng
        if rng.random() < 0.5:
            return {"kind": "map_set", "dot": self.dot(), "path": [{"kind": "key", "key": "fields"}],
                    "key": f"k{rng.randrange(100)}", "value": self.value()}
        after = None if rng.random() < 0.1 else {"dot": self.dot(), "index": rng.randrange(20)}
        return {"kind": "sequence_insert", "dot": self.dot(), "path": [{"kind": "key", "key": "text"}],
                "after": after, "values": [{"Str": c} for c in rng.choice(["a", "hé", "lo ", "wörld", "日本"])]}

    # ---- messages ----

    def message(self, depth=0):
        rng = self.rng
        r = rng.random()
        model = rng.randrange(1, 50)
        self.rev += 1
        proposal = f"p-{rng.randrange(10**6):06d}"
        if r < 0.28:
            return {"t": "awareness", "id": model, "peer": f"peer-{rng.randrange(20)}",
                    "state": None if rng.random() < 0.1 else {
                        "user": {"name": rng.choice(NAMES), "color": f"#{rng.randrange(16**6):06x}"},
                        "cursor": {"line": rng.randrange(500), "col": rng.randrange(80)},
                        "selection": [rng.randrange(900) for _ in range(rng.randrange(0, 5))]}}
        if r < 0.52:
            msg = {"t": "patch", "id": model, "patch": {"rev": self.rev, "ops": [self.op() for _ in range(rng.randrange(1, 6))]}}
            if rng.random() < 0.6:
                msg["proposal"] = proposal
            return msg
        if r < 0.66:
            msg = {"t": "crdt", "id": model, "rev": self.rev, "ops": [self.crdt_op() for _ in range(rng.randrange(1, 5))]}
            if rng.random() < 0.3:
                msg["effect"] = {"patch": {"rev": 0, "ops": [self.op()]}, "deltas": [], "applied": 1}
            if rng.random() < 0.5:
                msg["proposal"] = proposal
            return msg
        if r < 0.78:
            return {"t": "ack", "id": model, "rev": self.rev, "proposal": proposal}
        if r < 0.81:
            msg = {"t": "reject", "id": model, "rev": self.rev, "error": "revision conflict: expected " + str(self.rev - 1),
                   "proposal": proposal}
            if rng.random() < 0.3:
                msg["crdt_ops"] = [self.crdt_op()]
            return msg
        if r < 0.86 and depth < 2:
            return {"t": "batch", "msgs": [self.message(depth + 1) for _ in range(rng.randrange(2, 6))]}
        if r < 0.89:
            return {"t": "snapshot", "id": model, "type": "Document", "rev": self.rev, "value": self.document(rng.randrange(5, 40))}
        if r < 0.91:
            return {"t": "crdt_snapshot", "id": model, "type": "Notes", "rev": self.rev, "value": self.document(rng.randrange(3, 20)),
                    "spec": {"version": 1, "root": {"kind": "map", "fields": {"text": {"kind": "sequence", "materialization": "string"}}}},
                    "state": {"state_version": 1, "context": {"dots": [self.dot() for _ in range(rng.randrange(1, 10))]},
                              "root": {"kind": "map", "entries": {f"k{i}": {"dot": self.dot(), "value": self.value()} for i in range(rng.randrange(1, 8))}}}}
        pick = rng.randrange(4)
        if pick == 0:
            return {"t": "ping", "at": rng.randrange(10**12)}
        if pick == 1:
            return {"t": "hello", "client": "adapter/2.3", "codecs": ["json", "msgpack", "cbor"], "resume": {"1": self.rev}}
        if pick == 2:
            return {"kind": "telemetry", "rtt_ms": round(rng.uniform(1, 200), 2), "lost": rng.randrange(3)}
        return [self.rev, "legacy", None]


def make_messages(n, seed=5):
    stream = Stream(seed)
    return [json.dumps(stream.message(), ensure_ascii=False) for _ in range(n)]


def peers():
    """(codec, work) -> [(name, fn over one input)] of the installed peers."""
    sort = orjson.OPT_SORT_KEYS if orjson else 0
    json_pipes = []
    if orjson:
        json_pipes.append(("orjson", lambda x: orjson.dumps(orjson.loads(x), option=sort)))
    if msgspec:
        json_pipes.append(("msgspec", lambda x: msgspec.json.encode(msgspec.json.decode(x), order="sorted")))
    table = {("json", "normalize"): json_pipes, ("json", "encode"): json_pipes, ("json", "decode"): json_pipes}
    enc, dec = [], []
    if ormsgpack and orjson:
        enc.append(("ormsgpack(orjson)", lambda x: ormsgpack.packb(orjson.loads(x), option=ormsgpack.OPT_SORT_KEYS)))
        dec.append(("orjson(ormsgpack)", lambda b: orjson.dumps(ormsgpack.unpackb(b), option=sort)))
    if msgspec and orjson:
        enc.append(("msgspec(orjson)", lambda x: msgspec.msgpack.encode(orjson.loads(x), order="sorted")))
        dec.append(("orjson(msgspec)", lambda b: orjson.dumps(msgspec.msgpack.decode(b), option=sort)))
    if msgspec:
        enc.append(("msgspec", lambda x: msgspec.msgpack.encode(msgspec.json.decode(x), order="sorted")))
        dec.append(("msgspec", lambda b: msgspec.json.encode(msgspec.msgpack.decode(b), order="sorted")))
    table[("msgpack", "encode")], table[("msgpack", "decode")] = enc, dec
    enc, dec = [], []
    if cbor2 and orjson:
        enc.append(("cbor2(orjson)", lambda x: cbor2.dumps(orjson.loads(x), canonical=True)))
        dec.append(("orjson(cbor2)", lambda b: orjson.dumps(cbor2.loads(b), option=sort)))
    table[("cbor", "encode")], table[("cbor", "decode")] = enc, dec
    return table


def peer_bytes(ww, texts, codec):
    """The decode inputs, written by a peer library where one is installed."""
    if codec == "json" and orjson:
        return [orjson.dumps(orjson.loads(t)) for t in texts]
    if codec == "msgpack" and ormsgpack and orjson:
        return [ormsgpack.packb(orjson.loads(t), option=ormsgpack.OPT_SORT_KEYS) for t in texts]
    if codec == "cbor" and cbor2:
        return [cbor2.dumps(json.loads(t), canonical=True) for t in texts]
    return [ww.encode_message(t, codec) for t in texts]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--messages", type=int, default=10_000, help="messages in the stream (default 10000)")
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement, the best counts (default 5)")
    parser.add_argument("--seed", type=int, default=5)
    add_module_option(parser)
    args = parser.parse_args()
    ww = load_wirewright(args.module)
    print(describe(ww, ["orjson", "ormsgpack", "msgspec", "cbor2"]))

    texts = make_messages(args.messages, args.seed)
    kinds = {}
    for t in texts:
        m = json.loads(t)
        kind = m.get("t") if isinstance(m, dict) else None
        kind = kind if kind in ("snapshot", "crdt_snapshot", "patch", "crdt", "ack", "reject", "awareness", "batch") else "unknown"
        kinds[kind] = kinds.get(kind, 0) + 1
    size = sum(len(t.encode()) for t in texts)
    print(f"{len(texts)} messages, {size / 1e6:.2f} MB of JSON, largest {max(map(len, texts))} chars; "
          + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items(), key=lambda kv: -kv[1])))

    normalized = [ww.normalize_message(t) for t in texts]
    table = peers()
    summary = Summary("live-protocol messages")
    for codec in ("json", "msgpack", "cbor"):
        data = peer_bytes(ww, texts, codec)
        assert [ww.decode_message(d, codec) for d in data] == normalized, f"decode_message {codec}"
        works = [("encode", lambda t: ww.encode_message(t, codec), texts),
                 ("decode", lambda d: ww.decode_message(d, codec), data)]
        if codec == "json":
            works.insert(0, ("normalize", ww.normalize_message, texts))
        for work, ours, inputs in works:
            title = "normalize_message" if work == "normalize" else f"{work}_message {codec}"
            ours_s = best_time(lambda: [ours(x) for x in inputs], args.repeat)
            print(f"\n{title}\n  {'wirewright':24} {ms(ours_s):>10}")
            rows = [(name, best_time(lambda: [fn(x) for x in inputs], args.repeat)) for name, fn in table[(codec, work)]]
            for name, t in rows:
                print(f"  {name:24} {ms(t):>10}   ours/peer {ours_s / t:5.2f}")
            name, t = min(rows, key=lambda r: r[1]) if rows else ("peer", None)
            summary.ratio(f"{title} ({args.messages} msgs)", ours_s, name, t, LIMIT)
    summary.print()


if __name__ == "__main__":
    main()
