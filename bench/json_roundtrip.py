"""The Value road: wirewright.encode and wirewright.decode on the tagged form
of model values ({"Map":{...}}, {"List":[...]}, {"Int":1}, ...) against a
JSON round trip with sorted keys.

    encode (text -> bytes)   vs  orjson.dumps(orjson.loads(x), sorted keys),
                                 msgspec.json.encode(msgspec.json.decode(x), order="sorted")
    decode (bytes -> text)   vs  the same pipelines over encode's output

Each peer does what encode and decode do: read the whole text, then write it
compact with sorted keys. The documents are the three shapes of
bench/shapes.py (text-heavy, number-heavy, deeply nested; the nested chains
half as deep, since each value level opens two brackets) written in the
tagged form, at 1 MB and 10 MB of tagged text.

Prints per case our time and MB/s of input and each peer's time with our
time over it; then the summary of the target: encode and decode take at most
0.5 of the orjson round trip on every shape.

    pip install -r bench/requirements-formats.txt
    python bench/json_roundtrip.py [--sizes 1,10] [--repeat 5] [--module PATH]
"""

import argparse
import json

from harness import Summary, add_module_option, best_time, describe, load_wirewright, ms, optional, same
from shapes import SHAPES, tagged_document

orjson = optional("orjson")
msgspec = optional("msgspec")

LIMIT = 0.5  # our time over the orjson round trip


def peers():
    found = []
    if orjson:
        found.append(("orjson", lambda x: orjson.dumps(orjson.loads(x), option=orjson.OPT_SORT_KEYS)))
    if msgspec:
        found.append(("msgspec", lambda x: msgspec.json.encode(msgspec.json.decode(x), order="sorted")))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", default="1,10", help="document sizes in MB, comma-separated (default 1,10)")
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement, the best counts (default 5)")
    parser.add_argument("--shapes", default=",".join(SHAPES), help="shapes to run, comma-separated")
    add_module_option(parser)
    args = parser.parse_args()
    ww = load_wirewright(args.module)
    print(describe(ww, ["orjson", "msgspec"]))
    if orjson is None:
        print("orjson is not installed: the targets have no peer")

    summary = Summary("Value road: encode / decode of tagged values")
    print(f"\n{'call':7} {'shape':6} {'MB in':>6} {'ours':>10} {'MB/s':>7}  "
          + "  ".join(f"{name:>10} {'ratio':>6}" for name, _ in peers()))
    for size_mb in (float(s) for s in args.sizes.split(",")):
        for shape in args.shapes.split(","):
            raw = tagged_document(shape, int(size_mb * 1e6))
            text = raw.decode()
            encoded = ww.encode(text)
            # Doubles may differ in the last bit (the reader's decimal
            # conversion need not round correctly); the rest must be equal.
            assert same(json.loads(encoded), json.loads(raw)), "encode"
            assert same(json.loads(ww.decode(encoded)), json.loads(raw)), "decode"
            for call, ours, arg in (("encode", ww.encode, text), ("decode", ww.decode, encoded)):
                ours_s = best_time(lambda: ours(arg), args.repeat)
                times = {name: best_time(lambda: fn(arg), args.repeat) for name, fn in peers()}
                line = f"{call:7} {shape:6} {len(raw) / 1e6:6.2f} {ms(ours_s):>10} {len(raw) / ours_s / 1e6:7.0f}  "
                line += "  ".join(f"{ms(t):>10} {ours_s / t:6.2f}" for t in times.values())
                print(line)
                summary.ratio(f"{call} {shape} {size_mb:g}MB", ours_s, "orjson round trip", times.get("orjson"), LIMIT)
    summary.print()


if __name__ == "__main__":
    main()
