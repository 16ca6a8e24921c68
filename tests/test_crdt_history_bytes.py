"""CrdtDocument writes the same bytes for the same history as the document
did before it held its state in the compact form: saved states, operations,
effects, values, compaction counts and error texts.

tests/data/crdt_histories.json holds the inputs and, for every result, the
first 16 hexadecimal digits of the SHA-256 of its text (or of the error text),
recorded with that earlier build: seeded histories of three replicas
(mutations of every kind, batches of received operations with repeats and a
reused dot, compactions, restores), and saved states that take the readers'
liberties (member order, array forms, unknown members, repeated dots,
unchecked fingerprint digits, empty deletion records) or are refused."""

import hashlib
import json
from pathlib import Path

import pytest

import wirewright as ww

FIXTURE = json.loads((Path(__file__).parent / "data" / "crdt_histories.json").read_text(encoding="utf-8"))
SPEC = FIXTURE["spec"]
INITIAL = FIXTURE["initial"]
SPLICE = ('[{"kind":"sequence_splice","path":[{"kind":"key","key":"title"}],"index":1,"delete_count":1,'
          '"values":[{"Str":"w"}]}]')


def digest(text):
    return hashlib.sha256(text.encode()).hexdigest()[:16]


def outcome(fn, *args):
    try:
        result = fn(*args)
    except ValueError as err:
        return "ValueError: " + str(err)
    return result if isinstance(result, str) else str(result)


@pytest.mark.parametrize("history", range(len(FIXTURE["histories"])))
def test_histories_give_the_recorded_bytes(history):
    docs = {name: ww.CrdtDocument(SPEC, INITIAL, name) for name in "abc"}
    for step, (name, method, arg, expected) in enumerate(FIXTURE["histories"][history]):
        if method == "restore":
            docs[name] = ww.CrdtDocument.from_state(SPEC, docs[name].state(), name)
            result = docs[name].state()
        else:
            result = outcome(getattr(docs[name], method), *([] if arg is None else [arg]))
        assert digest(result) == expected, (step, name, method, arg, result[:500])


@pytest.mark.parametrize("case", range(len(FIXTURE["saved_states"])))
def test_saved_states_read_and_write_the_recorded_bytes(case):
    text, expected = FIXTURE["saved_states"][case]
    try:
        doc = ww.CrdtDocument.from_state(SPEC, text, "b")
    except ValueError as err:
        results = ["ValueError: " + str(err)]
    else:
        results = [doc.state(), doc.value(), doc.mutate(SPLICE), doc.state()]
    assert [digest(r) for r in results] == expected, [r[:500] for r in results]
