"""CrdtDocument: construction and saved state, materialisation and the
visible order of sequences, mutate and apply with their deltas and patches,
member keys, compaction, all-or-nothing failures, and the convergence of
replicas that exchange operations in any order."""

import hashlib
import json
import random

import pytest

import wirewright as ww
from conftest import raised

REG = {"kind": "register"}


def spec_text(root):
    return json.dumps({"version": 1, "root": root})


def canonical_hash(canonical):
    return "sha256:" + hashlib.sha256(canonical.encode()).hexdigest()


def seq(element=REG, materialization="list"):
    return {"kind": "sequence", "materialization": materialization, "element": element}


def text_seq():
    return seq(materialization="string")


def key(k):
    return {"kind": "key", "key": k}


def member(k):
    return {"kind": "member", "key": k}


def element(eid):
    return {"kind": "element", "id": eid}


def eid(counter, replica, index=0):
    return {"dot": {"counter": counter, "replica": replica}, "index": index}


def dot(counter, replica):
    return {"counter": counter, "replica": replica}


def s(text):
    return {"Str": text}


def doc(root, value, replica="a"):
    return ww.CrdtDocument(spec_text(root), json.dumps(value), replica)


def mutate(d, *mutations):
    return json.loads(d.mutate(json.dumps(list(mutations))))


def apply(d, *ops):
    return json.loads(d.apply(json.dumps(list(ops))))


def value(d):
    return json.loads(d.value())


def state(d):
    return json.loads(d.state())


def splice(path, index, delete_count, values):
    return {"kind": "sequence_splice", "path": path, "index": index, "delete_count": delete_count, "values": values}


def failure(fn, *args):
    err = raised(fn, *args)
    assert type(err) is ValueError, err
    return str(err)


# A document with a text, a list of maps, sets with and without identity
# paths and a nested map: the shape most tests below work on.
NOTE = {"kind": "map", "fields": {
    "title": text_seq(),
    "items": seq({"kind": "map", "fields": {"tags": {"kind": "set"}}}),
    "people": {"kind": "set", "keys": [["id"]], "element": {"kind": "map", "fields": {"notes": text_seq()}}},
    "tags": {"kind": "set"},
    "meta": {"kind": "map", "values": {"kind": "map"}},
}}
NOTE_VALUE = {"Map": {
    "title": s("hi"),
    "items": {"List": [{"Map": {"n": {"Int": 1}}}]},
    "people": {"List": [{"Map": {"id": {"Int": 1}, "name": s("ann")}}]},
    "tags": {"List": [s("x")]},
    "meta": {"Map": {}},
}}
ANN = json.dumps([[["id"], {"Int": 1}]], separators=(",", ":"))


@pytest.fixture
def note():
    return doc(NOTE, NOTE_VALUE)


# ---- the class ----

METHODS = {
    "from_state": "(spec_json, state_json, replica)",
    "value": "($self)",
    "state": "($self)",
    "mutate": "($self, mutations_json)",
    "apply": "($self, ops_json)",
    "member_key": "($self, path_json, value_json)",
    "compact": "($self, frontier_json)",
}


def test_method_table():
    methods = [n for n, v in vars(ww.CrdtDocument).items() if callable(v) and not n.startswith("__")]
    assert methods == list(METHODS)
    for name, signature in METHODS.items():
        method = getattr(ww.CrdtDocument, name)
        assert (method.__text_signature__, method.__doc__) == (signature, None)


def test_from_state_is_called_on_the_class_and_gives_an_instance(note):
    restored = ww.CrdtDocument.from_state(spec_text(NOTE), note.state(), "b")
    assert type(restored) is ww.CrdtDocument
    assert restored.value() == note.value()


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ww.CrdtDocument(), "CrdtDocument.__new__() missing 3 required positional arguments: "
                                    "'spec_json', 'value_json', and 'replica'"),
        (lambda: ww.CrdtDocument.from_state("a", "b"),
         "CrdtDocument.from_state() missing 1 required positional argument: 'replica'"),
        (lambda: doc(REG, "Null").mutate(), "CrdtDocument.mutate() missing 1 required positional argument: "
                                            "'mutations_json'"),
        (lambda: doc(REG, "Null").member_key("[]"),
         "CrdtDocument.member_key() missing 1 required positional argument: 'value_json'"),
        (lambda: doc(REG, "Null").compact("{}", "{}"), "CrdtDocument.compact() takes 1 positional arguments "
                                                      "but 2 were given"),
    ],
)
def test_argument_matching(call, message):
    err = raised(call)
    assert (type(err), str(err)) == (TypeError, message)


def test_text_arguments_only():
    err = raised(doc(REG, "Null").apply, b"[]")
    assert type(err) is TypeError and err.__notes__ == ["while processing 'ops_json'"]


# ---- construction ----

def test_register_root_holds_the_initial_value_under_the_initial_dot():
    d = doc(REG, "Null")
    assert d.value() == '"Null"'
    assert d.state() == (
        '{"state_version":1,"spec_hash":"%s","context":{},"root":{"kind":"register","value":"Null",'
        '"dot":{"counter":0,"replica":"$init"}}}' % canonical_hash('{"version":1,"root":{"kind":"register"}}'))


