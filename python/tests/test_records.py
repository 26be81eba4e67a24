"""Constructors, destructors, getters and setters of the record types."""
import gc

import pytest

# record -> {field: (value written, value read back)} for the scalar fields.
SCALARS = {
    "token_t": {"pos": 255, "wlen": 2**64 - 1, "wtype": 2},
    "comb_token_t": {"pos": 17, "wlen": 12, "cls": -7, "sidx": 3, "eidx": 2**40},
    "seg_tokens_t": {"fine_grain_tokens_num": 5, "thick_seg_tokens_num": 6,
                     "custom_tokens_num": 7, "custom_phrases_num": 8,
                     "synonym_tokens_num": 9},
    "WP": {"pos": -(2**31), "bcw": True, "cls": 2**31 - 1},
    "ms_word_t": {"idx": 2},
    "ms_wp_t": {"pos": 31, "bcw": True, "cls": 4, "idx": 1},
}
WORD_RECORDS = ["token_t", "comb_token_t", "WP", "ms_word_t", "ms_wp_t"]
ARRAYS = {  # seg_tokens_t array field -> (count field, element type)
    "fine_grain_seg_tokens": ("fine_grain_tokens_num", "token_t"),
    "thick_seg_tokens": ("thick_seg_tokens_num", "comb_token_t"),
    "custom_defined_tokens": ("custom_tokens_num", "comb_token_t"),
    "custom_defined_phrases": ("custom_phrases_num", "comb_token_t"),
    "synonym_tokens": ("synonym_tokens_num", "comb_token_t"),
}


def get(lx, rec, field, obj):
    return getattr(lx, "%s_%s_get" % (rec, field))(obj)


def put(lx, rec, field, obj, value):
    return getattr(lx, "%s_%s_set" % (rec, field))(obj, value)


@pytest.mark.parametrize("rec", sorted(SCALARS))
def test_new_record_is_zeroed_and_fields_round_trip(lx, rec):
    obj = getattr(lx, "new_" + rec)()
    fields = dict(SCALARS[rec])
    for field in fields:
        assert get(lx, rec, field, obj) in (0, False)
    if rec in WORD_RECORDS:
        assert get(lx, rec, "word", obj) is None
    if rec == "seg_tokens_t":
        for field in ARRAYS:
            assert get(lx, rec, field, obj) is None
    for field, value in fields.items():
        assert put(lx, rec, field, obj, value) is None
    for field, value in fields.items():
        assert get(lx, rec, field, obj) == value
    getattr(lx, "delete_" + rec)(obj)


@pytest.mark.parametrize("rec", sorted(SCALARS))
def test_scalar_fields_reject_out_of_range_and_wrong_types(lx, rec):
    obj = getattr(lx, "new_" + rec)()
    for field in SCALARS[rec]:
        # bool fields take True and False only.
        with pytest.raises(TypeError if field == "bcw" else OverflowError):
            put(lx, rec, field, obj, 2**64)
        with pytest.raises(TypeError):
            put(lx, rec, field, obj, "1")
        with pytest.raises(TypeError):
            put(lx, rec, field, obj)
    if rec in ("token_t", "comb_token_t"):
        with pytest.raises(OverflowError):
            put(lx, rec, "pos", obj, 256)
        with pytest.raises(OverflowError):
            put(lx, rec, "wlen", obj, -1)


@pytest.mark.parametrize("rec", WORD_RECORDS)
def test_word_setter_copies_bytes_and_replaces_the_previous_copy(lx, rec):
    obj = getattr(lx, "new_" + rec)()
    gbk_word = "北京".encode("gbk")
    put(lx, rec, "word", obj, gbk_word)
    assert get(lx, rec, "word", obj) == gbk_word
    # Replacing the value many times frees every previous copy (checked by
    # the sanitizer build) and always reads back the latest one.
    for i in range(200):
        value = b"w%d" % i
        put(lx, rec, "word", obj, value)
        assert get(lx, rec, "word", obj) == value
    put(lx, rec, "word", obj, "北京".encode("utf-8"))
    assert get(lx, rec, "word", obj) == "北京".encode("utf-8")
    put(lx, rec, "word", obj, None)
    assert get(lx, rec, "word", obj) is None
    with pytest.raises(TypeError, match="argument 2 of type 'char"):
        put(lx, rec, "word", obj, "text")
    with pytest.raises(ValueError, match="null byte"):
        put(lx, rec, "word", obj, b"a\0b")
    put(lx, rec, "word", obj, b"last")
    getattr(lx, "delete_" + rec)(obj)  # frees the stored copy as well


