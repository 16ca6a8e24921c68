"""Live-protocol messages: classification, normalisation, the three codecs."""

import json
import random

import pytest

import wirewright as ww

ACK = '{"t":"ack","id":1,"rev":2,"proposal":"p"}'
ACK_MSGPACK = bytes.fromhex("84 A2 69 64 01 A8 70 72 6F 70 6F 73 61 6C A1 70 A3 72 65 76 02 A1 74 A3 61 63 6B")
ACK_CBOR = bytes.fromhex("A4 62 69 64 01 68 70 72 6F 70 6F 73 61 6C 61 70 63 72 65 76 02 61 74 63 61 63 6B")


@pytest.mark.parametrize(
    "text, normalised",
    [
        ('{"proposal":"p","rev":2,"t":"ack","id":1,"x":[1]}', ACK),
        # Unknown messages keep every member, keys sorted.
        ('{"t":"Ack","b":1,"a":2}', '{"a":2,"b":1,"t":"Ack"}'),
        ('{"t":5}', '{"t":5}'),
        ("[1,2]", "[1,2]"),
        ('"x"', '"x"'),
        ("1.0", "1.0"),
        ("null", "null"),
        ("{}", "{}"),
        ('{"t":"nack","t":"ack","id":1,"rev":1,"proposal":"p"}', '{"t":"ack","id":1,"rev":1,"proposal":"p"}'),
        ('{"t":"ack","t":"nack"}', '{"t":"nack"}'),
        ('{"t":"ack ","id":1}', '{"id":1,"t":"ack "}'),
        ('{"t":"snapshot","value":{"Map":{"b":"Null","a":{"Int":1}}},"rev":3,"type":"Doc","id":9}',
         '{"t":"snapshot","id":9,"type":"Doc","rev":3,"value":{"Map":{"a":{"Int":1},"b":"Null"}}}'),
        ('{"t":"patch","id":1,"patch":{"rev":0,"ops":[]},"proposal":null}', '{"t":"patch","id":1,"patch":{"rev":0,"ops":[]}}'),
        ('{"t":"patch","id":1,"patch":{"ops":[{"Move":[[],2,0]}],"rev":4},"rev":99}',
         '{"t":"patch","id":1,"patch":{"rev":4,"ops":[{"Move":{"path":[],"from":2,"to":0}}]}}'),
        ('{"t":"crdt","id":1,"rev":2,"ops":[],"effect":null}', '{"t":"crdt","id":1,"rev":2,"ops":[]}'),
        ('{"t":"crdt","id":1,"rev":5,"ops":[{"kind":"x"}],"proposal":"p"}', '{"t":"crdt","id":1,"rev":5,"ops":[{"kind":"x"}],"proposal":"p"}'),
        ('{"t":"crdt_snapshot","id":1,"type":"Doc","rev":0,"value":"Null","spec":null,"state":null}',
         '{"t":"crdt_snapshot","id":1,"type":"Doc","rev":0,"value":"Null","spec":null,"state":null}'),
        ('{"t":"reject","id":1,"rev":2,"error":"e","crdt_ops":null,"proposal":"q"}', '{"t":"reject","id":1,"rev":2,"error":"e","proposal":"q"}'),
        ('{"t":"awareness","id":4}', '{"t":"awareness","id":4,"state":null}'),
        ('{"t":"awareness","id":4,"state":null}', '{"t":"awareness","id":4,"state":null}'),
        ('{"t":"awareness","id":4,"peer":"p","state":{"b":1,"a":[2.5,-1]}}', '{"t":"awareness","id":4,"peer":"p","state":{"a":[2.5,-1],"b":1}}'),
        ('{"t":"batch","msgs":[{"t":"ack","id":1,"rev":1,"proposal":"a"},{"kind":"x"},{"t":"batch","msgs":[]}]}',
         '{"t":"batch","msgs":[{"t":"ack","id":1,"rev":1,"proposal":"a"},{"kind":"x"},{"t":"batch","msgs":[]}]}'),
        ('{"t":"snapshot","id":1,"type":"D","rev":0,"value":{"Null":{}},"z":1}', '{"t":"snapshot","id":1,"type":"D","rev":0,"value":"Null"}'),
        ('{"t":"ack","id":18446744073709551615,"rev":0,"proposal":""}', '{"t":"ack","id":18446744073709551615,"rev":0,"proposal":""}'),
    ],
)
def test_normalize(text, normalised):
    assert ww.normalize_message(text) == normalised


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"t":"ack","id":1,"rev":2}', "missing field `proposal`"),
        ('{"t":"snapshot","rev":1}', "missing field `id`"),
        ('{"t":"batch"}', "missing field `msgs`"),
        ('{"t":"snapshot","id":true,"rev":-1}', "invalid type: boolean `true`, expected u64"),
        ('{"t":"ack","id":-1,"rev":1,"proposal":"p"}', "invalid value: integer `-1`, expected u64"),
        ('{"t":"ack","id":1.5,"rev":1,"proposal":"p"}', "invalid type: floating point `1.5`, expected u64"),
        ('{"t":"ack","id":18446744073709551616,"rev":1,"proposal":"p"}',
         "invalid type: floating point `1.8446744073709552e+19`, expected u64"),
        ('{"t":"crdt","id":1,"rev":2,"ops":null}', "invalid type: null, expected a sequence"),
        ('{"t":"crdt","id":1,"rev":2}', "missing field `ops`"),
        ('{"t":"ack","id":1,"rev":1,"proposal":null}', "invalid type: null, expected a string"),
        ('{"t":"batch","msgs":[{"t":"ack"}]}', "missing field `id`"),
        ('{"t":"batch","msgs":{}}', "invalid type: map, expected a sequence"),
        ('{"t":"snapshot","id":1,"type":"D","rev":0,"value":{}}', "invalid value: map, expected map with a single key"),
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Move":[[],2,0,9]}]}}', "invalid length 4, expected 3 elements in sequence"),
        ('{"t":"patch","id":1,"patch":[1,[],2]}', "invalid length 3, expected 2 elements in sequence"),
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":5}]}}', "invalid type: integer `5`, expected struct variant"),
        ('{"t":"ack"} x', "missing field `id`"),
        (ACK + " x", "trailing characters at line 1 column 43"),
        ('{"t":"nope"} x', "trailing characters at line 1 column 14"),
        ("[1,]", "trailing comma at line 1 column 4"),
    ],
)
def test_refused(text, message):
    with pytest.raises(ValueError) as exc:
        ww.normalize_message(text)
    assert str(exc.value) == message


