"""Diff and apply of model values: wirewright against jsonpatch and deepdiff.

Three models at each size (a list with a few moves, insertions and edits; a
map of records with some changed fields; a shuffled list, which ends in one
Reorder), and four measurements of ours: `diff`, `apply`, `Store.mutate` on
a hosted model, and `Store.apply` on a mirror. The peers work on the
equivalent plain JSON: `jsonpatch.make_patch` / `jsonpatch.apply_patch` and
`deepdiff.DeepDiff`. Our functions take and return JSON text, so their times
include reading and writing it; the peers' times start from Python objects.
One more row, "jsonpatch via text", gives jsonpatch's apply the same
text-in, text-out task (json.loads, apply_patch, json.dumps).

Times are CPU time of this process (the machines are shared), the best of
a few runs. Prints the best time of each, our time over each peer's (below 1: we are
faster), and how each cost grows from one size to the next (10 for linear
growth when the size grows tenfold).

    pip install -r bench/requirements-diff.txt
    python bench/diff_apply.py [--sizes 1000 10000 100000] [--repeat 5]
"""

import argparse
import json
import random
import time

import jsonpatch
from deepdiff import DeepDiff

import wirewright

SLOW = 2.0  # seconds: a peer slower than this at one size skips the larger ones


# ---- the models, as plain JSON and as model values ----

def as_value(plain):
    """The model-value JSON form of plain JSON (strings, ints, lists, dicts)."""
    if isinstance(plain, bool):
        return {"Bool": plain}
    if isinstance(plain, int):
        return {"Int": plain}
    if isinstance(plain, str):
        return {"Str": plain}
    if isinstance(plain, list):
        return {"List": [as_value(x) for x in plain]}
    return {"Map": {k: as_value(v) for k, v in plain.items()}}


def edited_list(rng, n):
    # Within the walk's budget of 8 units per element wherever the changes
    # fall: an insertion costs up to three scans of the list, an edit or a
    # swap up to two, an append none.
    old = [f"item-{i}" for i in range(n)]
    new = list(old)
    new.insert(rng.randrange(n), f"new-{rng.randrange(10**9)}")
    new[rng.randrange(n)] = f"edit-{rng.randrange(10**9)}"
    i = rng.randrange(n - 1)
    new[i], new[i + 1] = new[i + 1], new[i]
    new.append("appended")
    return old, new


def record_map(rng, n):
    old = {f"r{i:07d}": {"name": f"n{i}", "count": i, "done": False, "tags": ["a", "b"]} for i in range(n)}
    new = json.loads(json.dumps(old))
    for key in rng.sample(sorted(new), max(1, n // 100)):
        field = rng.choice(["name", "count", "done", "tags"])
        new[key][field] = {"name": "changed", "count": -1, "done": True, "tags": ["c"]}[field]
    return old, new


def shuffled_list(rng, n):
    old = [f"item-{i}" for i in range(n)]
    new = list(old)
    rng.shuffle(new)
    return old, new


MODELS = {"list: insert, edit, swap, append": edited_list, "map of records": record_map, "shuffled list": shuffled_list}


# ---- timing ----

def best(fn, repeat, setup=None):
    """Best of `repeat` runs of fn(state), state = setup() made outside the clock."""
    times = []
    for _ in range(repeat):
        state = setup() if setup else None
        start = time.process_time()
        fn(state)
        times.append(time.process_time() - start)
        if times[-1] > 1.0:
            break  # one slow run is measure enough
    return min(times)


def measure(old, new, repeat, skip):
    old_text, new_text = json.dumps(as_value(old)), json.dumps(as_value(new))
    patch = wirewright.diff(old_text, new_text)
    assert wirewright.apply(old_text, patch) == wirewright.encode(new_text).decode()

    def hosted():
        store = wirewright.Store()
        store.host("Model", old_text)
        return store

    ours = {
        "diff": best(lambda _: wirewright.diff(old_text, new_text), repeat),
        "apply": best(lambda _: wirewright.apply(old_text, patch), repeat),
        "Store.mutate": best(lambda s: s.mutate(1, new_text), repeat, hosted),
        "Store.apply": best(lambda s: s.apply(1, patch), repeat, hosted),
    }
    peers = {}
    if "jsonpatch" not in skip:
        made = jsonpatch.make_patch(old, new)
        peers["jsonpatch.make_patch"] = best(lambda _: jsonpatch.make_patch(old, new), repeat)
        peers["jsonpatch.apply_patch"] = best(lambda _: jsonpatch.apply_patch(old, made), repeat)
        plain_text = json.dumps(old)
        peers["jsonpatch via text (apply)"] = best(
            lambda _: json.dumps(jsonpatch.apply_patch(json.loads(plain_text), made, in_place=True)), repeat)
    if "deepdiff" not in skip:
        peers["DeepDiff"] = best(lambda _: DeepDiff(old, new), repeat)
    ops = json.loads(patch)["ops"]
    kinds = sorted({next(iter(op)) for op in ops})
    return ours, peers, f"{len(ops)} ops ({', '.join(kinds) or 'none'})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 10000, 100000])
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    for title, make in MODELS.items():
        print(f"\n== {title}")
        skip, previous = set(), {}
        for n in args.sizes:
            old, new = make(random.Random(n), n)
            ours, peers, summary = measure(old, new, args.repeat, skip)
            print(f"-- {n} elements: our patch has {summary}")
            diff_peers = {k: v for k, v in peers.items() if "apply" not in k}
            apply_peers = {k: v for k, v in peers.items() if "apply" in k}
            for name, t in {**ours, **peers}.items():
                line = f"   {name:24} {t * 1e3:10.2f} ms"
                if name in previous:
                    line += f"   x{t / previous[name]:6.1f} from the last size"
                if name in ("diff", "Store.mutate"):
                    line += "".join(f"   {t / pt:7.3f} of {p}" for p, pt in diff_peers.items())
                if name in ("apply", "Store.apply"):
                    line += "".join(f"   {t / pt:7.3f} of {p}" for p, pt in apply_peers.items())
                print(line)
            previous = {**ours, **peers}
            for name, t in peers.items():
                if t > SLOW:
                    skip.add("jsonpatch" if name.startswith("jsonpatch") else "deepdiff")
            if skip:
                print(f"   (skipped at larger sizes, over {SLOW:.0f} s here: {', '.join(sorted(skip))})")


if __name__ == "__main__":
    main()