@pytest.mark.parametrize("replica", ["", "$init"])
def test_reserved_or_empty_replica_is_refused(replica):
    assert failure(doc, REG, "Null", replica) == "replica identifier must be non-empty and cannot be reserved $init"


@pytest.mark.parametrize("replica", ["$init2", "$INIT", " "])
def test_replica_checked_bytewise(replica):
    assert doc(REG, "Null", replica).value() == '"Null"'


def test_construction_checks_in_order():
    assert failure(ww.CrdtDocument, '{"version":2,"root":{"kind":"register"}}', "x", "") == \
        "unsupported CRDT spec version 2; expected 1"
    assert failure(ww.CrdtDocument, spec_text(REG), "Null", "") == "expected value at line 1 column 1"


@pytest.mark.parametrize(
    "root, initial, message",
    [
        ({"kind": "map"}, {"List": []}, "map policy requires a map value"),
        ({"kind": "set"}, {"Map": {}}, "set policy requires a list value"),
        (seq(), s("x"), "list sequence policy requires a list value"),
        (text_seq(), {"List": []}, "string sequence policy requires a string value"),
        ({"kind": "map", "fields": {"t": text_seq()}}, {"Map": {"t": {"Int": 1}}},
         "string sequence policy requires a string value"),
        ({"kind": "set", "keys": [["id"]], "element": {"kind": "map"}}, {"List": [{"Map": {}}]},
         'set key path ["id"] is missing segment "id"'),
    ],
)
def test_initial_value_must_fit_its_policy(root, initial, message):
    assert failure(doc, root, initial) == message


def test_string_sequence_gets_one_chained_element_per_scalar():
    d = doc(text_seq(), s("héllo"))
    assert value(d) == s("héllo")
    entries = state(d)["root"]["entries"]
    assert [e[0] for e in entries] == [eid(0, "$init", i) for i in range(5)]
    assert [e[1]["after"] for e in entries] == [None] + [eid(0, "$init", i) for i in range(4)]
    assert [e[1]["node"]["value"] for e in entries] == [s(c) for c in "héllo"]
    assert all(e[1]["inserted"] for e in entries)
    assert value(doc(text_seq(), s(""))) == s("")
    assert value(doc(text_seq(), s("😀é"))) == s("😀é")


def test_equal_member_keys_merge_into_one_member_the_later_value_standing():
    d = doc({"kind": "set", "keys": [["id"]], "element": {"kind": "map"}},
            {"List": [{"Map": {"id": {"Int": 1}, "n": s("x")}}, {"Map": {"id": {"Int": 1}, "n": s("y")}}]})
    assert value(d) == {"List": [{"Map": {"id": {"Int": 1}, "n": s("y")}}]}
    assert len(state(d)["root"]["entries"]) == 1


# ---- saved state ----

def saved(root, context=None, fingerprints=None, version=1, spec_hash=None, spec=None):
    text = {"state_version": version, "spec_hash": spec_hash or canonical_for(spec or REG),
            "context": context or {}, "root": root}
    if fingerprints is not None:
        text["fingerprints"] = fingerprints
    return json.dumps(text, separators=(",", ":"))


def canonical_for(root):
    return canonical_hash(ww.normalize_crdt_spec(spec_text(root)))


REGISTER_STATE = {"kind": "register", "value": s("v"), "dot": dot(0, "$init")}
FP = "sha256:" + "0" * 64


def restore(root_policy, state_text, replica="a"):
    return ww.CrdtDocument.from_state(spec_text(root_policy), state_text, replica)


def test_state_round_trip_is_byte_identical(note):
    mutate(note, splice([key("title")], 2, 0, [s("!")]), {"kind": "map_remove", "path": [], "key": "tags"})
    restored = restore(NOTE, note.state(), "z")
    assert restored.state() == note.state()
    assert restored.value() == note.value()


@pytest.mark.parametrize(
    "state_text, replica, message",
    [
        (saved(REGISTER_STATE, version=2, spec_hash="sha256:x"), "a", "unsupported CRDT state version 2; expected 1"),
        (saved(REGISTER_STATE, spec_hash="sha256:x"), "a",
         "incompatible CRDT state: spec hash sha256:x, expected " + canonical_for(REG)),
        (saved(REGISTER_STATE, fingerprints=[[dot(1, "a"), FP]]), "a",
         "CRDT state fingerprints do not match its uncompacted causal dots"),
        (saved(REGISTER_STATE, context={"dots": [dot(1, "a")]}), "a",
         "CRDT state fingerprints do not match its uncompacted causal dots"),
        (saved(REGISTER_STATE, context={"dots": [dot(1, "a"), dot(2, "b")]},
               fingerprints=[[dot(1, "a"), FP], [dot(3, "b"), FP]]), "a",
         "CRDT state fingerprints do not match its uncompacted causal dots"),
        (saved(REGISTER_STATE, context={"dots": [dot(0, "a"), dot(1, "$init")]},
               fingerprints=[[dot(0, "a"), FP], [dot(1, "$init"), FP]]), "a",
         'invalid operation dot Dot { counter: 0, replica: "a" }'),
        (saved(REGISTER_STATE, context={"dots": [dot(1, "")]}, fingerprints=[[dot(1, ""), FP]]), "a",
         'invalid operation dot Dot { counter: 1, replica: "" }'),
        (saved(REGISTER_STATE, context={"dots": [dot(1, "a")]}, fingerprints=[[dot(1, "a"), FP[:-1]]]), "",
         "CRDT state contains an invalid operation fingerprint"),
        (saved(REGISTER_STATE, context={"dots": [dot(1, "a")]}, fingerprints=[[dot(1, "a"), "sha257" + FP[6:]]]),
         "a", "CRDT state contains an invalid operation fingerprint"),
        (saved(REGISTER_STATE), "", "replica identifier must be non-empty and cannot be reserved $init"),
        (saved({"kind": "register", "value": s("v"), "dot": None}), "a", "root value is removed"),
        (saved({"kind": "map", "entries": {}}), "a", "CRDT policy has incompatible reducer state"),
        (saved(REGISTER_STATE)[:-1], "a", "EOF while parsing an object at line 1 column %d"
         % (len(saved(REGISTER_STATE)) - 1)),
    ],
)
def test_from_state_checks_in_order(state_text, replica, message):
    assert failure(restore, REG, state_text, replica) == message


