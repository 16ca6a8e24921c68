"""wirewright.Store: hosting, snapshots, mutation into patches, applying
patches; and the class machinery seen through it."""

import gc
import json
import weakref

import pytest

import wirewright as ww
from conftest import raised
from model_values import I, L, M, NULL, S, Generator, key, patch, remove, set_, text

TASK = M(done={"Bool": False}, title=S("x"))


@pytest.fixture
def store():
    return ww.Store()


def snap(store, id_):
    return json.loads(store.snapshot(id_))


# ---- hosting and snapshots ----

def test_ids_count_up_from_one_and_a_failed_host_uses_none(store):
    assert store.host("T", '"Null"') == 1
    assert store.host("T", '"Null"') == 2
    err = raised(store.host, "T", "{")
    assert type(err) is ValueError and str(err) == "EOF while parsing an object at line 1 column 1"
    assert store.host("T", '"Null"') == 3


def test_snapshot_text(store):
    store.host("Task", text(TASK))
    store.host("", ' {"Int" : 1} ')
    store.host('a"b\nc\u00e9', '"Null"')
    assert store.snapshot(1) == '{"rev":0,"type_name":"Task","value":{"Map":{"done":{"Bool":false},"title":{"Str":"x"}}}}'
    assert store.snapshot(2) == '{"rev":0,"type_name":"","value":{"Int":1}}'
    assert store.snapshot(3) == '{"rev":0,"type_name":"a\\"b\\nc\u00e9","value":"Null"}'


def test_unknown_ids(store):
    store.host("T", '"Null"')
    assert store.snapshot(0) is None
    assert store.snapshot(99) is None
    assert store.mutate(99, '"Null"') is None
    assert store.apply(99, '{"rev":1,"ops":[]}') is False


def test_json_is_read_before_the_id_is_looked_up(store):
    err = raised(store.mutate, 99, "not json")
    assert type(err) is ValueError and str(err) == "expected value at line 1 column 1"
    err = raised(store.apply, 99, '{"ops":[]}')
    assert type(err) is ValueError and str(err) == "missing field `rev` at line 1 column 10"


def test_stores_are_independent():
    a, b = ww.Store(), ww.Store()
    assert a.host("T", '"Null"') == 1
    assert b.host("U", text(I(2))) == 1
    assert snap(a, 1)["value"] == NULL


# ---- mutate ----

def test_mutate_returns_the_patch_at_the_next_revision(store):
    store.host("Task", text(TASK))
    new = M(done={"Bool": True}, title=S("x"), tags=L(S("a")))
    assert store.mutate(1, text(new)) == patch(
        set_([key("done")], {"Bool": True}), set_([key("tags")], L(S("a"))), rev=1,
    )
    assert snap(store, 1) == {"rev": 1, "type_name": "Task", "value": new}


def test_unchanged_value_still_takes_a_revision(store):
    store.host("T", text(L(1)))
    assert store.mutate(1, text(L(1))) == '{"rev":1,"ops":[]}'
    assert store.mutate(1, text(L(1))) == '{"rev":2,"ops":[]}'


def test_mutated_patches_keep_a_mirror_in_step():
    host, mirror = ww.Store(), ww.Store()
    gen = Generator(seed=7)
    value = gen.value()
    host.host("M", text(value))
    mirror.host("M", text(value))
    for _ in range(100):
        value = gen.edited(value)
        assert mirror.apply(1, host.mutate(1, text(value))) is True
        assert mirror.snapshot(1) == host.snapshot(1)


# ---- apply ----

def test_apply_takes_the_patch_revision_as_given(store):
    store.host("T", '"Null"')
    assert store.apply(1, '{"rev":7,"ops":[]}') is True
    assert snap(store, 1)["rev"] == 7
    assert store.apply(1, '{"ops":[],"rev":3}') is True
    assert snap(store, 1)["rev"] == 3


def test_failed_patch_leaves_the_model_as_it_was(store):
    store.host("T", text(M(a=I(1))))
    before = store.snapshot(1)
    err = raised(store.apply, 1, patch(set_([key("b")], I(2)), remove([]), rev=9))
    assert type(err) is ValueError and str(err) == "remove path is empty"
    assert store.snapshot(1) == before


def test_apply_agrees_with_the_module_function_and_is_all_or_nothing(store):
    # Patches made for one value, applied to another: some fit, some fail.
    gen = Generator(seed=99)
    pairs = list(gen.pairs(150))
    store.host("T", pairs[0][0])
    for rev, (old, new) in enumerate(pairs, start=1):
        held = snap(store, 1)
        p = json.loads(ww.diff(old, new))
        p["rev"] = rev
        try:
            expected = ww.apply(text(held["value"]), text(p))
        except ValueError as failure:
            err = raised(store.apply, 1, text(p))
            assert (type(err), str(err)) == (ValueError, str(failure))
            assert snap(store, 1) == held
        else:
            assert store.apply(1, text(p)) is True
            assert snap(store, 1) == {"rev": rev, "type_name": "T", "value": json.loads(expected)}


