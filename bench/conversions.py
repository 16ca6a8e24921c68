"""The four generic conversions against the pipelines a user would write
instead, and JSON reading against the parse-only time of a SIMD JSON parser.

    json_to_msgpack   vs  ormsgpack.packb(orjson.loads(x), sorted keys),
                          msgspec.msgpack.encode(msgspec.json.decode(x), order="sorted")
    json_to_cbor      vs  cbor2.dumps(orjson.loads(x), canonical=True)
    msgpack_to_json   vs  orjson.dumps(ormsgpack.unpackb(b), sorted keys),
                          msgspec.json.encode(msgspec.msgpack.decode(b), order="sorted")
    cbor_to_json      vs  orjson.dumps(cbor2.loads(b), sorted keys)
    floor             simdjson.Parser().parse(x): parsing alone, no output

(our conversions sort object keys, so the peers are asked to as well) on the
three shapes of bench/shapes.py (text-heavy, number-heavy, deeply nested) at
1 MB and 10 MB. The MessagePack and CBOR inputs are made by the peer
libraries, so that two builds read the same bytes.

Prints per case our time and GB/s of input, the floor and our time over it
("x floor") for the JSON readers, and the fastest peer with our time over
its time; then the summary of the targets:

    json_to_msgpack, json_to_cbor   <= 3x the floor on every shape,
                                    >= 1.5 GB/s on the number-heavy shape
    msgpack_to_json, cbor_to_json   >= 1 GB/s of input on every shape

    pip install -r bench/requirements-formats.txt
    python bench/conversions.py [--sizes 1,10] [--repeat 5] [--module PATH]
"""

import argparse
import json

from harness import Summary, add_module_option, best_time, describe, gbps, load_wirewright, ms, optional, same
from shapes import SHAPES, plain_document

orjson = optional("orjson")
ormsgpack = optional("ormsgpack")
msgspec = optional("msgspec")
cbor2 = optional("cbor2")
simdjson = optional("simdjson")

FLOOR_LIMIT = 3.0     # json_to_*: at most this many times the parse-only floor
NUMBER_GBPS = 1.5     # json_to_*: GB/s of input on the number-heavy shape
TO_JSON_GBPS = 1.0    # *_to_json: GB/s of input on every shape


def peers_of(conversion):
    """(name, fn) of each installed peer pipeline of one conversion."""
    found = []
    if conversion == "json_to_msgpack":
        if orjson and ormsgpack:
            found.append(("ormsgpack(orjson)", lambda x: ormsgpack.packb(orjson.loads(x), option=ormsgpack.OPT_SORT_KEYS)))
        if msgspec:
            found.append(("msgspec", lambda x: msgspec.msgpack.encode(msgspec.json.decode(x), order="sorted")))
    elif conversion == "json_to_cbor":
        if orjson and cbor2:
            found.append(("cbor2(orjson)", lambda x: cbor2.dumps(orjson.loads(x), canonical=True)))
    elif conversion == "msgpack_to_json":
        if orjson and ormsgpack:
            found.append(("orjson(ormsgpack)", lambda b: orjson.dumps(ormsgpack.unpackb(b), option=orjson.OPT_SORT_KEYS)))
        if msgspec:
            found.append(("msgspec", lambda b: msgspec.json.encode(msgspec.msgpack.decode(b), order="sorted")))
    elif conversion == "cbor_to_json":
        if orjson and cbor2:
            found.append(("orjson(cbor2)", lambda b: orjson.dumps(cbor2.loads(b), option=orjson.OPT_SORT_KEYS)))
    return found


def inputs_of(ww, raw):
    """The JSON text, its UTF-8 bytes, and the same document in MessagePack and CBOR."""
    text = raw.decode()
    plain = orjson.loads(raw) if orjson else json.loads(text)
    if ormsgpack:
        packed = ormsgpack.packb(plain, option=ormsgpack.OPT_SORT_KEYS)
    elif msgspec:
        packed = msgspec.msgpack.encode(plain, order="sorted")
    else:
        packed = ww.json_to_msgpack(text)
    cbor = cbor2.dumps(plain, canonical=True) if cbor2 else ww.json_to_cbor(text)
    return {"text": text, "raw": raw, "msgpack": packed, "cbor": cbor}, plain


