"""Segmentation through the module, read back in every way the C API offers."""
import gc
import os

import pytest

TEXT = "我们喜欢北京大学。今天天气很好"
CUSTOM_TEXT = "我们喜欢北京烤鸭，上海天气很好"


def gbk(s):
    return s.encode("gbk")


def reader_words(lx, h):
    return [lx.LXGetWordAt(h, i) for i in range(lx.LXGetResultCnt(h))]


def fine_tokens(lx, h):
    st = lx.new_seg_tokens_t()
    lx.LXGetAllSegInfo(h, st)
    out = []
    for i in range(lx.seg_tokens_t_fine_grain_tokens_num_get(st)):
        t = lx.seg_tokens_t_fine_grain_seg_tokens_at(st, i)
        out.append((lx.token_t_word_get(t), lx.token_t_pos_get(t), lx.token_t_wlen_get(t),
                    lx.token_t_wtype_get(t)))
    return out


def combined(lx, st, array, count):
    at = getattr(lx, "seg_tokens_t_%s_at" % array)
    n = getattr(lx, "seg_tokens_t_%s_get" % count)(st)
    out = []
    for i in range(n):
        c = at(st, i)
        out.append((lx.comb_token_t_word_get(c), lx.comb_token_t_pos_get(c),
                    lx.comb_token_t_wlen_get(c), lx.comb_token_t_cls_get(c),
                    lx.comb_token_t_sidx_get(c), lx.comb_token_t_eidx_get(c)))
    return out


def test_gbk_segmentation_read_back_every_way(lx, new_handle):
    h = new_handle(lx.LX_POS)
    text = gbk(TEXT)
    assert lx.LXSegment(h, text) is True
    words = reader_words(lx, h)
    assert b"".join(words) == text
    assert gbk("北京大学") in words and gbk("。") in words
    tokens = fine_tokens(lx, h)
    # Without LX_USR the readers index the fine tokens one to one.
    assert [t[0] for t in tokens] == words
    for word, pos, wlen, wtype in tokens:
        assert wlen == len(word) and wtype == 0 and 0 <= pos <= 55
    assert tokens[words.index(gbk("。"))][1] == lx.LX_W
    for i, (word, pos, _, wtype) in enumerate(tokens):
        wp = lx.LXGetAt(h, i)
        assert (lx.WP_word_get(wp), lx.WP_pos_get(wp), lx.WP_bcw_get(wp),
                lx.WP_cls_get(wp)) == (word, pos, False, -1)
        mw = lx.LXMSGetWordAt(h, i)
        assert (lx.ms_word_t_word_get(mw), lx.ms_word_t_idx_get(mw)) == (word, wtype)
        mp = lx.LXMSGetAt(h, i)
        assert (lx.ms_wp_t_word_get(mp), lx.ms_wp_t_pos_get(mp), lx.ms_wp_t_bcw_get(mp),
                lx.ms_wp_t_idx_get(mp)) == (word, pos, False, wtype)


def test_utf8_segmentation_gives_utf8_words_and_gbk_records(lx, new_handle):
    h = new_handle(lx.LX_POS)
    assert lx.LXSegment(h, gbk(TEXT))
    gbk_words = reader_words(lx, h)
    gbk_tokens = fine_tokens(lx, h)
    utf8 = TEXT.encode("utf-8")
    assert lx.LXSegment(h, utf8, 0, lx.LX_UTF8) is True
    words = reader_words(lx, h)
    assert words == [w.decode("gbk").encode("utf-8") for w in gbk_words]
    assert b"".join(words) == utf8
    n = len(words)
    assert [lx.WP_word_get(lx.LXGetAt(h, i)) for i in range(n)] == words
    assert [lx.ms_word_t_word_get(lx.LXMSGetWordAt(h, i)) for i in range(n)] == words
    assert [lx.ms_wp_t_word_get(lx.LXMSGetAt(h, i)) for i in range(n)] == words
    # The token arrays hold the text as the library keeps it: GBK.
    assert fine_tokens(lx, h) == gbk_tokens
    # Keywords name the optional arguments.
    assert lx.LXSegment(h, utf8, charset=lx.LX_UTF8, length=len(utf8))
    assert reader_words(lx, h) == words
    assert lx.LXSegment(handle=h, text=gbk(TEXT))
    assert reader_words(lx, h) == gbk_words


