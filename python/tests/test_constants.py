"""Constants of the module and LXPosId2Str."""
import pytest

MODE_FLAGS = {
    "LX_ENGU": 0x1, "LX_GU": 0x2, "LX_POS": 0x4, "LX_USR": 0x8, "LX_S2D": 0x10,
    "LX_U2L": 0x20, "LX_CLS": 0x40, "LX_RUL": 0x80, "LX_CN": 0x100, "LX_T2S": 0x200,
    "LX_PGU": 0x400, "LX_LGU": 0x800, "LX_SGU": 0x1000, "LX_CUT": 0x2000,
    "LX_TEXT": 0x4000, "LX_CONV": 0x8000, "LX_WMUL": 0x10000, "LX_PMUL": 0x20000,
    "LX_ASC": 0x40000, "LX_SECPOS": 0x80000, "LX_GBK": 0x100000, "LX_UTF8": 0x200000,
    "LX_NEW_RES": 0x400000, "LX_SYN": 0x800000, "LX_LN": 0x1000000, "LX_WGU": 0x2000000,
}

# (constant, id, tag) for every POS identifier.
POS_NAMES = ["UNK", "A", "AD", "AN", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L",
             "M", "N", "NR", "NRF", "NRG", "NS", "NT", "NZ", "NX", "O", "P", "Q", "R", "S",
             "T", "U", "V", "VD", "VN", "W", "X", "Y", "Z", "AG", "BG", "DG", "MG", "NG",
             "QG", "RG", "TG", "VG", "YG", "ZG"]
POS_TAGS = ["unk", "a", "ad", "an", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l",
            "m", "n", "nr", "nrf", "nrg", "ns", "nt", "nz", "nx", "o", "p", "q", "r", "s",
            "t", "u", "v", "vd", "vn", "w", "x", "y", "z", "Ag", "Bg", "Dg", "Mg", "Ng",
            "Qg", "Rg", "Tg", "Vg", "Yg", "Zg"]
POS = [("LX_" + n, i, t) for i, (n, t) in enumerate(zip(POS_NAMES, POS_TAGS))] + [
    ("LX_SOS", 49, "unk"), ("LX_WWW", 50, "www"), ("LX_TELE", 51, "tele"),
    ("LX_EMAIL", 52, "email"), ("LX_EOS", 55, "unk")]


def test_out_modes(lx):
    assert (lx.OUT_WORD, lx.OUT_PHRASE, lx.OUT_SUBPHRASE) == (1, 2, 3)


def test_mode_and_charset_flags(lx):
    assert {name: getattr(lx, name) for name in MODE_FLAGS} == MODE_FLAGS


def test_pos_ids(lx):
    assert {name: getattr(lx, name) for name, _, _ in POS} == {name: i for name, i, _ in POS}


def pos_str(lx, pos_id, size=8):
    buf = bytearray(b"\xff" * size)
    assert lx.LXPosId2Str(pos_id, buf, size) is None
    # The whole buffer is cleared before the tag is written.
    assert buf.count(0) == size - len(buf.rstrip(b"\0"))
    return bytes(buf.rstrip(b"\0"))


@pytest.mark.parametrize("name,pos_id,tag", POS)
def test_pos_tag_strings(lx, name, pos_id, tag):
    assert pos_str(lx, getattr(lx, name)) == tag.encode()


@pytest.mark.parametrize("pos_id", [53, 54, 56, -1, 1000, 2**31 - 1, -2**31])
def test_unknown_pos_ids_read_unk(lx, pos_id):
    assert pos_str(lx, pos_id) == b"unk"


def test_pos_str_into_a_module_buffer(lx):
    buf = lx.new_char_buffer(6)
    lx.LXPosId2Str(lx.LX_EMAIL, buf, 6)
    assert lx.char_buffer_value(buf) == b"email"
    lx.LXPosId2Str(lx.LX_NR, buf, 6)
    assert lx.char_buffer_value(buf) == b"nr"
    lx.delete_char_buffer(buf)
    with pytest.raises(ValueError):
        lx.delete_char_buffer(buf)


def test_pos_str_never_writes_past_the_buffer(lx):
    small = bytearray(6)
    with pytest.raises(ValueError, match="larger than the buffer"):
        lx.LXPosId2Str(lx.LX_EMAIL, small, 7)
    assert small == bytearray(6)
    buf = lx.new_char_buffer(6)
    with pytest.raises(ValueError, match="larger than the buffer"):
        lx.LXPosId2Str(lx.LX_EMAIL, buf, 4096)
    # Bytes objects are immutable: writing into one would corrupt it.
    with pytest.raises(TypeError, match="argument 2 of type 'char \\*'"):
        lx.LXPosId2Str(lx.LX_N, b"\0" * 8, 8)
    with pytest.raises(TypeError):
        lx.LXPosId2Str(lx.LX_N, "x" * 8, 8)
    # A null buffer is ignored, as the C function does.
    assert lx.LXPosId2Str(lx.LX_N, None, 8) is None
    with pytest.raises(ValueError):
        lx.new_char_buffer(0)


def test_module_docstring_states_the_rules(lx):
    doc = lx.__doc__
    assert "bytes" in doc and "must not" in doc
    for helper in ("new_charpp", "new_size_tp", "new_char_buffer", "seg_tokens_t_"):
        assert helper in doc
