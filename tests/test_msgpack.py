"""json_to_msgpack and msgpack_to_json: byte forms, errors, and cross-checks
against an independent MessagePack implementation (the msgpack package)."""

import decimal
import json
import math
import random
import struct

import msgpack
import pytest

import wirewright as ww

MARKER_EOF = "IO error while reading marker: failed to fill whole buffer"
DATA_EOF = "IO error while reading data: failed to fill whole buffer"
PAYLOAD_EOF = "IO error while reading data: unexpected end of file"


def error_of(fn, *args):
    with pytest.raises(ValueError) as info:
        fn(*args)
    return str(info.value)


# ---- a seeded generator of JSON texts ---------------------------------------

_TEXT_POOL = ["", "a", "b", "key", "\u00e9", "\u20ac", "\U0001f600", "\n", "\"", "\\", "\x00", "\x1f", "\u0301"]


def _random_text(rng):
    roll = rng.random()
    if roll < 0.5:
        return rng.choice(_TEXT_POOL)
    if roll < 0.9:
        return "".join(rng.choice(_TEXT_POOL) for _ in range(rng.randint(0, 12)))
    # Long enough for the 1- and 2-byte length headers.
    return "x" * rng.choice([31, 32, 255, 256, 65535, 65536])


def _random_number(rng):
    roll = rng.random()
    if roll < 0.4:
        return str(rng.choice([0, 1, 127, 128, 255, 256, 65535, 65536, 2**32 - 1, 2**32, 2**63 - 1, 2**63,
                               2**64 - 1, -1, -32, -33, -128, -129, -32768, -32769, -2**31, -2**31 - 1, -2**63]))
    if roll < 0.7:
        return str(rng.randint(-2**63, 2**64 - 1))
    # Doubles whose decimal text any correct reader turns into the same
    # double: at most 15 digits and a power of ten that is exact.
    mantissa = rng.randint(-10**15 + 1, 10**15 - 1)
    if rng.random() < 0.5:
        return f"{mantissa}e{rng.randint(-22, 22)}"
    digits = str(abs(mantissa)).rjust(2, "0")
    point = rng.randint(1, len(digits) - 1)
    return f"{'-' if mantissa < 0 else ''}{digits[:point]}.{digits[point:]}"


def random_json_text(rng, depth=0):
    """A JSON text; objects may repeat a key (the last one counts)."""
    roll = rng.random()
    if depth < 5 and roll < 0.3:
        n = rng.choice([0, 1, 2, 3, 5, 15, 16, 17]) if rng.random() < 0.3 else rng.randint(0, 4)
        keys = [_random_text(rng)[:8] for _ in range(n)]
        members = [json.dumps(k) + ":" + random_json_text(rng, depth + 1) for k in keys]
        return "{" + ",".join(members) + "}"
    if depth < 5 and roll < 0.55:
        n = rng.choice([0, 15, 16, 17]) if rng.random() < 0.2 else rng.randint(0, 5)
        return "[" + ",".join(random_json_text(rng, depth + 1) for _ in range(n)) + "]"
    if roll < 0.62:
        return rng.choice(["null", "true", "false"])
    if roll < 0.85:
        return _random_number(rng)
    return json.dumps(_random_text(rng), ensure_ascii=rng.random() < 0.5)


def sorted_keys(doc):
    """The document with every object's keys in ascending UTF-8 byte order."""
    if isinstance(doc, dict):
        return {k: sorted_keys(doc[k]) for k in sorted(doc, key=lambda k: k.encode("utf-8"))}
    if isinstance(doc, list):
        return [sorted_keys(x) for x in doc]
    return doc


def _as_float_if_outside_64_bits(doc):
    """Integers beyond both 64-bit ranges are read as doubles."""
    if isinstance(doc, dict):
        return {k: _as_float_if_outside_64_bits(v) for k, v in doc.items()}
    if isinstance(doc, list):
        return [_as_float_if_outside_64_bits(x) for x in doc]
    if isinstance(doc, int) and not isinstance(doc, bool) and not -2**63 <= doc < 2**64:
        return float(doc)
    return doc


