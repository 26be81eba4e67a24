# Runs examples/dask_segment.py on a local cluster of two workers and compares
# every output file with what lxseg prints for the same file.  ctest sets
# LXSEG (the tool), PYTHONPATH (the build's Python package) and LXWORDSEG_DATA.
import os
import subprocess
import sys

SCRIPT = os.path.join(os.path.dirname(__file__), os.pardir, "dask_segment.py")
FILES = {
    "news.txt": "今天上午，我在北京大学图书馆借了三本书。\n臺灣的經濟發展很快，ＡＢＣ１２３。\n\n",
    "mixed.txt": "王小明去北京。\r\nnaïve 😀 €5\t𠮷 한국어\r\nlast line without a line feed",
    "empty.txt": "",
    "blanks.txt": "  \u3000 \n他说：“好！”\n",
}


def run(*args):
    return subprocess.run([sys.executable, SCRIPT, *map(str, args)], capture_output=True,
                          text=True, timeout=600)


def test_output_equals_lxseg_and_errors_name_the_file(tmp_path):
    src, out = tmp_path / "in", tmp_path / "out"
    src.mkdir()
    (src / "subdir").mkdir()  # not a file: left alone
    for name, text in FILES.items():
        (src / name).write_bytes(text.encode())
    p = run(src, out, "--workers", 2)
    assert p.returncode == 0, p.stderr
    assert sorted(os.listdir(out)) == sorted(FILES)
    for name in FILES:
        expected = subprocess.run([os.environ["LXSEG"], src / name], capture_output=True,
                                  check=True).stdout
        assert (out / name).read_bytes() == expected, name

    (src / "bad.txt").write_bytes(b"\xe4\xbd\xa0\xff\n")
    p = run(src, tmp_path / "out2", "--workers", 1)
    assert p.returncode == 1 and "bad.txt: line 1 is not valid UTF-8" in p.stderr
    p = run(tmp_path / "missing", out)
    assert p.returncode == 1 and "missing" in p.stderr
