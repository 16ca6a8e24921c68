"""CRDT specifications: reading with its messages and positions, validation,
the canonical text and the hash, through normalize_crdt_spec,
crdt_spec_hash and require_crdt_spec_hash."""

import hashlib
import json
import random

import pytest

import wirewright as ww

REGISTER = {"kind": "register"}


def canonical_hash(text):
    return "sha256:" + hashlib.sha256(text.encode("utf-8")).hexdigest()


def error_of(fn, *args):
    with pytest.raises(ValueError) as info:
        fn(*args)
    return str(info.value)


@pytest.mark.parametrize(
    "spec, canonical",
    [
        ('{"root":{"kind":"register"}}', '{"version":1,"root":{"kind":"register"}}'),
        ('{"version":1,"root":{"kind":"map"}}', '{"version":1,"root":{"kind":"map","values":{"kind":"register"}}}'),
        (
            '{"version":1,"root":{"kind":"sequence"}}',
            '{"version":1,"root":{"kind":"sequence","materialization":"list","element":{"kind":"register"}}}',
        ),
        (
            '{"root":{"kind":"set","keys":[["name"],["id"]],"element":{"kind":"map","fields":'
            '{"name":{"kind":"register"},"id":{"kind":"register"}}}}}',
            '{"version":1,"root":{"kind":"set","keys":[["id"],["name"]],"element":{"kind":"map","fields":'
            '{"id":{"kind":"register"},"name":{"kind":"register"}},"values":{"kind":"register"}}}}',
        ),
        ('{"version":1,"root":{"kind":"set"}}', '{"version":1,"root":{"kind":"set","element":{"kind":"register"}}}'),
        # Array forms: of the specification, and of a policy (defaults at the end left out).
        ('[1,{"kind":"register"}]', '{"version":1,"root":{"kind":"register"}}'),
        ('{"root":["register"]}', '{"version":1,"root":{"kind":"register"}}'),
        (
            '{"root":["map",{"a":["sequence","string"]}]}',
            '{"version":1,"root":{"kind":"map","fields":{"a":{"kind":"sequence","materialization":"string",'
            '"element":{"kind":"register"}}},"values":{"kind":"register"}}}',
        ),
        # A nested policy may name its kind by index.
        (
            '{"root":{"kind":"map","values":{"kind":1}}}',
            '{"version":1,"root":{"kind":"map","values":{"kind":"map","values":{"kind":"register"}}}}',
        ),
        # "kind" anywhere among the members; whitespace anywhere.
        (
            ' {\n "root" : { "element" : { "kind" : 0 } , "kind" : "sequence" } } \n',
            '{"version":1,"root":{"kind":"sequence","materialization":"list","element":{"kind":"register"}}}',
        ),
        # Materialization as an object of one member with a unit value.
        (
            '{"root":{"kind":"sequence","materialization":{"string":null}}}',
            '{"version":1,"root":{"kind":"sequence","materialization":"string","element":{"kind":"register"}}}',
        ),
        (
            '{"root":{"kind":"sequence","materialization":{"list":{}}}}',
            '{"version":1,"root":{"kind":"sequence","materialization":"list","element":{"kind":"register"}}}',
        ),
        # A field name repeated keeps its last policy.
        (
            '{"root":{"kind":"map","fields":{"a":{"kind":"set"},"a":{"kind":"register"}}}}',
            '{"version":1,"root":{"kind":"map","fields":{"a":{"kind":"register"}},"values":{"kind":"register"}}}',
        ),
        # Identity paths through a map's values.
        (
            '{"root":{"kind":"set","keys":[["a","b"]],"element":{"kind":"map","values":{"kind":"map"}}}}',
            '{"version":1,"root":{"kind":"set","keys":[["a","b"]],"element":{"kind":"map","values":'
            '{"kind":"map","values":{"kind":"register"}}}}}',
        ),
        # Names are written with the JSON text rules, in ascending byte order.
        (
            '{"root":{"kind":"map","fields":{"\\u00e9":{"kind":"register"},"z":{"kind":"register"},'
            '"\\n\\"":{"kind":"register"},"\\u007f":{"kind":"register"}}}}',
            '{"version":1,"root":{"kind":"map","fields":{"\\n\\"":{"kind":"register"},"z":{"kind":"register"},'
            '"\x7f":{"kind":"register"},"\u00e9":{"kind":"register"}},"values":{"kind":"register"}}}',
        ),
    ],
)
def test_canonical_form(spec, canonical):
    assert ww.normalize_crdt_spec(spec) == canonical
    assert ww.normalize_crdt_spec(canonical) == canonical
    assert ww.crdt_spec_hash(spec) == canonical_hash(canonical)
    assert len(ww.crdt_spec_hash(spec)) == 71


