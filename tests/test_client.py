"""ClientState: preparing messages, committing effects, proposals."""

import json
import random

import pytest

import wirewright as ww


def snapshot(client, id_, rev, crdt=False):
    kind = "crdt_snapshot" if crdt else "snapshot"
    client.commit(json.dumps({"effect": kind, "id": id_, "rev": rev}))


def patch_msg(id_, rev, **extra):
    return json.dumps({"t": "patch", "id": id_, "patch": {"rev": rev, "ops": []}, **extra})


def test_patch_effects_follow_the_committed_revision():
    c = ww.ClientState()
    with pytest.raises(ValueError, match="^patch received before snapshot for model 1$"):
        c.prepare(patch_msg(1, 6))
    snapshot(c, 1, 5)
    assert c.prepare(patch_msg(1, 6, proposal="p")) == '{"effect":"patch","id":1,"rev":6,"proposal":"p"}'
    assert c.prepare(patch_msg(1, 5)) == '{"effect":"stale_patch","id":1,"rev":5}'
    assert c.prepare(patch_msg(1, 4)) == '{"effect":"stale_patch","id":1,"rev":4}'
    # prepare changes nothing.
    assert c.revisions() == '{"1":5}'


def test_crdt_messages_need_a_crdt_snapshot():
    c = ww.ClientState()
    msg = '{"t":"crdt","id":1,"rev":7,"ops":[],"proposal":"p"}'
    with pytest.raises(ValueError, match="^CRDT operations received before snapshot for model 1$"):
        c.prepare(msg)
    snapshot(c, 1, 3)
    assert c.prepare(msg) == '{"effect":"ignore"}'
    snapshot(c, 1, 9, crdt=True)
    assert c.prepare(msg) == '{"effect":"crdt","id":1,"rev":7,"proposal":"p"}'


def test_commit_revision_rules():
    c = ww.ClientState()
    c.commit('{"effect":"snapshot","id":1,"rev":9}')
    c.commit('{"effect":"crdt_snapshot","id":1,"rev":3}')  # keeps the larger revision
    assert c.revisions() == '{"1":9}'
    assert c.prepare('{"t":"crdt","id":1,"rev":1,"ops":[]}') == '{"effect":"crdt","id":1,"rev":1}'
    c.commit('{"effect":"snapshot","id":1,"rev":3}')  # sets it, even lower, and clears the mark
    assert c.revisions() == '{"1":3}'
    assert c.prepare('{"t":"crdt","id":1,"rev":1,"ops":[]}') == '{"effect":"ignore"}'
    c.commit('{"effect":"patch","id":10,"rev":4}')
    c.commit('{"effect":"crdt","id":2,"rev":1}')
    assert c.revisions() == '{"1":3,"2":1,"10":4}'


@pytest.mark.parametrize(
    "message, effect",
    [
        ('{"t":"snapshot","id":1,"rev":2,"type":"T","value":"Null"}', '{"effect":"snapshot","id":1,"rev":2}'),
        (' ["snapshot",1,2] ', '{"effect":"snapshot","id":1,"rev":2}'),
        ('{"t":"crdt_snapshot","id":3,"rev":0}', '{"effect":"crdt_snapshot","id":3,"rev":0}'),
        ('{"proposal":"q","t":"ack","rev":2,"id":1,"extra":{"x":[1]}}', '{"effect":"acknowledgement","id":1,"rev":2,"proposal":"q"}'),
        ('{"t":"reject","id":1,"rev":2,"error":"x","crdt_ops":[1]}', '{"effect":"rejection","id":1,"rev":2,"error":"x"}'),
        ('{"t":"awareness","id":1,"peer":"p","state":{"b":1,"a":2,"b":3}}', '{"effect":"awareness","id":1,"peer":"p","state":{"a":2,"b":3}}'),
        ('{"t":"awareness","id":1,"peer":"p","state":null}', '{"effect":"awareness","id":1,"peer":"p","state":null}'),
        ('{"t":"x"}', '{"effect":"ignore"}'),
        ('["x"]', '{"effect":"ignore"}'),
        ('{"t":"batch","msgs":[]}', None),
    ],
)
def test_prepare(message, effect):
    c = ww.ClientState()
    if effect is None:
        with pytest.raises(ValueError, match="^batch messages must be prepared in order$"):
            c.prepare(message)
    else:
        assert c.prepare(message) == effect