def test_length_argument(lx, new_handle):
    h = new_handle(0)
    text = gbk(TEXT)
    assert lx.LXSegment(h, text, 8)  # 我们喜欢
    assert b"".join(reader_words(lx, h)) == text[:8]
    # Length 0: the text ends at its first NUL byte.
    assert lx.LXSegment(h, gbk("北京") + b"\0" + gbk("上海"))
    assert b"".join(reader_words(lx, h)) == gbk("北京")
    assert lx.LXSegment(h, b"abc", 0, lx.LX_GBK)
    assert b"".join(reader_words(lx, h)) == b"abc"
    # A length beyond the bytes object would read past it.
    with pytest.raises(ValueError, match="argument 3 is larger than the text"):
        lx.LXSegment(h, b"abc", 4)
    with pytest.raises(OverflowError):
        lx.LXSegment(h, b"abc", -1)
    assert b"".join(reader_words(lx, h)) == b"abc"


def test_text_in_a_module_buffer(lx, new_handle):
    # A wrapped character pointer is a text too; its length is checked
    # against the buffer.
    h = new_handle(0)
    buf = lx.new_char_buffer(6)
    lx.LXPosId2Str(lx.LX_EMAIL, buf, 6)
    assert lx.LXSegment(h, buf)
    assert b"".join(reader_words(lx, h)) == b"email"
    assert lx.LXSegment(h, buf, 2)
    assert b"".join(reader_words(lx, h)) == b"em"
    with pytest.raises(ValueError, match="larger than the text"):
        lx.LXSegment(h, buf, 7)


def test_none_text_keeps_the_previous_result(lx, new_handle):
    h = new_handle(0)
    assert lx.LXSegment(h, gbk(TEXT))
    before = reader_words(lx, h)
    assert lx.LXSegment(h, None) is True
    assert reader_words(lx, h) == before


@pytest.mark.parametrize("data,charset", [
    (b"\xff\xfe\x80abc\xc0", "LX_UTF8"),
    (b"\xed\xa0\x80\xf4\x90\x80\x80", "LX_UTF8"),
    (b"abc\xb1", "LX_GBK"),
    (b"\x80\xff\xff\x81\x20\xfe", "LX_GBK"),
    (bytes(range(1, 256)), "LX_GBK"),
    (bytes(range(1, 256)), "LX_UTF8"),
])
def test_invalid_encodings_do_not_crash(lx, new_handle, data, charset):
    for mode in (0, lx.LX_POS | lx.LX_USR | lx.LX_NEW_RES):
        h = new_handle(mode)
        assert lx.LXSegment(h, data, 0, getattr(lx, charset)) in (True, False)
        n = lx.LXGetResultCnt(h)
        for i in range(n):
            lx.LXGetWordAt(h, i)
            lx.LXGetAt(h, i)
            lx.LXMSGetWordAt(h, i)
            lx.LXMSGetAt(h, i)
        st = lx.new_seg_tokens_t()
        lx.LXGetAllSegInfo(h, st)
        for i in range(lx.seg_tokens_t_fine_grain_tokens_num_get(st)):
            lx.token_t_word_get(lx.seg_tokens_t_fine_grain_seg_tokens_at(st, i))


def test_indexes_out_of_range_give_none(lx, new_handle):
    h = new_handle(lx.LX_USR)
    assert lx.LXSegment(h, gbk(TEXT))
    n = lx.LXGetResultCnt(h)
    for i in (n, n + 1, -1, 2**31 - 1, -2**31):
        assert lx.LXGetWordAt(h, i) is None
        assert lx.LXGetAt(h, i) is None
        assert lx.LXMSGetWordAt(h, i) is None
        assert lx.LXMSGetAt(h, i) is None
    with pytest.raises(OverflowError):
        lx.LXGetWordAt(h, 2**31)
    with pytest.raises(ValueError, match="None"):
        lx.WP_word_get(lx.LXGetAt(h, n))