@pytest.mark.parametrize(
    "spec, message",
    [
        # The specification record, read straight from the text.
        ('{"version":1}', "missing field `root` at line 1 column 13"),
        ('{"version":1,"extra":true,"root":{"kind":"register"}}',
         "unknown field `extra`, expected `version` or `root` at line 1 column 20"),
        ('{"version":1,"version":1,"root":{"kind":"register"}}', "duplicate field `version` at line 1 column 22"),
        ('{"root":{"kind":"register"},"root":{"kind":"register"}}', "duplicate field `root` at line 1 column 34"),
        ("[1]", "invalid length 1, expected struct CrdtSpec with 2 elements at line 1 column 3"),
        ("[]", "invalid length 1, expected struct CrdtSpec with 2 elements at line 1 column 2"),
        ('[1,{"kind":"register"},3]', "trailing characters at line 1 column 24"),
        ('"x"', 'invalid type: string "x", expected struct CrdtSpec at line 1 column 3'),
        ("null", "invalid type: null, expected struct CrdtSpec at line 1 column 4"),
        ('{"root":{"kind":"register"}} x', "trailing characters at line 1 column 30"),
        ('{"root":{"kind":"register"}', "EOF while parsing an object at line 1 column 27"),
        ('{"version":1.5,"root":{"kind":"register"}}', "invalid type: floating point `1.5`, expected u32 at line 1 column 14"),
        ('{"version":1e0,"root":{"kind":"register"}}', "invalid type: floating point `1.0`, expected u32 at line 1 column 14"),
        ('{"version":4294967296,"root":{"kind":"register"}}',
         "invalid value: integer `4294967296`, expected u32 at line 1 column 21"),
        ('{"version":-1,"root":{"kind":"register"}}', "invalid value: integer `-1`, expected u32 at line 1 column 13"),
        ('{"version":"1","root":{"kind":"register"}}', 'invalid type: string "1", expected u32 at line 1 column 14'),
        # The version is checked after reading, without a position.
        ('{"version":2,"root":{"kind":"register"}}', "unsupported CRDT spec version 2; expected 1"),
        ('{"version":0,"root":{"kind":"register"}}', "unsupported CRDT spec version 0; expected 1"),
        ('{"version":4294967295,"root":{"kind":"register","x":1}}',
         "unknown field `x`, there are no fields at line 1 column 55"),
        # The root's kind is read with the text: a name, checked when it is met.
        ('{"version":1,"root":{"kind":1}}', "invalid type: integer `1`, expected variant identifier at line 1 column 29"),
        ('{"root":{"kind":"Register","x":[}}',
         "unknown variant `Register`, expected one of `register`, `map`, `set`, `sequence` at line 1 column 26"),
        ('{"root":{"kind":"map","kind":"map"}}', "duplicate field `kind` at line 1 column 28"),
        ('{"root":{"values":{}},"version":1}', "missing field `kind` at line 1 column 21"),
        ('{"root":[]}', "missing field `kind` at line 1 column 10"),
        ('{"root":null}', "invalid type: null, expected internally tagged enum CrdtPolicy at line 1 column 12"),
        ('{"root":"map"}', 'invalid type: string "map", expected internally tagged enum CrdtPolicy at line 1 column 13'),
        # Syntax errors anywhere in the root come before what is built from it.
        ('{"root":{"kind":"register","x":[}}', "expected value at line 1 column 33"),
        # The rest of the root is built afterwards; its faults are placed after
        # the specification object, or before a member that follows the root.
        ('{"version":1,"root":{"kind":"register","x":1}}', "unknown field `x`, there are no fields at line 1 column 46"),
        ('{"root":{"kind":"register","x":1},"version":"bad"}', "unknown field `x`, there are no fields at line 1 column 33"),
        ('{"root":{"kind":"register","x":1}  }', "unknown field `x`, there are no fields at line 1 column 36"),
        ('{"root":{"kind":"map","x":1}}', "unknown field `x`, expected `fields` or `values` at line 1 column 29"),
        ('{"root":{"kind":"set","x":1}}', "unknown field `x`, expected `keys` or `element` at line 1 column 29"),
        ('{"root":{"kind":"sequence","x":1}}',
         "unknown field `x`, expected `materialization` or `element` at line 1 column 34"),
        ('{"root":{"kind":"map","values":{"kind":"register"},"values":{}}}',
         "duplicate field `values` at line 1 column 64"),
        ('{"root":["register",1]}', "invalid length 1, expected 0 elements in sequence at line 1 column 23"),
        ('{"root":["map",{},{"kind":"register"},5]}', "invalid length 3, expected 2 elements in sequence at line 1 column 41"),
        ('{"root":{"kind":"map","values":{"kind":4}}}',
         "invalid value: integer `4`, expected variant index 0 <= i < 4 at line 1 column 43"),
        ('{"root":{"kind":"map","values":{"kind":-1}}}',
         "invalid type: integer `-1`, expected variant identifier at line 1 column 44"),
        ('{"root":{"kind":"map","values":{"kind":"set","kind":"set"}}}', "duplicate field `kind` at line 1 column 60"),
        ('{"root":{"kind":"map","values":{}}}', "missing field `kind` at line 1 column 35"),
        ('{"root":{"kind":"map","values":null}}',
         "invalid type: null, expected internally tagged enum CrdtPolicy at line 1 column 37"),
        ('{"root":{"kind":"map","fields":[]}}', "invalid type: sequence, expected a map at line 1 column 35"),
        ('{"root":{"kind":"map","fields":{"a":{"kind":"bad"},"b":1}}}',
         "unknown variant `bad`, expected one of `register`, `map`, `set`, `sequence` at line 1 column 59"),
        ('{"root":{"kind":"set","keys":{}}}', "invalid type: map, expected a sequence at line 1 column 33"),
        ('{"root":{"kind":"set","keys":[1]}}', "invalid type: integer `1`, expected a sequence at line 1 column 34"),
        ('{"root":{"kind":"set","keys":[[1]]}}', "invalid type: integer `1`, expected a string at line 1 column 36"),
        ('{"root":{"kind":"sequence","materialization":"List"}}',
         "unknown variant `List`, expected `list` or `string` at line 1 column 53"),
        ('{"root":{"kind":"sequence","materialization":{"text":null}}}',
         "unknown variant `text`, expected `list` or `string` at line 1 column 60"),
        ('{"root":{"kind":"sequence","materialization":{"string":1}}}',
         "invalid type: integer `1`, expected unit at line 1 column 59"),
        ('{"root":{"kind":"sequence","materialization":{}}}',
         "invalid value: map, expected map with a single key at line 1 column 49"),
        ('{"root":{"kind":"sequence","materialization":{"list":null,"string":null}}}',
         "invalid value: map, expected map with a single key at line 1 column 74"),
        ('{"root":{"kind":"sequence","materialization":5}}',
         "invalid type: integer `5`, expected string or map at line 1 column 48"),
        # Nesting beyond the JSON limit.
        ('{"root":{"kind":"map","x":' + "[" * 126, "recursion limit exceeded at line 1 column 152"),
    ],
)
def test_reading_errors(spec, message):
    assert error_of(ww.normalize_crdt_spec, spec) == message
    assert error_of(ww.crdt_spec_hash, spec) == message
    assert error_of(ww.require_crdt_spec_hash, spec, "sha256:x") == message


