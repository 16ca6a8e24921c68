"""The three generated document shapes that the format benchmarks share.

    text    records that are mostly prose: non-ASCII text in several scripts
            (two-, three- and four-byte UTF-8), escapes (quotes, backslashes,
            newlines, tabs, control characters) and, in every fourth record,
            \\uXXXX escapes of the non-ASCII characters (surrogate pairs too);
    number  many records with the same short keys whose values are mostly
            numbers: integers of every width, decimals, full-precision and
            exponent-form doubles;
    nested  chains that alternate objects and arrays as deep as the reader
            allows (the plain documents open 122 brackets of the 127 allowed).

Each document is a JSON array of such items, grown to a given size in bytes,
with a fixed seed, so every run and every build gets the same bytes. The same
items can be written in the tagged form of model values ({"Map":{...}}),
where each level of nesting costs two brackets, so the nested chains are made
half as deep there.
"""

import json
import random

# Deepest chain: top array + chain levels + the innermost small array.
PLAIN_CHAIN = 120
# Tagged form: {"List":[ opens 2, each level 2, the innermost array and its scalar 3.
TAGGED_CHAIN = 60

WORDS = (
    "model sync peer patch revision value stream store replica change update "
    "the a of and to in is for with on as by at from that this which "
    "été naïve façade Größe smørrebrød crème brûlée déjà-vu über coöperate "
    "Ελληνικά κείμενο кириллица текст 日本語の文章 中文字符 한국어 텍스트 "
    "עברית العربية हिन्दी ไทย 🎉 🚀 👩‍💻 ∑∫√∞ €£¥ “quotes” ‘single’ — …"
).split()
ESCAPED = ['"quoted"', "back\\slash", "tab\there", "line\nbreak", "crlf\r\n", "ctrl\u0001\u001f", "a/b", "bell\u0007"]


def _sentence(rng, n):
    words = rng.choices(WORDS, k=n)
    if rng.random() < 0.5:
        words[rng.randrange(n)] = rng.choice(ESCAPED)
    return " ".join(words)


def text_item(rng, i):
    return {
        "id": i,
        "title": _sentence(rng, rng.randrange(4, 10)),
        "body": "\n\n".join(_sentence(rng, rng.randrange(20, 60)) for _ in range(rng.randrange(1, 4))),
        "author": {"name": _sentence(rng, 2), "bio": _sentence(rng, rng.randrange(5, 15))},
        "tags": [rng.choice(WORDS) for _ in range(rng.randrange(1, 5))],
        "comments": [{"by": _sentence(rng, 1), "text": _sentence(rng, rng.randrange(5, 25))}
                     for _ in range(rng.randrange(3))],
        "draft": rng.random() < 0.1,
    }


def number_item(rng, i):
    return {
        "id": i,
        "ts": 1_700_000_000_000 + i * 37 + rng.randrange(37),
        "lat": round(rng.uniform(-90, 90), 6),
        "lon": round(rng.uniform(-180, 180), 6),
        "alt": rng.uniform(-500, 9000),
        "temp": round(rng.gauss(15, 10), 2),
        "count": rng.randrange(1000),
        "delta": rng.randrange(-2**31, 2**31),
        "big": rng.randrange(-2**62, 2**62),
        "ratio": rng.random(),
        "tiny": rng.random() * 1e-9,
        "huge": rng.random() * 1e22,
        "ok": rng.random() < 0.9,
        "readings": [round(rng.gauss(0, 100), 3) for _ in range(8)],
    }


def nested_item(rng, depth):
    value = [rng.randrange(10**6), rng.random(), "leaf", None]
    for level in range(depth):
        if level % 2:
            value = [level, value, round(rng.random(), 4), f"n{rng.randrange(10**4)}"]
        else:
            value = {"level": level, "name": f"node {rng.randrange(10**6)}", "next": value,
                     "on": rng.random() < 0.5, "weight": rng.randrange(-1000, 1000)}
    return value


def nested_plain(rng, i):
    return nested_item(rng, PLAIN_CHAIN)


def nested_tagged(rng, i):
    return nested_item(rng, TAGGED_CHAIN)


SHAPES = ("text", "number", "nested")


def tagged(plain):
    """The model-value form of plain JSON."""
    if plain is None:
        return "Null"
    if isinstance(plain, bool):
        return {"Bool": plain}
    if isinstance(plain, int):
        return {"Int": plain}
    if isinstance(plain, float):
        return {"Float": plain}
    if isinstance(plain, str):
        return {"Str": plain}
    if isinstance(plain, list):
        return {"List": [tagged(x) for x in plain]}
    return {"Map": {k: tagged(v) for k, v in plain.items()}}


def _grow(shape, size, form, seed):
    rng = random.Random(f"{shape}/{seed}")
    make = {"text": text_item, "number": number_item,
            "nested": nested_tagged if form == "tagged" else nested_plain}[shape]
    parts, total, i = [], 0, 0
    while total < size:
        item = make(rng, i)
        if form == "tagged":
            item = tagged(item)
        # Most text goes out as raw UTF-8, every fourth text record escaped.
        ascii_only = shape == "text" and i % 4 == 3
        part = json.dumps(item, ensure_ascii=ascii_only, separators=(",", ":")).encode()
        parts.append(part)
        total += len(part) + 1
        i += 1
    return parts


def plain_document(shape, size, seed=7):
    """UTF-8 bytes of a JSON array of `shape` items, about `size` bytes long."""
    return b"[" + b",".join(_grow(shape, size, "plain", seed)) + b"]"


def tagged_document(shape, size, seed=7):
    """UTF-8 bytes of the same kind of document in the tagged form of model values."""
    return b'{"List":[' + b",".join(_grow(shape, size, "tagged", seed)) + b"]}"
