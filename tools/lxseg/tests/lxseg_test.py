# End-to-end tests of the lxseg tool, run by ctest with LXSEG (the tool) and
# LXWORDSEG_DATA (the build tree's default resources) set.
import json
import os
import random
import shutil
import subprocess

import pytest

LXSEG = os.environ["LXSEG"]
DATA = os.environ["LXWORDSEG_DATA"]
BLANKS = set("\t\n\v\f\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000") | {chr(c) for c in range(0x2000, 0x200B)}
SAMPLE = ("王小明去北京。\n臺灣的經濟發展很快，ＡＢＣ１２３。\n\n他在１９９８年买了３．５公斤 苹果。\r\n"
          "Abc\u3000ABC naïve 😀 €5\t𠮷").encode()


def run(*args, stdin=b"", env_data=DATA, status=0):
    env = dict(os.environ)
    env.pop("LXWORDSEG_DATA", None)
    if env_data:
        env["LXWORDSEG_DATA"] = env_data
    p = subprocess.run([LXSEG, *map(str, args)], input=stdin, capture_output=True, env=env, timeout=300)
    assert p.returncode == status, p.stderr
    return p.stdout


def input_lines(data):
    """The lines as the tool reads them: LF or CR LF ends a line, the last needs none."""
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    return [l[:-1] if l.endswith(b"\r") and i < data.count(b"\n") else l for i, l in enumerate(lines)]


def decode(b, encoding="utf-8"):
    """What the tool shows in JSON: one U+FFFD for every byte that is not part of a character."""
    if encoding == "utf-8":
        s = b.decode("utf-8", "surrogateescape")
        return "".join("\ufffd" if 0xDC80 <= ord(c) <= 0xDCFF else c for c in s)
    out, i = [], 0  # GBK: a byte from 0x81 up takes the next byte with it; 0x80 is the euro sign
    while i < len(b):
        n = 2 if b[i] >= 0x81 and i + 1 < len(b) else 1
        try:
            out.append(chr(b[i]) if b[i] < 0x80 else "€" if b[i] == 0x80 else b[i:i + n].decode("gb18030"))
        except UnicodeDecodeError:
            out.append("\ufffd")
        i += n
    return "".join(out)


def random_bytes(seed, n):
    r = random.Random(seed)
    return bytes(r.choice(b"\n \t\r\xe4\xbd\xa0\x80\xa1") if r.random() < 0.3 else r.randrange(256)
                 for _ in range(n))


@pytest.fixture(scope="module")
def user_dict(tmp_path_factory):
    d = tmp_path_factory.mktemp("ud") / "CustomWord" / "brand"
    d.mkdir(parents=True)
    (d / "p.txt").write_bytes("蓝鲸手机,nz\n".encode("gbk"))
    return d.parent


def check_formats(data, args, encoding="utf-8"):
    """Every format of one run against the others and against the input."""
    lines = input_lines(data)
    out = {f: run("-f", f, *args, stdin=data) for f in ("text", "tagged", "conll", "json")}
    records = [json.loads(l) for l in out["json"].decode().split("\n")[:-1]]
    conll, rows = [], []  # a blank line ends the rows of an input line
    for row in out["conll"].split(b"\n")[:-1]:
        rows = rows + [row.rsplit(b"\t", 3)] if row else conll.append(rows) or []
    assert len(records) == len(lines) == len(conll) and rows == []
    for f in ("text", "tagged"):
        assert out[f].endswith(b"\n") and out[f].count(b"\n") == len(lines)
    for line, rec, text, tagged, block in zip(lines, records, out["text"].split(b"\n"),
                                              out["tagged"].split(b"\n"), conll):
        if "--normalised" not in args:  # the words spell the line, byte for byte
            assert b"".join(w for w, *_ in block) == line
        # GBK: the tool converts token by token, as the library may split a malformed pair
        text_ok = decode(line) if encoding == "utf-8" else "".join(decode(w, encoding) for w, *_ in block)
        assert rec["text"] == text_ok
        pos = 0
        for t in rec["tokens"]:  # contiguous spans covering the line
            assert t["begin"] == pos < t["end"]
            pos = t["end"]
            if "--normalised" not in args:
                assert t["word"] == rec["text"][t["begin"]:t["end"]]
        assert pos == len(rec["text"])
        assert [(decode(w, encoding), t.decode(), int(b), int(e)) for w, t, b, e in block] == \
               [(t["word"], t["tag"], t["begin"], t["end"]) for t in rec["tokens"]]
        words = [(w, tag) for (w, tag, _, _), t in zip(block, rec["tokens"]) if not set(t["word"]) <= BLANKS]
        assert text == b" ".join(w for w, _ in words)
        assert tagged == b" ".join(w + b"/" + tag for w, tag in words)
    return out


