"""Model values and patches in their JSON form, built from Python, and a
seeded generator of random values and of edited copies of them.

A value here is the parsed JSON form: {"Int": 1}, "Null", {"List": [...]}.
"""

import json
import random

NULL = "Null"


def I(n):  # noqa: E743 - reads like the kind's name in the tables
    return {"Int": n}


def F(x):
    return {"Float": x}


def S(text):
    return {"Str": text}


def B(flag):
    return {"Bool": flag}


def L(*items):
    """A List; plain ints stand for Int values."""
    return {"List": [I(x) if isinstance(x, int) else x for x in items]}


def M(**entries):
    return {"Map": dict(entries)}


def text(value):
    return json.dumps(value, separators=(",", ":"))


def patch(*ops, rev=0):
    return text({"rev": rev, "ops": list(ops)})


# Operations in their JSON form; `path` is a list of steps.
def key(k):
    return {"Key": k}


def idx(i):
    return {"Index": i}


def set_(path, value):
    return {"Set": {"path": path, "value": value}}


def remove(path):
    return {"Remove": {"path": path}}


def insert(path, index, value):
    return {"Insert": {"path": path, "index": index, "value": value}}


def remove_at(path, index):
    return {"RemoveAt": {"path": path, "index": index}}


def move(path, frm, to):
    return {"Move": {"path": path, "from": frm, "to": to}}


def reorder(path, order):
    return {"Reorder": {"path": path, "order": order}}


class Generator:
    """Random values over small alphabets, so that lists repeat elements
    and edits produce moves, inserts and removals as well as replacements."""

    KEYS = ["a", "b", "c", "d", "e", "\u00e9", "k\"q"]

    def __init__(self, seed):
        self.rng = random.Random(seed)

    def scalar(self):
        r = self.rng
        kind = r.randrange(7)
        if kind == 0:
            return NULL
        if kind == 1:
            return B(r.random() < 0.5)
        if kind == 2:
            return I(r.randint(-3, 3))
        if kind == 3:
            return F(r.choice([0.0, -0.0, 1.0, 1.5, -2.25, 1e16, 3.0]))
        if kind == 4:
            return S(r.choice(["", "x", "y", "z\n"]))
        if kind == 5:
            return {"Submodel": r.randint(0, 3)}
        return I(r.randint(0, 9))

    def value(self, depth=3):
        r = self.rng
        if depth == 0 or r.random() < 0.35:
            return self.scalar()
        if r.random() < 0.55:
            # Long lists only near the leaves, where shuffles outrun the budget.
            count = r.randint(10, 40) if depth == 1 and r.random() < 0.3 else r.randint(0, 10)
            return {"List": [self.value(depth - 1) for _ in range(count)]}
        return {"Map": {r.choice(self.KEYS): self.value(depth - 1) for _ in range(r.randint(0, 5))}}

    def edited(self, value, depth=3):
        """A copy of `value` with a few random changes, nested ones included."""
        r = self.rng
        if r.random() < 0.1:
            return self.value(depth)
        if isinstance(value, dict) and "List" in value:
            if r.random() < 0.15:
                items = list(value["List"])
                r.shuffle(items)
                return {"List": items}
            items = [self.edited(v, depth - 1) if r.random() < 0.2 else v for v in value["List"]]
            for _ in range(r.randint(0, 3)):
                op = r.randrange(4)
                if op == 0:
                    items.insert(r.randint(0, len(items)), self.value(depth - 1))
                elif op == 1 and items:
                    items.pop(r.randrange(len(items)))
                elif op == 2 and items:
                    items.insert(r.randint(0, len(items) - 1), items.pop(r.randrange(len(items))))
                elif op == 3:
                    r.shuffle(items)
            return {"List": items}
        if isinstance(value, dict) and "Map" in value:
            entries = dict(value["Map"])
            for k in list(entries):
                roll = r.random()
                if roll < 0.2:
                    entries[k] = self.edited(entries[k], depth - 1)
                elif roll < 0.3:
                    del entries[k]
            if r.random() < 0.3:
                entries[r.choice(self.KEYS)] = self.value(depth - 1)
            return {"Map": entries}
        return self.scalar() if r.random() < 0.5 else value

    def pairs(self, count):
        """(old, new) texts: mostly an edited copy, sometimes unrelated."""
        for _ in range(count):
            old = self.value()
            new = self.edited(old) if self.rng.random() < 0.85 else self.value()
            yield text(old), text(new)