def test_from_state_accepts_fingerprint_digits_unchecked_and_continues_counters():
    text = saved(REGISTER_STATE, context={"compacted": {"q": 9}, "dots": [dot(4, "a")]},
                 fingerprints=[[dot(4, "a"), "sha256:" + "Z" * 64]])
    d = restore(REG, text)
    assert json.loads(d.state()) == json.loads(text)
    made = mutate(d, {"kind": "register_set", "path": [], "value": s("w")})
    assert made["ops"][0]["dot"] == dot(10, "a")


def test_from_state_checks_only_what_materialisation_visits():
    hidden = {"kind": "map", "entries": {"gone": {"node": {"kind": "set", "entries": {}}}}}
    d = restore({"kind": "map"}, saved(hidden, spec={"kind": "map"}))
    assert value(d) == {"Map": {}}
    # Made visible again, the stray node fails the call and changes nothing.
    before = d.state()
    assert failure(d.mutate, json.dumps([{"kind": "map_set", "path": [], "key": "gone", "value": s("x")}])) == \
        "CRDT policy has incompatible reducer state"
    assert d.state() == before


# ---- materialisation and sequence order ----

def insert_op(counter, replica, values, after=None, path=()):
    return {"kind": "sequence_insert", "dot": dot(counter, replica), "path": list(path), "after": after,
            "values": [s(v) for v in values]}


def delete_op(counter, replica, ids, path=()):
    return {"kind": "sequence_delete", "dot": dot(counter, replica), "path": list(path), "ids": ids}


def test_sequence_order_follows_anchors_largest_first():
    d = doc(text_seq(), s(""))
    apply(d, insert_op(1, "a", "A"), insert_op(2, "b", "B"))
    assert value(d) == s("BA")
    apply(d, insert_op(3, "a", "xyz"))
    assert value(d) == s("xyzBA")
    x = eid(3, "a", 0)
    apply(d, insert_op(5, "a", "2", after=x), insert_op(5, "b", "1", after=x))
    assert value(d) == s("x12yzBA")
    # A deleted element still anchors the elements after it.
    apply(d, delete_op(6, "a", [x]))
    assert value(d) == s("12yzBA")


def test_elements_without_a_reachable_anchor_come_last():
    d = doc(text_seq(), s("ab"))
    apply(d, insert_op(7, "q", "zz", after=eid(9, "missing")), insert_op(8, "q", "y", after=eid(0, "$init", 0)))
    assert value(d) == s("aybzz")
    # The anchor arrives: its subtree moves in behind it.
    apply(d, insert_op(9, "missing", "M"))
    assert value(d) == s("Mzzayb")


def test_map_entry_hidden_by_its_own_removal_and_revived_by_a_new_write():
    d = doc({"kind": "map", "values": {"kind": "map"}}, {"Map": {}})
    apply(d, {"kind": "map_set", "dot": dot(1, "b"), "path": [], "key": "m", "value": {"Map": {"x": {"Int": 1}}}})
    apply(d, {"kind": "map_remove", "dot": dot(2, "b"), "path": [], "key": "m", "removed": [dot(1, "b")]})
    assert value(d) == {"Map": {}}
    eff = apply(d, {"kind": "map_set", "dot": dot(3, "c"), "path": [key("m")], "key": "y", "value": {"Int": 2}})
    # Visible again, but the write that the removal saw stays hidden.
    assert value(d) == {"Map": {"m": {"Map": {"y": {"Int": 2}}}}}
    assert eff["patch"]["ops"] == [{"Set": {"path": [{"Key": "m"}], "value": {"Map": {"y": {"Int": 2}}}}}]