def set_of(keys, element):
    return {"kind": "set", "keys": keys, "element": element}


def map_of(fields=None, values=None):
    policy = {"kind": "map", "fields": fields or {}}
    if values is not None:
        policy["values"] = values
    return policy


@pytest.mark.parametrize(
    "root, message",
    [
        ({"kind": "sequence", "materialization": "string", "element": map_of()},
         "root.element must be a register for string materialization"),
        (set_of([["id"]], REGISTER), 'root.keys path ["id"] is not reachable in the element policy'),
        (set_of([["id"], ["id"]], map_of({"id": REGISTER})), 'root.keys contains duplicate path ["id"]'),
        (set_of([[]], REGISTER), "root.keys contains an empty identity path or path segment"),
        (set_of([["a", ""]], map_of()), "root.keys contains an empty identity path or path segment"),
        (set_of([["a"]], map_of(values=map_of())), 'root.keys path ["a"] must resolve to a register'),
        (set_of([["a", "b"]], map_of({"a": REGISTER})), 'root.keys path ["a", "b"] is not reachable in the element policy'),
        (set_of([["q\"\n"]], map_of({"q\"\n": map_of()})), 'root.keys path ["q\\"\\n"] must resolve to a register'),
        (map_of({"tags": set_of([["id"]], REGISTER)}), 'root.fields.tags.keys path ["id"] is not reachable in the element policy'),
        # Paths name fields as they are, and the map's values.
        (map_of({"a.b": map_of(values=set_of([["x"]], REGISTER))}),
         'root.fields.a.b.values.keys path ["x"] is not reachable in the element policy'),
        ({"kind": "sequence", "element": set_of([[]], REGISTER)}, "root.element.keys contains an empty identity path or path segment"),
        # The first fault decides: the element before the identity paths ...
        (set_of([["id"]], {"kind": "sequence", "materialization": "string", "element": map_of()}),
         "root.element.element must be a register for string materialization"),
        # ... identity paths in input order, before they are sorted ...
        (set_of([["z"], ["a"]], map_of(values=map_of())), 'root.keys path ["z"] must resolve to a register'),
        (set_of([["b"], ["a", "x"], ["b"]], map_of({"b": REGISTER})), 'root.keys path ["a", "x"] is not reachable in the element policy'),
        # ... the empty field name before any other field, fields before values.
        (map_of({"a": set_of([[]], REGISTER), "": REGISTER}), "root.fields contains an empty field name"),
        (map_of({"b": set_of([[]], REGISTER), "a": set_of([["x"]], REGISTER)}, values=set_of([[]], REGISTER)),
         'root.fields.a.keys path ["x"] is not reachable in the element policy'),
        (map_of({"a": REGISTER}, values=set_of([[""]], REGISTER)), "root.values.keys contains an empty identity path or path segment"),
    ],
)
def test_validation_errors(root, message):
    spec = json.dumps({"version": 1, "root": root})
    assert error_of(ww.normalize_crdt_spec, spec) == message
    assert error_of(ww.crdt_spec_hash, spec) == message


