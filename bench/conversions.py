"""The four generic conversions against the pipelines a user would write instead.

    json_to_msgpack   vs  ormsgpack.packb(orjson.loads(x)), msgpack.packb(json.loads(x))
    msgpack_to_json   vs  orjson.dumps(ormsgpack.unpackb(b), option=OPT_SORT_KEYS),
                          json.dumps(msgpack.unpackb(b), sort_keys=True, separators=(",", ":"))
    json_to_cbor      vs  cbor2.dumps(orjson.loads(x)), cbor2.dumps(json.loads(x))
    cbor_to_json      vs  orjson.dumps(cbor2.loads(b), option=OPT_SORT_KEYS),
                          json.dumps(cbor2.loads(b), sort_keys=True, separators=(",", ":"))

on three kinds of document (an API-response-like array of records, a numeric
array, a deeply nested configuration) of about 1 MB and 10 MB. Prints the
best time of each and the ratio of ours to the fastest peer (below 1.0: we
are faster).

    python bench/conversions.py [--sizes 1,10] [--repeat 5]
"""

import argparse
import json
import random
import time

import cbor2
import msgpack
import orjson
import ormsgpack

import wirewright

SORTED = orjson.OPT_SORT_KEYS


def records(rng, size):
    items, total = [], 0
    while total < size:
        item = {
            "id": rng.randrange(10**12),
            "name": f"user {rng.randrange(10**6)} \u00e9t\u00e9",
            "email": f"u{rng.randrange(10**6)}@example.test",
            "active": rng.random() < 0.5,
            "score": round(rng.uniform(-1000, 1000), 3),
            "tags": [f"t{rng.randrange(100)}" for _ in range(rng.randrange(4))],
            "address": {"city": "Springfield", "zip": f"{rng.randrange(10**5):05d}", "geo": [rng.random(), rng.random()]},
            "manager": None,
        }
        items.append(item)
        total += 260
    return json.dumps({"data": items, "page": 1, "total": len(items)})


def numbers(rng, size):
    items, total = [], 0
    while total < size:
        items.append(rng.uniform(-1e6, 1e6) if rng.random() < 0.5 else rng.randrange(-2**40, 2**40))
        total += 17
    return json.dumps(items)


def config(rng, size):
    # Nested 100 deep (the JSON readers allow 127), repeated until the size is reached.
    def node(level):
        if level == 0:
            return {"enabled": True, "timeout_ms": rng.randrange(10**4), "name": "leaf"}
        return {"level": level, "child": node(level - 1), "opts": {"retries": 3, "tags": ["a", "b"]}}

    one = json.dumps(node(100))
    return "[" + ",".join([one] * (size // len(one) + 1)) + "]"


DOCUMENTS = {"records": records, "numbers": numbers, "config": config}

CONVERSIONS = {
    "json_to_msgpack": (wirewright.json_to_msgpack, "text", {
        "ormsgpack+orjson": lambda x: ormsgpack.packb(orjson.loads(x)),
        "msgpack+json": lambda x: msgpack.packb(json.loads(x)),
    }),
    "msgpack_to_json": (wirewright.msgpack_to_json, "msgpack", {
        "orjson+ormsgpack": lambda b: orjson.dumps(ormsgpack.unpackb(b), option=SORTED),
        "json+msgpack": lambda b: json.dumps(msgpack.unpackb(b), sort_keys=True, separators=(",", ":")),
    }),
    "json_to_cbor": (wirewright.json_to_cbor, "text", {
        "cbor2+orjson": lambda x: cbor2.dumps(orjson.loads(x)),
        "cbor2+json": lambda x: cbor2.dumps(json.loads(x)),
    }),
    "cbor_to_json": (wirewright.cbor_to_json, "cbor", {
        "orjson+cbor2": lambda b: orjson.dumps(cbor2.loads(b), option=SORTED),
        "json+cbor2": lambda b: json.dumps(cbor2.loads(b), sort_keys=True, separators=(",", ":")),
    }),
}


def best_time(fn, arg, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn(arg)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", default="1,10", help="document sizes in MB, comma-separated")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    worst = 0.0
    print(f"{'conversion':16} {'document':8} {'MB':>5} {'ours ms':>8}  {'fastest peer':18} {'peer ms':>8} {'ratio':>6}")
    for size_mb in (float(s) for s in args.sizes.split(",")):
        for doc_name, make in DOCUMENTS.items():
            text = make(random.Random(7), int(size_mb * 1e6))
            inputs = {"text": text, "msgpack": wirewright.json_to_msgpack(text), "cbor": wirewright.json_to_cbor(text)}
            for conv_name, (ours, kind, peers) in CONVERSIONS.items():
                arg = inputs[kind]
                our_time = best_time(ours, arg, args.repeat)
                peer_times = {name: best_time(fn, arg, args.repeat) for name, fn in peers.items()}
                peer, peer_time = min(peer_times.items(), key=lambda kv: kv[1])
                ratio = our_time / peer_time
                worst = max(worst, ratio)
                print(f"{conv_name:16} {doc_name:8} {len(text) / 1e6:5.1f} {our_time * 1e3:8.2f}  "
                      f"{peer:18} {peer_time * 1e3:8.2f} {ratio:6.2f}")
    print(f"worst ratio: {worst:.2f}")


if __name__ == "__main__":
    main()
