"""wirewright.diff: the structural diff of two model values."""

import json

import pytest

import wirewright as ww
from conftest import raised
from model_values import (
    F, I, L, M, NULL, S, Generator, idx, insert, key, move, patch, remove, remove_at, reorder, set_, text,
)

TEXTS = [S(f"a{i}") for i in range(10)]

# (old, new, the operations of the patch)
EXAMPLES = {
    "equal values": (M(a=L(1, 2), b=NULL), M(a=L(1, 2), b=NULL), []),
    "zeros of both signs are equal": (F(0.0), F(-0.0), []),
    "different kinds": (I(1), F(1.0), [set_([], F(1.0))]),
    "map against list": (M(a=I(1)), L(1), [set_([], L(1))]),
    "map: new keys first, then removals": (
        M(a=I(2), b=I(1)), M(a=I(5), c=I(3)),
        [set_([key("a")], I(5)), set_([key("c")], I(3)), remove([key("b")])],
    ),
    "rotation by one": (L(1, 2, 3), L(3, 1, 2), [move([], 2, 0)]),
    "nested list: move then insert": (
        M(k=L(1, 2)), M(k=L(2, 1, 3)),
        [move([key("k")], 1, 0), insert([key("k")], 2, I(3))],
    ),
    "moves rather than removing the head": (
        L(7, 1, 2, 3), L(1, 2, 3),
        [move([], 1, 0), move([], 2, 1), move([], 3, 2), remove_at([], 3)],
    ),
    "reverse of three": (L(1, 2, 3), L(3, 2, 1), [move([], 2, 0), move([], 2, 1)]),
    "move then replace": (L(1, 2), L(3, 1), [move([], 0, 1), set_([idx(0)], I(3))]),
    "equal neighbour: replace in place": (L(1, 1), L(3, 1), [set_([idx(0)], I(3))]),
    "moves then replace": (
        L(1, 2, 3), L(4, 1, 2),
        [move([], 0, 1), move([], 0, 2), move([], 0, 1), set_([idx(0)], I(4))],
    ),
    "emptied": (L(1, 2, 3), L(), [remove_at([], 2), remove_at([], 1), remove_at([], 0)]),
    "filled": (L(), L(1, 2), [insert([], 0, I(1)), insert([], 1, I(2))]),
    "reverse of eight: the walk runs over the budget": (
        L(*range(8)), L(*range(7, -1, -1)), [reorder([], [7, 6, 5, 4, 3, 2, 1, 0])],
    ),
    "reverse of ten: the shortcut": (
        L(*range(10)), L(*range(9, -1, -1)), [reorder([], list(range(9, -1, -1)))],
    ),
    "rotation of nine": (L(*range(9)), L(*range(1, 9), 0), [reorder([], [1, 2, 3, 4, 5, 6, 7, 8, 0])]),
    "not a rearrangement, over the budget: positional": (
        L(*TEXTS), L(S("b"), *TEXTS[:9]),
        [set_([idx(i)], v) for i, v in enumerate([S("b"), *TEXTS[:9]])],
    ),
    "one insert at the head": (L(*TEXTS), L(S("b"), *TEXTS), [insert([], 0, S("b"))]),
    "list in a list is diffed in place": (L(L(1, 2)), L(L(2, 1)), [move([idx(0)], 1, 0)]),
    # The walk costs exactly its budget of 64 here, which is still allowed;
    # one unit more would have fallen back to the positional diff.
    "a cost equal to the budget goes on": (
        L(7, 1, 6), L(8, 8, 3, 4, 7, 1),
        [insert([], 0, I(8)), insert([], 1, I(8)), insert([], 2, I(3)),
         move([], 3, 4), move([], 3, 5), move([], 3, 4), set_([idx(3)], I(4))],
    ),
    "a rearrangement needs equal values, not only equal text": (
        # -0.0 and 0.0 are equal but written differently: no order is found,
        # and the walk sees nothing to change.
        L(F(0.0), F(-0.0)), L(F(-0.0), F(0.0)), [],
    ),
    "deep paths": (
        M(a=L(M(b=I(1)))), M(a=L(M(b=I(2), c=NULL))),
        [set_([key("a"), idx(0), key("b")], I(2)), set_([key("a"), idx(0), key("c")], NULL)],
    ),
}


@pytest.mark.parametrize("old, new, ops", EXAMPLES.values(), ids=EXAMPLES.keys())
def test_examples(old, new, ops):
    assert ww.diff(text(old), text(new)) == patch(*ops)


def test_patch_is_compact_and_keys_are_escaped():
    assert ww.diff(' { "Map" : { } } ', '{"Map":{"q\\"\\n":"Null"}}') == (
        '{"rev":0,"ops":[{"Set":{"path":[{"Key":"q\\"\\n"}],"value":"Null"}}]}'
    )


@pytest.mark.parametrize(
    "old, new, message",
    [
        ("x", '"Null"', "expected value at line 1 column 1"),
        ('"Null"', '{"Int":1.5}', "invalid type: floating point `1.5`, expected i64 at line 1 column 10"),
        # old is read, and refused, before new is looked at
        ('{"Int":}', "x", "expected value at line 1 column 8"),
        ('"Int"', '"Null"', "invalid type: unit variant, expected newtype variant"),
    ],
)
def test_reader_errors(old, new, message):
    err = raised(ww.diff, old, new)
    assert type(err) is ValueError
    assert str(err) == message


# ---- properties over random values ----

PAIRS = list(Generator(seed=20240611).pairs(400))


def same_value(a, b):
    """Model-value equality: Float compares as numbers (0.0 equals -0.0),
    kinds stay distinct ({"Int":1} is not {"Float":1.0})."""
    return json.loads(a) == json.loads(b)


def test_applying_the_diff_gives_the_new_value():
    for old, new in PAIRS:
        assert same_value(ww.apply(old, ww.diff(old, new)), new), (old, new)


def test_a_value_against_itself_gives_no_operations():
    for old, _ in PAIRS:
        assert ww.diff(old, old) == '{"rev":0,"ops":[]}'


def test_operations_apply_one_by_one():
    # Each position refers to the list as the operations before it left it.
    for old, new in PAIRS:
        value = old
        for op in json.loads(ww.diff(old, new))["ops"]:
            value = ww.apply(value, patch(op))
        assert same_value(value, new), (old, new)

