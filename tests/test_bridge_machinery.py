"""The bridge's generic machinery, through the test-only module
_wirewright_probe: every parameter and result kind, the three method
flavours, access flags, and the life of class instances and types."""

import gc
import sys
import weakref

import pytest

from conftest import raised


@pytest.fixture
def counter(probe):
    return probe.Counter("c")


class Index:
    """An object whose __index__ runs a callback before answering."""

    def __init__(self, value, callback=None):
        self.value = value
        self.callback = callback

    def __index__(self):
        if self.callback is not None:
            self.callback()
        return self.value


# ---- registration ----

def test_pending_entries_are_left_out(probe):
    assert probe.__all__ == ["echo", "echo_bytes", "echo_id", "fail", "live", "join", "greet", "make_broken", "Counter"]
    assert not hasattr(probe, "not_yet")
    assert not hasattr(probe, "Pending")


def test_class_shape(probe):
    cls = probe.Counter
    assert (cls.__name__, cls.__qualname__, cls.__module__) == ("Counter", "Counter", "builtins")
    assert cls.__text_signature__ == "(label)"
    assert cls.__doc__ == "A labelled total with a log."
    assert cls.__bases__ == (object,)
    methods = {"add", "note", "entry", "has", "label", "log", "reset", "starting_at"}
    assert set(vars(cls)) == methods | {"__new__", "__doc__", "__module__"}


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("add", "($self, amount)", "Add to the total; returns the new total."),
        ("note", "($self, entry, detail=None)", None),
        ("label", "($self)", None),
        ("starting_at", "(label, total)", None),
    ],
)
def test_method_docstrings(probe, name, signature, doc):
    method = getattr(probe.Counter, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc


def test_classes_cannot_be_subclassed(probe):
    with pytest.raises(TypeError):
        type("Sub", (probe.Counter,), {})


def test_instances_have_no_dict_weakref_or_gc_tracking(counter):
    with pytest.raises(AttributeError):
        counter.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(counter)
    assert not gc.is_tracked(counter)
    assert repr(counter).startswith("<builtins.Counter object at ")
    assert counter == counter and hash(counter) == hash(counter)


def test_method_through_the_class_with_a_foreign_instance_is_refused(probe):
    with pytest.raises(TypeError):
        probe.Counter.add(object(), 1)


def test_failed_type_creation_is_wrapped_with_its_cause(probe):
    err = raised(probe.make_broken)
    assert type(err) is RuntimeError
    assert str(err) == "An error occurred while initializing class Broken"
    assert type(err.__cause__) is ValueError


# ---- argument matching: the forms the shipped module cannot show yet ----

@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.join(), "join() missing 3 required positional arguments: 'a', 'b', and 'c'"),
        (lambda p: p.join("x"), "join() missing 2 required positional arguments: 'b' and 'c'"),
        (lambda p: p.join(b="y"), "join() missing 2 required positional arguments: 'a' and 'c'"),
        (lambda p: p.join("x", c="z"), "join() missing 1 required positional argument: 'b'"),
        (lambda p: p.live(1), "live() takes 0 positional arguments but 1 was given"),
        (lambda p: p.greet("a", "b", "c"), "greet() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda p: p.greet(), "greet() missing 1 required positional argument: 'name'"),
        (lambda p: p.Counter(), "Counter.__new__() missing 1 required positional argument: 'label'"),
        (lambda p: p.Counter("a", "b"), "Counter.__new__() takes 1 positional arguments but 2 were given"),
        (lambda p: p.Counter(label="a", x=1), "Counter.__new__() got an unexpected keyword argument 'x'"),
        (lambda p: p.Counter("a", label="b"), "Counter.__new__() got multiple values for argument 'label'"),
        (lambda p: p.Counter("c").add(), "Counter.add() missing 1 required positional argument: 'amount'"),
        (lambda p: p.Counter("c").note("a", "b", "c"), "Counter.note() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda p: p.Counter.starting_at("a"), "Counter.starting_at() missing 1 required positional argument: 'total'"),
    ],
)
def test_argument_matching_messages(probe, call, message):
    err = raised(call, probe)
    assert type(err) is TypeError
    assert str(err) == message
    assert not hasattr(err, "__notes__")


def test_keywords_fill_parameters_by_name(probe):
    assert probe.join(c="3", a="1", b="2") == "123"
    assert probe.Counter(label="k").label() == "k"


def test_methods_without_parameters_refuse_arguments(counter):
    with pytest.raises(TypeError):
        counter.label(1)


# ---- parameter kinds ----

