"""Live-protocol messages: normalize_message, encode_message and
decode_message over a stream of 10,000 mixed messages in each codec,
against the pipelines a user would write instead, in one run.

    python bench/protocol.py [--messages N] [--repeat R]

Prints the best time of R runs per pipeline and the ratio of ours to the
fastest peer (below 1.0: ours is faster).
"""

import argparse
import json
import random
import time

import wirewright as ww

try:
    import orjson
except ImportError:  # pragma: no cover
    orjson = None
try:
    import ormsgpack
except ImportError:  # pragma: no cover
    ormsgpack = None
try:
    import msgpack
except ImportError:  # pragma: no cover
    msgpack = None
try:
    import cbor2
except ImportError:  # pragma: no cover
    cbor2 = None


def make_messages(n, seed=5):
    rng = random.Random(seed)

    def op():
        k = rng.randrange(3)
        path = [{"Key": "items"}, {"Index": rng.randrange(100)}]
        if k == 0:
            return {"Set": {"path": path, "value": {"Map": {"n": {"Int": rng.randrange(1000)}, "s": {"Str": "x" * rng.randrange(12)}}}}}
        if k == 1:
            return {"Move": {"path": path[:1], "from": rng.randrange(50), "to": rng.randrange(50)}}
        return {"Insert": {"path": path[:1], "index": rng.randrange(50), "value": {"Float": rng.random()}}}

    def one(depth=0):
        r = rng.random()
        i = rng.randrange(1, 50)
        if r < 0.4:
            return {"t": "patch", "id": i, "patch": {"rev": rng.randrange(1000), "ops": [op() for _ in range(rng.randrange(1, 5))]}, "proposal": "p%d" % rng.randrange(99)}
        if r < 0.6:
            return {"t": "ack", "id": i, "rev": rng.randrange(1000), "proposal": "p%d" % rng.randrange(99)}
        if r < 0.85:
            return {"t": "awareness", "id": i, "peer": "peer-%d" % rng.randrange(9), "state": {"cursor": {"line": rng.randrange(500), "col": rng.randrange(80)}, "selection": [rng.randrange(9) for _ in range(4)], "name": "user"}}
        if depth < 2:
            return {"t": "batch", "msgs": [one(depth + 1) for _ in range(rng.randrange(1, 4))]}
        return {"t": "ack", "id": i, "rev": 1, "proposal": "p"}

    return [json.dumps(one()) for _ in range(n)]


def best(fn, repeat):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times)


def report(title, ours, peers, repeat):
    t_ours = best(ours, repeat)
    rows = [(name, best(fn, repeat)) for name, fn in peers if fn is not None]
    print(f"\n{title}")
    print(f"  {'wirewright':44s} {t_ours * 1e3:9.1f} ms")
    for name, t in rows:
        print(f"  {name:44s} {t * 1e3:9.1f} ms   ours/peer {t_ours / t:5.2f}")
    if rows:
        fastest = min(t for _, t in rows)
        print(f"  ratio to the fastest peer: {t_ours / fastest:.2f}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--messages", type=int, default=10_000)
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()
    texts = make_messages(args.messages)
    size = sum(map(len, texts))
    print(f"{len(texts)} messages, {size / 1e6:.2f} MB of JSON")

    sort = orjson.OPT_SORT_KEYS if orjson else 0
    report(
        "normalize_message (JSON text to compact JSON text)",
        lambda: [ww.normalize_message(t) for t in texts],
        [
            ("orjson loads + dumps(sorted)", orjson and (lambda: [orjson.dumps(orjson.loads(t), option=sort) for t in texts])),
            ("json loads + dumps(sorted, compact)", lambda: [json.dumps(json.loads(t), sort_keys=True, separators=(",", ":")) for t in texts]),
        ],
        args.repeat,
    )

    report(
        "encode_message json",
        lambda: [ww.encode_message(t, "json") for t in texts],
        [("orjson loads + dumps(sorted)", orjson and (lambda: [orjson.dumps(orjson.loads(t), option=sort) for t in texts]))],
        args.repeat,
    )
    data_json = [ww.encode_message(t, "json") for t in texts]
    report(
        "decode_message json",
        lambda: [ww.decode_message(d, "json") for d in data_json],
        [("orjson loads + dumps(sorted)", orjson and (lambda: [orjson.dumps(orjson.loads(d), option=sort) for d in data_json]))],
        args.repeat,
    )

    report(
        "encode_message msgpack",
        lambda: [ww.encode_message(t, "msgpack") for t in texts],
        [
            ("ormsgpack.packb(orjson.loads)", ormsgpack and orjson and (lambda: [ormsgpack.packb(orjson.loads(t), option=ormsgpack.OPT_SORT_KEYS) for t in texts])),
            ("msgpack.packb(orjson.loads)", msgpack and orjson and (lambda: [msgpack.packb(orjson.loads(t)) for t in texts])),
            ("msgpack.packb(json.loads)", msgpack and (lambda: [msgpack.packb(json.loads(t)) for t in texts])),
        ],
        args.repeat,
    )
    data_mp = [ww.encode_message(t, "msgpack") for t in texts]
    report(
        "decode_message msgpack",
        lambda: [ww.decode_message(d, "msgpack") for d in data_mp],
        [
            ("orjson.dumps(ormsgpack.unpackb, sorted)", ormsgpack and orjson and (lambda: [orjson.dumps(ormsgpack.unpackb(d), option=sort) for d in data_mp])),
            ("orjson.dumps(msgpack.unpackb, sorted)", msgpack and orjson and (lambda: [orjson.dumps(msgpack.unpackb(d), option=sort) for d in data_mp])),
        ],
        args.repeat,
    )

    report(
        "encode_message cbor",
        lambda: [ww.encode_message(t, "cbor") for t in texts],
        [
            ("cbor2.dumps(orjson.loads)", cbor2 and orjson and (lambda: [cbor2.dumps(orjson.loads(t), canonical=True) for t in texts])),
            ("cbor2.dumps(json.loads)", cbor2 and (lambda: [cbor2.dumps(json.loads(t)) for t in texts])),
        ],
        args.repeat,
    )
    data_cb = [ww.encode_message(t, "cbor") for t in texts]
    report(
        "decode_message cbor",
        lambda: [ww.decode_message(d, "cbor") for d in data_cb],
        [("orjson.dumps(cbor2.loads, sorted)", cbor2 and orjson and (lambda: [orjson.dumps(cbor2.loads(d), option=sort) for d in data_cb]))],
        args.repeat,
    )


if __name__ == "__main__":
    main()