@pytest.mark.parametrize("args", [[], ["--places"], ["--no-names", "--no-pos"], ["--normalised"],
                                  ["--no-split-surnames", "--no-pku", "--no-t2s", "--no-half-width"],
                                  ["--lower", "--normalised"], ["--user-dict", "UD"], ["-j", "2"],
                                  ["--coarse", "--user-dict", "UD"]])
def test_formats_agree_and_cover_the_line(args, user_dict):
    args = [str(user_dict) if a == "UD" else a for a in args]
    check_formats(SAMPLE, args)
    check_formats(random_bytes(len(args), 6000), args)


def test_binary_input_words_spell_the_line():
    for seed in range(3):
        data = random_bytes(seed + 100, 20000)
        out = run(stdin=data).split(b"\n")
        assert len(out) - 1 == len(input_lines(data))
        for line, text in zip(input_lines(data), out):  # only blanks are left out
            rest = decode(line)
            for word in decode(text).split(" "):
                i = rest.find(word)
                assert i >= 0 and set(rest[:i]) <= BLANKS
                rest = rest[i + len(word):]
            assert set(rest) <= BLANKS


def test_gbk_input_matches_utf8():
    text = SAMPLE.decode().replace("😀", "").replace("𠮷", "").replace("naïve", "naive").replace("€", "$")
    utf8, gbk = text.encode(), text.encode("gbk")
    for f in ("text", "tagged", "conll"):
        assert run("--encoding", "gbk", "-f", f, stdin=gbk) == run("-f", f, stdin=utf8).decode().encode("gbk")
    assert run("--encoding", "gbk", "-f", "json", stdin=gbk) == run("-f", "json", stdin=utf8)
    check_formats(gbk + random_bytes(7, 3000), ["--encoding", "GBK"], "gbk")


@pytest.mark.parametrize("args, text, present, absent", [
    ([], "臺灣的經濟，ＡＢＣ", ["臺灣", "ＡＢＣ"], ["台湾"]),
    (["--normalised"], "臺灣的經濟，ＡＢＣ", ["台湾 的 经济", "ABC"], ["臺灣", "ＡＢＣ"]),
    (["--normalised", "--no-t2s", "--no-half-width"], "臺灣的經濟，ＡＢＣ", ["臺", "ＡＢＣ"], ["台", "ABC"]),
    (["--normalised", "--lower"], "ＡＢＣ和Def", ["abc", "def"], ["ABC", "Def"]),
    (["-f", "tagged"], "王小明去北京。", ["王/nrf 小明/nrg", "北京/ns"], ["王小明"]),
    (["-f", "tagged", "--no-split-surnames"], "王小明去北京。", ["王小明/nr"], ["/nrg"]),
    (["-f", "tagged", "--coarse"], "王小明5月3日买了两个。", ["王小明/nr", "5月3日/t", "两个/m"], ["/nrg", "/q"]),
    (["-f", "tagged", "--no-names"], "王小明去北京。", ["北京/ns"], ["小明/nrg", "王小明/nr"]),
    (["-f", "tagged", "--no-pos"], "我们去北京。", ["我们/", "北京/"], ["/r", "/ns"]),
    (["--no-half-width"], "他在１９９８年。", ["１９９８"], ["１ ９"]),
    (["--no-half-width", "--no-pku"], "他在１９９８年。", ["１ ９ ９ ８"], ["１９"]),
    (["-f", "tagged"], "我买了蓝鲸手机。", [" 手机/"], ["蓝鲸手机"]),
    (["-f", "tagged", "--user-dict", "UD"], "我买了蓝鲸手机。", ["蓝鲸手机/nz"], [" 手机/"]),
])
def test_options_change_the_output(args, text, present, absent, user_dict):
    args = [str(user_dict) if a == "UD" else a for a in args]
    out = run(*args, stdin=text.encode()).decode()
    assert all(p in out for p in present) and not any(a in out for a in absent), out
    on_forms = [f for f in ("--names", "--pos", "--split-surnames", "--t2s", "--half-width", "--pku")
                if "--no-" + f[2:] not in args]
    assert run(*args, *on_forms, stdin=text.encode()) == out.encode()  # the defaults