def test_string_elements_must_materialise_as_one_scalar():
    d = doc({"kind": "map", "fields": {"t": text_seq()}}, {"Map": {"t": s("ab")}})
    before = d.state()
    assert failure(d.mutate, json.dumps([splice([key("t")], 1, 0, [{"Int": 1}])])) == \
        "string sequence element did not materialize as a string"
    assert failure(d.mutate, json.dumps([splice([key("t")], 1, 0, [s("xy")])])) == \
        "string sequence element must contain one Unicode scalar value"
    assert failure(d.mutate, json.dumps([{"kind": "register_set", "path": [key("t"), element(eid(0, "$init", 1))],
                                          "value": s("")}])) == \
        "string sequence element must contain one Unicode scalar value"
    assert d.state() == before


# ---- mutate and apply ----

def test_empty_calls_change_nothing(note):
    before = note.state()
    assert note.mutate("[]") == '{"ops":[],"effect":{"patch":{"rev":0,"ops":[]},"deltas":[],"applied":0}}'
    assert note.apply("[]") == '{"patch":{"rev":0,"ops":[]},"deltas":[],"applied":0}'
    assert note.state() == before


def test_mutate_writes_ops_and_effect():
    d = doc({"kind": "map"}, {"Map": {}})
    assert d.mutate('[{"kind":"map_set","path":[],"key":"k","value":{"Int":1}}]') == (
        '{"ops":[{"kind":"map_set","dot":{"counter":1,"replica":"a"},"path":[],"key":"k","value":{"Int":1}}],'
        '"effect":{"patch":{"rev":0,"ops":[{"Set":{"path":[{"Key":"k"}],"value":{"Int":1}}}]},'
        '"deltas":[{"kind":"map_set","path":[],"key":"k","value":{"Int":1}}],"applied":1}}')


def test_counters_follow_each_other_and_a_splice_deletes_first(note):
    made = mutate(note, {"kind": "map_set", "path": [key("meta")], "key": "a", "value": {"Map": {}}},
                  {"kind": "set_add", "path": [key("tags")], "value": s("y")},
                  splice([key("title")], 0, 1, [s("H")]))
    assert [(op["kind"], op["dot"]["counter"]) for op in made["ops"]] == [
        ("map_set", 1), ("set_add", 2), ("sequence_delete", 3), ("sequence_insert", 4)]
    assert made["ops"][2]["ids"] == [eid(0, "$init", 0)]
    assert made["ops"][3]["after"] is None
    assert value(note)["Map"]["title"] == s("Hi")
    assert made["effect"]["applied"] == 4
    assert made["effect"]["patch"]["ops"] == [
        {"Set": {"path": [{"Key": "meta"}, {"Key": "a"}], "value": {"Map": {}}}},
        {"Insert": {"path": [{"Key": "tags"}], "index": 1, "value": s("y")}},
        {"Set": {"path": [{"Key": "title"}], "value": s("Hi")}},
    ]


def test_a_write_of_the_same_value_is_an_op_without_delta():
    d = doc({"kind": "map"}, {"Map": {"k": {"Int": 1}}})
    made = mutate(d, {"kind": "map_set", "path": [], "key": "k", "value": {"Int": 1}})
    assert len(made["ops"]) == 1
    assert made["effect"] == {"patch": {"rev": 0, "ops": []}, "deltas": [], "applied": 1}


def test_removing_a_key_never_had():
    d = doc({"kind": "map"}, {"Map": {}})
    made = mutate(d, {"kind": "map_remove", "path": [], "key": "k"})
    assert made["ops"] == [{"kind": "map_remove", "dot": dot(1, "a"), "path": [], "key": "k", "removed": []}]
    assert made["effect"]["deltas"] == []
    other = doc({"kind": "map"}, {"Map": {}}, "b")
    apply(other, *made["ops"])
    assert state(other)["root"]["entries"] == {
        "k": {"node": {"kind": "register", "value": None, "dot": None}, "removal_ops": [dot(1, "a")]}}


def test_removal_lists_the_dots_that_keep_the_entry_alive(note):
    made = mutate(note, {"kind": "map_set", "path": [key("meta")], "key": "m", "value": {"Map": {"x": {"Int": 1}}}},
                  {"kind": "map_set", "path": [key("meta"), key("m")], "key": "y", "value": {"Int": 2}},
                  {"kind": "map_remove", "path": [key("meta")], "key": "m"})
    assert made["ops"][2]["removed"] == [dot(1, "a"), dot(2, "a")]
    assert value(note)["Map"]["meta"] == {"Map": {}}
    removed = mutate(note, {"kind": "set_remove", "path": [key("people")], "key": ANN})
    assert removed["ops"][0]["removed"] == [dot(0, "$init")]
    assert removed["effect"]["deltas"] == [{"kind": "set_remove", "path": [key("people")], "key": ANN}]


