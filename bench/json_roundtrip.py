"""JSON round trip of model values: wirewright.encode against json and orjson.

Each peer gets the same model-value JSON text and does what encode does:
parse it, then write it compact with sorted keys. Prints throughput (MB of
input per second) and the ratio of our time to each peer's time.

    python bench/json_roundtrip.py [--size-mb 10] [--repeat 5]
"""

import argparse
import json
import random
import time

import orjson

import wirewright

MAX_VALUE_DEPTH = 62  # each value level opens an object and an array: 124 of the 127 allowed


def record(rng, i):
    return {"Map": {
        "name": {"Str": f"record {i} \u00e9t\u00e9"},
        "id": {"Int": rng.randrange(-2**63, 2**63)},
        "score": {"Float": rng.random() * 1e6},
        "active": {"Bool": rng.random() < 0.5},
        "owner": {"Submodel": rng.randrange(2**64)},
        "tags": {"List": [{"Str": f"t{rng.randrange(1000)}"} for _ in range(3)]},
        "note": "Null",
    }}


def wide_map(rng, size):
    entries, total, i = {}, 0, 0
    while total < size:
        key = f"k{rng.randrange(10**12):012d}"  # random order: the writers must sort
        entries[key] = record(rng, i)
        total += 300
        i += 1
    return {"Map": entries}


def long_list(rng, size):
    items, total = [], 0
    while total < size:
        pick = rng.randrange(3)
        if pick == 0:
            items.append({"Int": rng.randrange(-10**9, 10**9)})
        elif pick == 1:
            items.append({"Float": rng.uniform(-1e9, 1e9)})
        else:
            items.append({"Str": "text \"quoted\" \\ \t" + str(rng.random())})
        total += 30
    return {"List": items}


def chain(rng, depth):
    value = {"Str": "leaf"}
    for level in range(depth):
        if level % 2:
            value = {"List": [value, {"Int": level}]}
        else:
            value = {"Map": {f"z{level}": {"Bool": True}, f"a{level}": value}}
    return value


def deep(rng, size):
    one = len(json.dumps(chain(rng, MAX_VALUE_DEPTH - 1)))
    return {"List": [chain(rng, MAX_VALUE_DEPTH - 1) for _ in range(size // one + 1)]}


def best_time(fn, text, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn(text)
        best = min(best, time.perf_counter() - start)
    return best


PEERS = {
    "wirewright": wirewright.encode,
    "json": lambda x: json.dumps(json.loads(x), sort_keys=True, separators=(",", ":")),
    "orjson": lambda x: orjson.dumps(orjson.loads(x), option=orjson.OPT_SORT_KEYS),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mb", type=float, default=10.0)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    size = int(args.size_mb * 1e6)

    models = {"wide map of records": wide_map, "long list of numbers and texts": long_list,
              "deep nesting": deep}
    print(f"{'model':32} {'MB':>6} " + " ".join(f"{p + ' MB/s':>16}" for p in PEERS)
          + "  ours/json  ours/orjson")
    for title, make in models.items():
        text = json.dumps(make(rng, size), ensure_ascii=False)
        mb = len(text.encode()) / 1e6
        ours = wirewright.encode(text)
        # Floats may differ in the last bit (the reader's decimal conversion
        # is not always correctly rounded), so compare all but their values.
        assert json.loads(ours, parse_float=lambda _: 0.0) == json.loads(text, parse_float=lambda _: 0.0)
        times = {name: best_time(fn, text, args.repeat) for name, fn in PEERS.items()}
        speeds = " ".join(f"{mb / t:16.1f}" for t in times.values())
        print(f"{title:32} {mb:6.1f} {speeds}  {times['wirewright'] / times['json']:9.2f}"
              f"  {times['wirewright'] / times['orjson']:11.2f}")


if __name__ == "__main__":
    main()