DOCS = [random_json_text(random.Random(seed)) for seed in range(300)]


# ---- json_to_msgpack ----------------------------------------------------------

@pytest.mark.parametrize(
    "text, hexbytes",
    [
        ('{"b":1,"a":[true,null,-1,1.5]}', "82 a1 61 94 c3 c0 ff cb 3f f8 00 00 00 00 00 00 a1 62 01"),
        ("255", "cc ff"),
        ("256", "cd 01 00"),
        ("-33", "d0 df"),
        ("-32", "e0"),
        ("-0", "cb 80 00 00 00 00 00 00 00"),
        ("1.0", "cb 3f f0 00 00 00 00 00 00"),
        ("18446744073709551616", "cb 43 f0 00 00 00 00 00 00"),
        ('{"a":1,"a":2}', "81 a1 61 02"),
        # Byte order of keys: "B" < "a" < "\u00e9".
        ('{"\\u00e9":0,"a":0,"B":0}', "83 a1 42 00 a1 61 00 a2 c3 a9 00"),
        (' [ ] ', "90"),
    ],
)
def test_json_to_msgpack_bytes(text, hexbytes):
    assert ww.json_to_msgpack(text) == bytes.fromhex(hexbytes)


@pytest.mark.parametrize(
    "text, message",
    [
        ("[1,]", "trailing comma at line 1 column 4"),
        ("", "EOF while parsing a value at line 1 column 0"),
        ("1 2", "trailing characters at line 1 column 3"),
        ("[" * 128, "recursion limit exceeded at line 1 column 128"),
    ],
)
def test_json_to_msgpack_refuses_what_the_json_reader_refuses(text, message):
    assert error_of(ww.json_to_msgpack, text) == message


@pytest.mark.parametrize("seed", range(len(DOCS)))
def test_json_to_msgpack_matches_an_independent_packer(seed):
    text = DOCS[seed]
    doc = _as_float_if_outside_64_bits(json.loads(text))
    encoded = ww.json_to_msgpack(text)
    assert msgpack.unpackb(encoded) == doc
    # Same shortest forms and float 64 everywhere: byte for byte what the
    # packer writes for the key-sorted document.
    assert encoded == msgpack.packb(sorted_keys(doc))


# ---- msgpack_to_json ----------------------------------------------------------

@pytest.mark.parametrize(
    "hexbytes, text",
    [
        ("01 02", "1"),
        ("ca 3d cc cc cd", "0.10000000149011612"),
        ("cb 7f f8 00 00 00 00 00 00", "null"),
        ("cb 7f f0 00 00 00 00 00 00", "null"),
        ("d3 80 00 00 00 00 00 00 00", "-9223372036854775808"),
        ("cf ff ff ff ff ff ff ff ff", "18446744073709551615"),
        ("d0 01", "1"),
        ("82 a1 62 01 a1 61 02", '{"a":2,"b":1}'),
        ("a3 e2 82 ac", '"\u20ac"'),
        ("a2 0a 1f", '"\\n\\u001f"'),
        ("cb 41 e0 00 00 00 00 00 00", "2147483648.0"),
        ("cb 43 50 00 00 00 00 00 00", "1.8014398509481984e+16"),
    ],
)
def test_msgpack_to_json_reads(hexbytes, text):
    assert ww.msgpack_to_json(bytes.fromhex(hexbytes)) == text


