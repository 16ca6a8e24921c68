"""Diff and apply of model values: wirewright against jsonpatch (and deepdiff).

Three models at each size (a list with a few moves, insertions and edits; a
map of records with some changed fields; a shuffled list, which ends in one
Reorder), and four measurements of ours: `diff`, `apply`, `Store.mutate` on
a hosted model, and `Store.apply` on a mirror. The peers work on the
equivalent plain JSON: `jsonpatch.make_patch` / `jsonpatch.apply_patch` and
`deepdiff.DeepDiff` (with --deepdiff: it has no target and is slow). Our functions take and return JSON text, so their times
include reading and writing it; the peers' times start from Python objects.
One more row, "jsonpatch via text", gives jsonpatch's apply the same
text-in, text-out task (json.loads, apply_patch, json.dumps).

Times are CPU time of this process (the machines are shared), the best of
a few runs. Prints the best time of each, our time over each peer's (below 1: we are
faster), and how each cost grows from one size to the next (10 for linear
growth when the size grows tenfold). The summary holds the targets: each of
ours below 1.0 of the fastest jsonpatch pipeline that does the same work
(make_patch for diff and Store.mutate; apply_patch, from objects or via
text, for apply and Store.apply) at every size, and growth from one size to
the next no worse than n log n (13.3x from 10^3 to 10^4, 12.5x from 10^4 to
10^5).

    pip install -r bench/requirements-diff.txt
    python bench/diff_apply.py [--sizes 1000 10000 100000] [--repeat 5] [--module PATH]
"""

import argparse
import json
import math
import random
import time

from harness import Summary, add_module_option, describe, load_wirewright, ms, optional

jsonpatch = optional("jsonpatch")
deepdiff = None  # imported only when asked for (--deepdiff)
wirewright = None  # the module under test, loaded in main()

OURS_AGAINST = {"diff": "make", "Store.mutate": "make", "apply": "apply", "Store.apply": "apply"}


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


MODELS = {  # short name for the summary: (title, make)
    "list": ("list: insert, edit, swap, append", edited_list),
    "records": ("map of records", record_map),
    "shuffled": ("shuffled list", shuffled_list),
}


# ---- timing ----

def best(fn, repeat, setup=None, min_total=0.05):
    """Best of at least `repeat` runs of fn(state), state = setup() made
    outside the clock; short calls get more runs, until they have taken
    `min_total` seconds together."""
    times = []
    while len(times) < repeat or (sum(times) < min_total and len(times) < 100 * repeat):
        state = setup() if setup else None
        start = time.process_time()
        fn(state)
        times.append(time.process_time() - start)
        if times[-1] > 1.0:
            break  # one slow run is measure enough
    return min(times)


def measure(old, new, repeat, skip, with_deepdiff):
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
    # jsonpatch's apply needs a patch of its own, which only make_patch makes:
    # once make_patch is too slow, every jsonpatch row goes.
    if jsonpatch and "jsonpatch.make_patch" not in skip:
        made = jsonpatch.make_patch(old, new)
        plain_text = json.dumps(old)
        candidates = {
            "jsonpatch.make_patch": lambda _: jsonpatch.make_patch(old, new),
            "jsonpatch.apply_patch": lambda _: jsonpatch.apply_patch(old, made),
            "jsonpatch via text (apply)":
                lambda _: json.dumps(jsonpatch.apply_patch(json.loads(plain_text), made, in_place=True)),
        }
        if with_deepdiff and deepdiff:
            candidates["DeepDiff"] = lambda _: deepdiff.DeepDiff(old, new)
        for name, fn in candidates.items():
            if name not in skip:
                peers[name] = best(fn, repeat)
    ops = json.loads(patch)["ops"]
    kinds = sorted({next(iter(op)) for op in ops})
    return ours, peers, f"{len(ops)} ops ({', '.join(kinds) or 'none'})"


def n_log_n_growth(n1, n2):
    return n2 * math.log(n2) / (n1 * math.log(n1))


def fastest(peers, kind):
    """The fastest jsonpatch pipeline of one kind ("make" or "apply")."""
    found = [(name, t) for name, t in peers.items() if name.startswith("jsonpatch") and (kind == "apply") == ("apply" in name)]
    return min(found, key=lambda p: p[1]) if found else (None, None)


def main():
    global wirewright, deepdiff
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 10000, 100000])
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement, the best counts (default 5)")
    parser.add_argument("--models", nargs="+", choices=list(MODELS), default=list(MODELS))
    parser.add_argument("--slow", type=float, default=2.0,
                        help="seconds: a peer slower than this at one size is skipped at the larger ones (default 2)")
    parser.add_argument("--deepdiff", action="store_true", help="also time deepdiff.DeepDiff (no target; slow)")
    add_module_option(parser)
    args = parser.parse_args()
    wirewright = load_wirewright(args.module)
    if args.deepdiff:
        deepdiff = optional("deepdiff")
    print(describe(wirewright, ["jsonpatch", "deepdiff"] if args.deepdiff else ["jsonpatch"]))
    if jsonpatch is None:
        print("jsonpatch is not installed: the targets have no peer")

    summary = Summary("diff, apply and Store")
    for short, (title, make) in ((m, MODELS[m]) for m in args.models):
        print(f"\n== {title}")
        skip, previous, prev_n = set(), {}, None
        for n in args.sizes:
            old, new = make(random.Random(n), n)
            ours, peers, ops = measure(old, new, args.repeat, skip, args.deepdiff)
            print(f"-- {n} elements: our patch has {ops}")
            diff_peers = {k: v for k, v in peers.items() if "apply" not in k}
            apply_peers = {k: v for k, v in peers.items() if "apply" in k}
            for name, t in {**ours, **peers}.items():
                line = f"   {name:26} {t * 1e3:10.2f} ms"
                if name in previous:
                    line += f"   x{t / previous[name]:6.1f} from the last size"
                if name in ("diff", "Store.mutate"):
                    line += "".join(f"   {t / pt:7.3f} of {p}" for p, pt in diff_peers.items())
                if name in ("apply", "Store.apply"):
                    line += "".join(f"   {t / pt:7.3f} of {p}" for p, pt in apply_peers.items())
                print(line)
            for name, t in ours.items():
                peer, peer_t = fastest(peers, OURS_AGAINST[name])
                label = peer or ("jsonpatch: skipped, over --slow at a smaller size" if skip else "jsonpatch")
                summary.ratio(f"{name} {short} n={n}", t, label, peer_t, 1.0, strict=True)
            if previous:
                limit = n_log_n_growth(prev_n, n)
                for name, t in ours.items():
                    growth = t / previous[name]
                    summary.add(f"growth {name} {short} n={prev_n}->{n}", f"{ms(previous[name])} -> {ms(t)}", "-",
                                f"x{growth:.1f}", f"<= x{limit:.1f} (n log n)", growth <= limit)
            previous, prev_n = {**ours, **peers}, n
            for name, t in peers.items():
                if t > args.slow:
                    skip.add(name)
            if skip:
                print(f"   (skipped at larger sizes, over {args.slow:g} s here: {', '.join(sorted(skip))})")
    summary.print()


if __name__ == "__main__":
    main()
