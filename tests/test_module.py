"""The module frame of wirewright: registration, docstrings, argument
matching and conversion, and encode/decode."""

import types

import pytest

import wirewright as ww
from conftest import raised

# Registration order; a function or class without a body yet is absent.
FUNCTIONS = {
    "diff": ("(old, new)", "Diff two JSON-encoded models, returning the JSON-encoded patch."),
    "apply": ("(value, patch)", "Apply a JSON-encoded patch to a JSON-encoded model, returning the JSON-encoded result."),
    "normalize_crdt_spec": ("(json)", "Parse, validate, and deterministically serialize a CRDT specification."),
    "crdt_spec_hash": ("(json)", "Return the deterministic SHA-256 hash of a CRDT specification."),
    "require_crdt_spec_hash": ("(json, peer_hash)", "Reject a peer hash that does not match the local CRDT specification."),
    "encode": ("(value)", "Encode a JSON-encoded model to codec bytes."),
    "decode": ("(data)", "Decode codec bytes back to a JSON-encoded model string."),
    "encode_as": ("(value, codec)", 'Encode a JSON-encoded model with the codec named by `codec` (e.g. `"application/msgpack"`).'),
    "decode_as": ("(data, codec)", "Decode bytes (produced by `codec`'s codec) back to a JSON-encoded model string."),
    "json_to_msgpack": ("(json)", "Convert an arbitrary JSON document to MessagePack bytes (for encoding whole protocol messages)."),
    "msgpack_to_json": ("(data)", "Convert MessagePack bytes back to a JSON document."),
    "json_to_cbor": ("(json)", "Convert an arbitrary JSON document to CBOR bytes (for encoding whole protocol messages)."),
    "cbor_to_json": ("(data)", "Convert CBOR bytes back to a JSON document."),
    "normalize_message": ("(json)", "Parse and serialize one typed live protocol message as compact JSON."),
    "encode_message": ("(json, codec)", "Encode one JSON live protocol message with a built-in connection codec."),
    "decode_message": ("(data, codec)", "Decode one built-in connection-codec payload as a typed live protocol message JSON string."),
}
CLASSES = {
    "ClientState": ("()", "Shared revision and proposal reducer for a language-level client adapter."),
    "CrdtDocument": ("(spec_json, value_json, replica)", "Schema-directed CRDT reducer backed by the shared core."),
    "Store": ("()", "In-process model store: host / mutate \u2192 patch / apply / snapshot."),
}
REGISTERED = [name for name in FUNCTIONS if hasattr(ww, name)]
REGISTERED_CLASSES = [name for name in CLASSES if hasattr(ww, name)]


class Outer:
    class Inner:
        pass


class Text(str):
    pass


class Data(bytes):
    pass


# ---- registration ----

def test_all_lists_the_public_names_in_registration_order():
    expected = [n for n in [*FUNCTIONS, *CLASSES] if hasattr(ww, n)]
    assert ww.__all__ == expected
    assert {"encode", "decode"} <= set(ww.__all__)
    public = {n for n in vars(ww) if not n.startswith("__")}
    assert public == set(ww.__all__), "the module adds nothing beyond __all__"


def test_module_docstring_is_empty():
    assert ww.__doc__ == ""


@pytest.mark.parametrize("name", REGISTERED)
def test_function_signature_docstring_and_binding(name):
    fn = getattr(ww, name)
    signature, text = FUNCTIONS[name]
    assert isinstance(fn, types.BuiltinFunctionType)
    assert fn.__name__ == name
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == text
    assert fn.__module__ == "wirewright"
    assert fn.__self__ is ww


@pytest.mark.parametrize("name", REGISTERED_CLASSES)
def test_class_frame(name):
    cls = getattr(ww, name)
    signature, text = CLASSES[name]
    assert isinstance(cls, type)
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, "builtins")
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == text
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


# ---- argument matching ----