@pytest.mark.parametrize(
    "hexbytes, message",
    [
        ("", MARKER_EOF),
        ("92 01", MARKER_EOF),
        ("cd 01", DATA_EOF),
        ("a3 61", PAYLOAD_EOF),
        ("c1", "wrong msgpack marker Reserved"),
        ("c4 00", "invalid type: byte array, expected any valid JSON value"),
        ("c5 00 01 00", "invalid type: byte array, expected any valid JSON value"),
        ("d5 01 00 00", "invalid type: newtype struct, expected any valid JSON value"),
        ("c9 00 00 00 00 05", "invalid type: newtype struct, expected any valid JSON value"),
        ("81 01 02", "invalid type: integer `1`, expected a string key"),
        ("81 c0 02", "invalid type: unit value, expected a string key"),
        ("81 ca 40 00 00 00 02", "invalid type: floating point `2.0`, expected a string key"),
        ("82 a1 61 01 c3 02", "invalid type: boolean `true`, expected a string"),
        ("82 a1 61 01 90 02", "invalid type: sequence, expected a string"),
        ("a2 c3 28", "string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"),
        ("a3 61 f0 9f", "string found to be invalid utf8: incomplete utf-8 byte sequence from index 1"),
        ("a2 c0 80", "string found to be invalid utf8: invalid utf-8 sequence of 1 bytes from index 0"),
        # Four billion declared elements: fails when the input runs out.
        ("dd ff ff ff ff 01 02", MARKER_EOF),
        # A found double: shortest digits, a tie going away from zero.
        ("81 ca c4 04 4e 75 01", "invalid type: floating point `-529.2258911132813`, expected a string key"),
        ("82 a1 61 01 ca 38 d5 00 00 02", "invalid type: floating point `0.00010156631469726563`, expected a string"),
    ],
)
def test_msgpack_to_json_errors(hexbytes, message):
    assert error_of(ww.msgpack_to_json, bytes.fromhex(hexbytes)) == message


# ---- the digits of a found double ---------------------------------------------

def found_double_text(x):
    """x as the binary readers quote a found double, worked out independently
    from its exact value: the shortest digit strings that read back to x, the
    nearest of them, on a tie the one farther from zero; plain decimal with
    ".0" when integral."""
    with decimal.localcontext() as ctx:
        ctx.prec = 1200  # exact for every double and every sum below
        exact = abs(decimal.Decimal(x))
        best = exact
        if exact:
            for n in range(1, 18):
                unit = decimal.Decimal(1).scaleb(exact.adjusted() - n + 1)
                below = exact.quantize(unit, rounding=decimal.ROUND_FLOOR)
                fits = [c for c in (below, below + unit) if float(c) == abs(x)]
                if fits:
                    best = min(fits, key=lambda c: (abs(c - exact), -c))
                    break
        text = format(best.normalize(), "f")
    if "." not in text:
        text += ".0"
    return ("-" if math.copysign(1, x) < 0 else "") + text


def test_found_doubles_are_quoted_with_ties_away_from_zero():
    """Single-precision values (many of them exact ties at their shortest
    length) and doubles of both signs, as float keys of a map."""
    rng = random.Random(11)
    words = [rng.getrandbits(32) & rng.choice([0xFFFFFFFF, 0xFFFFF000, 0xFFFF0000]) for _ in range(3000)]
    cases = [b"\xca" + struct.pack(">I", w) for w in words]
    cases += [b"\xcb" + struct.pack(">Q", rng.getrandbits(64) & rng.choice([2**64 - 1, 2**64 - 2**40])) for _ in range(1000)]
    for item in cases:
        x = struct.unpack(">f" if item[0] == 0xCA else ">d", item[1:])[0]
        if not math.isfinite(x):
            continue
        expected = f"invalid type: floating point `{found_double_text(x)}`, expected a string key"
        assert error_of(ww.msgpack_to_json, b"\x81" + item + b"\x01") == expected, item.hex()


@pytest.mark.parametrize("opener", [b"\x91", b"\x81\xa1k"], ids=["arrays", "maps"])
def test_msgpack_nesting_limit(opener):
    assert ww.msgpack_to_json(opener * 1023 + b"\x01").count("1") == 1
    assert error_of(ww.msgpack_to_json, opener * 1024 + b"\x01") == "depth limit exceeded"


