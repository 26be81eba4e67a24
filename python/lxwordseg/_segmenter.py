"""Segmenter, Token and the resources the library keeps per process."""
from __future__ import annotations

import os
import tempfile
import threading
import weakref
from typing import List, NamedTuple, Optional, Tuple, Union

import _LXWordSeg as _lx

PathLike = Union[str, "os.PathLike[str]"]

_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


class Token(NamedTuple):
    """A word with its tag and its place in the text: ``text[start:end] == word``.

    ``start`` and ``end`` count characters (code points) of the str passed
    in.  ``cls`` is None unless the word comes from a custom dictionary; then
    it names the word's classes, joined with "|" (``"brand|org"``).
    """

    word: str
    tag: str
    start: int
    end: int
    cls: Optional[str] = None


def default_data_dir() -> str:
    """The resource directory that is loaded when none is given.

    The first of: ``$LXWORDSEG_DATA``; the resources installed inside the
    package (a wheel has them); ``<prefix>/share/lxwordseg/resources`` of the
    installation the package belongs to; ``data/resources`` of the build tree
    the package runs from.  FileNotFoundError when there is none.
    """
    env = os.environ.get("LXWORDSEG_DATA")
    if env:
        return env
    candidates = [os.path.join(_PACKAGE_DIR, "resources")]
    try:
        from ._installed import RESOURCES  # written by the installation

        candidates.append(os.path.join(_PACKAGE_DIR, RESOURCES))
    except ImportError:
        pass
    candidates.append(os.path.join(_PACKAGE_DIR, os.pardir, os.pardir, "data", "resources"))
    for path in candidates:
        if os.path.isfile(os.path.join(path, "Core.Lex")):
            return os.path.normpath(path)
    raise FileNotFoundError(
        "no LXWordSeg resources found (set LXWORDSEG_DATA or pass data=...); looked in "
        + ", ".join(os.path.normpath(p) for p in candidates))


# The library loads one resource directory per process, with one PKU mode and
# one user dictionary for every handle.  These remember what was loaded.
_state_lock = threading.RLock()
_loaded_data: Optional[str] = None
_loaded_pku = False
_loaded_user_dict: Optional[str] = None


def _load_resources(data: Optional[PathLike], pku: bool) -> str:
    """Loads the resources once per process and returns their directory."""
    global _loaded_data, _loaded_pku
    with _state_lock:
        if data is None and _loaded_data is not None:
            path = _loaded_data
        else:
            path = os.path.realpath(os.fspath(data) if data is not None else default_data_dir())
        if _loaded_data is None:
            if not os.path.isdir(path):
                raise FileNotFoundError(f"resource directory {path!r} does not exist or is no directory")
            raw = os.fsencode(path)
            if len(raw) > 255:
                raise ValueError(f"resource directory {path!r}: the path is longer than 255 bytes")
            if not _lx.LXInitSeg(raw):
                raise RuntimeError(f"cannot load the resources of {path!r} "
                                   "(standard error names the file that failed)")
            if pku:
                _lx.LXSetPKUMode(None)  # before any handle segments
            _loaded_data, _loaded_pku = path, pku
        elif path != _loaded_data:
            raise ValueError(f"this process has loaded the resources of {_loaded_data!r}; "
                             f"it cannot load those of {path!r} as well (resources are per process)")
        if pku != _loaded_pku:
            raise ValueError(f"PKU mode is {'on' if _loaded_pku else 'off'} in this process "
                             f"(resources of {_loaded_data!r}); it cannot be turned "
                             f"{'on' if pku else 'off'} for one Segmenter")
        return path


def _custom_word_dir(path: str, tmp: str) -> str:
    """A CustomWord directory made of the UTF-8 word list `path` (one class,
    named after the file), in `tmp`."""
    cls = os.path.splitext(os.path.basename(path))[0] or "user"
    root = os.path.join(tmp, "CustomWord")
    os.makedirs(os.path.join(root, cls))
    with open(path, encoding="utf-8") as src, \
            open(os.path.join(root, cls, "words.txt"), "wb") as dst:
        for number, line in enumerate(src, 1):
            try:
                dst.write(line.rstrip("\r\n").encode("gbk") + b"\n")
            except UnicodeEncodeError as e:
                raise ValueError(f"{path}: line {number}: {e.object[e.start:e.end]!r} "
                                 "is no GBK character and cannot be a custom word") from None
    return root


def _change_user_dict(path: PathLike, replace: bool) -> str:
    """Loads the user dictionary `path` for the process; unless `replace`,
    another one loaded before is an error."""
    global _loaded_user_dict
    path = os.path.realpath(os.fspath(path))
    if not os.access(path, os.R_OK):
        raise FileNotFoundError(f"user dictionary {path!r} does not exist or cannot be read")
    if os.path.isdir(path) and os.path.basename(path) != "CustomWord":
        if not os.path.isdir(os.path.join(path, "CustomWord")):
            raise ValueError(f"user dictionary {path!r}: a directory must be a CustomWord "
                             "directory or hold one")
        path = os.path.join(path, "CustomWord")
    with _state_lock:
        if not replace and _loaded_user_dict not in (None, path):
            raise ValueError(f"the user dictionary {_loaded_user_dict!r} is loaded in this process; "
                             f"use load_user_dict({path!r}) to replace it for every Segmenter")
        if os.path.isdir(path):
            _lx.LXChangeUserDict(os.fsencode(path))
        else:
            with tempfile.TemporaryDirectory(prefix="lxwordseg-") as tmp:
                _lx.LXChangeUserDict(os.fsencode(_custom_word_dir(path, tmp)))
        _loaded_user_dict = path
        return path


