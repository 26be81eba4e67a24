"""The lxwordseg package, in a process of its own, over the default resources
that it finds in the build tree."""
import gc
import random
import threading

import pytest

import lxwordseg
from lxwordseg import Segmenter, Token

# Blanks, ASCII, CJK, full-width forms, Latin with combining marks, Hangul,
# CJK beyond the BMP, emoji with modifiers and joiners, flags, other planes.
RANGES = [(0x9, 0xD), (0x20, 0x7E), (0x4E00, 0x9FA5), (0xFF01, 0xFF5E), (0xC0, 0x17F), (0x300, 0x36F),
          (0xAC00, 0xD7A3), (0x20000, 0x2A6DF), (0x1F300, 0x1F64F), (0x1F3FB, 0x1F3FF), (0x200D, 0x200D),
          (0x1F1E6, 0x1F1FF), (0x3000, 0x303F), (0, 0x10FFFF)]


def random_text(rng, n):
    cps = (rng.randint(*rng.choice(RANGES)) for _ in range(n))
    return "".join(chr(c) for c in cps if not 0xD800 <= c < 0xE000)


def check_tokens(text, tokens):
    assert "".join(t.word for t in tokens) == text
    assert all(text[t.start:t.end] == t.word for t in tokens)
    assert [t.start for t in tokens[1:]] == [t.end for t in tokens[:-1]]


def test_words_join_to_any_text_and_spans_point_at_them():
    rng = random.Random(20260101)
    for _ in range(400):
        text = random_text(rng, rng.randint(0, 30))
        tokens = lxwordseg.tokenize(text)
        check_tokens(text, tokens)
        assert lxwordseg.cut(text) == [t.word for t in tokens]
        assert lxwordseg.tag(text) == [(t.word, t.tag) for t in tokens]
    # Long texts are segmented a piece at a time: offsets run on across pieces.
    text = "\n".join(random_text(rng, 200) + "他说的确实在理" for _ in range(1500))
    check_tokens(text, lxwordseg.tokenize(text))


def test_tags_of_a_sentence():
    assert lxwordseg.tag("张明和李华一起去中关村，臺灣的經濟很好😂") == [
        ("张", "nrf"), ("明", "nrg"), ("和", "c"), ("李", "nrf"), ("华", "nrg"), ("一起", "s"),
        ("去", "v"), ("中关村", "ns"), ("，", "w"), ("臺灣", "ns"), ("的", "u"), ("經濟", "n"),
        ("很", "d"), ("好", "a"), ("😂", "w")]
    with Segmenter(normalised=True) as seg:  # the words as the analysis read them
        assert seg.cut("臺灣的經濟：ＡＢＣ") == ["台湾", "的", "经济", ":", "ABC"]
    with Segmenter(coarse=True) as seg:  # larger units; the words still spell the text
        text = "张明在１９９８年１月买了两个"
        assert seg.tag(text) == [("张明", "nr"), ("在", "p"), ("１９９８年１月", "t"), ("买", "v"),
                                 ("了", "u"), ("两个", "m")]
        check_tokens(text, seg.tokenize(text))


def test_threads_give_the_results_of_one_thread_and_free_their_handles():
    rng = random.Random(5)
    texts = [random_text(rng, 300) + "我们喜欢北京烤鸭。" * 20 for _ in range(40)]
    expected = [lxwordseg.tokenize(t) for t in texts]
    seg = Segmenter()
    results = [None] * 8

    def work(i):
        results[i] = [(lxwordseg if i % 2 else seg).tokenize(t) for t in texts]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 8
    gc.collect()
    assert len(seg._handles) == 0  # each thread's handle went with the thread
    seg.close()
    with pytest.raises(ValueError, match="closed"):
        seg.cut("你好")


def test_errors(tmp_path):
    lxwordseg.cut("")  # the default resources are loaded
    with pytest.raises(ValueError, match=f"resources.*{tmp_path}"):
        Segmenter(data=tmp_path)
    with pytest.raises(ValueError, match="PKU mode is on"):
        Segmenter(pku=False)
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        lxwordseg.cut("北京\udc80")
    with pytest.raises(TypeError, match="must be str"):
        lxwordseg.cut("北京".encode())
    with pytest.raises(FileNotFoundError, match="user dictionary"):
        Segmenter(user_dict=tmp_path / "missing")


def test_user_dictionary_classes_and_reload(tmp_path):
    lake = tmp_path / "CustomWord" / "lake"
    lake.mkdir(parents=True)
    (lake / "words.txt").write_bytes("天气很好,n\n".encode("gbk"))
    words = tmp_path / "food.txt"
    words.write_text("北京烤鸭,nz\n", encoding="utf-8")
    with Segmenter(user_dict=tmp_path) as seg:  # holds CustomWord/
        assert Token("天气很好", "n", 4, 8, "lake") in seg.tokenize("北京烤鸭天气很好")
        with pytest.raises(ValueError, match="load_user_dict"):
            Segmenter(user_dict=words)
        lxwordseg.load_user_dict(words)  # replaces it for every Segmenter
        assert seg.tokenize("北京烤鸭天气很好")[0] == Token("北京烤鸭", "nz", 0, 4, "food")
        assert lxwordseg.tokenize("北京烤鸭")[0].cls == "food"
        assert lxwordseg.cut("北京烤鸭天气很好") == ["北京烤鸭", "天气", "很", "好"]
