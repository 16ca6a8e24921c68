"""The type stub against the module it describes.

The stub is the one installed next to the module when the module comes
from an installed package, so that these tests also check what the wheel
carries; for a module from a build directory it is the one in the sources.
"""

import ast
import inspect
import os
import runpy
import subprocess
import sys
from pathlib import Path

import pytest
import wirewright as ww

ROOT = Path(__file__).resolve().parent.parent
SOURCE_STUB = ROOT / "src" / "bridge" / "wirewright.pyi"
TYPED_USAGE = Path(__file__).resolve().parent / "typing" / "typed_usage.py"
INSTALLED_STUB = Path(ww.__file__).with_name("wirewright.pyi")
FROM_BUILD_DIR = bool(os.environ.get("WW_BUILD_DIR"))
STUB = SOURCE_STUB if FROM_BUILD_DIR else INSTALLED_STUB

KINDS = inspect.Parameter


def stub_tree():
    assert STUB.is_file(), f"no stub next to {ww.__file__}"
    return ast.parse(STUB.read_text(encoding="utf-8"), filename=str(STUB))


def stub_parameters(node):
    """(name, kind, default) of each parameter of a stub function."""
    args = node.args
    positional = [(a, KINDS.POSITIONAL_ONLY) for a in args.posonlyargs]
    positional += [(a, KINDS.POSITIONAL_OR_KEYWORD) for a in args.args]
    defaults = [KINDS.empty] * (len(positional) - len(args.defaults))
    defaults += [ast.literal_eval(d) for d in args.defaults]
    out = [(a.arg, kind, d) for (a, kind), d in zip(positional, defaults)]
    if args.vararg:
        out.append((args.vararg.arg, KINDS.VAR_POSITIONAL, KINDS.empty))
    for a, d in zip(args.kwonlyargs, args.kw_defaults):
        out.append((a.arg, KINDS.KEYWORD_ONLY, KINDS.empty if d is None else ast.literal_eval(d)))
    if args.kwarg:
        out.append((args.kwarg.arg, KINDS.VAR_KEYWORD, KINDS.empty))
    return out


def runtime_parameters(obj):
    return [(p.name, p.kind, p.default) for p in inspect.signature(obj).parameters.values()]


def decorator_names(node):
    return [d.id for d in node.decorator_list if isinstance(d, ast.Name)]


def defined(body):
    return [n for n in body if isinstance(n, (ast.FunctionDef, ast.ClassDef))]


def stub_callables():
    """(runtime object, stub function, whether in a class) for every
    function, constructor and method of the stub, in stub order; for a
    method the runtime object is its class."""
    out = []
    for node in defined(stub_tree().body):
        runtime = getattr(ww, node.name, None)
        if isinstance(node, ast.FunctionDef):
            out.append(pytest.param(runtime, node, False, id=node.name))
            continue
        for method in defined(node.body):
            out.append(pytest.param(runtime, method, True, id=f"{node.name}.{method.name}"))
    return out


CALLABLES = stub_callables()


def test_stub_names_follow_the_module():
    tree = stub_tree()
    declared = [
        ast.literal_eval(n.value)
        for n in tree.body
        if isinstance(n, ast.Assign) and [t.id for t in n.targets if isinstance(t, ast.Name)] == ["__all__"]
    ]
    assert declared == [ww.__all__]
    assert [n.name for n in defined(tree.body)] == ww.__all__

    for node in defined(tree.body):
        if isinstance(node, ast.ClassDef):
            cls = getattr(ww, node.name)
            methods = [name for name in vars(cls) if not name.startswith("__")]
            assert [m.name for m in defined(node.body)] == ["__new__", *methods], node.name


@pytest.mark.parametrize("runtime, node, in_class", CALLABLES)
def test_stub_signature_matches_the_text_signature(runtime, node, in_class):
    params = stub_parameters(node)
    if node.name == "__new__":
        # The class's own signature is its constructor's, without `cls`.
        assert params[0][:2] == ("cls", KINDS.POSITIONAL_OR_KEYWORD)
        assert params[1:] == runtime_parameters(runtime)
        return
    if in_class:
        is_static = isinstance(inspect.getattr_static(runtime, node.name), staticmethod)
        assert ("staticmethod" in decorator_names(node)) == is_static
        runtime = getattr(runtime, node.name)
    assert params == runtime_parameters(runtime)


@pytest.mark.parametrize("runtime, node, in_class", CALLABLES)
def test_stub_types_every_parameter_and_result(runtime, node, in_class):
    args = node.args
    every = args.posonlyargs + args.args + args.kwonlyargs
    if in_class and "staticmethod" not in decorator_names(node):
        every = every[1:]  # self or cls
    assert [a.arg for a in every if a.annotation is None] == []
    assert node.returns is not None


def test_typed_usage_runs():
    runpy.run_path(str(TYPED_USAGE), run_name="__main__")


def test_mypy_accepts_the_typed_usage():
    env = dict(os.environ)
    env.pop("MYPYPATH", None)
    # Installed, the stub is found the way any user's mypy finds it.
    if FROM_BUILD_DIR:
        env["MYPYPATH"] = str(SOURCE_STUB.parent)
    command = [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", f"--cache-dir={os.devnull}", str(TYPED_USAGE)]
    run = subprocess.run(command, env=env, cwd=TYPED_USAGE.parent, capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