@pytest.mark.parametrize(
    "message, error",
    [
        ('{"t":"awareness","id":1}', "missing field `peer`"),
        ('{"t":5}', "invalid type: integer `5`, expected variant identifier at line 1 column 6"),
        ('{"id":1}', "missing field `t` at line 1 column 8"),
        ('{"t":"ack","t":"ack","id":1,"rev":1,"proposal":"p"}', "duplicate field `t` at line 1 column 14"),
        ('{"t":"ack","id":1,"id":2,"rev":1,"proposal":"p"}', "duplicate field `id`"),
        # Members in their order: a member's own error, a repeat, then what is missing.
        ('{"t":"ack","id":"x","id":1}', 'invalid type: string "x", expected u64'),
        ('{"t":"ack","id":1,"id":"x"}', "duplicate field `id`"),
        ('{"t":"ack","rev":1,"rev":1}', "duplicate field `rev`"),
        ('{"t":"patch","id":1,"patch":{"x":1,"rev":1,"rev":2}}', "duplicate field `rev`"),
        ('{"t":"reject","error":5}', "invalid type: integer `5`, expected a string"),
        ('{"t":"reject","id":1}', "missing field `rev`"),
        ('{"t":"crdt","id":1,"rev":1,"proposal":5}', "invalid type: integer `5`, expected a string"),
        ("[]", "missing field `t` at line 1 column 2"),
        ('["patch",1,{"rev":2}]', "invalid length 2, expected struct variant ClientMessage::Patch with 3 elements"),
        ('["ack",1,2,"p",4]', "invalid length 4, expected 3 elements in sequence"),
        ('["batch",1]', "invalid length 1, expected 0 elements in sequence"),
        ('["x",1,2]', "invalid length 2, expected 0 elements in sequence"),
        ('{"t":"patch","id":1,"patch":[]}', "invalid length 0, expected struct PatchRevision with 1 element"),
        ('{"t":"patch","id":1,"patch":[1,2]}', "invalid length 2, expected 1 element in sequence"),
        ('{"t":"patch","id":1,"patch":5}', "invalid type: integer `5`, expected struct PatchRevision"),
        ('{"t":"ack","id":-1,"rev":1,"proposal":"p"}', "invalid value: integer `-1`, expected u64"),
        ('"ack"', 'invalid type: string "ack", expected internally tagged enum ClientMessage at line 1 column 5'),
        ('{"t":"ack"} x', "missing field `id`"),
        ('{"t":"x"} x', "trailing characters at line 1 column 11"),
    ],
)
def test_prepare_refused(message, error):
    c = ww.ClientState()
    snapshot(c, 1, 0)
    with pytest.raises(ValueError) as exc:
        c.prepare(message)
    assert str(exc.value) == error


@pytest.mark.parametrize(
    "effect, error",
    [
        ('{"effect":"x"}', "unknown variant `x`, expected one of `snapshot`, `crdt_snapshot`, `patch`, `crdt`, `stale_patch`, `acknowledgement`, `rejection`, `awareness`, `ignore`, `disconnect` at line 1 column 13"),
        ('{"effect":"acknowledgement","id":1,"rev":1}', "missing field `proposal`"),
        ('{"effect":"snapshot","id":1}', "missing field `rev`"),
        ('{"effect":"disconnect","proposals":"a"}', 'invalid type: string "a", expected a sequence'),
        ('["rejection",1,2]', "invalid length 2, expected struct variant ClientEffect::Rejection with 4 elements"),
        ('{"effect":"snapshot","id":1,"rev":2} x', "trailing characters at line 1 column 38"),
        ('{"effect":"snapshot","id":1} x', "missing field `rev`"),
    ],
)
def test_commit_refused_changes_nothing(effect, error):
    c = ww.ClientState()
    c.proposal(1, "[]", "p")
    snapshot(c, 1, 4)
    with pytest.raises(ValueError) as exc:
        c.commit(effect)
    assert str(exc.value) == error
    assert c.revisions() == '{"1":4}' and c.pending() == ["p"]