@pytest.mark.parametrize(
    "arg, expected",
    [(0, 0), (True, 1), (2**64 - 1, 2**64 - 1), (Index(7), 7)],
)
def test_id_accepts_integers_and_index_objects(probe, arg, expected):
    assert probe.echo_id(arg) == expected


@pytest.mark.parametrize(
    "arg, exc_type",
    [(-1, OverflowError), (2**64, OverflowError), ("3", TypeError), (1.0, TypeError), (None, TypeError)],
)
def test_id_errors_are_the_interpreters_with_a_note(probe, arg, exc_type):
    err = raised(probe.echo_id, arg)
    assert type(err) is exc_type
    assert err.__notes__ == ["while processing 'id'"]


def test_id_keeps_the_exception_of_index(probe):
    def boom():
        raise KeyError("k")

    err = raised(probe.echo_id, Index(1, boom))
    assert type(err) is KeyError
    assert err.__notes__ == ["while processing 'id'"]


def test_optional_text(probe):
    assert probe.greet("x") == "hello, x"
    assert probe.greet("x", None) == "hello, x"
    assert probe.greet("x", greeting="hi") == "hi, x"
    err = raised(probe.greet, "x", greeting=5)
    assert str(err) == "'int' object is not an instance of 'str'"
    assert err.__notes__ == ["while processing 'greeting'"]


def test_arguments_convert_in_parameter_order(probe):
    # both are wrong; the first parameter's error wins
    err = raised(probe.join, 1, 2, 3)
    assert err.__notes__ == ["while processing 'a'"]
    err = raised(probe.join, "a", c=3, b=2)
    assert err.__notes__ == ["while processing 'b'"]


def test_bytes_and_text_round_trip(probe):
    assert probe.echo_bytes(b"\x00\xff") == b"\x00\xff"
    assert probe.echo("\u00e9\U0001f600") == "\u00e9\U0001f600"


# ---- results and errors ----

def test_result_kinds(probe, counter):
    assert counter.add(3) == 3
    assert counter.note("a") is None
    assert counter.note("b", "c") is None
    assert counter.log() == ["a", "b: c"]
    assert counter.entry(1) == "b: c"
    assert counter.entry(5) is None
    assert counter.has("a") is True and counter.has("z") is False
    assert counter.reset() == 3
    assert counter.log() == []


def test_body_errors_raise_value_error_with_the_text(probe, counter):
    err = raised(probe.fail, "boom")
    assert (type(err), str(err)) == (ValueError, "boom at line 2 column 7")
    assert str(raised(counter.note, "")) == "entry must not be empty"
    assert str(raised(probe.Counter, "")) == "label must not be empty"


def test_static_method_makes_an_instance_of_the_class(probe, counter):
    made = probe.Counter.starting_at("s", 5)
    assert type(made) is probe.Counter
    assert made.add(1) == 6
    assert type(counter.starting_at("t", 0)) is probe.Counter


# ---- access flag ----

def test_exclusive_call_refuses_reentry(counter):
    # add holds the flag exclusively while converting its argument
    for inner, message in [(counter.label, "Already mutably borrowed"), (lambda: counter.add(1), "Already borrowed")]:
        err = raised(counter.add, Index(1, inner))
        assert (type(err), str(err)) == (RuntimeError, message)
        assert err.__notes__ == ["while processing 'amount'"]
    assert counter.add(2) == 2, "the flag is free again"


def test_shared_calls_nest_but_refuse_exclusive_ones(counter):
    counter.note("first")
    seen = []
    assert counter.entry(Index(0, lambda: seen.append(counter.label()))) == "first"
    assert seen == ["c"]
    err = raised(counter.entry, Index(0, counter.reset))
    assert (type(err), str(err)) == (RuntimeError, "Already borrowed")
    assert counter.reset() == 0, "the flag is free again"


def test_flag_is_released_after_a_body_error(counter):
    counter.add(2**64 - 1)
    assert str(raised(counter.add, 1)) == "total overflows"
    assert counter.reset() == 2**64 - 1


# ---- lifetime ----

def test_instances_drop_their_state_and_type_reference(probe):
    gc.collect()
    live = probe.live()
    type_refs = sys.getrefcount(probe.Counter)
    made = [probe.Counter(str(i)) for i in range(50)] + [probe.Counter.starting_at("s", 1)]
    assert probe.live() == live + 51
    del made
    assert probe.live() == live
    type_refs_after = sys.getrefcount(probe.Counter)  # outside assert: its rewrite holds temporaries
    assert type_refs_after == type_refs
    raised(probe.Counter, "")
    assert probe.live() == live, "a failed constructor leaves no state behind"