def test_files_stdin_dash_and_output_file(tmp_path):
    f = tmp_path / "in.txt"
    f.write_bytes(SAMPLE)
    once = run(stdin=SAMPLE)
    assert run("-", stdin=SAMPLE) == once == run(f)
    assert run(f, "-", f, stdin=SAMPLE) == once * 3
    assert run("-o", tmp_path / "out.txt", f, "--data", DATA, env_data=None) == b""
    assert (tmp_path / "out.txt").read_bytes() == once


def test_threads_give_the_same_output(tmp_path):
    r = random.Random(3)
    pieces = input_lines(SAMPLE) + [b"", b"\xff\xfe", "自然语言处理是人工智能的一个分支。".encode()]
    text = b"\n".join(b"".join(r.choice(pieces) for _ in range(r.randint(0, 6))) for _ in range(4000))
    f = tmp_path / "many.txt"
    f.write_bytes(text)
    for fmt in ("text", "json"):
        one = run("-f", fmt, f)
        assert one.count(b"\n") == 4000
        assert run("-f", fmt, "--threads", 2, f) == one == run("-f", fmt, "-j", 3, f)


@pytest.mark.parametrize("args, env_data, status, message", [
    (["--bogus"], DATA, 2, "--bogus"),
    (["-f", "xml"], DATA, 2, "xml"),
    (["--encoding", "latin1"], DATA, 2, "latin1"),
    (["--threads", "0"], DATA, 2, "0"),
    (["--version"], DATA, 0, ""),
    (["--help"], DATA, 0, ""),
    (["--data", "/nonexistent/lx"], DATA, 1, "/nonexistent/lx"),
    ([], "/nonexistent/env", 1, "/nonexistent/env"),
    (["--data", DATA], "/nonexistent/env", 0, ""),
    (["--user-dict", "/nonexistent/ud"], DATA, 1, "/nonexistent/ud"),
    (["/nonexistent/in.txt"], DATA, 1, "/nonexistent/in.txt"),
    (["TMP"], DATA, 1, "TMP"),
    (["-o", "TMP"], DATA, 1, "TMP"),
])
def test_exit_status(args, env_data, status, message, tmp_path):
    args = [str(tmp_path) if a == "TMP" else a for a in args]
    env = dict(os.environ, LXWORDSEG_DATA=env_data)
    p = subprocess.Popen([LXSEG, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, env=env)
    if status == 1 and "/nonexistent/in.txt" not in args and "TMP" not in message:
        p.wait(timeout=60)  # fails before reading its (still open) input
    out, err = p.communicate(b"", timeout=60)
    assert p.returncode == status, err
    assert message.replace("TMP", str(tmp_path)) in err.decode()
    if "--version" in args:
        assert out.decode().startswith("lxseg ") and out.strip()[-1:].isdigit()


def test_readable_inputs_are_still_segmented(tmp_path):
    f = tmp_path / "in.txt"
    f.write_bytes(SAMPLE)
    assert run(tmp_path, f, "/nonexistent/x", status=1) == run(f)


def test_resources_beside_the_program(tmp_path):
    """A copy in BIN finds BIN/../share/lxwordseg/resources before the other defaults."""
    (tmp_path / "bin").mkdir()
    shutil.copy(LXSEG, tmp_path / "bin")
    res = tmp_path / "share" / "lxwordseg" / "resources"
    res.mkdir(parents=True)  # empty: loading fails, naming it
    env = {k: v for k, v in os.environ.items() if k != "LXWORDSEG_DATA"}
    p = subprocess.run([tmp_path / "bin" / "lxseg"], input=b"x", capture_output=True, env=env)
    assert p.returncode == 1 and b"bin/../share/lxwordseg/resources" in p.stderr, p.stderr