def test_splice_bounds():
    d = doc({"kind": "map", "fields": {"t": text_seq()}}, {"Map": {"t": s("ab")}})
    assert mutate(d, splice([key("t")], 2, 0, [s("c")]))["ops"][0]["after"] == eid(0, "$init", 1)
    assert value(d)["Map"]["t"] == s("abc")
    assert failure(d.mutate, json.dumps([splice([key("t")], 4, 0, [])])) == \
        "sequence splice index 4 out of bounds (len 3)"
    assert failure(d.mutate, json.dumps([splice([key("t")], 2, 2, [])])) == \
        "sequence splice delete range 2..4 out of bounds (len 3)"
    assert failure(d.mutate, json.dumps([splice([key("t")], 1, 2**64 - 1, [])])) == \
        "sequence splice delete range 1..18446744073709551615 out of bounds (len 3)"
    # No operation, but the checks run.
    assert mutate(d, splice([key("t")], 3, 0, []))["ops"] == []
    assert failure(d.mutate, json.dumps([splice([], 0, 0, [])])) == "sequence_splice path does not address a sequence"
    # Deleted elements do not count.
    mutate(d, splice([key("t")], 0, 2, []))
    assert failure(d.mutate, json.dumps([splice([key("t")], 2, 0, [])])) == \
        "sequence splice index 2 out of bounds (len 1)"


def test_insert_of_several_values_is_a_chain():
    d = doc(seq(), {"List": []})
    made = mutate(d, {"kind": "sequence_insert", "path": [], "after": None, "values": [s("x"), s("y"), s("z")]})
    entries = state(d)["root"]["entries"]
    assert [e[0] for e in entries] == [eid(1, "a", i) for i in range(3)]
    assert [e[1]["after"] for e in entries] == [None, eid(1, "a", 0), eid(1, "a", 1)]
    assert made["effect"]["deltas"] == [{"kind": "sequence_insert", "path": [], "after": None, "elements": [
        {"id": eid(1, "a", i), "value": s(c)} for i, c in enumerate("xyz")]}]


def test_delta_reports_the_merged_value():
    d = doc(seq({"kind": "map", "fields": {"t": text_seq()}}), {"List": []})
    made = mutate(d, {"kind": "sequence_insert", "path": [], "values": [{"Map": {"t": s("ab")}}]})
    assert made["effect"]["deltas"][0]["elements"][0]["value"] == {"Map": {"t": s("ab")}}


def test_set_add_delta_carries_the_member_key(note):
    made = mutate(note, {"kind": "set_add", "path": [key("people")], "value": {"Map": {"id": {"Int": 2}}}})
    assert made["effect"]["deltas"] == [{"kind": "set_add", "path": [key("people")],
                                         "key": '[[["id"],{"Int":2}]]', "value": {"Map": {"id": {"Int": 2}}}}]


def test_apply_skips_what_it_has_seen_and_refuses_a_reused_dot(note):
    other = doc(NOTE, NOTE_VALUE, "b")
    ops = mutate(other, splice([key("title")], 0, 0, [s("a")]), splice([key("title")], 0, 0, [s("b")]))["ops"]
    eff = apply(note, ops[0], ops[0])
    assert eff["applied"] == 1
    assert apply(note, ops[0])["applied"] == 0
    before = note.state()
    forged = dict(ops[0], values=[s("Q")])
    assert failure(note.apply, json.dumps([ops[1], forged])) == \
        'operation dot Dot { counter: 1, replica: "b" } was reused with different content'
    assert note.state() == before
    # Member order, spacing and escapes do not change an operation.
    assert apply(note, json.loads(json.dumps(ops[0], sort_keys=True)))["applied"] == 0


@pytest.mark.parametrize("bad", [dot(0, "b"), dot(3, "$init"), dot(3, "")])
def test_a_bad_dot_rejects_the_whole_batch(note, bad):
    good = {"kind": "set_add", "dot": dot(2, "b"), "path": [key("tags")], "value": s("z")}
    before = note.state()
    message = failure(note.apply, json.dumps([good, dict(good, dot=bad)]))
    assert message == "invalid operation dot Dot { counter: %d, replica: %s }" % (bad["counter"],
                                                                                    json.dumps(bad["replica"]))
    assert note.state() == before


def test_an_older_register_write_is_recorded_but_changes_nothing():
    d = doc({"kind": "map"}, {"Map": {}})
    apply(d, {"kind": "map_set", "dot": dot(5, "b"), "path": [], "key": "k", "value": s("new")})
    eff = apply(d, {"kind": "register_set", "dot": dot(4, "c"), "path": [key("k")], "value": s("old")})
    assert eff == {"patch": {"rev": 0, "ops": []}, "deltas": [], "applied": 1}
    assert value(d) == {"Map": {"k": s("new")}}
    assert dot(4, "c") in state(d)["context"]["dots"]


def test_a_delete_may_come_before_its_insert():
    d = doc(text_seq(), s(""))
    apply(d, delete_op(2, "b", [eid(1, "b")]))
    assert state(d)["root"]["deletes"] == [[eid(1, "b"), [dot(2, "b")]]]
    eff = apply(d, insert_op(1, "b", "x"))
    assert value(d) == s("") and eff["deltas"] == [] and eff["applied"] == 1


def test_conflicting_predecessors():
    entry = {"after": None, "node": {"kind": "register", "value": s("a"), "dot": dot(5, "x")}, "inserted": True}
    text = saved({"kind": "sequence", "entries": [[eid(5, "x"), entry]], "deletes": []}, spec=text_seq())
    d = restore(text_seq(), text)
    assert failure(d.apply, json.dumps([insert_op(5, "x", "b", after=eid(0, "$init"))])) == \
        'sequence element ElementId { dot: Dot { counter: 5, replica: "x" }, index: 0 } has conflicting predecessors'
    assert d.state() == text.replace(" ", "")


