"""json_to_cbor and cbor_to_json: byte forms, the reader's structural
errors, and cross-checks against an independent CBOR implementation (the
cbor2 package)."""

import json
import random
import struct

import cbor2
import pytest

import wirewright as ww
from test_msgpack import found_double_text

IO_EOF = 'Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" })'


def error_of(fn, *args):
    with pytest.raises(ValueError) as info:
        fn(*args)
    return str(info.value)


def semantic(message):
    return "Semantic(None, " + json.dumps(message) + ")"


# ---- a seeded generator of JSON texts ---------------------------------------

_TEXTS = ["", "a", "key", "\u00e9", "\u20ac", "\U0001f600", "\n", '"', "\\", "\x00", "\u0301"]


def _random_text(rng):
    roll = rng.random()
    if roll < 0.6:
        return rng.choice(_TEXTS)
    if roll < 0.9:
        return "".join(rng.choice(_TEXTS) for _ in range(rng.randint(0, 10)))
    # Around the head widths and the reader's 4096-byte scratch buffer.
    return "y" * rng.choice([23, 24, 255, 256, 4095, 4096, 4097, 65536])


def _random_number(rng):
    roll = rng.random()
    if roll < 0.4:
        return str(rng.choice([0, 23, 24, 255, 256, 65535, 65536, 2**32 - 1, 2**32, 2**63, 2**64 - 1,
                               -1, -24, -25, -256, -257, -2**32, -2**32 - 1, -2**63]))
    if roll < 0.6:
        return str(rng.randint(-2**63, 2**64 - 1))
    # Doubles that any correct reader turns into the same bits (at most 15
    # digits and an exact power of ten), some of them exact in half or
    # single precision.
    if roll < 0.8:
        return repr(rng.choice([0.5, 1.5, -2.25, 65504.0, 100000.0, 0.000061035156, 1.1, 3.4e38, 1e300]))
    mantissa = rng.randint(-10**15 + 1, 10**15 - 1)
    return f"{mantissa}e{rng.randint(-22, 22)}"


def _random_key(rng):
    # Keys of up to 4096 bytes: a longer first key is refused by the reader
    # (see test_first_key_is_read_from_the_scratch_buffer).
    if rng.random() < 0.9:
        return "".join(rng.choice(_TEXTS) for _ in range(rng.randint(0, 3)))
    return "k" * rng.choice([23, 24, 255, 256, 4096])


def random_json_text(rng, depth=0, short_keys=False):
    """A JSON text; objects may repeat a key (the last one counts)."""
    roll = rng.random()
    if depth < 5 and roll < 0.3:
        items = [random_json_text(rng, depth + 1, short_keys) for _ in range(rng.randint(0, 5))]
        return "[" + ",".join(items) + "]"
    if depth < 5 and roll < 0.55:
        members = []
        for _ in range(rng.randint(0, 5)):
            key = rng.choice("abcxyz") if short_keys else _random_key(rng)
            members.append(json.dumps(key) + ":" + random_json_text(rng, depth + 1, short_keys))
        return "{" + ",".join(members) + "}"
    if roll < 0.7:
        return json.dumps(_random_text(rng))
    if roll < 0.8:
        return rng.choice(["null", "true", "false"])
    return _random_number(rng)


DOCS = [random_json_text(random.Random(seed)) for seed in range(120)]


def strict(doc):
    """The document with each scalar tagged by its type, so that 1, 1.0 and
    True compare unequal."""
    if isinstance(doc, dict):
        return {k: strict(v) for k, v in doc.items()}
    if isinstance(doc, list):
        return [strict(x) for x in doc]
    if isinstance(doc, int) and not isinstance(doc, bool) and not -2**63 <= doc < 2**64:
        return (float, float(doc))  # outside 64 bits the reader takes a double
    return (type(doc), doc)


def keys_in_byte_order(doc):
    if isinstance(doc, dict):
        keys = [k.encode("utf-8") for k in doc]
        return keys == sorted(keys) and all(keys_in_byte_order(v) for v in doc.values())
    if isinstance(doc, list):
        return all(keys_in_byte_order(x) for x in doc)
    return True


# ---- json_to_cbor -------------------------------------------------------------


