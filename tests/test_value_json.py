"""The JSON form of model values, through encode (text) and decode (bytes)."""

import pytest

import wirewright as ww


@pytest.mark.parametrize(
    "text, normalised",
    [
        ('"Null"', '"Null"'),
        ('{"Null":null}', '"Null"'),
        ('{"Bool":true}', '{"Bool":true}'),
        ('{"Int":9223372036854775807}', '{"Int":9223372036854775807}'),
        ('{"Int":-9223372036854775808}', '{"Int":-9223372036854775808}'),
        ('{"Float":3}', '{"Float":3.0}'),
        ('{"Float":-0}', '{"Float":-0.0}'),
        ('{"Float":1e16}', '{"Float":1e+16}'),
        ('{"Float":0.00000015}', '{"Float":1.5e-7}'),
        ('{"Float":18446744073709551616}', '{"Float":1.8446744073709552e+19}'),
        ('{"Str":"a\\u00e9\\n\\u0001"}', '{"Str":"a\u00e9\\n\\u0001"}'),
        ('{"Submodel":18446744073709551615}', '{"Submodel":18446744073709551615}'),
        ('{"List":[{"Int":1},"Null"]}', '{"List":[{"Int":1},"Null"]}'),
        ('{"List":[]}', '{"List":[]}'),
        ('{"Map":{}}', '{"Map":{}}'),
        (
            '{"Map":{"b":{"Int":1},"a":"Null","b":{"Int":2}}}',
            '{"Map":{"a":"Null","b":{"Int":2}}}',
        ),
        # Keys sort by bytes: "B" (0x42) < "a" (0x61) < "é" (0xc3 0xa9).
        ('{"Map":{"\u00e9":"Null","a":"Null","B":"Null"}}', '{"Map":{"B":"Null","a":"Null","\u00e9":"Null"}}'),
        (' \n{ "Int" :\t1 } \r\n', '{"Int":1}'),
    ],
)
def test_reads_and_normalises(text, normalised):
    assert ww.encode(text) == normalised.encode()
    assert ww.decode(normalised.encode()) == normalised


@pytest.mark.parametrize(
    "text, message",
    [
        ('"Int"', "invalid type: unit variant, expected newtype variant"),
        ('"Nul"', "unknown variant `Nul`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel` at line 1 column 5"),
        ('{"Int":9223372036854775808}', "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 26"),
        ('{"Int":1.0}', "invalid type: floating point `1.0`, expected i64 at line 1 column 10"),
        ('{"Int":-0}', "invalid type: floating point `-0.0`, expected i64 at line 1 column 9"),
        ('{"Int":"1"}', 'invalid type: string "1", expected i64 at line 1 column 10'),
        ('{"Null":{}}', "invalid type: map, expected unit at line 1 column 8"),
        ('{"Submodel":-1}', "invalid value: integer `-1`, expected u64 at line 1 column 14"),
        ('{"Int":1,"Str":"x"}', "expected value at line 1 column 8"),
        ("{}", "expected value at line 1 column 2"),
        ("{1:2}", "key must be a string at line 1 column 2"),
        ("{", "EOF while parsing an object at line 1 column 1"),
        ('{"Int"', "EOF while parsing an object at line 1 column 6"),
        ('{"Int":1', "EOF while parsing an object at line 1 column 8"),
        ('{"Int" 1}', "expected `:` at line 1 column 8"),
        ('{"int":1}', "unknown variant `int`, expected one of `Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel` at line 1 column 6"),
        ('{"Float":null}', "invalid type: null, expected f64 at line 1 column 13"),
        ('{"Bool":1}', "invalid type: integer `1`, expected a boolean at line 1 column 9"),
        ('{"Str":5}', "invalid type: integer `5`, expected a string at line 1 column 8"),
        ('{"List":{}}', "invalid type: map, expected a sequence at line 1 column 8"),
        ('{"Map":[]}', "invalid type: sequence, expected a map at line 1 column 7"),
        ('{"List":["Int"]}', "invalid type: unit variant, expected newtype variant at line 1 column 15"),
        ('{"List":[{"Int":1},]}', "trailing comma at line 1 column 20"),
        ('{"Int":nul}', "expected ident at line 1 column 11"),
        ("[", "expected value at line 1 column 1"),
        ("Null", "expected value at line 1 column 1"),
        ("", "EOF while parsing a value at line 1 column 0"),
        ('"Null" x', "trailing characters at line 1 column 8"),
        ('{"Str":"a\\ud800"}', "unexpected end of hex escape at line 1 column 16"),
        ('{"Str":"\\udc00"}', "lone leading surrogate in hex escape at line 1 column 14"),
    ],
)
def test_refuses_with_exact_message(text, message):
    with pytest.raises(ValueError) as exc:
        ww.encode(text)
    assert str(exc.value) == message
    with pytest.raises(ValueError) as exc:
        ww.decode(text.encode())
    assert str(exc.value) == "codec error: " + message


def test_position_after_multibyte_characters_and_lines():
    with pytest.raises(ValueError, match="^expected value at line 2 column 3$"):
        ww.encode('{"Map":{"\u00e9\u00e9":\n  x}}')
    with pytest.raises(ValueError, match=r"^trailing characters at line 3 column 1$"):
        ww.encode('"Null"\n\nx')


def test_nesting_limit_counts_kind_objects_and_containers():
    # Each List level takes two: the kind's object and its array.
    def nested(depth):
        return '{"List":[' * depth + '"Null"' + "]}" * depth

    assert ww.encode(nested(63)) == nested(63).encode()
    with pytest.raises(ValueError, match="^recursion limit exceeded at line 1 column 576$"):
        ww.encode(nested(64))
    with pytest.raises(ValueError, match="^expected value at line 1 column 1$"):
        ww.encode("[" * 10_000_000)


def test_bytes_must_hold_utf8_inside_strings():
    with pytest.raises(ValueError, match="^codec error: invalid unicode code point at line 1 column 11$"):
        ww.decode(b'{"Str":"a\xff"}')
    assert ww.decode('{"Str":"\u00e9"}'.encode()) == '{"Str":"\u00e9"}'


def test_non_finite_float_has_no_json_form():
    # Such a Float can only come from a binary codec; in JSON it is null,
    # which no reader takes back.
    with pytest.raises(ValueError, match="expected f64"):
        ww.encode('{"Float":null}')