@pytest.mark.parametrize(
    "text, result",
    [
        # Members are read in key order, each with its own errors, before
        # any missing member is looked for (then in declaration order).
        ('{"t":"snapshot","id":1,"type":5,"rev":"x","value":"Null"}', 'invalid type: string "x", expected u64'),
        ('{"t":"ack","rev":"x"}', 'invalid type: string "x", expected u64'),
        ('{"t":"reject","proposal":5}', "invalid type: integer `5`, expected a string"),
        ('{"t":"reject","id":1}', "missing field `rev`"),
        ('{"t":"crdt_snapshot","id":1,"type":"D","rev":0,"value":"Null"}', "missing field `spec`"),
        # Null is an absent optional member, and a value of its own elsewhere.
        ('{"t":"awareness","id":4,"peer":null}', '{"t":"awareness","id":4,"state":null}'),
        ('{"t":"crdt","id":1,"rev":2,"ops":[null],"proposal":null}', '{"t":"crdt","id":1,"rev":2,"ops":[null]}'),
        ('{"t":"reject","id":1,"rev":2,"error":null}', "invalid type: null, expected a string"),
        ('{"t":"batch","msgs":null}', "invalid type: null, expected a sequence"),
        # A known tag in an array is no known message.
        ('["ack",1,2,"p"]', '["ack",1,2,"p"]'),
    ],
)
def test_member_checks_in_order(text, result):
    try:
        got = ww.normalize_message(text)
    except ValueError as exc:
        got = str(exc)
    assert got == result


def test_ack_in_every_codec():
    assert ww.encode_message(ACK, "msgpack") == ACK_MSGPACK
    assert ww.encode_message(ACK, "application/x-msgpack") == ACK_MSGPACK
    assert ww.encode_message(ACK, "cbor") == ACK_CBOR
    assert ww.encode_message(ACK, "json") == ACK.encode()
    assert ww.encode_message(ACK, "") == ACK.encode()
    for data, codec in [(ACK_MSGPACK, "msgpack"), (ACK_CBOR, "cbor"), (ACK.encode(), "json")]:
        assert ww.decode_message(data, codec) == ACK


