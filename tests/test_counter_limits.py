"""Counters and revisions that a peer can drive to 2^64 - 1 never wrap round:
the call that would need the next one fails and changes nothing."""

import json

import pytest

import wirewright as ww
from conftest import raised

U64_MAX = 2**64 - 1
COUNTER_EXHAUSTED = "operation counter exhausted: the next counter would exceed 18446744073709551615"
REVISION_EXHAUSTED = "model revision exhausted: the next revision would exceed 18446744073709551615"

SPEC = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "title": {"kind": "register"}, "text": {"kind": "sequence", "materialization": "string"}}}})
INITIAL = json.dumps({"Map": {"title": {"Str": "t"}, "text": {"Str": "ab"}}})
TITLE = [{"kind": "key", "key": "title"}]
TEXT = [{"kind": "key", "key": "text"}]


def peer_write(counter, replica="evil"):
    return json.dumps([{"kind": "register_set", "dot": {"counter": counter, "replica": replica},
                        "path": TITLE, "value": {"Str": "pwn"}}])


def set_title(text):
    return {"kind": "register_set", "path": TITLE, "value": {"Str": text}}


def splice(index, delete_count, values):
    return {"kind": "sequence_splice", "path": TEXT, "index": index, "delete_count": delete_count,
            "values": [{"Str": v} for v in values]}


def seen(doc):
    return doc.state(), doc.value()


@pytest.mark.parametrize("peer_counter, mutations, counters", [
    # The last counter can still be handed out, once.
    (U64_MAX - 1, [set_title("mine")], [U64_MAX]),
    (U64_MAX - 1, [set_title("mine"), set_title("again")], None),
    # A splice that deletes and inserts needs two counters.
    (U64_MAX - 1, [splice(0, 1, "x")], None),
    (U64_MAX, [set_title("mine")], None),
    (U64_MAX, [splice(1, 0, "")], []),  # makes no operation, needs no counter
])
def test_local_counter_never_wraps(peer_counter, mutations, counters):
    doc = ww.CrdtDocument(SPEC, INITIAL, "a")
    doc.apply(peer_write(peer_counter))
    before = seen(doc)
    if counters is None:
        assert str(raised(doc.mutate, json.dumps(mutations))) == COUNTER_EXHAUSTED
        assert seen(doc) == before
        return
    made = json.loads(doc.mutate(json.dumps(mutations)))
    assert [op["dot"]["counter"] for op in made["ops"]] == counters
    assert str(raised(doc.mutate, json.dumps([set_title("later")]))) == COUNTER_EXHAUSTED


def test_an_exhausted_replica_stays_consistent():
    doc = ww.CrdtDocument(SPEC, INITIAL, "a")
    doc.apply(peer_write(U64_MAX))
    before = seen(doc)
    for _ in range(2):
        assert str(raised(doc.mutate, json.dumps([set_title("mine")]))) == COUNTER_EXHAUSTED
    assert seen(doc) == before
    assert json.loads(doc.value())["Map"]["title"] == {"Str": "pwn"}
    # A restored copy starts from the same counter and refuses the same way.
    restored = ww.CrdtDocument.from_state(SPEC, doc.state(), "a")
    assert str(raised(restored.mutate, json.dumps([set_title("mine")]))) == COUNTER_EXHAUSTED
    # Operations from peers are still taken.
    doc.apply(json.dumps([{"kind": "sequence_insert", "dot": {"counter": 1, "replica": "b"}, "path": TEXT,
                           "after": None, "values": [{"Str": "z"}]}]))
    assert json.loads(doc.value())["Map"]["text"] == {"Str": "zab"}


def test_store_revision_never_wraps():
    store = ww.Store()
    mid = store.host("T", '{"Int":1}')
    assert store.apply(mid, json.dumps({"rev": U64_MAX - 1, "ops": []}))
    assert json.loads(store.mutate(mid, '{"Int":2}'))["rev"] == U64_MAX
    before = store.snapshot(mid)
    assert str(raised(store.mutate, mid, '{"Int":3}')) == REVISION_EXHAUSTED
    assert store.snapshot(mid) == before
    # A patch may still set any revision, after which mutations go on.
    assert store.apply(mid, '{"rev":7,"ops":[]}')
    assert json.loads(store.mutate(mid, '{"Int":3}')) == {"rev": 8, "ops": [{"Set": {"path": [], "value": {"Int": 3}}}]}
