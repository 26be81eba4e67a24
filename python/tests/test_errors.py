"""Wrong arguments raise and never crash; null handles are harmless."""
import pytest


def test_none_and_closed_handles(lx, seg):
    assert lx.LXSegment(None, b"abc") is False and lx.LXGetResultCnt(None) == 0
    for reader in (lx.LXGetWordAt, lx.LXGetAt, lx.LXMSGetWordAt, lx.LXMSGetAt):
        assert reader(None, 0) is None
    assert lx.LXGetClsAt(None, 1, 0) == b"brand"  # the class queries do not use the handle
    h = lx.LXCreateSegHandle(0)
    assert lx.LXSegment(h, "今天".encode("gbk"))
    lx.LXCloseSegHandle(h)
    for call in (lambda: lx.LXSegment(h, b"abc"), lambda: lx.LXGetWordAt(h, 0), lambda: lx.LXCloseSegHandle(h)):
        with pytest.raises(ValueError, match="closed handle"):
            call()


@pytest.mark.parametrize("name,args,error", [
    ("LXSegment", (b"handle", b"abc"), TypeError),
    ("LXSegment", ("H", "text"), TypeError),
    ("LXSegment", ("H", b"abc", 4), ValueError),  # longer than the text
    ("LXSegment", ("H", b"abc", -1), OverflowError),
    ("LXSegment", ("H",), TypeError),
    ("LXInitSeg", ("/tmp",), TypeError),
    ("LXInitSeg", (b"/tmp\0/x",), ValueError),
    ("LXGetWordAt", ("H", 2**31), OverflowError),
    ("LXGetAllSegInfo", ("H", None), ValueError),
    ("LXPosId2Str", ("1", bytearray(8), 8), TypeError),
])
def test_wrong_arguments_raise(lx, new_handle, name, args, error):
    h = new_handle(0)
    with pytest.raises(error):
        getattr(lx, name)(*(h if a == "H" else a for a in args))


def test_invalid_encodings_and_indexes_out_of_range(lx, new_handle):
    h = new_handle(lx.LX_POS | lx.LX_USR | lx.LX_NEW_RES)
    for data in (b"\xff\xfe\x80abc\xc0", bytes(range(1, 256))):
        for charset in (lx.LX_GBK, lx.LX_UTF8):
            assert lx.LXSegment(h, data, 0, charset) is True
            n = lx.LXGetResultCnt(h)
            assert all(lx.LXGetAt(h, i) is not None for i in range(n))
            for i in (n, -1, 2**31 - 1, -2**31):
                assert lx.LXGetWordAt(h, i) is None and lx.LXMSGetAt(h, i) is None