def test_string_sequence_of_registers_is_valid():
    spec = '{"version":1,"root":{"kind":"sequence","materialization":"string","element":{"kind":"register"}}}'
    assert ww.normalize_crdt_spec(spec) == spec


def test_require_crdt_spec_hash():
    spec = '{"root":{"kind":"map"}}'
    local = ww.crdt_spec_hash(spec)
    assert ww.require_crdt_spec_hash(spec, local) is None
    for peer in [local.upper(), " " + local, local + " ", local[:-1], "", "sha256:" + "0" * 64]:
        assert error_of(ww.require_crdt_spec_hash, spec, peer) == (
            f"incompatible CRDT spec: local hash {local}, peer hash {peer}"
        )
    # A bad specification reports its own fault, even with a matching hash.
    assert error_of(ww.require_crdt_spec_hash, '{"version":2,"root":{"kind":"map"}}', local) == (
        "unsupported CRDT spec version 2; expected 1"
    )


def nested_values(levels):
    text = '{"kind":"register"}'
    for _ in range(levels):
        text = '{"kind":"map","values":' + text + "}"
    return text


def test_nesting_to_the_json_limit():
    # The specification object and 126 policies: 127 open objects.
    deepest = '{"version":1,"root":' + nested_values(125) + "}"
    assert ww.normalize_crdt_spec(deepest) == deepest
    assert ww.crdt_spec_hash(deepest) == canonical_hash(deepest)
    assert ww.require_crdt_spec_hash(deepest, canonical_hash(deepest)) is None
    too_deep = '{"version":1,"root":' + nested_values(126) + "}"
    assert error_of(ww.normalize_crdt_spec, too_deep) == f"recursion limit exceeded at line 1 column {20 + 126 * 23 + 1}"
    # Written defaults may take the canonical text one level past what can be read.
    short = '{"version":1,"root":' + '{"kind":"map","values":' * 125 + '{"kind":"map"}' + "}" * 125 + "}"
    canonical = '{"version":1,"root":' + nested_values(126) + "}"
    assert ww.normalize_crdt_spec(short) == canonical
    assert ww.crdt_spec_hash(short) == canonical_hash(canonical)
    # Validation paths as deep as the tree.
    spec = '{"version":1,"root":' + '{"kind":"map","values":' * 123 + '{"kind":"set","keys":[["x"]]}' + "}" * 124
    assert error_of(ww.normalize_crdt_spec, spec) == (
        "root" + ".values" * 123 + '.keys path ["x"] is not reachable in the element policy'
    )


