"""Segmentation through the module, read back in every way the C API offers."""
import os

TEXT = "我们喜欢北京大学。今天天气很好"
WORDS = ["我们", "喜欢", "北京大学", "。", "今天", "天气", "很", "好"]


def gbk(s):
    return s.encode("gbk")


def reader_words(lx, h):
    return [lx.LXGetWordAt(h, i) for i in range(lx.LXGetResultCnt(h))]


def custom_tokens(lx, h):
    """(word, class id, first word index, last word index) of each custom word."""
    st = lx.new_seg_tokens_t()
    lx.LXGetAllSegInfo(h, st)
    return [(lx.comb_token_t_word_get(c), lx.comb_token_t_cls_get(c), lx.comb_token_t_sidx_get(c),
             lx.comb_token_t_eidx_get(c))
            for c in (lx.seg_tokens_t_custom_defined_tokens_at(st, i) for i in range(lx.seg_tokens_t_custom_tokens_num_get(st)))]


def test_gbk_and_utf8_segmentation_read_back_every_way(lx, new_handle):
    h = new_handle(lx.LX_POS)
    assert lx.LXSegment(h, gbk(TEXT)) is True
    assert reader_words(lx, h) == [gbk(w) for w in WORDS]
    st = lx.new_seg_tokens_t()
    lx.LXGetAllSegInfo(h, st)
    fine = [lx.seg_tokens_t_fine_grain_seg_tokens_at(st, i) for i in range(len(WORDS))]
    assert [lx.token_t_word_get(t) for t in fine] == [gbk(w) for w in WORDS]
    assert lx.token_t_pos_get(fine[3]) == lx.LX_W
    utf8 = TEXT.encode("utf-8")
    assert lx.LXSegment(h, utf8, charset=lx.LX_UTF8, length=len(utf8))
    words = [w.encode("utf-8") for w in WORDS]
    assert reader_words(lx, h) == words
    assert [lx.WP_word_get(lx.LXGetAt(h, i)) for i in range(len(words))] == words
    assert [lx.ms_wp_t_word_get(lx.LXMSGetAt(h, i)) for i in range(len(words))] == words
    # Spans in the UTF-8 bytes, and nothing lost of characters GBK lacks.
    spans = [lx.LXGetSpanAt(h, i) for i in range(len(words))]
    assert [utf8[b:b + n] for _, b, n in spans] == words and lx.LXGetSpanAt(h, len(words))[0] is False
    emoji = "哈哈😂naïve".encode("utf-8")
    assert lx.LXSegment(h, emoji, charset=lx.LX_UTF8, length=len(emoji))
    assert b"".join(reader_words(lx, h)) == emoji
    assert lx.LXSegment(h, gbk(TEXT), 8)  # 我们喜欢
    assert reader_words(lx, h) == [gbk("我们"), gbk("喜欢")]
    assert lx.LXSegment(h, None) is True  # keeps the previous result
    assert reader_words(lx, h) == [gbk("我们"), gbk("喜欢")]


def test_custom_words_classes_and_two_segmentations(lx, new_handle):
    h = new_handle(lx.LX_USR)
    assert lx.LXSegment(h, gbk("我们喜欢北京烤鸭，上海天气很好"))
    assert [(w, s, e, lx.LXGetClsAt(h, c, 0)) for w, c, s, e in custom_tokens(lx, h)] == [
        (gbk("北京烤鸭"), 2, 4, b"food"), (gbk("上海"), 6, 6, b"place")]
    lx.LXSetOutMode(h, lx.OUT_SUBPHRASE)
    assert reader_words(lx, h) == [gbk("我们喜欢")]
    h = new_handle(lx.LX_WMUL)
    assert lx.LXSegment(h, gbk("和服装"))
    assert [(lx.ms_word_t_word_get(lx.LXMSGetWordAt(h, i)), lx.ms_word_t_idx_get(lx.LXMSGetWordAt(h, i)))
            for i in range(4)] == [(gbk("和服"), 1), (gbk("装"), 1), (gbk("和"), 2), (gbk("服装"), 2)]


def test_change_user_dict_and_reinitialisation(lx, new_handle, seg, tmp_path):
    (tmp_path / "CustomWord" / "lake").mkdir(parents=True)
    (tmp_path / "CustomWord" / "lake" / "words.txt").write_bytes(gbk("天气很好,n\n"))
    try:
        lx.LXChangeUserDict(os.fsencode(tmp_path / "CustomWord"))
        h = new_handle(lx.LX_USR)
        assert lx.LXSegment(h, gbk("北京烤鸭天气很好"))
        assert [(w, lx.LXGetClsAt(h, c, 0)) for w, c, _, _ in custom_tokens(lx, h)] == [(gbk("天气很好"), b"lake")]
    finally:
        lx.LXChangeUserDict(seg + b"/CustomWord")
    assert lx.LXInitSeg(b"/nonexistent-lxwordseg-resources") is False
    assert lx.LXInitSeg(seg) is True
    h = new_handle(lx.LX_USR)
    assert lx.LXSegment(h, gbk("北京烤鸭天气很好"))
    assert reader_words(lx, h)[0] == gbk("北京烤鸭")
