"""Saved states, operations and mutations read the same whatever liberties
their text takes: "kind" after other members, members in any order, arrays
for records, whitespace, repeated or unordered dots and table entries, node
kinds by index. Documents read from such texts save and behave exactly like
those read from the text the document writes."""

import json

import pytest

import wirewright as ww

SPEC = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "title": {"kind": "sequence", "materialization": "string"},
    "items": {"kind": "sequence", "element": {"kind": "map"}},
    "tags": {"kind": "set"},
    "meta": {"kind": "map", "values": {"kind": "map"}}}}})
INITIAL = json.dumps({"Map": {"title": {"Str": "héllo"}, "items": {"List": [{"Map": {"n": {"Int": 1}}}]},
                              "tags": {"List": [{"Str": "x"}, {"Str": "y"}]}, "meta": {"Map": {}}}})
KEY = {"kind": "key", "key": "title"}
EDITS = [
    {"kind": "sequence_splice", "path": [KEY], "index": 1, "delete_count": 2, "values": [{"Str": "a"}, {"Str": "b"}]},
    {"kind": "sequence_splice", "path": [{"kind": "key", "key": "items"}], "index": 0, "delete_count": 0,
     "values": [{"Map": {"n": {"Int": 2}}}]},
    {"kind": "set_remove", "path": [{"kind": "key", "key": "tags"}], "key": '{"Str":"x"}'},
    {"kind": "map_set", "path": [{"kind": "key", "key": "meta"}], "key": "m", "value": {"Map": {"k": "Null"}}},
    {"kind": "map_remove", "path": [{"kind": "key", "key": "meta"}], "key": "m"},
]


def history():
    """A document of two replicas' edits, and the operations they made."""
    a = ww.CrdtDocument(SPEC, INITIAL, "a")
    b = ww.CrdtDocument(SPEC, INITIAL, "b")
    ops = []
    for i, edit in enumerate(EDITS):
        doc = a if i % 2 == 0 else b
        ops += json.loads(doc.mutate(json.dumps([edit])))["ops"]
    a.apply(json.dumps(ops))
    return a, ops


def tag_last(node):
    """Every record with "kind" moved behind its other members."""
    if isinstance(node, list):
        return [tag_last(x) for x in node]
    if not isinstance(node, dict):
        return node
    out = {k: tag_last(v) for k, v in node.items() if k != "kind"}
    if "kind" in node:
        out["kind"] = node["kind"]
    return out


def dots_as_arrays(node):
    if isinstance(node, list):
        return [dots_as_arrays(x) for x in node]
    if not isinstance(node, dict):
        return node
    if set(node) == {"counter", "replica"}:
        return [node["counter"], node["replica"]]
    return {k: dots_as_arrays(v) for k, v in node.items()}


def nested_kinds_by_index(state):
    kinds = {"register": 0, "map": 1, "set": 2, "sequence": 3}

    def walk(node, root):
        if isinstance(node, list):
            return [walk(x, False) for x in node]
        if not isinstance(node, dict):
            return node
        out = {k: walk(v, False) for k, v in node.items()}
        if not root and node.get("kind") in kinds and ("entries" in node or "value" in node):
            out["kind"] = kinds[node["kind"]]
        return out
    state = dict(state)
    state["root"] = walk(state["root"], True)
    return state


def repeated_and_unordered(state):
    state = json.loads(json.dumps(state))
    context = state["context"]
    context["dots"] = list(reversed(context["dots"])) + context["dots"][:2]
    title = state["root"]["entries"]["title"]
    title["dots"] = title["dots"] + title["dots"]
    seq = title["node"]
    seq["entries"] = list(reversed(seq["entries"]))
    state["fingerprints"] = list(reversed(state["fingerprints"]))
    state["root"]["entries"] = dict(reversed(list(state["root"]["entries"].items())))
    return state


LIBERTIES = {
    "kind last": lambda s: tag_last(s),
    "keys sorted": lambda s: json.loads(json.dumps(s, sort_keys=True)),
    "dots as arrays": dots_as_arrays,
    "nested kinds by index": nested_kinds_by_index,
    "repeated and unordered": repeated_and_unordered,
}


@pytest.mark.parametrize("liberty", LIBERTIES)
def test_saved_state_liberties_restore_the_same_document(liberty):
    doc, _ = history()
    text = doc.state()
    variant = LIBERTIES[liberty](json.loads(text))
    for dumped in (json.dumps(variant), json.dumps(variant, indent=2)):
        restored = ww.CrdtDocument.from_state(SPEC, dumped, "c")
        assert restored.state() == text
        assert restored.value() == doc.value()
        edit = json.dumps([EDITS[0]])
        twin = ww.CrdtDocument.from_state(SPEC, text, "c")
        assert restored.mutate(edit) == twin.mutate(edit)
        assert restored.state() == twin.state()


@pytest.mark.parametrize("liberty", ["kind last", "keys sorted", "dots as arrays"])
def test_operation_and_mutation_liberties_apply_the_same(liberty):
    change = LIBERTIES[liberty]
    _, ops = history()
    plain = ww.CrdtDocument(SPEC, INITIAL, "z")
    taken = ww.CrdtDocument(SPEC, INITIAL, "z")
    assert taken.apply(json.dumps(change(ops))) == plain.apply(json.dumps(ops))
    assert taken.state() == plain.state()
    assert taken.mutate(json.dumps(change(EDITS))) == plain.mutate(json.dumps(EDITS))
    assert taken.state() == plain.state()
