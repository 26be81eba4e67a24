"""Fixtures of the _LXWordSeg test suite.

The module is imported from PYTHONPATH (the build tree).  The resource
directory is written once per session by the make_test_resources program
named in LXWORDSEG_MAKE_TEST_RESOURCES; tests that segment use the `seg`
fixture, which skips them when the library cannot load those resources.
"""
import os
import subprocess

import pytest

import _LXWordSeg


def gbk(text):
    return text.encode("gbk")


@pytest.fixture(scope="session")
def lx():
    return _LXWordSeg


@pytest.fixture(scope="session")
def resource_dir(tmp_path_factory):
    tool = os.environ.get("LXWORDSEG_MAKE_TEST_RESOURCES")
    if not tool:
        pytest.fail("LXWORDSEG_MAKE_TEST_RESOURCES must name the make_test_resources program")
    out = tmp_path_factory.mktemp("resources")
    subprocess.run([tool, str(out)], check=True)
    return out


@pytest.fixture(scope="session")
def seg(lx, resource_dir):
    """The library initialised with the test resources (once per session)."""
    if not lx.LXInitSeg(os.fsencode(resource_dir)):
        lx.LXUnInitSeg()
        pytest.skip("the segmenter cannot load the test resources yet")
    yield os.fsencode(resource_dir)
    lx.LXUnInitSeg()


@pytest.fixture
def new_handle(lx, seg):
    """Makes handles with the given mode flags and closes them afterwards."""
    made = []

    def make(mode=0):
        h = lx.LXCreateSegHandle(mode)
        assert h is not None
        made.append(h)
        return h

    yield make
    for h in made:
        try:
            lx.LXCloseSegHandle(h)
        except ValueError:  # the test closed it itself
            pass


def pytest_sessionfinish(session, exitstatus):
    # A run that collected nothing means the suite itself is broken: make it
    # fail instead of pytest's "no tests" status, which test drivers may
    # read as neither pass nor fail.
    if exitstatus == pytest.ExitCode.NO_TESTS_COLLECTED:
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