# ---- canonical form over shuffled inputs ------------------------------------

NAMES = ["a", "b", "aa", "A", "z", "\u00e9", "\u20ac", "\n", 'q"', "\\", "id", "name", "\U0001f600"]


def random_policy(rng, depth):
    """A valid policy as a dict in canonical member order."""
    kinds = ["register"] if depth == 0 else ["register", "map", "set", "sequence"]
    kind = rng.choice(kinds)
    if kind == "register":
        return {"kind": "register"}
    if kind == "map":
        fields = {name: random_policy(rng, depth - 1) for name in rng.sample(NAMES, rng.randint(0, 4))}
        return {"kind": "map", "fields": fields, "values": random_policy(rng, depth - 1)}
    if kind == "sequence":
        if rng.random() < 0.3:
            return {"kind": "sequence", "materialization": "string", "element": {"kind": "register"}}
        return {"kind": "sequence", "materialization": "list", "element": random_policy(rng, depth - 1)}
    # A set whose identity paths reach registers of its element map.
    element = random_policy(rng, depth - 1)
    if element["kind"] != "map" or rng.random() < 0.2:
        return {"kind": "set", "keys": [], "element": element}
    paths = []
    for name, child in element["fields"].items():
        if child["kind"] == "register":
            paths.append([name])
        elif child["kind"] == "map":
            paths.extend([name, inner] for inner, c in child["fields"].items() if c["kind"] == "register")
    if element["values"]["kind"] == "register":
        paths.append(["unnamed"])
    return {"kind": "set", "keys": rng.sample(paths, min(len(paths), rng.randint(0, 3))), "element": element}