def test_out_modes_and_custom_words(lx, new_handle):
    h = new_handle(lx.LX_POS | lx.LX_USR)
    text = gbk(CUSTOM_TEXT)
    assert lx.LXSegment(h, text)
    st = lx.new_seg_tokens_t()
    lx.LXGetAllSegInfo(h, st)
    custom = combined(lx, st, "custom_defined_tokens", "custom_tokens_num")
    phrases = combined(lx, st, "custom_defined_phrases", "custom_phrases_num")
    assert [c[0] for c in custom] == [gbk("北京烤鸭"), gbk("上海")]
    assert [p[0] for p in phrases] == [gbk("我们喜欢")]
    fine = fine_tokens(lx, h)
    for word, _, wlen, _, sidx, eidx in custom + phrases:
        assert wlen == len(word)
        assert b"".join(t[0] for t in fine[sidx:eidx + 1]) == word

    def view():
        out = []
        for i in range(lx.LXGetResultCnt(h)):
            wp = lx.LXGetAt(h, i)
            out.append((lx.WP_word_get(wp), lx.WP_bcw_get(wp), lx.WP_cls_get(wp)))
        return out

    words = view()  # OUT_WORD is the default
    assert b"".join(w for w, _, _ in words) == text
    assert [(w, c) for w, bcw, c in words if bcw] == [(c[0], c[3]) for c in custom]
    assert lx.LXSetOutMode(h, lx.OUT_PHRASE) is None
    out_phrases = view()
    assert b"".join(w for w, _, _ in out_phrases) == text
    assert out_phrases[0] == (gbk("我们喜欢"), True, phrases[0][3])
    assert len(out_phrases) == len(words) - 1
    lx.LXSetOutMode(h, lx.OUT_SUBPHRASE)
    assert view() == [(p[0], True, p[3]) for p in phrases]
    assert reader_words(lx, h) == [p[0] for p in phrases]
    lx.LXSetOutMode(h, 7)  # anything else reads the output words
    assert view() == words
    lx.LXSetOutMode(h, lx.OUT_WORD)
    assert view() == words

    # Class names of the custom words.
    names = {}
    for word, _, _, cls, _, _ in custom + phrases:
        assert lx.LXGetClsNum(h, cls) == 1
        names[word] = lx.LXGetClsAt(h, cls, 0)
    assert names == {gbk("北京烤鸭"): b"food", gbk("上海"): b"place", gbk("我们喜欢"): b"phrase"}


def test_two_segmentations_read_through_ms_readers(lx, new_handle):
    h = new_handle(lx.LX_WMUL)
    assert lx.LXSegment(h, gbk("和服装"))
    got = [(lx.ms_word_t_word_get(lx.LXMSGetWordAt(h, i)),
            lx.ms_word_t_idx_get(lx.LXMSGetWordAt(h, i))) for i in range(lx.LXGetResultCnt(h))]
    assert got == [(gbk("和服"), 1), (gbk("装"), 1), (gbk("和"), 2), (gbk("服装"), 2)]
    assert [(t[0], t[3]) for t in fine_tokens(lx, h)] == got
    assert [lx.ms_wp_t_idx_get(lx.LXMSGetAt(h, i)) for i in range(4)] == [1, 1, 2, 2]


def test_get_all_seg_info_keeps_the_synonym_pair(lx, new_handle):
    h = new_handle(lx.LX_NEW_RES)
    assert lx.LXSegment(h, gbk(TEXT))
    st = lx.new_seg_tokens_t()
    syn = lx.new_comb_token_t()
    lx.seg_tokens_t_synonym_tokens_set(st, syn)
    lx.seg_tokens_t_synonym_tokens_num_set(st, 1)
    lx.seg_tokens_t_custom_tokens_num_set(st, 99)
    assert lx.LXGetAllSegInfo(h, st) is None
    assert int(lx.seg_tokens_t_synonym_tokens_get(st)) == int(syn)
    assert lx.seg_tokens_t_synonym_tokens_num_get(st) == 1
    assert lx.seg_tokens_t_custom_tokens_num_get(st) == 0
    n = lx.seg_tokens_t_fine_grain_tokens_num_get(st)
    assert n == len(reader_words(lx, h))
    with pytest.raises(IndexError):
        lx.seg_tokens_t_fine_grain_seg_tokens_at(st, n)
    with pytest.raises(IndexError):
        lx.seg_tokens_t_custom_defined_tokens_at(st, 0)
    # Records of the handle are borrowed.
    with pytest.raises(ValueError, match="not owned"):
        lx.delete_token_t(lx.seg_tokens_t_fine_grain_seg_tokens_at(st, 0))
    wp = lx.LXGetAt(h, 0)
    with pytest.raises(ValueError, match="not owned"):
        lx.delete_WP(wp)
    del wp
    gc.collect()  # dropping a borrowed record frees nothing
    assert lx.WP_word_get(lx.LXGetAt(h, 0)) == reader_words(lx, h)[0]


def test_setting_a_field_of_a_borrowed_record_frees_nothing_of_the_library(lx, new_handle):
    h = new_handle(0)
    assert lx.LXSegment(h, gbk(TEXT))
    words = reader_words(lx, h)
    wp = lx.LXGetAt(h, 0)
    lx.WP_word_set(wp, b"mine")
    lx.WP_word_set(wp, b"again")
    assert lx.WP_word_get(wp) == b"again"
    st = lx.new_seg_tokens_t()
    lx.LXGetAllSegInfo(h, st)
    t = lx.seg_tokens_t_fine_grain_seg_tokens_at(st, 1)
    lx.token_t_word_set(t, b"x")
    assert lx.token_t_word_get(t) == b"x"
    assert reader_words(lx, h)[2:] == words[2:]
    assert lx.LXSegment(h, gbk(TEXT))
    assert reader_words(lx, h) == words


