"""What every bench script shares: the module under test (installed, or a
built extension file given with --module), best-of timing, the versions of
the peers, and the closing summary table.
"""

import importlib
import importlib.metadata
import importlib.util
import math
import os
import sys
import time


def add_module_option(parser):
    parser.add_argument(
        "--module", metavar="PATH",
        help="load wirewright from this built extension file (for example "
             "build/wirewright.abi3.so) instead of the installed package")


def load_wirewright(path=None):
    """The module under test: the built file at `path`, or the installed one."""
    if path is None:
        try:
            import wirewright
        except ImportError:
            sys.exit("wirewright is not installed: install it, or pass --module PATH to a built extension file")
        return wirewright
    if not os.path.isfile(path):
        sys.exit(f"no such file: {path}")
    spec = importlib.util.spec_from_file_location("wirewright", path)
    if spec is None:
        sys.exit(f"not an extension module file: {path}")
    module = importlib.util.module_from_spec(spec)
    sys.modules["wirewright"] = module
    spec.loader.exec_module(module)
    return module


def optional(name):
    """A peer module, or None when it is not installed (its rows are then left out)."""
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


def describe(module, distributions):
    """One header line: where the module under test came from and the peers' versions."""
    found = []
    for dist in distributions:
        try:
            found.append(f"{dist} {importlib.metadata.version(dist)}")
        except importlib.metadata.PackageNotFoundError:
            found.append(f"{dist} (not installed)")
    return (f"wirewright: {module.__file__}\n"
            f"python {sys.version.split()[0]}; peers: {', '.join(found)}")


def best_time(fn, repeat, min_run=0.02, clock=time.perf_counter):
    """Seconds per call of fn(): the best of `repeat` runs, each run calling fn
    as often as it takes to last `min_run` seconds (once for slow calls), so
    that short calls are not lost in the clock's resolution."""
    start = clock()
    fn()
    first = clock() - start
    loops = 1 if first >= min_run else min(1000, int(min_run / max(first, 1e-7)) + 1)
    best = first if loops == 1 else float("inf")
    for _ in range(repeat - (loops == 1)):
        start = clock()
        for _ in range(loops):
            fn()
        best = min(best, (clock() - start) / loops)
    return best


def same(a, b):
    """Equal documents, doubles allowed to differ in the last bit."""
    if isinstance(a, float) or isinstance(b, float):
        return isinstance(a, (int, float)) and isinstance(b, (int, float)) and math.isclose(a, b, rel_tol=1e-15)
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return isinstance(b, dict) and a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return a == b


def ms(seconds):
    return f"{seconds * 1e3:.2f} ms"


def gbps(nbytes, seconds):
    return nbytes / seconds / 1e9


class Summary:
    """The rows "case | ours | peer | ratio | target | met?" printed at the
    end of a run, for pasting into a note next to another run's."""

    def __init__(self, title):
        self.title = title
        self.rows = []

    def add(self, case, ours, peer, ratio, target, met):
        self.rows.append((case, ours, peer, ratio, target, {True: "yes", False: "NO", None: "n/a"}[met]))

    def ratio(self, case, ours_s, peer_name, peer_s, limit, strict=False):
        """A row whose target is ours/peer <= limit (< limit when strict);
        peer_s None means the peer is unavailable."""
        target = f"{'<' if strict else '<='} {limit:g}"
        if peer_s is None:
            self.add(case, ms(ours_s), peer_name if ":" in peer_name else f"{peer_name}: unavailable", "-", target, None)
            return
        r = ours_s / peer_s
        self.add(case, ms(ours_s), f"{peer_name} {ms(peer_s)}", f"{r:.2f}", target, r < limit if strict else r <= limit)

    def throughput(self, case, ours_s, nbytes, min_gbps, peer_name=None, peer_s=None):
        """A row whose target is at least min_gbps GB/s of input; the ratio to
        a peer, when given, is shown for comparison only."""
        speed = gbps(nbytes, ours_s)
        peer = f"{peer_name} {ms(peer_s)}" if peer_s is not None else "-"
        ratio = f"{ours_s / peer_s:.2f}" if peer_s is not None else "-"
        self.add(case, f"{ms(ours_s)} ({speed:.2f} GB/s)", peer, ratio, f">= {min_gbps:g} GB/s", speed >= min_gbps)

    def print(self):
        header = ("case", "ours", "peer", "ratio", "target", "met?")
        widths = [max(len(str(row[i])) for row in [header, *self.rows]) for i in range(len(header))]

        def line(row):
            return "| " + " | ".join(str(cell).ljust(w) for cell, w in zip(row, widths)) + " |"

        met = sum(row[5] == "yes" for row in self.rows)
        missed = sum(row[5] == "NO" for row in self.rows)
        print(f"\n## {self.title}: {met} met, {missed} missed, {len(self.rows) - met - missed} without a verdict")
        print(line(header))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for row in self.rows:
            print(line(row))