# ---- the class machinery through Store ----

METHODS = {
    "host": ("($self, type_name, value_json)", "Host a model from its JSON; returns the assigned id."),
    "snapshot": ("($self, id)", '`{"type_name":..,"rev":..,"value":..}` for a hosted model, or `None`.'),
    "mutate": ("($self, id, value_json)", "Replace a hosted model from JSON; returns the JSON patch (or `None` if id unknown)."),
    "apply": ("($self, id, patch_json)", "Apply a JSON patch to a mirrored model; returns whether the id was known."),
}


def test_method_table():
    methods = [n for n, v in vars(ww.Store).items() if callable(v) and not n.startswith("__")]
    assert methods == list(METHODS)
    for name, (signature, doc) in METHODS.items():
        method = getattr(ww.Store, name)
        assert (method.__text_signature__, method.__doc__) == (signature, doc)


def test_instances_are_plain(store):
    assert not hasattr(store, "__dict__")
    assert not gc.is_tracked(store)
    with pytest.raises(TypeError):
        weakref.ref(store)
    with pytest.raises(TypeError):
        type("Sub", (ww.Store,), {})
    assert ww.Store.__module__ == "builtins"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: ww.Store(1), "Store.__new__() takes 0 positional arguments but 1 was given"),
        (lambda s: s.host("T"), "Store.host() missing 1 required positional argument: 'value_json'"),
        (lambda s: s.snapshot(), "Store.snapshot() missing 1 required positional argument: 'id'"),
        (lambda s: s.apply(1, '"x"', 3), "Store.apply() takes 2 positional arguments but 3 were given"),
        (lambda s: s.mutate(1, idd=2), "Store.mutate() got an unexpected keyword argument 'idd'"),
    ],
)
def test_argument_matching(store, call, message):
    err = raised(call, store)
    assert (type(err), str(err)) == (TypeError, message)


@pytest.mark.parametrize(
    "call, exc_type, parameter",
    [
        (lambda s: s.snapshot(-1), OverflowError, "id"),
        (lambda s: s.snapshot(2**64), OverflowError, "id"),
        (lambda s: s.snapshot("1"), TypeError, "id"),
        (lambda s: s.host("T", 5), TypeError, "value_json"),
        (lambda s: s.host(None, '"Null"'), TypeError, "type_name"),
        (lambda s: s.apply(1, b"{}"), TypeError, "patch_json"),
    ],
)
def test_argument_conversion(store, call, exc_type, parameter):
    err = raised(call, store)
    assert type(err) is exc_type
    assert err.__notes__ == [f"while processing '{parameter}'"]


def test_id_accepts_bool_and_index_objects(store):
    store.host("T", '"Null"')

    class One:
        def __index__(self):
            return 1

    assert store.snapshot(True) == store.snapshot(One()) == store.snapshot(1)


class CallsBack:
    """An id whose conversion calls back into the store while the flag is held."""

    def __init__(self, callback):
        self.callback = callback

    def __index__(self):
        self.callback()
        return 1


@pytest.mark.parametrize(
    "outer, inner, message",
    [
        ("mutate", lambda s: s.snapshot(1), "Already mutably borrowed"),
        ("apply", lambda s: s.snapshot(1), "Already mutably borrowed"),
        ("mutate", lambda s: s.host("T", '"Null"'), "Already borrowed"),
        ("snapshot", lambda s: s.host("T", '"Null"'), "Already borrowed"),
        ("snapshot", lambda s: s.apply(1, '{"rev":0,"ops":[]}'), "Already borrowed"),
    ],
)
def test_conflicting_reentry_is_refused(store, outer, inner, message):
    store.host("T", '"Null"')
    args = {"mutate": ('"Null"',), "apply": ('{"rev":0,"ops":[]}',), "snapshot": ()}[outer]
    err = raised(getattr(store, outer), CallsBack(lambda: inner(store)), *args)
    assert (type(err), str(err)) == (RuntimeError, message)
    assert err.__notes__ == ["while processing 'id'"]
    # the flag is free again, and the refused call changed nothing
    assert store.snapshot(1) == '{"rev":0,"type_name":"T","value":"Null"}'
    assert store.host("T", '"Null"') == 2


def test_shared_calls_nest(store):
    store.host("T", '"Null"')
    seen = []
    assert store.snapshot(CallsBack(lambda: seen.append(store.snapshot(1)))) == seen[0]
