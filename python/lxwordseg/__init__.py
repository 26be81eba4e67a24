"""lxwordseg - Chinese word segmentation with LXWordSeg.

    >>> import lxwordseg
    >>> lxwordseg.cut("我们喜欢北京烤鸭")
    ['我们', '喜欢', '北京烤鸭']
    >>> lxwordseg.tag("我们喜欢北京烤鸭")
    [('我们', 'r'), ('喜欢', 'v'), ('北京烤鸭', 'n')]
    >>> lxwordseg.tokenize("臺灣 很好")[:2]
    [Token(word='臺灣', tag='ns', start=0, end=2, cls=None), Token(word=' ', tag='w', start=2, end=3, cls=None)]

The module-level functions segment in the recommended mode with the default
resources (see :func:`default_data_dir`); every word comes back as the text
has it, blanks included, so ``"".join(cut(t)) == t``.  :class:`Segmenter`
takes other options.  Everything here may be called from several threads at
once: each thread segments with a handle of its own, without holding the
interpreter lock, and a thread's handle is freed when the thread ends.

The low-level module ``_LXWordSeg`` beside this package wraps the C interface
function by function.
"""
from __future__ import annotations

import threading
from typing import List, Optional, Tuple

import _LXWordSeg as _lx

from ._segmenter import PathLike, Segmenter, Token, _change_user_dict, default_data_dir

__all__ = ["cut", "tag", "tokenize", "load_user_dict", "Segmenter", "Token",
           "default_data_dir", "__version__"]

__version__: str = _lx.__version__

_default: Optional[Segmenter] = None
_default_lock = threading.Lock()


def _default_segmenter() -> Segmenter:
    global _default
    with _default_lock:
        if _default is None:
            _default = Segmenter()
        return _default


def cut(text: str) -> List[str]:
    """The words of `text`, blanks included: ``"".join(cut(text)) == text``."""
    return (_default or _default_segmenter()).cut(text)


def tag(text: str) -> List[Tuple[str, str]]:
    """The words of `text` with their part-of-speech tags (``"n"``, ``"v"``, ...)."""
    return (_default or _default_segmenter()).tag(text)


def tokenize(text: str) -> List[Token]:
    """The words of `text` as :class:`Token` s: word, tag, start, end, cls."""
    return (_default or _default_segmenter()).tokenize(text)


def load_user_dict(path: PathLike) -> None:
    """Loads the user dictionary `path`, or loads it again after it changed.

    `path` is a ``CustomWord`` directory or a UTF-8 word list (see
    :class:`Segmenter`).  The library keeps one user dictionary per process:
    this one replaces the one loaded before for every Segmenter made with
    ``user_dict``, which see it from their next call, and the module-level
    functions match its words from now on (their tokens carry ``cls``).
    """
    global _default
    path = _change_user_dict(path, True)
    with _default_lock:
        if _default is None or _default.user_dict != path:
            _default = Segmenter(user_dict=path)