def test_convert_word_charset_to_utf8(lx, new_handle):
    h = new_handle(0)
    word = lx.new_charpp()
    length = lx.new_size_tp()
    lx.charpp_assign(word, gbk("北京大学"))
    lx.size_tp_assign(length, 8)
    assert lx.LXConvertWordCharsetToUTF8(h, word, length) is None
    assert lx.charpp_value(word) == "北京大学".encode("utf-8")
    assert lx.size_tp_value(length) == 12
    # Part of a word: the first character only.
    lx.charpp_assign(word, gbk("北京"))
    lx.size_tp_assign(length, 2)
    lx.LXConvertWordCharsetToUTF8(h, word, length)
    assert lx.charpp_value(word) == "北".encode("utf-8")
    assert lx.size_tp_value(length) == 3
    # A length beyond the word is refused instead of read.
    lx.charpp_assign(word, gbk("北京"))
    lx.size_tp_assign(length, 5)
    with pytest.raises(ValueError, match="larger than the word"):
        lx.LXConvertWordCharsetToUTF8(h, word, length)
    assert lx.charpp_value(word) == gbk("北京")
    lx.charpp_assign(word, None)
    lx.size_tp_assign(length, 0)
    lx.LXConvertWordCharsetToUTF8(h, word, length)
    assert lx.charpp_value(word) is None
    with pytest.raises(ValueError):
        lx.LXConvertWordCharsetToUTF8(h, None, length)
    with pytest.raises(ValueError):
        lx.LXConvertWordCharsetToUTF8(h, word, None)
    with pytest.raises(TypeError):
        lx.LXConvertWordCharsetToUTF8(h, gbk("北京"), length)
    with pytest.raises(TypeError):
        lx.LXConvertWordCharsetToUTF8(h, word, 2)
    with pytest.raises(TypeError):
        lx.LXConvertWordCharsetToUTF8(h, word)
    # A null handle changes nothing.
    lx.charpp_assign(word, gbk("北京"))
    lx.size_tp_assign(length, 4)
    lx.LXConvertWordCharsetToUTF8(None, word, length)
    assert (lx.charpp_value(word), lx.size_tp_value(length)) == (gbk("北京"), 4)


def test_change_user_dict(lx, new_handle, seg, tmp_path):
    # Class names are the directories below a "CustomWord" directory.
    lake = tmp_path / "CustomWord" / "lake"
    lake.mkdir(parents=True)
    (lake / "words.txt").write_bytes(gbk("天气很好,n\n"))
    try:
        assert lx.LXChangeUserDict(os.fsencode(tmp_path / "CustomWord")) is None
        h = new_handle(lx.LX_USR)
        assert lx.LXSegment(h, gbk(CUSTOM_TEXT))
        st = lx.new_seg_tokens_t()
        lx.LXGetAllSegInfo(h, st)
        custom = combined(lx, st, "custom_defined_tokens", "custom_tokens_num")
        assert gbk("天气很好") in [c[0] for c in custom]
        assert gbk("北京烤鸭") not in [c[0] for c in custom]
        cls = custom[[c[0] for c in custom].index(gbk("天气很好"))][3]
        assert lx.LXGetClsAt(h, cls, 0) == b"lake"
        with pytest.raises(TypeError):
            lx.LXChangeUserDict(str(tmp_path))
        lx.LXChangeUserDict(None)  # ignored
    finally:
        lx.LXChangeUserDict(seg + b"/CustomWord")
    h = new_handle(lx.LX_USR)
    assert lx.LXSegment(h, gbk(CUSTOM_TEXT))
    assert gbk("北京烤鸭") in reader_words(lx, h)


def test_lifecycle_pku_mode_and_reinitialisation(lx, seg):
    h = lx.LXCreateSegHandle(0)
    assert lx.LXSegment(h, gbk(TEXT))
    expected = reader_words(lx, h)
    # PKU mode switches the shared factoid recogniser until LXUnInitSeg.
    assert lx.LXSetPKUMode(h) is None
    assert lx.LXSegment(h, gbk(TEXT))
    assert b"".join(reader_words(lx, h)) == gbk(TEXT)
    assert lx.LXCloseSegHandle(h) is None
    assert lx.LXUnInitSeg() is None
    assert lx.LXInitSeg(seg) is True
    h = lx.LXCreateSegHandle(0)
    assert lx.LXSegment(h, gbk(TEXT))
    assert reader_words(lx, h) == expected
    lx.LXCloseSegHandle(h)
    assert lx.LXInitSeg(b"/nonexistent-lxwordseg-resources") is False
    assert lx.LXInitSeg(seg) is True
