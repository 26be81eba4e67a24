"""Fixtures of the _LXWordSeg test suite.

The module is imported from PYTHONPATH (the build tree).  The resource
directory is written once per session by the make_test_resources program
named in LXWORDSEG_MAKE_TEST_RESOURCES.
"""
import os
import subprocess

import pytest

import _LXWordSeg


@pytest.fixture(scope="session")
def lx():
    return _LXWordSeg


@pytest.fixture(scope="session")
def seg(lx, tmp_path_factory):
    """The library initialised with the test resources (once per session)."""
    tool = os.environ.get("LXWORDSEG_MAKE_TEST_RESOURCES")
    assert tool, "LXWORDSEG_MAKE_TEST_RESOURCES must name the make_test_resources program"
    out = tmp_path_factory.mktemp("resources")
    subprocess.run([tool, str(out)], check=True)
    assert lx.LXInitSeg(os.fsencode(out))
    yield os.fsencode(out)
    lx.LXUnInitSeg()


@pytest.fixture
def new_handle(lx, seg):
    """Makes handles with the given mode flags and closes them afterwards."""
    made = []

    def make(mode=0):
        made.append(lx.LXCreateSegHandle(mode))
        assert made[-1] is not None
        return made[-1]

    yield make
    for h in made:
        try:
            lx.LXCloseSegHandle(h)
        except ValueError:  # the test closed it itself
            pass


def pytest_sessionfinish(session, exitstatus):
    # A run that collected nothing means the suite itself is broken: fail it
    # rather than report pytest's "no tests" status.
    if exitstatus == pytest.ExitCode.NO_TESTS_COLLECTED:
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