@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ww.encode(), "encode() missing 1 required positional argument: 'value'"),
        (lambda: ww.decode(b"x", b"y"), "decode() takes 1 positional arguments but 2 were given"),
        (lambda: ww.encode("a", "b", "c"), "encode() takes 1 positional arguments but 3 were given"),
        (lambda: ww.encode(val="x"), "encode() got an unexpected keyword argument 'val'"),
        (lambda: ww.encode('"Null"', value='"Null"'), "encode() got multiple values for argument 'value'"),
        # keywords are checked one by one in the order given
        (lambda: ww.encode("x", value=1, val=2), "encode() got multiple values for argument 'value'"),
        (lambda: ww.encode(value=1, val=2), "encode() got an unexpected keyword argument 'val'"),
        # an unknown keyword is found before a missing parameter, and
        # matching fails before any argument is converted
        (lambda: ww.decode(datum=b""), "decode() got an unexpected keyword argument 'datum'"),
        (lambda: ww.encode(5, val=1), "encode() got an unexpected keyword argument 'val'"),
        (lambda: ww.encode(**{"\udc80": 1}), "encode() got an unexpected keyword argument '\udc80'"),
    ],
)
def test_argument_matching_errors(call, message):
    err = raised(call)
    assert type(err) is TypeError
    assert str(err) == message
    assert not hasattr(err, "__notes__")


def test_keyword_arguments_are_accepted():
    assert ww.encode(value='"Null"') == b'"Null"'
    assert ww.decode(data=b'"Null"') == '"Null"'


# ---- argument conversion ----

@pytest.mark.parametrize(
    "call, exc_type, message, parameter",
    [
        (lambda: ww.encode(5), TypeError, "'int' object is not an instance of 'str'", "value"),
        (lambda: ww.encode(b'"Null"'), TypeError, "'bytes' object is not an instance of 'str'", "value"),
        (lambda: ww.encode(None), TypeError, "'None' is not an instance of 'str'", "value"),
        (lambda: ww.encode(Outer.Inner()), TypeError, "'Outer.Inner' object is not an instance of 'str'", "value"),
        (lambda: ww.decode("x"), TypeError, "'str' object is not an instance of 'bytes'", "data"),
        (lambda: ww.decode(bytearray(b"{}")), TypeError, "'bytearray' object is not an instance of 'bytes'", "data"),
        (lambda: ww.decode(memoryview(b"{}")), TypeError, "'memoryview' object is not an instance of 'bytes'", "data"),
        (lambda: ww.decode(data=None), TypeError, "'None' is not an instance of 'bytes'", "data"),
    ],
)
def test_conversion_errors_keep_their_kind_and_get_a_note(call, exc_type, message, parameter):
    err = raised(call)
    assert type(err) is exc_type
    assert str(err) == message
    assert err.__notes__ == [f"while processing '{parameter}'"]


def test_text_that_is_not_utf8_raises_the_interpreters_error_with_a_note():
    err = raised(ww.encode, '{"Str":"\ud800"}')
    assert type(err) is UnicodeEncodeError
    assert err.__notes__ == ["while processing 'value'"]


def test_subclasses_of_str_and_bytes_are_accepted():
    assert ww.encode(Text('{ "Int" : 1 }')) == b'{"Int":1}'
    assert ww.decode(Data(b'{"Int":1}')) == '{"Int":1}'


# ---- encode / decode ----

@pytest.mark.parametrize(
    "text, encoded",
    [
        ('{ "Int" : 1 }', b'{"Int":1}'),
        ('"Null"', b'"Null"'),
        (' {"Map": {"b": {"Int": 1}, "a": "Null"}} \n', b'{"Map":{"a":"Null","b":{"Int":1}}}'),
        ('{"Str":"\u00e9\U0001f600"}', '{"Str":"\u00e9\U0001f600"}'.encode()),
        ('{"List":[{"Bool":true},{"Float":1.5},{"Submodel":7}]}', b'{"List":[{"Bool":true},{"Float":1.5},{"Submodel":7}]}'),
    ],
)
def test_encode_writes_compact_json_and_decode_reads_it_back(text, encoded):
    assert ww.encode(text) == encoded
    assert type(ww.encode(text)) is bytes
    decoded = ww.decode(encoded)
    assert type(decoded) is str
    assert decoded == encoded.decode()


def test_decode_allows_trailing_whitespace():
    assert ww.decode(b'"Null"  ') == '"Null"'


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ww.encode("Null"), "expected value at line 1 column 1"),
        (lambda: ww.decode(b""), "codec error: EOF while parsing a value at line 1 column 0"),
    ],
)
def test_body_errors_raise_value_error(call, message):
    err = raised(call)
    assert type(err) is ValueError
    assert str(err) == message
    assert not hasattr(err, "__notes__")


def test_only_decode_prefixes_its_errors():
    bad = '{"Int":1} x'
    assert not str(raised(ww.encode, bad)).startswith("codec error: ")
    assert str(raised(ww.decode, bad.encode())) == "codec error: " + str(raised(ww.encode, bad))
