"""Every function and method of wirewright, called as a typed program would.

Type-checked with mypy against the module's stub, where each check() is
typing.assert_type, so every result type must be exactly the stub's; run
as a script, check() tests the value's type instead, so the stub's result
types must also be the ones the module really returns.
"""

import json
import types
import typing
from typing import TYPE_CHECKING

import wirewright as ww

if TYPE_CHECKING:
    from typing import assert_type as check
else:

    def check(value, expected):
        origin = typing.get_origin(expected)
        if origin is list:
            assert type(value) is list and all(type(item) is str for item in value), value
        elif origin in (typing.Union, types.UnionType):
            assert type(value) in typing.get_args(expected), value
        elif expected is None:
            assert value is None, value
        else:
            assert type(value) is expected, value
        return value


def module_functions() -> None:
    old = '{"Map": {"n": {"Int": 1}}}'
    new = '{"Map": {"n": {"Int": 2}}}'
    patch = check(ww.diff(old, new), str)
    check(ww.apply(value=old, patch=patch), str)

    spec = '{"version": 1, "root": {"kind": "map", "fields": {"tags": {"kind": "set"}}}}'
    check(ww.normalize_crdt_spec(spec), str)
    peer_hash = check(ww.crdt_spec_hash(spec), str)
    check(ww.require_crdt_spec_hash(spec, peer_hash), None)

    data = check(ww.encode(old), bytes)
    check(ww.decode(data), str)
    packed = check(ww.encode_as(old, "application/msgpack"), bytes)
    check(ww.decode_as(packed, codec="application/msgpack"), str)

    document = '{"ok": true, "n": [1, 2.5, "x"]}'
    check(ww.msgpack_to_json(check(ww.json_to_msgpack(document), bytes)), str)
    check(ww.cbor_to_json(check(ww.json_to_cbor(json=document), bytes)), str)

    message = check(ww.normalize_message('{"t":"snapshot","id":1,"type":"Doc","rev":0,"value":"Null"}'), str)
    payload = check(ww.encode_message(message, "cbor"), bytes)
    check(ww.decode_message(data=payload, codec="cbor"), str)


def client_state() -> None:
    client = ww.ClientState()
    check(client, ww.ClientState)
    effect = check(client.prepare('{"t":"snapshot","id":1,"type":"Doc","rev":3,"value":"Null"}'), str)
    check(client.commit(effect_json=effect), None)
    ops = '[{"Set":{"path":[],"value":{"Int":7}}}]'
    first = json.loads(check(client.proposal(1, ops), str))["proposal"]
    check(client.proposal(id=True, ops_json=ops, proposal="second"), str)
    check(client.proposal(1, ops, None), str)
    check(client.pending(), list[str])
    check(client.abandon(first), bool)
    check(client.revisions(), str)
    check(client.disconnect(), str)


def crdt_document() -> None:
    spec = '{"version": 1, "root": {"kind": "map", "fields": {"tags": {"kind": "set"}}}}'
    document = ww.CrdtDocument(spec, '{"Map": {"tags": {"List": []}}}', replica="alice")
    check(document, ww.CrdtDocument)
    tags = '[{"kind": "key", "key": "tags"}]'
    mutations = '[{"kind": "set_add", "path": ' + tags + ', "value": {"Str": "food"}}]'
    ops = json.dumps(json.loads(check(document.mutate(mutations), str))["ops"])
    other = ww.CrdtDocument.from_state(spec, check(document.state(), str), "bob")
    check(other, ww.CrdtDocument)
    check(other.apply(ops_json=ops), str)
    check(other.value(), str)
    check(document.member_key(tags, '{"Str": "food"}'), str)
    check(document.compact('{"alice": 1}'), int)


def store() -> None:
    host = ww.Store()
    check(host, ww.Store)
    model = check(host.host("Task", '{"Map": {"done": {"Bool": false}}}'), int)
    patch = check(host.mutate(model, '{"Map": {"done": {"Bool": true}}}'), str | None)
    snapshot = check(host.snapshot(id=model), str | None)
    mirror = ww.Store()
    copy = mirror.host(type_name="Task", value_json='{"Map": {"done": {"Bool": false}}}')
    if patch is not None:
        check(mirror.apply(copy, patch_json=patch), bool)
    assert mirror.snapshot(copy) == snapshot
    check(host.snapshot(99), str | None)


if __name__ == "__main__":
    module_functions()
    client_state()
    crdt_document()
    store()
    print("typed usage: every call ran")
