#!/usr/bin/env python3
"""Segments every text file of a directory on a Dask cluster.

    dask_segment.py INPUT_DIR OUTPUT_DIR [--scheduler ADDRESS] [--workers N]

Each regular file of INPUT_DIR (UTF-8 text) is segmented as ``lxseg FILE``
prints it with its default options (words separated by single blanks, one
output line per input line) and written under the same name in OUTPUT_DIR.
Without --scheduler the work runs on a local cluster of N worker processes
(default: one per core); with it, on the cluster of that scheduler, whose
workers must see INPUT_DIR and OUTPUT_DIR at the same paths (a shared file
system) and have lxwordseg installed.  Every worker process loads the
resources once (LXWORDSEG_DATA or the default set) and segments all its files
with one Segmenter.
"""
from __future__ import annotations

import argparse
import os
import sys
import tempfile
from typing import List, Tuple

import dask.bag as db
from distributed import Client, LocalCluster, WorkerPlugin, get_worker

# What lxseg's text format leaves out: tokens made only of these.
BLANKS = frozenset("\t\n\v\f\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000"
                   + "".join(chr(c) for c in range(0x2000, 0x200B)))


class SegmenterPlugin(WorkerPlugin):
    """Gives every worker process one Segmenter, made when the worker starts."""

    name = "lxwordseg-segmenter"

    def setup(self, worker) -> None:
        import lxwordseg

        worker.lxwordseg_segmenter = lxwordseg.Segmenter()

    def teardown(self, worker) -> None:
        segmenter = getattr(worker, "lxwordseg_segmenter", None)
        if segmenter is not None:
            segmenter.close()


def segment_lines(segmenter, data: bytes, name: str) -> bytes:
    """The text format of lxseg for `data`: LF or CR LF ends a line."""
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    out: List[str] = []
    for number, raw in enumerate(lines, 1):
        if raw.endswith(b"\r") and (number < len(lines) or data.endswith(b"\n")):
            raw = raw[:-1]
        try:
            line = raw.decode("utf-8")
        except UnicodeDecodeError as e:
            raise ValueError(f"{name}: line {number} is not valid UTF-8 ({e.reason})") from None
        words = (w for w in segmenter.cut(line) if not BLANKS.issuperset(w))
        out.append(" ".join(words) + "\n")
    return "".join(out).encode("utf-8")


def segment_file(path: str, output_dir: str) -> Tuple[str, int]:
    """Segments `path` into OUTPUT_DIR/<same name>; runs on a worker."""
    segmenter = get_worker().lxwordseg_segmenter
    with open(path, "rb") as f:
        data = f.read()
    result = segment_lines(segmenter, data, path)
    target = os.path.join(output_dir, os.path.basename(path))
    fd, tmp = tempfile.mkstemp(dir=output_dir, prefix=".dask_segment-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(result)
        os.replace(tmp, target)
    except BaseException:
        os.unlink(tmp)
        raise
    return path, len(data)


def input_files(input_dir: str) -> List[str]:
    with os.scandir(input_dir) as entries:
        return sorted(os.path.abspath(e.path) for e in entries if e.is_file())


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("input_dir")
    parser.add_argument("output_dir")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="address of a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    try:
        files = input_files(args.input_dir)
        os.makedirs(args.output_dir, exist_ok=True)
    except OSError as e:
        print(f"dask_segment.py: {e}", file=sys.stderr)
        return 1
    output_dir = os.path.abspath(args.output_dir)
    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        client.register_worker_plugin(SegmenterPlugin())
        if files:
            bag = db.from_sequence(files, npartitions=min(len(files), 4 * args.workers))
            done = bag.map(segment_file, output_dir).compute()
            size = sum(n for _, n in done)
            print(f"dask_segment.py: {len(done)} files, {size} bytes", file=sys.stderr)
    except Exception as e:  # a worker's error comes back here with its message
        print(f"dask_segment.py: {e}", file=sys.stderr)
        return 1
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