@pytest.mark.parametrize(
    "text, hexbytes",
    [
        ("1.5", "f93e00"),
        ("100000.0", "fa47c35000"),
        ("1.1", "fb3ff199999999999a"),
        ("24", "1818"),
        ("-1", "20"),
        ("-0", "f98000"),
        ("18446744073709551615", "1bffffffffffffffff"),
        ("-9223372036854775808", "3b7fffffffffffffff"),
        ("18446744073709551616", "fa5f800000"),
        ("null", "f6"),
        ("[true,false]", "82f5f4"),
        ('"\\u00e9"', "62c3a9"),
        ('{"b":1,"a":[true,null,-1,1.5],"b":2}', "a2616184f5f620f93e00616202"),
        (' {"\u00e9":0,"B":1,"a":2} ', "a3614201616102" + "62c3a900"),
    ],
)
def test_json_to_cbor_bytes(text, hexbytes):
    assert ww.json_to_cbor(text) == bytes.fromhex(hexbytes)


@pytest.mark.parametrize(
    "text, message",
    [
        ("[1,]", "trailing comma at line 1 column 4"),
        ("", "EOF while parsing a value at line 1 column 0"),
        ("1 2", "trailing characters at line 1 column 3"),
        ("1e400", "number out of range at line 1 column 5"),
        ("[" * 128, "recursion limit exceeded at line 1 column 128"),
    ],
)
def test_json_to_cbor_refuses_what_the_json_reader_refuses(text, message):
    assert error_of(ww.json_to_cbor, text) == message


@pytest.mark.parametrize("seed", range(len(DOCS)))
def test_json_to_cbor_reads_back_with_an_independent_decoder(seed):
    text = DOCS[seed]
    encoded = ww.json_to_cbor(text)
    assert strict(cbor2.loads(encoded)) == strict(json.loads(text))
    assert keys_in_byte_order(cbor2.loads(encoded))


@pytest.mark.parametrize("seed", range(40))
def test_json_to_cbor_matches_canonical_bytes(seed):
    # With one-letter keys the canonical key order (shortest first, then by
    # bytes) is plain byte order, so the two encoders must agree byte for
    # byte: shortest heads, narrowest exact floats, definite lengths.
    text = random_json_text(random.Random(1000 + seed), short_keys=True)
    assert ww.json_to_cbor(text) == cbor2.dumps(json.loads(text), canonical=True)


# ---- cbor_to_json -------------------------------------------------------------


@pytest.mark.parametrize(
    "hexbytes, text",
    [
        ("9f0102ff", "[1,2]"),
        ("c24101", "1"),
        ("c3480000000000000000", "-1"),
        ("f7", "null"),
        ("3b7fffffffffffffff", "-9223372036854775808"),
        ("0102", "1"),
        ("bf616201616180ff", '{"a":[],"b":1}'),
        ("a2616201616202", '{"b":2}'),
        ("7f6261626163ff", '"abc"'),
        ("fa3dcccccd", "0.10000000149011612"),
        ("f97c00", "null"),
        ("f815", "true"),
    ],
)
def test_cbor_to_json_reads(hexbytes, text):
    assert ww.cbor_to_json(bytes.fromhex(hexbytes)) == text


@pytest.mark.parametrize(
    "hexbytes, message",
    [
        ("", IO_EOF),
        ("18", IO_EOF),
        ("9f01", IO_EOF),
        ("7b00000000ffffffff61", IO_EOF),
        ("1c", "Syntax(0)"),
        ("8201 61ff", "Syntax(2)"),
        ("c100", semantic("invalid type: enum, expected any valid JSON value")),
        ("f0", semantic("invalid type: simple, expected known simple value")),
        ("f8f5", semantic("invalid type: simple, expected known simple value")),
        ("c1c1c24101", semantic("invalid type: enum, expected any valid JSON value")),
        ("ff", semantic("invalid type: break, expected non-break")),
        ("4100", semantic("invalid type: byte array, expected any valid JSON value")),
        ("3b8000000000000000", semantic("JSON number out of range")),
        ("c249010000000000000000", semantic("JSON number out of range")),
        ("c35080000000000000000000000000000000", semantic("integer too large")),
        ("a10102", semantic("invalid type: integer `1`, expected str")),
        ("a2616101f93e0002", semantic("invalid type: floating point `1.5`, expected string")),
        ("a1f601", semantic("invalid type: null, expected str")),
        # A found double: shortest digits, a tie going away from zero.
        ("a1 f9 01 74", semantic("invalid type: floating point `0.000022172927856445313`, expected str")),
        ("a2 6161 01 fa c4 04 4e 75 02", semantic("invalid type: floating point `-529.2258911132813`, expected string")),
    ],
)
def test_cbor_to_json_errors(hexbytes, message):
    assert error_of(ww.cbor_to_json, bytes.fromhex(hexbytes.replace(" ", ""))) == message


