"""Wrong arguments raise and never crash; null handles are harmless."""
import pytest


def gbk(s):
    return s.encode("gbk")


def test_none_handle_is_harmless(lx, seg):
    assert lx.LXSegment(None, b"abc") is False
    assert lx.LXGetResultCnt(None) == 0
    assert lx.LXGetWordAt(None, 0) is None
    assert lx.LXGetAt(None, 0) is None
    assert lx.LXMSGetWordAt(None, 0) is None
    assert lx.LXMSGetAt(None, 0) is None
    st = lx.new_seg_tokens_t()
    lx.seg_tokens_t_fine_grain_tokens_num_set(st, 5)
    assert lx.LXGetAllSegInfo(None, st) is None
    assert lx.seg_tokens_t_fine_grain_tokens_num_get(st) == 0
    assert lx.LXSetOutMode(None, lx.OUT_PHRASE) is None
    assert lx.LXCloseSegHandle(None) is None
    # The class queries do not use the handle.
    assert lx.LXGetClsAt(None, 1, 0) == b"brand"
    assert lx.LXGetClsNum(None, 1) == 1


def test_closed_handle_is_refused(lx, seg):
    h = lx.LXCreateSegHandle(0)
    assert lx.LXSegment(h, gbk("今天天气很好"))
    lx.LXCloseSegHandle(h)
    for call in (lambda: lx.LXSegment(h, b"abc"), lambda: lx.LXGetResultCnt(h),
                 lambda: lx.LXGetWordAt(h, 0), lambda: lx.LXGetAt(h, 0),
                 lambda: lx.LXGetAllSegInfo(h, lx.new_seg_tokens_t()),
                 lambda: lx.LXSetOutMode(h, 1), lambda: lx.LXCloseSegHandle(h)):
        with pytest.raises(ValueError, match="closed handle"):
            call()


def test_only_handles_are_handles(lx, new_handle):
    h = new_handle(0)
    for not_a_handle in (lx.new_token_t(), lx.new_seg_tokens_t(), lx.new_charpp(),
                         lx.new_char_buffer(4), 1, b"handle", "handle"):
        with pytest.raises(TypeError, match="argument 1 of type 'HANDLE'"):
            lx.LXSegment(not_a_handle, b"abc")
        with pytest.raises(TypeError, match="argument 1 of type 'HANDLE'"):
            lx.LXGetResultCnt(not_a_handle)
        with pytest.raises(TypeError):
            lx.LXCloseSegHandle(not_a_handle)
    assert lx.LXSegment(h, b"abc")


def test_str_where_bytes_are_expected(lx, new_handle):
    h = new_handle(0)
    with pytest.raises(TypeError, match="in method 'LXSegment', argument 2 of type 'char const \\*'"):
        lx.LXSegment(h, "今天")
    with pytest.raises(TypeError, match="in method 'LXInitSeg', argument 1 of type 'char const \\*'"):
        lx.LXInitSeg("/tmp")
    with pytest.raises(TypeError):
        lx.LXChangeUserDict("/tmp")
    with pytest.raises(TypeError):
        lx.LXSegment(h, bytearray(b"abc"))
    with pytest.raises(TypeError):
        lx.LXSegment(h, memoryview(b"abc"))
    with pytest.raises(ValueError, match="null byte"):
        lx.LXInitSeg(b"/tmp\0/x")


def test_get_all_seg_info_needs_a_record(lx, new_handle):
    h = new_handle(0)
    assert lx.LXSegment(h, gbk("今天天气很好"))
    with pytest.raises(ValueError, match="invalid null reference"):
        lx.LXGetAllSegInfo(h, None)
    with pytest.raises(TypeError, match="argument 2 of type 'seg_tokens_t &'"):
        lx.LXGetAllSegInfo(h, lx.new_token_t())
    with pytest.raises(TypeError):
        lx.LXGetAllSegInfo(h, 0)


@pytest.mark.parametrize("name,args", [
    ("LXInitSeg", ()), ("LXInitSeg", (b"a", b"b")),
    ("LXUnInitSeg", (1,)),
    ("LXCreateSegHandle", ()), ("LXCreateSegHandle", (1, 2)),
    ("LXSegment", ()), ("LXSegment", ("H",)), ("LXSegment", ("H", b"a", 0, 0x100000, 5)),
    ("LXGetResultCnt", ()), ("LXGetResultCnt", ("H", 1)),
    ("LXGetWordAt", ("H",)), ("LXGetWordAt", ("H", 0, 1)),
    ("LXGetAt", ("H",)), ("LXMSGetWordAt", ("H",)), ("LXMSGetAt", ("H", 0, 0)),
    ("LXGetAllSegInfo", ("H",)),
    ("LXConvertWordCharsetToUTF8", ("H",)),
    ("LXCloseSegHandle", ()), ("LXCloseSegHandle", ("H", "H")),
    ("LXGetClsNum", ("H",)), ("LXGetClsAt", ("H", 0)),
    ("LXSetOutMode", ("H",)), ("LXChangeUserDict", ()),
    ("LXPosId2Str", (1, bytearray(8))), ("LXSetPKUMode", ()),
])
def test_wrong_argument_counts(lx, new_handle, name, args):
    h = new_handle(0)
    args = tuple(h if a == "H" else a for a in args)
    with pytest.raises(TypeError):
        getattr(lx, name)(*args)


@pytest.mark.parametrize("name,args", [
    ("LXCreateSegHandle", ("4",)), ("LXCreateSegHandle", (2**40,)),
    ("LXGetWordAt", ("H", "0")), ("LXGetWordAt", ("H", 1.5)),
    ("LXGetClsNum", ("H", None)), ("LXGetClsAt", ("H", 0, "0")),
    ("LXSetOutMode", ("H", "1")), ("LXSegment", ("H", b"a", 0, "gbk")),
    ("LXSegment", ("H", b"a", "0")), ("LXPosId2Str", ("1", bytearray(8), 8)),
])
def test_wrong_argument_types(lx, new_handle, name, args):
    h = new_handle(0)
    args = tuple(h if a == "H" else a for a in args)
    with pytest.raises((TypeError, OverflowError)):
        getattr(lx, name)(*args)


def test_unknown_keyword(lx, new_handle):
    h = new_handle(0)
    with pytest.raises(TypeError):
        lx.LXSegment(h, b"abc", charset=lx.LX_GBK, encoding=1)


def test_class_queries_out_of_range(lx, seg):
    for cls, idx in ((0x7F7F7F7F, 0), (-1, 0), (1, 5), (1, -1), (2**31 - 1, 2**31 - 1)):
        assert isinstance(lx.LXGetClsNum(None, cls), int)
        name = lx.LXGetClsAt(None, cls, idx)
        assert name is None or isinstance(name, bytes)
