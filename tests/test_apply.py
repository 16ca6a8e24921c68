"""wirewright.apply: a patch applied to a model value."""

import pytest

import wirewright as ww
from conftest import raised
from model_values import (
    F, I, L, M, NULL, S, idx, insert, key, move, patch, remove, remove_at, reorder, set_, text,
)

ABC = L(S("a"), S("b"), S("c"))
A, B_, C = S("a"), S("b"), S("c")
MAX = 2**64 - 1

# (value, operations, result)
APPLIED = {
    "revision is ignored": (I(1), [], I(1)),
    "set root replaces any kind": (L(1), [set_([], M(x=NULL))], M(x=NULL)),
    "set adds a key": (M(), [set_([key("x")], I(1))], M(x=I(1))),
    "set replaces a key": (M(x=I(1)), [set_([key("x")], S("y"))], M(x=S("y"))),
    "set replaces an element": (ABC, [set_([idx(1)], I(9))], L(A, I(9), C)),
    "set deep": (M(a=L(M(b=I(1)))), [set_([key("a"), idx(0), key("b")], I(2))], M(a=L(M(b=I(2))))),
    "insert at the head": (ABC, [insert([], 0, S("z"))], L(S("z"), A, B_, C)),
    "insert at the length appends": (ABC, [insert([], 3, S("z"))], L(A, B_, C, S("z"))),
    "insert into a nested list": (M(k=L()), [insert([key("k")], 0, NULL)], M(k=L(NULL))),
    "remove_at": (ABC, [remove_at([], 1)], L(A, C)),
    "move forward": (ABC, [move([], 0, 2)], L(B_, C, A)),
    "move backward": (ABC, [move([], 2, 0)], L(C, A, B_)),
    "move in place": (ABC, [move([], 1, 1)], ABC),
    "reorder": (ABC, [reorder([], [2, 0, 1])], L(C, A, B_)),
    "reorder identity": (ABC, [reorder([], [0, 1, 2])], ABC),
    "reorder of an empty list": (L(), [reorder([], [])], L()),
    "remove a key": (M(a=I(1), b=I(2)), [remove([key("a")])], M(b=I(2))),
    "remove an absent key": (M(a=I(1)), [remove([key("zz")])], M(a=I(1))),
    "remove by index removes the element": (ABC, [remove([idx(0)])], L(B_, C)),
    "operations run in order": (
        L(1, 2), [insert([], 2, I(3)), move([], 2, 0), set_([idx(1)], F(1.5))], L(3, F(1.5), 2),
    ),
}


@pytest.mark.parametrize("value, ops, result", APPLIED.values(), ids=APPLIED.keys())
def test_applied(value, ops, result):
    assert ww.apply(text(value), patch(*ops, rev=5)) == text(result)


# (value, operations, message); the last operation is the one that fails
FAILURES = {
    "set key on a list": (L(1), [set_([key("x")], NULL)], "expected Value::Map, found List([Int(1)])"),
    "set index past the end": (L(1), [set_([idx(1)], NULL)], "set index 1 out of bounds"),
    "set index on a map": (M(), [set_([idx(0)], NULL)], "expected Value::List, found Map({})"),
    "missing key on the way": (M(), [set_([key("a"), key("b")], NULL)], 'path key "a" not found'),
    "key quoted in debug form": (M(), [set_([key('q"\n'), key("b")], NULL)], 'path key "q\\"\\n" not found'),
    "key step into a scalar": (L(1), [set_([idx(0), key("k")], NULL)], "expected Value::Map, found Int(1)"),
    "index step into a map": (M(a=F(1e16)), [remove([idx(0), key("a")])], 'expected Value::List, found Map({"a": Float(1e16)})'),
    "index step past the end": (L(L()), [insert([idx(1)], 0, NULL)], "path index 1 out of bounds"),
    "insert past the length": (ABC, [insert([], 4, NULL)], "insert index 4 out of bounds (len 3)"),
    "insert near 2^64": (ABC, [insert([], MAX, NULL)], f"insert index {MAX} out of bounds (len 3)"),
    "insert into a map": (M(), [insert([], 0, NULL)], "expected Value::List, found Map({})"),
    "remove_at at the length": (ABC, [remove_at([], 3)], "remove index 3 out of bounds (len 3)"),
    "remove_at near 2^64": (ABC, [remove_at([], MAX)], f"remove index {MAX} out of bounds (len 3)"),
    "remove_at on a string": (S("x"), [remove_at([], 0)], 'expected Value::List, found Str("x")'),
    "move destination": (ABC, [move([], 0, 3)], "move destination index 3 out of bounds (len 3)"),
    "move source": (ABC, [move([], 3, 0)], "move source index 3 out of bounds (len 3)"),
    "move source checked first": (L(), [move([], MAX, MAX)], f"move source index {MAX} out of bounds (len 0)"),
    "move destination near 2^64": (ABC, [move([], 0, MAX)], f"move destination index {MAX} out of bounds (len 3)"),
    "reorder too short": (ABC, [reorder([], [0, 1])], "reorder length 2 does not match list length 3"),
    "reorder duplicate before out of range": (ABC, [reorder([], [0, 0, 5])], "reorder index 0 is duplicated"),
    "reorder out of range": (ABC, [reorder([], [0, 1, 3])], "reorder index 3 out of bounds (len 3)"),
    "reorder near 2^64": (ABC, [reorder([], [MAX, 0, 1])], f"reorder index {MAX} out of bounds (len 3)"),
    "reorder on null": (NULL, [reorder([], [])], "expected Value::List, found Null"),
    "remove the root": (M(), [remove([])], "remove path is empty"),
    "remove key from a list": (L(1), [remove([key("a")])], "expected Value::Map, found List([Int(1)])"),
    "remove index past the end": (ABC, [remove([idx(3)])], "remove index 3 out of bounds (len 3)"),
    "second operation fails": (M(), [set_([key("a")], I(1)), remove([])], "remove path is empty"),
    "length is taken when the operation starts": (
        ABC, [remove_at([], 0), insert([], 3, NULL)], "insert index 3 out of bounds (len 2)",
    ),
}


@pytest.mark.parametrize("value, ops, message", FAILURES.values(), ids=FAILURES.keys())
def test_failures(value, ops, message):
    err = raised(ww.apply, text(value), patch(*ops))
    assert type(err) is ValueError
    assert str(err) == message


@pytest.mark.parametrize(
    "value, patch_text, message",
    [
        ("x", "x", "expected value at line 1 column 1"),  # value is read first
        ('"Null"', '{"ops":[]}', "missing field `rev` at line 1 column 10"),
        ('"Null"', '{"rev":0,"ops":[{"Move":[[],2]}]}',
         "invalid length 2, expected struct variant Op::Move with 3 elements at line 1 column 30"),
        ('"Null"', '{"rev":0,"ops":[{"Insert":{"path":[],"index":-1,"value":"Null"}}]}',
         "invalid value: integer `-1`, expected usize at line 1 column 47"),
        ('"Null"', '{"rev":0,"ops":[]} x', "trailing characters at line 1 column 20"),
    ],
)
def test_reader_errors(value, patch_text, message):
    err = raised(ww.apply, value, patch_text)
    assert type(err) is ValueError
    assert str(err) == message
