"""encode_as and decode_as: codec names, the MessagePack form of model values,
decoding errors, and round trips of random values through all three codecs."""

import json
import random

import msgpack
import pytest

import wirewright as ww
from test_msgpack import DATA_EOF, MARKER_EOF, PAYLOAD_EOF, byte_roles, error_of

MEDIA_TYPES = ["application/json", "application/msgpack", "application/x-msgpack", "application/cbor"]


# ---- names ---------------------------------------------------------------------

@pytest.mark.parametrize(
    "codec, hexbytes",
    [
        ("application/msgpack", "81 a3 49 6e 74 01"),
        ("application/x-msgpack", "81 a3 49 6e 74 01"),
        ("application/json", b'{"Int":1}'.hex()),
        ("application/cbor", "a1 63 49 6e 74 01"),
    ],
)
def test_encode_as_by_media_type(codec, hexbytes):
    assert ww.encode_as('{"Int":1}', codec) == bytes.fromhex(hexbytes)


@pytest.mark.parametrize(
    "codec",
    ["msgpack", "json", "", "x-msgpack", "cbor", "Application/JSON", "application/MSGPACK",
     "application/cbor ", " application/json", "application/json; charset=utf-8"],
)
def test_only_the_four_media_types_are_known(codec):
    assert error_of(ww.encode_as, '{"Int":1}', codec) == f"unknown codec: {codec}"
    assert error_of(ww.decode_as, b"", codec) == f"unknown codec: {codec}"


def test_the_value_is_read_before_the_codec_name():
    assert error_of(ww.encode_as, "{", "nope") == "EOF while parsing an object at line 1 column 1"
    assert error_of(ww.encode_as, '"Int"', "nope") == "invalid type: unit variant, expected newtype variant"


# ---- decoding ------------------------------------------------------------------

@pytest.mark.parametrize(
    "data, codec, result",
    [
        (b'{"Int":1} \n', "application/json", '{"Int":1}'),
        (b"\x81\xa3Int\x01\xc1\xff", "application/msgpack", '{"Int":1}'),
        (b"\xa1\x63Int\x01\xff\xff", "application/cbor", '{"Int":1}'),
    ],
)
def test_decode_as_reads_one_value(data, codec, result):
    assert ww.decode_as(data, codec) == result


@pytest.mark.parametrize(
    "data, codec, message",
    [
        (b'{"Int":1}x', "application/json", "trailing characters at line 1 column 10"),
        (b"", "application/json", "EOF while parsing a value at line 1 column 0"),
        (b"", "application/msgpack", MARKER_EOF),
        (b"", "application/x-msgpack", MARKER_EOF),
        (b"", "application/cbor", 'Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" })'),
        (b"\xa3Int", "application/msgpack", "invalid type: unit variant, expected newtype variant"),
        (b"\x81\xa4List\xc4\x01\x05", "application/msgpack", "invalid type: integer `5`, expected enum Value"),
        (b"\x81\xa3Int\xcf\x80\x00\x00\x00\x00\x00\x00\x00", "application/msgpack",
         "invalid value: integer `9223372036854775808`, expected i64"),
        (b"\x63Int", "application/cbor", 'Semantic(None, "invalid type: unit variant, expected newtype variant")'),
    ],
)
def test_decode_as_errors_carry_the_codec_prefix(data, codec, message):
    assert error_of(ww.decode_as, data, codec) == "codec error: " + message


@pytest.mark.parametrize(
    "hexbytes, message",
    [
        # Where a boolean or a number is expected, the marker alone decides.
        ("81 a3 496e74 85 01 02 03 04 05 06 07 08 09 0a", "wrong msgpack marker FixMap(5)"),
        ("81 a4 426f6f6c 82 01 02 03 04", "wrong msgpack marker FixMap(2)"),
        ("81 a5 466c6f6174 9f", "wrong msgpack marker FixArray(15)"),
        ("81 a3 496e74 a2", "wrong msgpack marker FixStr(2)"),
        ("81 a3 496e74 d9 c2", "wrong msgpack marker Str8"),
        ("81 a3 496e74 a2 ff ff", "wrong msgpack marker FixStr(2)"),
        ("81 a8 5375626d6f64656c c4 00", "wrong msgpack marker Bin8"),
        ("81 a3 496e74 d5 01 02 03", "wrong msgpack marker FixExt2"),
        ("81 a3 496e74 de 00 00", "wrong msgpack marker Map16"),
        ("81 a3 496e74 a0", "wrong msgpack marker FixStr(0)"),
        ("81 a3 496e74 c0", "invalid type: unit value, expected i64"),
        ("81 a8 5375626d6f64656c c0", "invalid type: unit value, expected u64"),
        ("81 a3 496e74 ca 3f c0 00 00", "invalid type: floating point `1.5`, expected i64"),
        # A found double: shortest digits, a tie going away from zero.
        ("ca c4 04 4e 75", "invalid type: floating point `-529.2258911132813`, expected variant identifier"),
        ("81 a3 496e74 ca c4 04 4e 75", "invalid type: floating point `-529.2258911132813`, expected i64"),
    ],
)
def test_msgpack_value_reading_errors(hexbytes, message):
    data = bytes.fromhex(hexbytes.replace(" ", ""))
    assert error_of(ww.decode_as, data, "application/msgpack") == "codec error: " + message


