# End-to-end tests of the SQLite extension lxwordseg_fts5, run by ctest with
# LXWORDSEG_FTS5 (the extension), LXSEG (the lxseg tool, which says what the
# words of a text are) and LXWORDSEG_DATA (the default resources) set.
import json
import os
import random
import sqlite3
import subprocess
import unicodedata

import pytest

EXT, LXSEG, DATA = (os.environ[k] for k in ("LXWORDSEG_FTS5", "LXSEG", "LXWORDSEG_DATA"))
VOCAB = ("经济 發展 北京 上海 我们 喜欢 研究 中国 人民 银行 科学 技术 公司 市场 学生 老师 电脑 手机 "
         "今天 非常 重要 问题 解决 工作 生活 臺灣 經濟 王小明 李 😀 👍🏽 🇨🇳 𠮷 한국어 Apple iPhone "
         "ＡＢＣ NAÏVE €5 ， 。 、 “ ”").split() + [" "]


def connect(path=":memory:"):
    db = sqlite3.connect(path)
    db.enable_load_extension(True)
    db.load_extension(EXT)
    return db


def tokens(lines, *args):
    """Per line: (word for the index, begin, end) of lxseg's words that are not blanks or punctuation."""
    out = subprocess.run([LXSEG, "-f", "json", "--lower", "--normalised", *args], check=True,
                         input="".join(l + "\n" for l in lines).encode(), capture_output=True).stdout
    return [[(t["word"].lower(), t["begin"], t["end"]) for t in json.loads(l)["tokens"]
             if any(unicodedata.category(c)[0] not in "PZC" for c in t["word"])]
            for l in out.decode().splitlines()]


def matches(db, query, table="t"):
    return {r for r, in db.execute(f"SELECT rowid FROM {table} WHERE {table} MATCH ?", (query,))}


def quote(s):
    return '"' + s.replace('"', '""') + '"'


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    r = random.Random(5)
    docs = ["".join(r.choice(VOCAB) for _ in range(r.randint(3, 14))) for _ in range(300)]
    path = tmp_path_factory.mktemp("db") / "t.db"
    db = connect(str(path))
    db.execute("CREATE VIRTUAL TABLE t USING fts5(body, tokenize='lxwordseg')")
    db.executemany("INSERT INTO t(rowid, body) VALUES (?, ?)", enumerate(docs))
    db.commit()
    return db, path, docs, tokens(docs)


def test_match_finds_exactly_the_documents_with_the_words(corpus):
    db, path, docs, toks = corpus
    words = [[w for w, *_ in ts] for ts in toks]
    # Queries are texts that segment to one token alone: words as the documents
    # write them, and their first characters (prefixes); plus other spellings.
    cands = sorted({docs[d][b:e] for d, ts in enumerate(toks) for _, b, e in ts} |
                   {w[0] for ws in words for w in ws} | {"ABC", "台湾", "naïve", "Ｎａïｖｅ"})
    key = {q: ts[0][0] for q, ts in zip(cands, tokens(cands)) if len(ts) == 1}
    r = random.Random(9)
    for q in r.sample(sorted(key), 60) + ["ABC", "台湾", "naïve", "Ｎａïｖｅ", "👍🏽", "𠮷"]:
        expected = {d for d, ws in enumerate(words) if key[q] in ws}
        assert matches(db, quote(q)) == expected, q
        for d, text in db.execute("SELECT rowid, highlight(t, 0, '[', ']') FROM t WHERE t MATCH ?",
                                  (quote(q),)):
            want, at = "", 0  # every instance of the word marked, whole, and nothing lost
            for _, b, e in (t for t in toks[d] if t[0] == key[q]):
                want, at = want + docs[d][at:b] + "[" + docs[d][b:e] + "]", e
            assert text == want + docs[d][at:], q
        pre = {d for d, ws in enumerate(words) if any(w.startswith(key[q]) for w in ws)}
        assert matches(db, quote(q) + "*") == pre, q
    for d, i in ((d, r.randrange(len(words[d]) - 1)) for d in r.sample(range(len(docs)), 60)
                 if len(words[d]) > 1):
        a, b = words[d][i:i + 2]
        if a in key and b in key:
            expected = {k for k, ws in enumerate(words) if (a, b) in zip(ws, ws[1:])}
            assert matches(db, f"{quote(a)} + {quote(b)}") == expected, (a, b)
    query = "SELECT rowid FROM t WHERE t MATCH '\"经济\" + \"发展\" OR 北*' ORDER BY rowid;"
    shell = subprocess.run(["sqlite3", str(path)], input=f".load {EXT}\n{query}\n", text=True,
                           capture_output=True, check=True).stdout
    assert shell.split() == [str(d) for d in sorted(matches(db, '"经济" + "发展" OR 北*'))]
    assert shell.strip()


def test_options_invalid_text_and_errors(tmp_path):
    db = connect()
    (tmp_path / "same").symlink_to(DATA)
    doc = "臺灣的王小明在北京市海淀区工作"
    for args, flags in ((f"surnames 0 t2s 0 data '{tmp_path / 'same'}'", ("--no-split-surnames", "--no-t2s")),
                        ("names 0 places 1", ("--no-names", "--places"))):
        db.execute(f"CREATE VIRTUAL TABLE o USING fts5(b, tokenize=\"lxwordseg {args}\")")
        db.execute("CREATE VIRTUAL TABLE v USING fts5vocab(o, 'instance')")
        db.execute("INSERT INTO o VALUES (?)", (doc,))
        vocab = [t for t, in db.execute("SELECT term FROM v ORDER BY offset")]
        assert vocab == [w for w, *_ in tokens([doc], *flags)[0]], args
        db.execute("DROP TABLE v")
        db.execute("DROP TABLE o")
    # Bytes that are not UTF-8 (no NUL: highlight() ends its text there): offsets stay exact.
    db.text_factory = bytes
    db.execute("CREATE VIRTUAL TABLE b USING fts5(body, tokenize='lxwordseg')")
    r = random.Random(3)
    blobs = [bytes(r.randrange(1, 256) for _ in range(300)) + "\n北京".encode() for _ in range(30)]
    for blob in blobs + [b"", b"\r\n\n", "，。 \u3000".encode()]:
        db.execute("INSERT INTO b VALUES (?)", (blob,))
    got = [t for t, in db.execute("SELECT highlight(b, 0, '[', ']') FROM b WHERE b MATCH '北京'")]
    assert [t.replace("[北京]".encode(), "北京".encode()) for t in got] == blobs
    other = tmp_path / "other"
    other.mkdir()
    for f in os.listdir(DATA):
        (other / f).symlink_to(os.path.join(DATA, f))
    for args in ("names", "names 2", "colour 1", f"data '{other}'", f"data '{tmp_path / 'none'}'"):
        with pytest.raises(sqlite3.OperationalError, match="tokenizer"):
            db.execute(f"CREATE VIRTUAL TABLE x USING fts5(b, tokenize=\"lxwordseg {args}\")")