class _Handle:
    """A handle of the library, closed by close() or when it is collected
    (its thread ended), never at interpreter exit."""

    __slots__ = ("raw", "lock", "_closer", "__weakref__")

    def __init__(self, mode: int) -> None:
        self.raw = _lx.LXCreateSegHandle(mode)
        if self.raw is None:
            raise MemoryError("LXCreateSegHandle failed")
        self.lock = threading.Lock()  # held while the handle segments
        self._closer = weakref.finalize(self, _lx.LXCloseSegHandle, self.raw)
        self._closer.atexit = False

    def close(self) -> None:
        with self.lock:
            self.raw = None
            self._closer()


class Segmenter:
    """Segments text with one set of options.

    The keyword options are those of the ``lxseg`` tool; the defaults give
    its recommended mode, with every word as the text has it, so that
    ``"".join(s.cut(t)) == t`` (blanks and line feeds are words too):

    - ``data``: resource directory; None: the resources this process has
      already loaded, else :func:`default_data_dir`.  The library loads one
      directory per process: asking for another raises ValueError.
    - ``names``: recognise person names; ``places``: recognise place names;
      ``pos``: tag parts of speech (else the tags say nothing);
      ``split_surnames``: a name's surname and given name are two words.
    - ``coarse``: larger units whole: a person's full name (also with
      ``split_surnames``), a numeral with its measure word, a whole date or
      time, organisation names.
    - ``t2s``, ``half_width``, ``lower``: read traditional characters as
      simplified ones, full-width letters and digits as half-width ones,
      letters as lower case; ``normalised``: return the words so converted
      instead of as written (the join property then no longer holds).
    - ``pku``: read full-width digits in numbers as ASCII.  One setting per
      process: a Segmenter asking for the other raises ValueError.
    - ``user_dict``: also match the words of a user dictionary, either a
      ``CustomWord`` directory (one directory per class holding GBK word
      lists, lines ``WORD`` or ``WORD,TAG``) or a UTF-8 file of such lines
      (one class, named after the file).  Their tokens carry ``cls``.  The
      user dictionary is per process too: see :func:`load_user_dict`.

    A Segmenter may be shared by threads: each thread segments with a handle
    of its own, and threads segment in parallel.  ``close()`` (or a ``with``
    block) frees the handles at once; otherwise a thread's handle is freed
    when the thread ends or the Segmenter is collected.
    """

    def __init__(self, *, data: Optional[PathLike] = None, names: bool = True,
                 places: bool = False, pos: bool = True, split_surnames: bool = True,
                 t2s: bool = True, half_width: bool = True, lower: bool = False,
                 normalised: bool = False, pku: bool = True,
                 user_dict: Optional[PathLike] = None, coarse: bool = False) -> None:
        flags = ((names, _lx.LX_CN), (places, _lx.LX_LN), (pos, _lx.LX_POS),
                 (split_surnames, _lx.LX_PGU), (t2s, _lx.LX_T2S), (half_width, _lx.LX_S2D),
                 (lower, _lx.LX_U2L), (not normalised, _lx.LX_ORIG),
                 (user_dict is not None, _lx.LX_USR), (coarse, _lx.LX_COARSE))
        self._mode = sum(flag for on, flag in flags if on)
        self._normalised = normalised
        self.data = _load_resources(data, pku)
        self.user_dict = None if user_dict is None else _change_user_dict(user_dict, False)
        self._local = threading.local()
        self._handles: "weakref.WeakSet[_Handle]" = weakref.WeakSet()
        self._lock = threading.Lock()
        self._closed = False

    def _new_handle(self) -> _Handle:
        handle = _Handle(self._mode)
        with self._lock:
            if self._closed:
                handle.close()
            else:
                self._handles.add(handle)
        self._local.handle = handle
        return handle

    def _segment(self, text: str, fields: int, token_type: Optional[type] = None) -> list:
        try:
            handle = self._local.handle
        except AttributeError:
            handle = self._new_handle()
        with handle.lock:
            if handle.raw is None:
                raise ValueError("the Segmenter is closed")
            return _lx.segment_tokens(handle.raw, text, fields, self._normalised, token_type)

    def cut(self, text: str) -> List[str]:
        """The words of `text`, blanks included: they join to `text`."""
        return self._segment(text, 0)

    def tag(self, text: str) -> List[Tuple[str, str]]:
        """The words of `text` with their tags: ``[("我们", "r"), ...]``."""
        return self._segment(text, 1)

    def tokenize(self, text: str) -> List[Token]:
        """The words of `text` as :class:`Token` s, with their offsets."""
        return self._segment(text, 2, Token)

    def close(self) -> None:
        """Frees the handles; the Segmenter cannot segment any more."""
        with self._lock:
            self._closed = True
            handles = list(self._handles)
        for handle in handles:
            handle.close()

    def __enter__(self) -> "Segmenter":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()