@pytest.mark.parametrize("rec", sorted(SCALARS))
def test_delete_once_then_the_record_is_gone(lx, rec):
    obj = getattr(lx, "new_" + rec)()
    getattr(lx, "delete_" + rec)(obj)
    with pytest.raises(ValueError, match="not owned"):
        getattr(lx, "delete_" + rec)(obj)
    field = next(iter(SCALARS[rec]))
    with pytest.raises(ValueError, match="None"):
        get(lx, rec, field, obj)
    with pytest.raises(ValueError):
        getattr(lx, "delete_" + rec)(None)


@pytest.mark.parametrize("rec", sorted(SCALARS))
def test_accessors_refuse_none_wrong_records_and_wrong_counts(lx, rec):
    field = next(iter(SCALARS[rec]))
    with pytest.raises(ValueError, match="None"):
        get(lx, rec, field, None)
    with pytest.raises(ValueError, match="None"):
        put(lx, rec, field, None, 1)
    other = "ms_word_t" if rec != "ms_word_t" else "token_t"
    with pytest.raises(TypeError, match="argument 1 of type"):
        get(lx, rec, field, getattr(lx, "new_" + other)())
    with pytest.raises(TypeError):
        get(lx, rec, field, 12345)
    with pytest.raises(TypeError):
        get(lx, rec, field)
    with pytest.raises(TypeError):
        getattr(lx, "new_" + rec)(1)
    with pytest.raises(TypeError):
        getattr(lx, "delete_" + rec)()


def test_garbage_collection_frees_owned_records(lx):
    # Records and their word copies are freed when dropped; the sanitizer
    # build checks that each is freed exactly once.
    for _ in range(1000):
        t = lx.new_comb_token_t()
        lx.comb_token_t_word_set(t, b"x" * 64)
        del t
    gc.collect()
    kept = [lx.new_ms_wp_t() for _ in range(100)]
    for i, r in enumerate(kept):
        lx.ms_wp_t_word_set(r, b"%d" % i)
    assert [lx.ms_wp_t_word_get(r) for r in kept] == [b"%d" % i for i in range(100)]


@pytest.mark.parametrize("array", sorted(ARRAYS))
def test_seg_tokens_t_arrays_point_at_records_and_are_bounded(lx, array):
    count, elem = ARRAYS[array]
    st = lx.new_seg_tokens_t()
    at = getattr(lx, "seg_tokens_t_%s_at" % array)
    with pytest.raises(IndexError):
        at(st, 0)  # no array yet
    rec = getattr(lx, "new_" + elem)()
    getattr(lx, elem + "_word_set")(rec, b"abc")
    put(lx, "seg_tokens_t", array, st, rec)
    put(lx, "seg_tokens_t", count, st, 1)
    assert int(get(lx, "seg_tokens_t", array, st)) == int(rec)
    first = at(st, 0)
    assert int(first) == int(rec)
    assert getattr(lx, elem + "_word_get")(first) == b"abc"
    # Borrowed: the array element cannot be freed through the script.
    with pytest.raises(ValueError, match="not owned"):
        getattr(lx, "delete_" + elem)(first)
    with pytest.raises(IndexError):
        at(st, 1)
    with pytest.raises(OverflowError):
        at(st, -1)
    with pytest.raises(ValueError):
        at(None, 0)
    put(lx, "seg_tokens_t", array, st, None)
    assert get(lx, "seg_tokens_t", array, st) is None
    with pytest.raises(TypeError):
        put(lx, "seg_tokens_t", array, st, lx.new_ms_word_t())


def test_pointer_cells(lx):
    w = lx.new_charpp()
    assert lx.charpp_value(w) is None
    lx.charpp_assign(w, b"abc")
    assert lx.charpp_value(w) == b"abc"
    lx.charpp_assign(w, b"de")
    assert lx.charpp_value(w) == b"de"
    with pytest.raises(TypeError):
        lx.charpp_assign(w, "de")
    n = lx.new_size_tp()
    assert lx.size_tp_value(n) == 0
    lx.size_tp_assign(n, 42)
    assert lx.size_tp_value(n) == 42
    assert lx.size_tp_value(lx.new_size_tp(7)) == 7
    with pytest.raises(OverflowError):
        lx.size_tp_assign(n, -1)
    for f in (lx.charpp_value, lx.size_tp_value):
        with pytest.raises(ValueError):
            f(None)
    with pytest.raises(ValueError):
        lx.charpp_assign(None, b"x")
    with pytest.raises(ValueError):
        lx.size_tp_assign(None, 1)
    with pytest.raises(TypeError):
        lx.charpp_value(n)
    lx.delete_charpp(w)
    lx.delete_size_tp(n)
    with pytest.raises(ValueError, match="not owned"):
        lx.delete_size_tp(n)