@pytest.mark.parametrize(
    "hexbytes, message",
    [
        ("a1 68 5375626d6f64656c 20", "unexpected negative integer"),
        ("a1 68 5375626d6f64656c c3 41 00", "unexpected negative integer"),
        ("a1 68 5375626d6f64656c c2 49 01 00 00 00 00 00 00 00 00", "integer too large"),
        ("a1 63 496e74 3b 80 00 00 00 00 00 00 00", "integer too large"),
        ("a1 63 496e74 f9 01 74", "invalid type: floating point `0.000022172927856445313`, expected integer"),
    ],
)
def test_cbor_value_reading_errors(hexbytes, message):
    data = bytes.fromhex(hexbytes.replace(" ", ""))
    assert error_of(ww.decode_as, data, "application/cbor") == f'codec error: Semantic(None, "{message}")'


def test_json_reader_keeps_the_json_digits_of_a_found_double():
    # The same double as in the MessagePack case above, in the JSON form.
    assert (error_of(ww.decode_as, b'{"Int":-529.22589111328125}', "application/json")
            == "codec error: invalid type: floating point `-529.2258911132812`, expected i64 at line 1 column 26")


# ---- the MessagePack form of a value -------------------------------------------

@pytest.mark.parametrize(
    "value, hexbytes",
    [
        ('"Null"', "a4 4e 75 6c 6c"),
        ('{"Int":200}', "81 a3 49 6e 74 cc c8"),
        ('{"Int":-1}', "81 a3 49 6e 74 ff"),
        ('{"Float":1.0}', "81 a5 46 6c 6f 61 74 cb 3f f0 00 00 00 00 00 00"),
        ('{"Map":{"b":"Null","a":{"Bool":true}}}',
         "81 a3 4d 61 70 82 a1 61 81 a4 42 6f 6f 6c c3 a1 62 a4 4e 75 6c 6c"),
        ('{"List":[{"Submodel":300}]}', "81 a4 4c 69 73 74 91 81 a8 53 75 62 6d 6f 64 65 6c cd 01 2c"),
    ],
)
def test_msgpack_value_bytes(value, hexbytes):
    assert ww.encode_as(value, "application/msgpack") == bytes.fromhex(hexbytes)


@pytest.mark.parametrize(
    "packed, result",
    [
        # The kind by name, bin name or index; Null also as a bare identifier.
        ({"Int": 5}, '{"Int":5}'),
        ({b"Int": 5}, '{"Int":5}'),
        ({2: 5}, '{"Int":5}'),
        (0, '"Null"'),
        (b"Null", '"Null"'),
        ({"Null": None}, '"Null"'),
        ({"Float": 3}, '{"Float":3.0}'),
        ({"Str": b"x"}, '{"Str":"x"}'),
        ({"List": b""}, '{"List":[]}'),
        ({"Map": {"b": "Null", "a": {6: {}}}}, '{"Map":{"a":{"Map":{}},"b":"Null"}}'),
    ],
)
def test_msgpack_reads_what_an_independent_packer_writes(packed, result):
    assert ww.decode_as(msgpack.packb(packed), "application/msgpack") == result


# ---- random values --------------------------------------------------------------

def random_value(rng, depth=0):
    """The tagged JSON text of a random model value."""
    kind = rng.choice(["Null", "Bool", "Int", "Float", "Str", "Submodel"] + (["List", "Map"] * 2 if depth < 4 else []))
    if kind == "Null":
        return '"Null"'
    if kind == "Bool":
        payload = rng.choice(["true", "false"])
    elif kind == "Int":
        payload = str(rng.choice([rng.randint(-2**63, 2**63 - 1), rng.randint(-300, 300), -2**63, 2**63 - 1]))
    elif kind == "Float":
        payload = rng.choice(["0.0", "-0.0", "1.5", "1e300", "-2.5e-300", "5e-324", "3", str(rng.randint(-10**6, 10**6) / 64)])
    elif kind == "Str":
        payload = json.dumps("".join(rng.choice("ab\u00e9\U0001f600\n\x00") for _ in range(rng.choice([0, 3, 40, 300]))))
    elif kind == "Submodel":
        payload = str(rng.choice([0, 7, 255, 65536, 2**64 - 1]))
    elif kind == "List":
        payload = "[" + ",".join(random_value(rng, depth + 1) for _ in range(rng.choice([0, 1, 3, 16]))) + "]"
    else:
        keys = ["".join(rng.choice("abc\u00e9") for _ in range(rng.randint(0, 3))) for _ in range(rng.randint(0, 17))]
        payload = "{" + ",".join(json.dumps(k) + ":" + random_value(rng, depth + 1) for k in keys) + "}"
    return "{" + json.dumps(kind) + ":" + payload + "}"


VALUES = [random_value(random.Random(seed)) for seed in range(200)]


@pytest.mark.parametrize("codec", MEDIA_TYPES)
def test_random_values_round_trip(codec):
    for value in VALUES:
        normalised = ww.encode(value).decode()
        assert ww.decode_as(ww.encode_as(value, codec), codec) == normalised, value


def test_random_values_unpack_as_their_tagged_form():
    for value in VALUES:
        expected = json.loads(ww.encode(value))
        assert msgpack.unpackb(ww.encode_as(value, "application/msgpack")) == expected, value


@pytest.mark.parametrize("seed", range(0, len(VALUES), 8))
def test_every_cut_of_a_value_gives_the_io_error_of_what_is_missing(seed):
    data = ww.encode_as(VALUES[seed], "application/msgpack")
    roles = byte_roles(data)
    for cut, expected in enumerate(roles):
        inner = 0 < cut < len(roles) - 1 and roles[cut - 1] == roles[cut + 1] == expected == PAYLOAD_EOF
        if not inner:
            assert error_of(ww.decode_as, data[:cut], "application/msgpack") == "codec error: " + expected, cut


def test_cut_inside_a_map16_header_of_a_value():
    assert error_of(ww.decode_as, b"\xde\x00", "application/msgpack") == "codec error: " + DATA_EOF