IDENTITY = "set identity fields are immutable; remove and add the member instead"


@pytest.mark.parametrize(
    "keys, mutation, message",
    [
        ([["id"]], {"kind": "map_set", "path": [member("M")], "key": "name", "value": s("x")}, None),
        ([["id"]], {"kind": "map_set", "path": [member("M")], "key": "id", "value": s("x")}, IDENTITY),
        ([["id"]], {"kind": "register_set", "path": [member("M")], "value": s("x")}, IDENTITY),
        ([["meta", "id"]], {"kind": "map_set", "path": [member("M")], "key": "meta", "value": {"Map": {}}},
         IDENTITY),
        ([["meta", "id"]], {"kind": "map_set", "path": [member("M"), key("meta")], "key": "label",
                            "value": s("x")}, None),
        ([["meta", "id"]], {"kind": "map_set", "path": [member("M"), key("meta")], "key": "id", "value": s("x")},
         IDENTITY),
        ([], {"kind": "map_set", "path": [member("M")], "key": "name", "value": s("x")}, IDENTITY),
    ],
)
def test_identity_rule_for_set_members(keys, mutation, message):
    element = {"kind": "map", "values": {"kind": "map"}} if keys and len(keys[0]) > 1 else {"kind": "map"}
    root = {"kind": "set", "keys": keys, "element": element}
    if message is None:
        d = doc(root, {"List": []})
        mutate(d, mutation)  # the member is created, hidden: no adds
        assert value(d) == {"List": []}
    else:
        d = doc(root, {"List": []})
        before = d.state()
        assert failure(d.mutate, json.dumps([mutation])) == message
        assert d.state() == before


@pytest.mark.parametrize(
    "mutation, message",
    [
        ({"kind": "register_set", "path": [key("items")], "value": s("x")},
         "register_set path does not address a register"),
        ({"kind": "set_add", "path": [key("meta")], "value": s("x")}, "set_add path does not address a set"),
        ({"kind": "set_remove", "path": [key("meta")], "key": "k"}, "set_remove path does not address a set"),
        ({"kind": "map_remove", "path": [key("tags")], "key": "k"}, "map_remove path does not address a map"),
        ({"kind": "sequence_insert", "path": [key("tags")], "values": []},
         "sequence_insert path does not address a sequence"),
        ({"kind": "sequence_delete", "path": [key("tags")], "ids": []},
         "sequence_delete path does not address a sequence"),
        ({"kind": "map_set", "path": [key("tags")], "key": "k", "value": s("x")},
         "CRDT path segment does not match its policy"),
        ({"kind": "map_set", "path": [element(eid(0, "$init"))], "key": "k", "value": s("x")},
         "CRDT path segment does not match its policy"),
        ({"kind": "map_remove", "path": [key("nope")], "key": "k"}, 'unknown map key "nope"'),
        ({"kind": "set_remove", "path": [key("people"), member("zz"), key("notes")], "key": "k"},
         'unknown set member "zz"'),
        ({"kind": "sequence_splice", "path": [key("items"), element(eid(9, "q")), key("tags")], "index": 0,
          "delete_count": 0, "values": []},
         'unknown sequence element ElementId { dot: Dot { counter: 9, replica: "q" }, index: 0 }'),
        ({"kind": "set_add", "path": [key("people")], "value": {"Map": {"name": s("x")}}},
         'set key path ["id"] is missing segment "id"'),
        ({"kind": "set_add", "path": [key("people")], "value": s("x")},
         'set key path ["id"] descends through a non-map value'),
        ({"kind": "map_set", "path": [], "key": "title", "value": {"Int": 1}},
         "string sequence policy requires a string value"),
        ({"kind": "sequence_splice", "path": [], "index": 0, "delete_count": 0},
         "missing field `values` at line 1 column 142"),  # the whole array closed
    ],
)
def test_mutation_failures_change_nothing(note, mutation, message):
    before, value_before = note.state(), note.value()
    ok = {"kind": "set_add", "path": [key("tags")], "value": s("ok")}
    text = json.dumps([ok, mutation], separators=(",", ":"))
    assert failure(note.mutate, text) == message
    assert note.state() == before and note.value() == value_before
    # The counter did not move either.
    assert mutate(note, ok)["ops"][0]["dot"] == dot(1, "a")


def test_state_mismatch_inside_a_path():
    policy = {"kind": "map", "values": {"kind": "map", "values": {"kind": "map"}}}
    stray = {"kind": "map", "entries": {"m": {"node": {"kind": "register", "value": None, "dot": None}}}}
    d = restore(policy, saved(stray, spec=policy))
    assert failure(d.mutate, json.dumps([{"kind": "map_set", "path": [key("m"), key("x")], "key": "k",
                                          "value": s("x")}])) == "CRDT path segment does not match reducer state"
    assert failure(d.mutate, json.dumps([{"kind": "map_set", "path": [key("m")], "key": "k", "value": s("x")}])) == \
        "map policy has incompatible reducer state"
    assert failure(d.mutate, json.dumps([{"kind": "map_remove", "path": [key("m")], "key": "k"}])) == \
        "map policy has incompatible reducer state"