def test_order_of_failures():
    # The message is read before the codec is resolved when encoding...
    with pytest.raises(ValueError, match="^missing field `id`$"):
        ww.encode_message('{"t":"ack"}', "bogus")
    with pytest.raises(ValueError, match="^unknown codec: bogus$"):
        ww.encode_message(ACK, "bogus")
    # ... and resolved first when decoding.
    with pytest.raises(ValueError, match="^unknown codec: bogus$"):
        ww.decode_message(b"", "bogus")
    with pytest.raises(ValueError, match="^unknown codec: JSON$"):
        ww.decode_message(b"null", "JSON")


@pytest.mark.parametrize(
    "data, codec, result",
    [
        (bytes.fromhex("A1 61 74 63 61 63 6B"), "cbor", 'Semantic(None, "missing field `id`")'),
        (bytes.fromhex("81 A1 74 A3 61 63 6B"), "msgpack", "missing field `id`"),
        (bytes.fromhex("C001"), "msgpack", "null"),
        (b"null x", "json", "trailing characters at line 1 column 6"),
        (b"", "json", "EOF while parsing a value at line 1 column 0"),
        (b'{"t":"x\xff"}', "json", "invalid unicode code point at line 1 column 9"),
        # A float id is refused whatever codec carried it.
        (bytes.fromhex("84 A2 69 64 CB 3F F0 00 00 00 00 00 00 A8 70 72 6F 70 6F 73 61 6C A1 70 A3 72 65 76 02 A1 74 A3 61 63 6B"),
         "msgpack", "invalid type: floating point `1.0`, expected u64"),
    ],
)
def test_decode(data, codec, result):
    try:
        got = ww.decode_message(data, codec)
    except ValueError as exc:
        got = str(exc)
    assert got == result


def _ack(id_item):
    """The MessagePack ack {"id": <item>, "proposal": "p", "rev": 2, "t": "ack"}."""
    return b"\x84\xa2id" + id_item + b"\xa8proposal\xa1p\xa3rev\x02\xa1t\xa3ack"


@pytest.mark.parametrize(
    "data, codec, message",
    [
        # The binary readers quote a found double with ties away from zero ...
        (bytes.fromhex("81 ca c4 04 4e 75 01"), "msgpack",
         "invalid type: floating point `-529.2258911132813`, expected a string key"),
        (bytes.fromhex("a1 f9 01 74 01"), "cbor",
         'Semantic(None, "invalid type: floating point `0.000022172927856445313`, expected str")'),
        # ... while a member read from the parsed JSON keeps the JSON digits.
        (_ack(bytes.fromhex("ca c4 04 4e 75")), "msgpack",
         "invalid type: floating point `-529.2258911132812`, expected u64"),
        # The message is read as generic JSON first: a text where a number
        # belongs is a shape error, not a wrong marker.
        (_ack(b"\xa1x"), "msgpack", 'invalid type: string "x", expected u64'),
        (_ack(b"\xc0"), "msgpack", "invalid type: null, expected u64"),
        (bytes.fromhex("a4 62 6964 20 68 70726f706f73616c 61 70 63 726576 02 61 74 63 61636b"), "cbor",
         'Semantic(None, "invalid value: integer `-1`, expected u64")'),
    ],
)
def test_decode_errors_of_numbers(data, codec, message):
    with pytest.raises(ValueError) as exc:
        ww.decode_message(data, codec)
    assert str(exc.value) == message


def test_cbor_float_id():
    data = ww.json_to_cbor('{"t":"ack","id":1.0,"rev":2,"proposal":"p"}')
    with pytest.raises(ValueError) as exc:
        ww.decode_message(data, "cbor")
    assert str(exc.value) == 'Semantic(None, "invalid type: floating point `1.0`, expected u64")'


def test_nesting_fails_before_classification():
    deep = '{"t":"batch","msgs":[' * 64 + "]}" * 64
    with pytest.raises(ValueError, match="^recursion limit exceeded at line 1 column"):
        ww.normalize_message(deep)
    ok = '{"t":"batch","msgs":[' * 63 + "]}" * 63
    assert ww.normalize_message(ok) == ok


