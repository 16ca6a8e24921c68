"""A first look at wirewright: model values between their JSON text and the
bytes of the JSON codec."""

import wirewright

# A model value in its tagged JSON form: every kind but Null is a one-entry
# map from the kind's name to its payload.
model = """
{"Map": {
    "title": {"Str": "Groceries"},
    "items": {"List": [{"Str": "milk"}, {"Str": "eggs"}]},
    "done":  {"Bool": false},
    "owner": {"Submodel": 42}
}}
"""

data = wirewright.encode(model)  # compact, with map keys in byte order
print("encoded:", data)

text = wirewright.decode(data)
print("decoded:", text)
assert wirewright.encode(text) == data  # the compact form is stable

try:
    wirewright.decode(b'{"Int": 1')
except ValueError as err:
    print("error:  ", err)

# ---- a CRDT document on two replicas ----
import json  # noqa: E402

# The CRDT spec says how every node merges: a text edited character by
# character, and a set of tags.
spec = json.dumps({"version": 1, "root": {"kind": "map", "fields": {
    "title": {"kind": "sequence", "materialization": "string"},
    "tags": {"kind": "set"},
}}})
initial = '{"Map": {"title": {"Str": "Groceries"}, "tags": {"List": []}}}'
alice = wirewright.CrdtDocument(spec, initial, "alice")
bob = wirewright.CrdtDocument(spec, initial, "bob")

title = [{"kind": "key", "key": "title"}]
tags = [{"kind": "key", "key": "tags"}]

# Both edit at the same time, without seeing each other's change.
by_alice = json.loads(alice.mutate(json.dumps([
    {"kind": "sequence_splice", "path": title, "index": 0, "delete_count": 0,
     "values": [{"Str": c} for c in "Weekly "]},
    {"kind": "set_add", "path": tags, "value": {"Str": "food"}},
])))["ops"]
by_bob = json.loads(bob.mutate(json.dumps([
    {"kind": "sequence_splice", "path": title, "index": 9, "delete_count": 0, "values": [{"Str": "!"}]},
    {"kind": "set_add", "path": tags, "value": {"Str": "home"}},
])))["ops"]

# Each takes the other's operations; the effect says what changed locally.
effect = json.loads(alice.apply(json.dumps(by_bob)))
print("alice saw:", effect["patch"])
bob.apply(json.dumps(by_alice))
assert alice.value() == bob.value()
print("converged:", alice.value())

# Save, restore, and compact: each replica made counters 1 and 2, and both
# have seen all of them.
saved = bob.state()
restored = wirewright.CrdtDocument.from_state(spec, saved, "bob")
assert restored.state() == saved and restored.value() == bob.value()
removed = restored.compact(json.dumps({"alice": 2, "bob": 2}))
print("compacted, tombstones removed:", removed, "state:", json.loads(restored.state())["context"])

# ---- a client's view of the live protocol ----

client = wirewright.ClientState()
# prepare says what a message would do; commit makes it so.
effect = client.prepare('{"t":"snapshot","id":1,"type":"Doc","rev":3,"value":"Null"}')
client.commit(effect)
message = client.proposal(1, '[{"Set":{"path":[],"value":{"Int":7}}}]')
print("proposal:", message)
proposal_id = json.loads(message)["proposal"]
client.commit(client.prepare(json.dumps({"t": "ack", "id": 1, "rev": 4, "proposal": proposal_id})))
client.commit(client.prepare('{"t":"patch","id":1,"patch":{"rev":4,"ops":[]}}'))
print("revisions:", client.revisions(), "pending:", client.pending())

# One message in each connection codec.
for codec in ["json", "msgpack", "cbor"]:
    data = wirewright.encode_message(message, codec)
    assert wirewright.decode_message(data, codec) == message
    print(f"{codec:8s}", data[:24], "...")

# ---- hosting a model: mutate into a patch, apply it to a mirror ----

host, mirror = wirewright.Store(), wirewright.Store()
task = '{"Map": {"title": {"Str": "Paint"}, "steps": {"List": [{"Str": "sand"}, {"Str": "prime"}]}}}'
task_id = host.host("Task", task)
mirror_id = mirror.host("Task", task)

# Replacing the hosted value yields the patch from the old value to the new.
patch = host.mutate(task_id, '{"Map": {"title": {"Str": "Paint"}, "done": {"Bool": false},'
                             ' "steps": {"List": [{"Str": "prime"}, {"Str": "sand"}, {"Str": "coat"}]}}}')
print("patch:   ", patch)
assert mirror.apply(mirror_id, patch)
assert mirror.snapshot(mirror_id) == host.snapshot(task_id)
print("mirror:  ", mirror.snapshot(mirror_id))

# diff and apply do the same on plain JSON texts; a patch that does not fit
# is refused as a whole, and the mirror keeps its value and revision.
assert wirewright.apply(task, wirewright.diff(task, task)) == wirewright.encode(task).decode()
try:
    mirror.apply(mirror_id, '{"rev": 9, "ops": [{"RemoveAt": {"path": [{"Key": "steps"}], "index": 7}}]}')
except ValueError as err:
    print("refused: ", err)
assert mirror.snapshot(mirror_id) == host.snapshot(task_id)

# ---- the binary codecs and the generic conversions ----

for codec in ["application/json", "application/msgpack", "application/cbor"]:
    data = wirewright.encode_as('{"Map":{"n":{"Int":200},"x":{"Float":1.5}}}', codec)
    assert wirewright.decode_as(data, codec) == '{"Map":{"n":{"Int":200},"x":{"Float":1.5}}}'
    print(f"{codec:20s}", data.hex(" "))

doc = '{"users":[{"name":"ada","id":1}],"ok":true}'
packed = wirewright.json_to_msgpack(doc)
print("msgpack:", packed.hex(" "), "->", wirewright.msgpack_to_json(packed))
cbor = wirewright.json_to_cbor(doc)
print("cbor:   ", cbor.hex(" "), "->", wirewright.cbor_to_json(cbor))
