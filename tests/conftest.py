"""Shared test setup.

tools/test_all.sh points WW_BUILD_DIR at its CMake build, so the tests run
against the module built from the current sources (and can reach the
bridge's test-only module); without it they use the installed package.
"""

import importlib
import os
import sys

import pytest

_BUILD_DIR = os.environ.get("WW_BUILD_DIR")
if _BUILD_DIR:
    sys.path.insert(0, os.path.abspath(_BUILD_DIR))


def pytest_report_header(config):
    import wirewright

    return f"wirewright: {wirewright.__file__}"


@pytest.fixture(scope="session")
def probe():
    """The bridge's test-only module, _wirewright_probe."""
    try:
        return importlib.import_module("_wirewright_probe")
    except ImportError:
        if _BUILD_DIR:
            raise  # the build was asked for and should have made it
        pytest.skip("_wirewright_probe is built by tools/test_all.sh (WW_BUILD_DIR unset)")


def raised(fn, *args, **kwargs):
    """The exception that fn(*args, **kwargs) raises; fails if none."""
    with pytest.raises(BaseException) as info:
        fn(*args, **kwargs)
    return info.value
