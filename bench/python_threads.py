#!/usr/bin/python3
"""Throughput of the Python package lxwordseg, and how it scales with threads.

Usage: PYTHONPATH=<build>/python python3 bench/python_threads.py [TEXT] [--mb N]

TEXT is a UTF-8 file, one paragraph per line; without it the lines of
tests/golden/sentences.txt and data/sample.txt are drawn at random (fixed
seed) until the text has N MB (default 4).  Prints MB/s of cut, tag and
tokenize on the whole text in one call, then of cut over the paragraphs as
a batch in one thread and split between two threads (each with its own
handle, both segmenting without the interpreter lock), and the same for two
large blocks of paragraphs, each cut in one call; and the ratios.
Figures are the best of five runs.
"""
import argparse
import os
import random
import threading
import time

import lxwordseg

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)


def sample_text(megabytes: float) -> str:
    lines = []
    for name in ("tests/golden/sentences.txt", "data/sample.txt"):
        with open(os.path.join(ROOT, name), encoding="utf-8") as f:
            lines += [line.rstrip("\n") for line in f if line.strip()]
    rng = random.Random(20260101)
    out, size = [], 0
    while size < megabytes * 1e6:
        para = "".join(rng.choice(lines) for _ in range(rng.randint(3, 12)))
        out.append(para)
        size += len(para.encode("utf-8")) + 1
    return "\n".join(out) + "\n"


def best(fn, runs=5):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def in_threads(batches):
    def work(batch):
        for para in batch:
            lxwordseg.cut(para)

    threads = [threading.Thread(target=work, args=(b,)) for b in batches]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("text", nargs="?")
    ap.add_argument("--mb", type=float, default=4.0)
    args = ap.parse_args()
    if args.text:
        with open(args.text, encoding="utf-8") as f:
            text = f.read()
    else:
        text = sample_text(args.mb)
    mb = len(text.encode("utf-8")) / 1e6
    paras = text.splitlines(keepends=True)
    lxwordseg.cut("预热")  # loads the resources
    print(f"text: {mb:.2f} MB, {len(paras)} paragraphs, {os.cpu_count()} CPUs")
    for fn in (lxwordseg.cut, lxwordseg.tag, lxwordseg.tokenize):
        print(f"{fn.__name__:9} whole text       {mb / best(lambda: fn(text)):6.2f} MB/s")
    half = len(paras) // 2
    blocks = ["".join(paras[:half]), "".join(paras[half:])]
    one = two = one_block = two_blocks = float("inf")
    for _ in range(5):  # alternating, so that other load hits all alike
        one = min(one, best(lambda: in_threads([paras]), 1))
        two = min(two, best(lambda: in_threads([paras[0::2], paras[1::2]]), 1))
        one_block = min(one_block, best(lambda: in_threads([blocks]), 1))
        two_blocks = min(two_blocks, best(lambda: in_threads([blocks[:1], blocks[1:]]), 1))
    print(f"cut       paragraphs, 1 thread  {mb / one:6.2f} MB/s")
    print(f"cut       paragraphs, 2 threads {mb / two:6.2f} MB/s   speed-up {one / two:.2f}x")
    print(f"cut       2 blocks, 1 thread    {mb / one_block:6.2f} MB/s")
    print(f"cut       2 blocks, 2 threads   {mb / two_blocks:6.2f} MB/s   speed-up {one_block / two_blocks:.2f}x")


if __name__ == "__main__":
    main()