def _random_message(rng, depth=0):
    kind = rng.choice(["snapshot", "patch", "crdt", "ack", "reject", "awareness", "batch", "unknown"])
    i = rng.randrange(0, 1 << 64)
    if kind == "snapshot":
        return {"t": kind, "id": i, "type": "Doc", "rev": rng.randrange(9), "value": {"List": [{"Int": -3}, "Null", {"Str": "\u00e9"}]}}
    if kind == "patch":
        ops = [{"Set": {"path": [{"Key": "a"}, {"Index": 2}], "value": {"Float": 1.5}}}, {"Reorder": {"path": [], "order": [1, 0]}}]
        msg = {"t": kind, "id": i, "patch": {"rev": 3, "ops": ops[: rng.randrange(3)]}}
        if rng.random() < 0.5:
            msg["proposal"] = "p%d" % rng.randrange(9)
        return msg
    if kind == "crdt":
        return {"t": kind, "id": i, "rev": 1, "ops": [{"kind": "x", "n": [1, 2.5, None]}], "effect": {"z": True}}
    if kind == "ack":
        return {"t": kind, "id": i, "rev": 2, "proposal": "p"}
    if kind == "reject":
        return {"t": kind, "id": i, "rev": 2, "error": "bad", "crdt_ops": [{}]}
    if kind == "awareness":
        return {"t": kind, "id": i, "peer": "x", "state": {"cursor": [1, 2], "name": "n"}}
    if kind == "batch" and depth < 3:
        return {"t": kind, "msgs": [_random_message(rng, depth + 1) for _ in range(rng.randrange(4))]}
    return {"kind": "other", "v": [rng.random(), -rng.randrange(1000), "s"]}


@pytest.mark.parametrize("codec", ["", "json", "msgpack", "x-msgpack", "application/msgpack", "application/x-msgpack", "cbor", "application/cbor", "application/json"])
def test_round_trip_every_codec(codec):
    rng = random.Random(7)
    for _ in range(60):
        text = json.dumps(_random_message(rng))
        normalised = ww.normalize_message(text)
        assert ww.decode_message(ww.encode_message(text, codec), codec) == normalised


DEEP = "[" * 130 + "]" * 130


@pytest.mark.parametrize(
    "text, result",
    [
        # What is skipped inside a known message is still read whole: its
        # nesting and its strings count as anywhere else.
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[],"x":%s}}]}}' % DEEP,
         "recursion limit exceeded at line 1 column 192"),
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[],"x":"\\ud800"}}],"y":%s}}' % DEEP,
         "unexpected end of hex escape at line 1 column 77"),
        ('{"t":"batch","msgs":[{"t":"ack","id":1,"rev":1,"proposal":"p","z":%s}]}' % DEEP,
         "recursion limit exceeded at line 1 column 191"),
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[],"x":1}}]}}',
         '{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[]}}]}}'),
        # A repeated key keeps its last value, wherever it stands.
        ('{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[],"path":[{"Key":"a"}]}}]}}',
         '{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[{"Key":"a"}]}}]}}'),
        ('{"t":"snapshot","id":1,"type":"D","rev":0,"value":{"Int":1,"Int":2}}',
         '{"t":"snapshot","id":1,"type":"D","rev":0,"value":{"Int":2}}'),
        ('{"t":"snapshot","id":1,"type":"D","rev":0,"value":{"Map":{"a":{"Int":"x"},"a":{"Int":2}}}}',
         '{"t":"snapshot","id":1,"type":"D","rev":0,"value":{"Map":{"a":{"Int":2}}}}'),
        ('{"id":2,"t":"ack","rev":1,"proposal":"p","id":3}', '{"t":"ack","id":3,"rev":1,"proposal":"p"}'),
        ('{"t":"ack","id":2,"rev":1,"proposal":"p","t":"ping"}', '{"id":2,"proposal":"p","rev":1,"t":"ping"}'),
    ],
)
def test_known_messages_read_as_parsed(text, result):
    try:
        got = ww.normalize_message(text)
    except ValueError as exc:
        got = str(exc)
    assert got == result
    try:
        got = ww.decode_message(text.encode(), "json")
    except ValueError as exc:
        got = str(exc)
    assert got == result


@pytest.mark.parametrize(
    "data, message",
    [
        (b'{"t":"patch","id":1,"patch":{"rev":1,"ops":[{"Remove":{"path":[],"x":"\xff"}}]}}',
         "invalid unicode code point at line 1 column 72"),
        (b'{"t":"ack","id":1,"rev":1,"proposal":"\xc3"}', "invalid unicode code point at line 1 column 40"),
    ],
)
def test_known_message_bytes_hold_utf8(data, message):
    with pytest.raises(ValueError) as exc:
        ww.decode_message(data, "json")
    assert str(exc.value) == message