def test_proposals():
    c = ww.ClientState()
    assert c.proposal(7, "[]") == '{"t":"patch","id":7,"patch":{"rev":0,"ops":[]},"proposal":"auto-1"}'
    ops = '[{"Set":{"value":{"Int":1},"path":[{"Key":"a"}]}}]'
    assert c.proposal(7, ops, None) == (
        '{"t":"patch","id":7,"patch":{"rev":0,"ops":[{"Set":{"path":[{"Key":"a"}],"value":{"Int":1}}}]},"proposal":"auto-2"}'
    )
    for name in ["auto-", "auto-1a", "Auto-1", "", "auto-\u0661"]:
        c.proposal(1, "[]", proposal=name)
    for name in ["auto-0", "auto-007", "auto-3"]:
        with pytest.raises(ValueError, match="^proposal identifiers matching 'auto-N' are reserved$"):
            c.proposal(1, "[]", name)
    with pytest.raises(ValueError, match="^invalid type: map, expected a sequence at line 1 column 0$"):
        c.proposal(1, "{}")
    with pytest.raises(ValueError, match="^trailing characters at line 1 column 4$"):
        c.proposal(1, "[] x")
    # Failed calls draw no number.
    assert json.loads(c.proposal(1, "[]"))["proposal"] == "auto-3"
    assert c.pending() == ["", "Auto-1", "auto-", "auto-1", "auto-1a", "auto-2", "auto-3", "auto-\u0661"]


def test_settling_proposals():
    c = ww.ClientState()
    assert c.revisions() == "{}" and c.pending() == []
    assert c.disconnect() == '{"effect":"disconnect","proposals":[]}'
    for name in ["b", "a", "c", "d"]:
        c.proposal(1, "[]", name)
    c.commit('{"effect":"acknowledgement","id":1,"rev":1,"proposal":"a"}')
    c.commit('{"effect":"stale_patch","id":1,"rev":1,"proposal":"zzz"}')
    c.commit('{"effect":"rejection","id":1,"rev":1,"error":"e","proposal":"c"}')
    assert c.abandon("b") is True
    assert c.abandon("b") is False
    assert c.pending() == ["d"]
    effect = c.disconnect()
    assert effect == '{"effect":"disconnect","proposals":["d"]}'
    assert c.pending() == []
    c.commit(effect)  # changes nothing
    assert c.revisions() == "{}"


def test_random_calls_match_a_plain_model():
    rng = random.Random(11)
    c = ww.ClientState()
    revisions, pending, auto = {}, set(), 1
    for _ in range(2000):
        action = rng.randrange(6)
        i = rng.randrange(5)
        if action == 0:
            name = rng.choice([None, "p%d" % rng.randrange(6)])
            msg = json.loads(c.proposal(i, "[]", name))
            if name is None:
                assert msg["proposal"] == "auto-%d" % auto
                auto += 1
            pending.add(msg["proposal"])
        elif action == 1:
            rev = rng.randrange(10)
            kind = rng.choice(["snapshot", "patch"])
            c.commit(json.dumps({"effect": kind, "id": i, "rev": rev}))
            revisions[i] = rev
        elif action == 2:
            rev = rng.randrange(10)
            c.commit(json.dumps({"effect": rng.choice(["crdt", "crdt_snapshot"]), "id": i, "rev": rev}))
            revisions[i] = max(revisions.get(i, 0), rev)
        elif action == 3 and pending:
            name = rng.choice(sorted(pending))
            c.commit(json.dumps({"effect": "acknowledgement", "id": i, "rev": 0, "proposal": name}))
            pending.discard(name)
        elif action == 4:
            name = "p%d" % rng.randrange(6)
            assert c.abandon(name) == (name in pending)
            pending.discard(name)
        elif action == 5 and rng.random() < 0.1:
            assert json.loads(c.disconnect())["proposals"] == sorted(pending)
            pending.clear()
        assert c.pending() == sorted(pending)
        assert json.loads(c.revisions()) == {str(k): v for k, v in revisions.items()}
        assert list(json.loads(c.revisions())) == [str(k) for k in sorted(revisions)]


def test_class_surface():
    assert ww.ClientState.__text_signature__ == "()"
    assert ww.ClientState.__doc__ == "Shared revision and proposal reducer for a language-level client adapter."
    assert ww.ClientState.proposal.__text_signature__ == "($self, id, ops_json, proposal=None)"
    assert ww.ClientState.disconnect.__text_signature__ == "($self)"
    with pytest.raises(TypeError, match=r"^ClientState.proposal\(\) takes from 2 to 3 positional arguments but 4 were given$"):
        ww.ClientState().proposal(1, "[]", "p", 4)