@pytest.mark.parametrize("seed", range(0, len(DOCS), 3))
def test_msgpack_to_json_reads_what_an_independent_packer_writes(seed):
    doc = _as_float_if_outside_64_bits(json.loads(DOCS[seed]))
    for options in ({}, {"use_single_float": True}):
        packed = msgpack.packb(doc, **options)
        got = json.loads(ww.msgpack_to_json(packed))
        want = _single(doc) if options else doc
        assert got == want
        # Keys come out sorted by bytes, whatever the order written.
        json.loads(ww.msgpack_to_json(packed), object_pairs_hook=_assert_sorted)


def _assert_sorted(pairs):
    keys = [k.encode("utf-8") for k, _ in pairs]
    assert keys == sorted(set(keys))
    return dict(pairs)


def _single(doc):
    """The document with every double rounded to float 32 (infinite: null)."""
    if isinstance(doc, dict):
        return {k: _single(v) for k, v in doc.items()}
    if isinstance(doc, list):
        return [_single(x) for x in doc]
    if isinstance(doc, float):
        try:
            x = struct.unpack(">f", struct.pack(">f", doc))[0]
        except OverflowError:
            return None
        return None if math.isinf(x) else x
    return doc


# ---- cut short anywhere --------------------------------------------------------

def byte_roles(data):
    """For each byte of a MessagePack item made of the forms the writer uses,
    what a reader is after when the input ends just before it."""
    roles = []

    def item(i):
        m = data[i]
        roles.append(MARKER_EOF)
        i += 1

        def take(n, role):
            roles.extend([role] * n)
            return i + n

        if m <= 0x7F or m >= 0xE0 or m in (0xC0, 0xC2, 0xC3):
            return i
        if 0xA0 <= m <= 0xBF:
            return take(m & 0x1F, PAYLOAD_EOF)
        if m in (0xCC, 0xD0):
            return take(1, DATA_EOF)
        if m in (0xCD, 0xD1):
            return take(2, DATA_EOF)
        if m in (0xCE, 0xD2, 0xCA):
            return take(4, DATA_EOF)
        if m in (0xCF, 0xD3, 0xCB):
            return take(8, DATA_EOF)
        if m in (0xD9, 0xDA, 0xDB):
            width = 1 << (m - 0xD9)
            n = int.from_bytes(data[i:i + width], "big")
            i = take(width, DATA_EOF)
            return take(n, PAYLOAD_EOF)
        if 0x80 <= m <= 0x9F:
            count = (m & 0x0F) * (2 if m <= 0x8F else 1)
        else:
            width = 2 if m in (0xDC, 0xDE) else 4
            count = int.from_bytes(data[i:i + width], "big") * (2 if m >= 0xDE else 1)
            i = take(width, DATA_EOF)
        for _ in range(count):
            i = item(i)
        return i

    assert item(0) == len(data)
    return roles


@pytest.mark.parametrize("seed", range(0, len(DOCS), 10))
def test_every_cut_gives_the_io_error_of_what_is_missing(seed):
    data = ww.json_to_msgpack(DOCS[seed])
    roles = byte_roles(data)
    for cut, expected in enumerate(roles):
        # Inside a long text every cut fails alike: its ends stand for the rest.
        inner = 0 < cut < len(roles) - 1 and roles[cut - 1] == roles[cut + 1] == expected == PAYLOAD_EOF
        if not inner:
            assert error_of(ww.msgpack_to_json, data[:cut]) == expected, cut


def test_trailing_bytes_are_ignored():
    assert ww.msgpack_to_json(ww.json_to_msgpack('{"a":[1]}') + b"\xc1\xff") == '{"a":[1]}'


def test_data_must_be_bytes():
    with pytest.raises(TypeError):
        ww.msgpack_to_json("01")
    assert ww.msgpack_to_json(data=b"\x01") == "1"