def check(ww, inputs, plain):
    """Our four conversions give back the document (outside the clock, once)."""
    assert same(json.loads(ww.msgpack_to_json(inputs["msgpack"])), plain), "msgpack_to_json"
    assert same(json.loads(ww.cbor_to_json(inputs["cbor"])), plain), "cbor_to_json"
    assert same(json.loads(ww.msgpack_to_json(ww.json_to_msgpack(inputs["text"]))), plain), "json_to_msgpack"
    assert same(json.loads(ww.cbor_to_json(ww.json_to_cbor(inputs["text"]))), plain), "json_to_cbor"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", default="1,10", help="document sizes in MB, comma-separated (default 1,10)")
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement, the best counts (default 5)")
    parser.add_argument("--shapes", default=",".join(SHAPES), help="shapes to run, comma-separated")
    parser.add_argument("--no-check", action="store_true", help="skip the check that our outputs read back right")
    add_module_option(parser)
    args = parser.parse_args()
    ww = load_wirewright(args.module)
    print(describe(ww, ["orjson", "ormsgpack", "msgspec", "cbor2", "pysimdjson"]))
    if simdjson is None:
        print("pysimdjson is not installed: the parse-only floor is unavailable")
    parser_ = simdjson.Parser() if simdjson else None
    ours_of = {"json_to_msgpack": ww.json_to_msgpack, "json_to_cbor": ww.json_to_cbor,
               "msgpack_to_json": ww.msgpack_to_json, "cbor_to_json": ww.cbor_to_json}
    input_of = {"json_to_msgpack": "text", "json_to_cbor": "text", "msgpack_to_json": "msgpack", "cbor_to_json": "cbor"}

    summary = Summary("generic conversions")
    print(f"\n{'conversion':16} {'shape':6} {'MB in':>6} {'ours':>10} {'GB/s':>6} {'floor':>10} {'x floor':>7}  "
          f"{'fastest peer':18} {'peer':>10} {'ratio':>6}")
    for size_mb in (float(s) for s in args.sizes.split(",")):
        for shape in args.shapes.split(","):
            raw = plain_document(shape, int(size_mb * 1e6))
            inputs, plain = inputs_of(ww, raw)
            if not args.no_check:
                check(ww, inputs, plain)
            del plain
            # One parser, reused: its buffers are sized on the first call, as
            # a long-lived reader's would be, so this is the lowest floor.
            floor = best_time(lambda: parser_.parse(raw), args.repeat) if parser_ else None
            label = f"{shape} {size_mb:g}MB"
            for conversion, ours in ours_of.items():
                arg = inputs[input_of[conversion]]
                nbytes = len(arg) if isinstance(arg, bytes) else len(raw)
                ours_s = best_time(lambda: ours(arg), args.repeat)
                peer_times = [(name, best_time(lambda: fn(arg), args.repeat)) for name, fn in peers_of(conversion)]
                peer, peer_s = min(peer_times, key=lambda p: p[1]) if peer_times else ("-", None)
                reads_json = conversion.startswith("json_")
                x_floor = ours_s / floor if reads_json and floor else None
                print(f"{conversion:16} {shape:6} {nbytes / 1e6:6.2f} {ms(ours_s):>10} {gbps(nbytes, ours_s):6.2f} "
                      f"{ms(floor) if reads_json and floor else '-':>10} {f'{x_floor:.2f}' if x_floor else '-':>7}  "
                      f"{peer:18} {ms(peer_s) if peer_s else '-':>10} {f'{ours_s / peer_s:.2f}' if peer_s else '-':>6}")
                case = f"{conversion} {label}"
                if reads_json:
                    summary.ratio(f"{case} x floor", ours_s, "simdjson parse", floor, FLOOR_LIMIT)
                    if shape == "number":
                        summary.throughput(case, ours_s, nbytes, NUMBER_GBPS, peer, peer_s)
                else:
                    summary.throughput(case, ours_s, nbytes, TO_JSON_GBPS, peer, peer_s)
    summary.print()


if __name__ == "__main__":
    main()