def canonical_text(policy):
    """The reference canonical form: defaults written, fields sorted by code
    point (the byte order of UTF-8), identity paths sorted."""

    def canon(p):
        out = {"kind": p["kind"]}
        if p["kind"] == "map":
            if p["fields"]:
                out["fields"] = {k: canon(p["fields"][k]) for k in sorted(p["fields"])}
            out["values"] = canon(p["values"])
        elif p["kind"] == "set":
            if p["keys"]:
                out["keys"] = sorted(p["keys"])
            out["element"] = canon(p["element"])
        elif p["kind"] == "sequence":
            out["materialization"] = p["materialization"]
            out["element"] = canon(p["element"])
        return out

    return json.dumps({"version": 1, "root": canon(policy)}, separators=(",", ":"), ensure_ascii=False)


KINDS = ["register", "map", "set", "sequence"]


def render(rng, policy, nested=False):
    """The same policy as some JSON text: members in any order, defaults
    sometimes left out, the array form or kind indexes now and then,
    identity paths in any order, repeated field names; a nested policy may
    name its kind by index."""
    ws = lambda: rng.choice(["", "", " ", "\n", "\t "])  # noqa: E731
    s = lambda v: json.dumps(v, ensure_ascii=rng.random() < 0.5)  # noqa: E731
    kind = policy["kind"]
    tag = str(KINDS.index(kind)) if nested and rng.random() < 0.2 else s(kind)
    members = []
    if kind == "map":
        fields = list(policy["fields"].items())
        rng.shuffle(fields)
        entries = [f"{s(k)}:{render(rng, v, True)}" for k, v in fields]
        if fields and rng.random() < 0.3:
            # An earlier repeat of a name, overridden by the later one.
            entries.insert(0, f"{s(fields[-1][0])}:{render(rng, random_policy(rng, 1), True)}")
        if fields or rng.random() < 0.5:
            members.append(("fields", "{" + ",".join(ws() + e + ws() for e in entries) + "}"))
        if policy["values"] != {"kind": "register"} or rng.random() < 0.5:
            members.append(("values", render(rng, policy["values"], True)))
    elif kind == "set":
        keys = list(policy["keys"])
        rng.shuffle(keys)
        if keys or rng.random() < 0.5:
            members.append(("keys", "[" + ",".join("[" + ",".join(s(seg) for seg in k) + "]" for k in keys) + "]"))
        if policy["element"] != {"kind": "register"} or rng.random() < 0.5:
            members.append(("element", render(rng, policy["element"], True)))
    elif kind == "sequence":
        if policy["materialization"] != "list" or rng.random() < 0.5:
            m = policy["materialization"]
            members.append(("materialization", s(m) if rng.random() < 0.7 else "{" + s(m) + ":null}"))
        if policy["element"] != {"kind": "register"} or rng.random() < 0.5:
            members.append(("element", render(rng, policy["element"], True)))
    declared = {"map": ["fields", "values"], "set": ["keys", "element"],
                "sequence": ["materialization", "element"], "register": []}[kind]
    given = dict(members)
    if rng.random() < 0.2 and list(given) == declared[: len(given)]:
        # The array form: the kind, then the members in declaration order,
        # trailing defaults left out.
        return "[" + ",".join([tag] + list(given.values())) + "]"
    members.append(("kind", tag))
    rng.shuffle(members)
    return "{" + ",".join(f"{ws()}{s(k)}{ws()}:{ws()}{v}" for k, v in members) + "}"


def render_spec(rng, policy):
    parts = [f'"root":{render(rng, policy)}']
    if rng.random() < 0.7:
        parts.append('"version":1')
    rng.shuffle(parts)
    return "{" + ",".join(parts) + "}"


def test_canonical_form_ignores_input_order():
    rng = random.Random(20240611)
    for _ in range(300):
        policy = random_policy(rng, rng.randint(0, 4))
        canonical = canonical_text(policy)
        expected_hash = canonical_hash(canonical)
        for _ in range(4):
            text = render_spec(rng, policy)
            assert ww.normalize_crdt_spec(text) == canonical, text
            assert ww.crdt_spec_hash(text) == expected_hash, text
        assert ww.normalize_crdt_spec(canonical) == canonical
