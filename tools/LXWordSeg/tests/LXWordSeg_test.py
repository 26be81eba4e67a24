# End-to-end tests of the LXWordSeg tool, run by ctest with LXWORDSEG (the
# tool) and LXWORDSEG_DATA (the build tree's default resources) set.
import os
import re
import subprocess

import pytest

TOOL = os.environ["LXWORDSEG"]
DATA = os.environ["LXWORDSEG_DATA"]


def run(*args):
    p = subprocess.run([TOOL, *map(str, args)], capture_output=True, timeout=120)
    assert p.stdout == b""
    return p.returncode, p.stderr.decode("utf-8", "replace")


# Mode 847: simplified words, numbers apart from their units, custom words
# with their class names after the tag.  LF or CR LF ends a line (one CR
# only), and the last line needs none.
@pytest.mark.parametrize("text, flag, expected", [
    ("", "0", ""),
    ("中國人民 研究生命\r\n\n北京\r\r\n3.5公斤", "0", "中国 人民   研究 生命\n\n北京 \r\n3.5 公斤\n"),
    ("我买了蓝鲸手机和西湖龙井。\n", "1",
     "我/r\t买/v\t了/u\t蓝鲸手机/nzbrand\t和/c\t西湖龙井/n品牌|地名\t。/w\n"),
    ("北京，北京", "-7", "北京/ns\t，/w\t北京/ns\n"),
])
def test_output_lines(tmp_path, text, flag, expected):
    (tmp_path / "in.txt").write_bytes(text.encode("gbk"))
    status, err = run(DATA, tmp_path / "in.txt", tmp_path / "out.txt", flag)
    assert status == 0 and re.fullmatch(r"Time used: \d+\.\d{6} s\n", err), err
    assert (tmp_path / "out.txt").read_bytes().decode("gbk") == expected


@pytest.mark.parametrize("args, status, message", [
    ([], 2, "Usage: LXWordSeg dictdir input output flag"),
    (["D", "IN"], 2, "Usage"),
    (["D", "IN", "OUT", "0", "1"], 2, "Usage"),
    (["T/nodata", "IN", "OUT", "0"], 1, "T/nodata"),
    (["D", "T/missing.txt", "OUT", "0"], 1, "T/missing.txt"),
    (["D", "IN", "T/no/dir/out.txt", "0"], 1, "T/no/dir/out.txt"),
    (["D", "IN", "/dev/full", "0"], 1, "/dev/full"),
])
def test_exit_status(tmp_path, args, status, message):
    (tmp_path / "in.txt").write_bytes("北京\n".encode("gbk"))
    names = {"D": DATA, "IN": tmp_path / "in.txt", "OUT": tmp_path / "out.txt"}
    args = [str(names.get(a, a)).replace("T/", f"{tmp_path}/") for a in args]
    code, err = run(*args)
    assert code == status and message.replace("T/", f"{tmp_path}/") in err, err
    assert not (tmp_path / "out.txt").exists()