def test_every_half_precision_key_is_quoted_with_ties_away_from_zero():
    for bits in range(0x7C00):
        x = struct.unpack(">e", struct.pack(">H", bits))[0]
        for sign, value in ((0, x), (0x8000, -x)) if bits % 7 == 0 else ((0, x),):
            data = b"\xa1\xf9" + struct.pack(">H", bits | sign) + b"\x01"
            expected = semantic(f"invalid type: floating point `{found_double_text(value)}`, expected str")
            assert error_of(ww.cbor_to_json, data) == expected, data.hex()


@pytest.mark.parametrize("opener", [b"\x81", b"\x9f", b"\xa1\x61k"], ids=["arrays", "indefinite", "maps"])
def test_cbor_nesting_limit(opener):
    closer = b"\xff" if opener == b"\x9f" else b""
    inner = b"\xa0" if opener.startswith(b"\xa1") else b"\x80"
    text = ww.cbor_to_json(opener * 255 + inner + closer * 255)
    assert text.count("[") + text.count("{") == 256
    assert error_of(ww.cbor_to_json, opener * 256 + inner + closer * 256) == "RecursionLimitExceeded"


@pytest.mark.parametrize("seed", range(0, len(DOCS), 2))
def test_cbor_to_json_reads_what_an_independent_encoder_writes(seed):
    doc = json.loads(DOCS[seed])
    for options in ({}, {"canonical": True}):
        converted = ww.cbor_to_json(cbor2.dumps(doc, **options))
        back = json.loads(converted)
        assert strict(back) == strict(doc)
        assert keys_in_byte_order(back)


def test_cbor_to_json_reads_independent_bignums():
    for n in [0, 1, 2**63, 2**64 - 1, -1, -2**63]:
        assert ww.cbor_to_json(cbor2.dumps(cbor2.CBORTag(2 if n >= 0 else 3,
                                                         (n if n >= 0 else -1 - n).to_bytes(9, "big")))) == str(n)
    for n in [2**64, -2**63 - 1, -2**64 - 1]:
        assert error_of(ww.cbor_to_json, cbor2.dumps(n)) == semantic("JSON number out of range")


@pytest.mark.parametrize("seed", range(0, len(DOCS), 4))
def test_every_cut_of_a_valid_encoding_is_an_io_error(seed):
    encoded = ww.json_to_cbor(DOCS[seed])
    n = len(encoded)
    # Every cut of a short encoding; of a long one the ends and a sample.
    cuts = range(n) if n <= 2000 else sorted({*range(300), *range(n - 300, n), *range(0, n, 97)})
    for cut in cuts:
        assert error_of(ww.cbor_to_json, encoded[:cut]) == IO_EOF


def test_round_trip_through_both_conversions():
    for text in DOCS:
        once = ww.cbor_to_json(ww.json_to_cbor(text))
        assert ww.cbor_to_json(ww.json_to_cbor(once)) == once
        assert strict(json.loads(once)) == strict(json.loads(text))


def test_first_key_is_read_from_the_scratch_buffer():
    # The first key of a map is classified from the 4096-byte scratch buffer:
    # a longer (or indefinite-length) one is refused; later keys are not.
    for n in (4096, 4097):
        long_key = "k" * n
        first = ww.json_to_cbor(json.dumps({long_key: 1}))
        later = ww.json_to_cbor(json.dumps({"a": 0, long_key: 1}))
        assert ww.cbor_to_json(later) == json.dumps({"a": 0, long_key: 1}, separators=(",", ":"))
        if n == 4096:
            assert ww.cbor_to_json(first) == json.dumps({long_key: 1}, separators=(",", ":"))
        else:
            assert error_of(ww.cbor_to_json, first) == semantic("invalid type: string, expected str")


def test_data_must_be_bytes():
    with pytest.raises(TypeError) as info:
        ww.cbor_to_json("f6")
    assert "while processing 'data'" in info.value.__notes__
    with pytest.raises(TypeError):
        ww.json_to_cbor(b"null")