# ---- member_key ----

def test_member_key(note):
    assert note.member_key('[{"kind":"key","key":"people"}]', '{"Map":{"id":{"Int":7},"name":{"Str":"x"}}}') == \
        '[[["id"],{"Int":7}]]'
    assert note.member_key('[{"kind":"key","key":"tags"}]', '{"Str":"x"}') == '{"Str":"x"}'


@pytest.mark.parametrize(
    "path, value_json, message",
    [
        ('[{"kind":"key","key":"people"}]', '{"Map":{}}', 'set key path ["id"] is missing segment "id"'),
        ('[{"kind":"key","key":"people"}]', '"Null"', 'set key path ["id"] descends through a non-map value'),
        ('[{"kind":"key","key":"title"}]', '"Null"', "path does not address a set policy"),
        ('[{"kind":"key","key":"tags"},{"kind":"key","key":"x"}]', '"Null"',
         "CRDT path segment does not match its policy"),
        ('{}', '"Null"', "invalid type: map, expected a sequence at line 1 column 0"),
        ('[{"kind":0,"key":"tags"}]', '"Null"', "invalid type: integer `0`, expected variant identifier at line 1 column 10"),
        ('[]', 'x', "expected value at line 1 column 1"),
    ],
)
def test_member_key_failures(note, path, value_json, message):
    assert failure(note.member_key, path, value_json) == message


# ---- compaction ----

def compact_doc():
    d = doc({"kind": "map", "fields": {"t": text_seq()}}, {"Map": {"t": s("xy")}})
    mutate(d, {"kind": "map_set", "path": [], "key": "k", "value": s("v")})  # a:1
    mutate(d, {"kind": "map_remove", "path": [], "key": "k"})  # a:2
    mutate(d, splice([key("t")], 0, 1, []))  # a:3 deletes an initial element
    return d


def test_compact_nothing():
    d = compact_doc()
    before = d.state()
    assert d.compact("{}") == 0
    assert d.state() == before


def test_compact_moves_dots_into_the_prefix_and_drops_tombstones():
    d = compact_doc()
    assert d.compact('{"a":3}') == 2  # the removed entry and the deleted element's node
    st = state(d)
    assert st["context"] == {"compacted": {"a": 3}}
    assert "fingerprints" not in st
    assert "k" not in st["root"]["entries"]
    first = st["root"]["entries"]["t"]["node"]["entries"][0]
    assert first == [eid(0, "$init", 0), {"after": None, "node": None, "inserted": True}]
    assert value(d) == {"Map": {"t": s("y")}}
    assert d.compact('{"a":3}') == 0
    # Dots of the prefix are still seen: an old operation comes back and is skipped.
    assert apply(d, {"kind": "map_set", "dot": dot(1, "a"), "path": [], "key": "k", "value": s("other")})["applied"] == 0
    assert mutate(d, {"kind": "map_set", "path": [], "key": "j", "value": s("w")})["ops"][0]["dot"] == dot(4, "a")


def test_a_concurrent_write_keeps_a_removed_entry():
    d = compact_doc()
    apply(d, {"kind": "map_set", "dot": dot(1, "b"), "path": [], "key": "k", "value": s("b")})
    assert d.compact('{"a":3,"b":1}') == 1
    assert value(d) == {"Map": {"k": s("b"), "t": s("y")}}


@pytest.mark.parametrize(
    "frontier, message",
    [
        ('{"a":5}', "compaction frontier a:5 is not covered by contiguous observed dots after 0"),
        ('{"a":1,"b":1}', "compaction frontier b:1 is not covered by contiguous observed dots after 0"),
        ('[]', "invalid type: sequence, expected a map at line 1 column 0"),
        ('{"a":-1}', "invalid value: integer `-1`, expected u64 at line 1 column 7"),
        ('{"a":1.5}', "invalid type: floating point `1.5`, expected u64 at line 1 column 8"),
        ('{"a":1} x', "trailing characters at line 1 column 9"),
    ],
)
def test_compact_failures_change_nothing(frontier, message):
    d = compact_doc()
    before = d.state()
    assert failure(d.compact, frontier) == message
    assert d.state() == before


def test_coverage_counts_from_the_compacted_prefix():
    d = compact_doc()
    assert d.compact('{"a":2}') == 1
    assert d.compact('{"a":1,"z":0}') == 0
    assert state(d)["context"]["compacted"] == {"a": 2, "z": 0}
    assert failure(d.compact, '{"a":7}') == "compaction frontier a:7 is not covered by contiguous observed dots after 2"
    apply(d, {"kind": "map_set", "dot": dot(5, "a"), "path": [], "key": "q", "value": s("q")})
    assert failure(d.compact, '{"a":5}') == "compaction frontier a:5 is not covered by contiguous observed dots after 2"


def test_deleted_initial_elements_need_only_their_deletion_covered():
    d = compact_doc()
    assert d.compact('{"a":3}') == 2
    assert d.compact('{"a":3}') == 0


# ---- convergence ----

CONVERGE = NOTE
CONVERGE_VALUE = NOTE_VALUE


class Replica:
    def __init__(self, name, rng):
        self.doc = doc(CONVERGE, CONVERGE_VALUE, name)
        self.rng = rng
        self.name = name

    def elements(self, path_keys):
        node = state(self.doc)["root"]
        for k in path_keys:
            entry = node["entries"].get(k)
            if entry is None:
                return []
            node = entry["node"]
        return [e[0] for e in node.get("entries", [])] if node["kind"] == "sequence" else []

    def members(self, k):
        entry = state(self.doc)["root"]["entries"].get(k)
        return list(entry["node"]["entries"]) if entry else []

    def mutation(self):
        rng = self.rng
        v = value(self.doc)["Map"]
        title_len = len(v.get("title", s(""))["Str"]) if "title" in v and "Str" in v["title"] else 0
        items_len = len(v["items"]["List"]) if "items" in v and "List" in v["items"] else 0
        char = s(rng.choice("abé€😀"))
        scalar = rng.choice([{"Int": rng.randrange(3)}, s("v"), "Null", {"Float": -0.0}, {"Bool": True}])
        choice = rng.randrange(14)
        if choice < 3:
            index = rng.randrange(title_len + 1)
            return splice([key("title")], index, rng.randrange(2) if index < title_len else 0, [char])
        if choice == 3:
            ids = self.elements(["title"])
            return {"kind": "sequence_delete", "path": [key("title")], "ids": rng.sample(ids, min(2, len(ids)))}
        if choice == 4:
            index = rng.randrange(items_len + 1)
            return splice([key("items")], index, rng.randrange(2) if index < items_len else 0,
                          [{"Map": {"n": scalar, "tags": {"List": [s("t")]}}}])
        if choice == 5:
            ids = self.elements(["items"])
            if ids:
                return {"kind": "map_set", "path": [key("items"), element(rng.choice(ids))], "key": "n",
                        "value": scalar}
        if choice == 6:
            ids = self.elements(["items"])
            if ids:
                return {"kind": "set_add", "path": [key("items"), element(rng.choice(ids)), key("tags")],
                        "value": scalar}
        if choice == 7:
            return {"kind": "set_add", "path": [key("people")],
                    "value": {"Map": {"id": {"Int": rng.randrange(4)}, "name": scalar, "notes": s("n")}}}
        if choice == 8:
            members = self.members("people")
            if members:
                m = rng.choice(members)
                if rng.random() < 0.5:
                    return {"kind": "set_remove", "path": [key("people")], "key": m}
                return {"kind": "map_set", "path": [key("people"), member(m)], "key": "name", "value": scalar}
        if choice == 9:
            return {"kind": "set_add", "path": [key("tags")], "value": scalar}
        if choice == 10:
            members = self.members("tags")
            if members:
                return {"kind": "set_remove", "path": [key("tags")], "key": rng.choice(members)}
        if choice == 11:
            return {"kind": "map_set", "path": [key("meta")], "key": rng.choice("pq"),
                    "value": {"Map": {"k": scalar}}}
        if choice == 12:
            return {"kind": "map_remove", "path": [key("meta")], "key": rng.choice("pq")}
        return {"kind": "map_set", "path": [key("meta"), key(rng.choice("pq"))], "key": "k", "value": scalar}

    def edit(self):
        try:
            return mutate(self.doc, *[self.mutation() for _ in range(self.rng.randrange(1, 3))])["ops"]
        except ValueError:
            return []


def deliver(rng, target, ops):
    """All of `ops` to `target`, shuffled, in random batches, some twice."""
    ops = list(ops)
    ops += rng.sample(ops, len(ops) // 4)
    rng.shuffle(ops)
    while ops:
        n = rng.choice([1, 1, 2, 5, 50])
        batch, ops = ops[:n], ops[n:]
        apply(target.doc, *batch)


def contiguous(context, replica):
    c = context.get("compacted", {}).get(replica, 0)
    dots = {(d["counter"], d["replica"]) for d in context.get("dots", [])}
    while (c + 1, replica) in dots:
        c += 1
    return c


@pytest.mark.parametrize("seed", range(6))
def test_replicas_converge_whatever_the_delivery(seed):
    rng = random.Random(seed)
    replicas = [Replica(n, rng) for n in ("a", "b", "c")[: 2 + seed % 2]]
    log = []
    for _round in range(6):
        for r in replicas:
            for _ in range(rng.randrange(1, 5)):
                log.extend(r.edit())
        for r in replicas:
            deliver(rng, r, log)
        if rng.random() < 0.5:
            # Every replica has seen everything: compact what is contiguous.
            context = state(replicas[0].doc)["context"]
            frontier = {r.name: contiguous(context, r.name) for r in replicas}
            for r in replicas:
                r.doc.compact(json.dumps(frontier))
    for r in replicas:
        deliver(rng, r, log)  # re-delivery, after compaction too
    values = {r.doc.value() for r in replicas}
    assert len(values) == 1
    states = [state(r.doc) for r in replicas]
    assert all(st["context"] == states[0]["context"] for st in states)
    assert all(st == states[0] for st in states)
    for r in replicas:
        restored = ww.CrdtDocument.from_state(spec_text(CONVERGE), r.doc.state(), r.name)
        assert (restored.state(), restored.value()) == (r.doc.state(), r.doc.value())
