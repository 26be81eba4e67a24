#!/usr/bin/env python3
"""Mutation testing of the runtime library against the test suite.

  scripts/mutation.py list [--seed N] [--count N] > mutants.jsonl
  scripts/mutation.py run MUTANTS [--work DIR] [--jobs N] [--parallel N] [--reuse]
                         [--only ID,...]

`list` picks mutants in src/: a comparison, logical or arithmetic operator
flipped, an integer constant moved by one, or an expression statement
deleted.  A mutant names its file by base name and its line by the line's
text, so the same list applies after the tree has been reorganised; a mutant
whose line no longer exists is reported as missing.

`run` copies the tree, compiles every mutant into it at once behind a run-time
switch (`LX_MUTANT=<id>` selects one, 0 none), builds it once, then runs the
whole CTest suite once per mutant, stopping at the first failing program.
Mutants that do not compile are dropped and reported.  It prints the kill
rate and the surviving mutants.
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

CMP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
LOGIC = {"&&": "||", "||": "&&"}
ARITH = {"+": "-", "-": "+", "*": "/", "/": "*"}
TOKEN = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'|0[xX][0-9a-fA-F]+[uUlL]*|\d+[uUlL]*|'
                   r'->|<<=|>>=|<<|>>|<=|>=|==|!=|&&|\|\||\+\+|--|[-+*/%<>=!&|^~?:;,.()\[\]{}]|\w+|\S')
ASSIGN = re.compile(r'^(\s*[\w.\->\[\]*]+\s*(?:=|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=)\s*)(.+);\s*$')
RETURN = re.compile(r'^(\s*return\s+)(.+);\s*$')
COND = re.compile(r'^(\s*(?:\}\s*else\s+)?(?:if|while|else if)\s*\()')
DELETABLE = re.compile(r'^\s*(?:[\w.\->\[\]*]+\s*(?:=|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=)\s*.+'
                       r'|(?:\+\+|--)[\w.\->\[\]]+|[\w.\->\[\]]+(?:\+\+|--)'
                       r'|[\w:.\->]+\(.*\));\s*$')
SKIP_WORDS = ("return", "break", "continue", "goto", "case", "default", "delete", "throw")


def tokens(expr):
    return [(m.start(), m.group()) for m in TOKEN.finditer(expr)]


def binary_position(toks, i):
    """True where the token at i follows an operand (so +, -, * are binary)."""
    if i == 0:
        return False
    prev = toks[i - 1][1]
    return bool(re.match(r'^(\w+|\)|\])$', prev)) and prev not in ("return", "case")


def expr_mutations(expr):
    """(offset, old, new, kind) for every mutation of one expression."""
    out = []
    toks = tokens(expr)
    for i, (pos, t) in enumerate(toks):
        if t in CMP:
            out.append((pos, t, CMP[t], "cmp"))
        elif t in LOGIC:
            out.append((pos, t, LOGIC[t], "logic"))
        elif t in ARITH and binary_position(toks, i):
            out.append((pos, t, ARITH[t], "arith"))
        elif re.match(r'^\d+[uUlL]*$', t) and not (i and toks[i - 1][1] in ("[",)):
            digits = re.match(r'^\d+', t).group()
            suffix = t[len(digits):]
            value = int(digits)
            new = str(value + 1 if value == 0 or random.random() < 0.5 else value - 1) + suffix
            out.append((pos, t, new, "const"))
    return out


def condition_span(line, start):
    """Index range of the condition whose '(' is at start-1, or None."""
    depth = 1
    for j in range(start, len(line)):
        c = line[j]
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return start, j
    return None


def line_sites(text):
    """Mutation sites of one line: (kind, region, offset, old, new)."""
    stripped = text.strip()
    if not stripped or stripped.startswith(("//", "#", "*", "/*")) or "LX_ASSERT" in text:
        return []
    if '"' in text and ("printf" in text or "LX_LOG" in text or "std::cerr" in text):
        return []
    sites = []
    m = COND.match(text)
    if m:
        span = condition_span(text, m.end())
        if span and re.search(r'[^=!<>]=[^=]', " " + text[span[0]:span[1]] + " ") is None:
            for off, old, new, kind in expr_mutations(text[span[0]:span[1]]):
                sites.append((kind, "cond", off, old, new))
        return sites
    m = RETURN.match(text)
    if m and text.count("(") == text.count(")"):
        for off, old, new, kind in expr_mutations(m.group(2)):
            sites.append((kind, "return", off, old, new))
        return sites
    m = ASSIGN.match(text)
    if m and text.count("(") == text.count(")") and not stripped.startswith(SKIP_WORDS):
        for off, old, new, kind in expr_mutations(m.group(2)):
            sites.append((kind, "assign", off, old, new))
    if DELETABLE.match(text) and not stripped.startswith(SKIP_WORDS) and text.count("(") == text.count(")"):
        sites.append(("delete", "stmt", 0, stripped, ""))
    return sites


def source_files():
    out = []
    for dirpath, _, files in os.walk(os.path.join(ROOT, "src")):
        for f in sorted(files):
            if f.endswith((".cpp", ".h")) and "uconv_tables" not in f:
                out.append(os.path.join(dirpath, f))
    return sorted(out)


def cmd_list(args):
    random.seed(args.seed)
    candidates = []
    for path in source_files():
        with open(path, encoding="utf-8", errors="replace") as fh:
            lines = fh.read().split("\n")
        seen = {}
        for text in lines:
            seen[text] = seen.get(text, 0) + 1
        for text in lines:
            if seen[text] != 1:
                continue  # a line must be found again by its text alone
            for kind, region, off, old, new in line_sites(text):
                candidates.append({"file": os.path.basename(path), "line": text, "kind": kind,
                                   "region": region, "offset": off, "old": old, "new": new})
    random.shuffle(candidates)
    chosen, used_lines = [], set()
    for c in candidates:
        key = (c["file"], c["line"])
        if key in used_lines:
            continue  # one mutant per line keeps the schemata simple
        used_lines.add(key)
        chosen.append(c)
        if len(chosen) == args.count:
            break
    chosen.sort(key=lambda c: (c["file"], c["line"]))
    for i, c in enumerate(chosen, 1):
        c["id"] = i
        print(json.dumps(c, ensure_ascii=False))


def schema_line(text, m):
    """The line with mutant m behind the switch LXM(id)."""
    k = m["id"]
    if m["kind"] == "delete":
        indent = text[:len(text) - len(text.lstrip())]
        return f"{indent}{{ if (!LXM({k})) {{ {text.strip()} }} }}"
    if m["region"] == "cond":
        start = COND.match(text).end()
        s, e = condition_span(text, start)
        expr = text[s:e]
    else:
        rx = RETURN if m["region"] == "return" else ASSIGN
        mm = rx.match(text)
        s, e = mm.start(2), mm.end(2)
        expr = text[s:e]
    off = m["offset"]
    if expr[off:off + len(m["old"])] != m["old"]:
        return None
    mutated = expr[:off] + m["new"] + expr[off + len(m["old"]):]
    return f"{text[:s]}(LXM({k}) ? ({mutated}) : ({expr})){text[e:]}"


MUTANT_HEADER = """#pragma once
#include <cstdio>
#include <cstdlib>
// LX_MUTANT=<id> switches one mutant on; LX_MUTANT_TRACE=<file> appends the
// ids of the mutation sites the process reached to that file at exit.
struct LxMutantTrace {
  const char* path = std::getenv("LX_MUTANT_TRACE");
  unsigned char hit[4096] = {};
  ~LxMutantTrace() {
    if (!path) return;
    if (FILE* f = std::fopen(path, "a")) {
      for (int i = 0; i < 4096; ++i)
        if (hit[i]) std::fprintf(f, "%d\\n", i);
      std::fclose(f);
    }
  }
};
inline LxMutantTrace& lx_mutant_trace() { static LxMutantTrace t; return t; }
inline int lx_mutant_id() {
  static const int id = [] { const char* s = std::getenv("LX_MUTANT"); return s ? std::atoi(s) : 0; }();
  return id;
}
inline bool lx_mutant_hit(int k) {
  static LxMutantTrace& t = lx_mutant_trace();
  if (t.path) t.hit[k & 4095] = 1;
  return lx_mutant_id() == k;
}
#define LXM(k) (lx_mutant_hit(k))
"""


def apply_schemata(tree, mutants):
    """Writes the mutants into the copy at tree; returns {(path, lineno): id} and the missing ids."""
    by_file = {}
    for m in mutants:
        by_file.setdefault(m["file"], []).append(m)
    where, missing = {}, []
    paths = {}
    for dirpath, _, files in os.walk(os.path.join(tree, "src")):
        for f in files:
            paths.setdefault(f, os.path.join(dirpath, f))
    with open(os.path.join(tree, "src", "lx_mutant.h"), "w") as fh:
        fh.write(MUTANT_HEADER)
    for name, ms in by_file.items():
        path = paths.get(name)
        if not path:
            missing += [m["id"] for m in ms]
            continue
        with open(path, encoding="utf-8", errors="surrogateescape") as fh:
            lines = fh.read().split("\n")
        index = {}
        for i, t in enumerate(lines):
            index.setdefault(t, []).append(i)
        for m in ms:
            hits = index.get(m["line"], [])
            new = schema_line(lines[hits[0]], m) if len(hits) == 1 else None
            if new is None:
                missing.append(m["id"])
                continue
            lines[hits[0]] = new
            where[(os.path.realpath(path), hits[0] + 2)] = m["id"]
        with open(path, "w", encoding="utf-8", errors="surrogateescape") as fh:
            fh.write('#include "lx_mutant.h"\n' + "\n".join(lines))
    return where, missing


def unapply(tree, mid, m):
    """Removes mutant mid from the copy again (it did not compile)."""
    for dirpath, _, files in os.walk(os.path.join(tree, "src")):
        if m["file"] in files:
            path = os.path.join(dirpath, m["file"])
            with open(path, encoding="utf-8", errors="surrogateescape") as fh:
                lines = fh.read().split("\n")
            lines = [m["line"] if f"LXM({mid})" in t else t for t in lines]
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as fh:
                fh.write("\n".join(lines))
            return


def build(tree, build_dir, jobs):
    if not os.path.exists(os.path.join(build_dir, "build.ninja")):
        subprocess.run(["cmake", "-S", tree, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DCMAKE_CXX_FLAGS=-O1", "-DLX_BUILD_BENCH=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
    p = subprocess.run(["cmake", "--build", build_dir, "-j", str(jobs), "--", "-k", "0"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    return p.returncode, p.stdout


def suite(build_dir, exclude=""):
    """The CTest programs, with gtest programs run whole instead of case by case."""
    p = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                       stdout=subprocess.PIPE, text=True, check=True)
    seen, progs = set(), []
    for t in json.loads(p.stdout)["tests"]:
        cmd = t.get("command")
        if not cmd:
            continue
        props = {x["name"]: x["value"] for x in t.get("properties", [])}
        if any(a.startswith("--gtest_filter") for a in cmd):
            cmd = [a for a in cmd if not a.startswith("--gtest_")] + ["--gtest_fail_fast"]
            if exclude:
                cmd.append("--gtest_filter=-" + exclude)
        key = (tuple(cmd), tuple(props.get("ENVIRONMENT", [])))
        if key in seen:
            continue
        seen.add(key)
        env = dict(os.environ)
        for e in props.get("ENVIRONMENT", []):
            k, _, v = e.partition("=")
            env[k] = v
        progs.append({"cmd": cmd, "cwd": props.get("WORKING_DIRECTORY", build_dir), "env": env,
                      "name": t["name"]})
    return progs


def run_prog(prog, mutant, timeout, trace=None):
    env = dict(prog["env"], LX_MUTANT=str(mutant))
    if trace:
        env["LX_MUTANT_TRACE"] = trace
    start = time.time()
    try:
        p = subprocess.run(prog["cmd"], cwd=prog["cwd"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=timeout)
        ok = p.returncode == 0
    except subprocess.TimeoutExpired:
        return False, None  # a hang: killed, and no use trying the other programs
    return ok, time.time() - start


def cmd_run(args):
    with open(args.mutants) as fh:
        mutants = [json.loads(l) for l in fh if l.strip()]
    if args.only:
        keep = {int(x) for x in args.only.split(",")}
        mutants = [m for m in mutants if m["id"] in keep]
    by_id = {m["id"]: m for m in mutants}
    tree = os.path.join(args.work, "tree")
    build_dir = os.path.join(args.work, "build")
    if args.reuse:  # the copy is built already: its switches tell which mutants are in
        present = set()
        for dirpath, _, files in os.walk(os.path.join(tree, "src")):
            for f in files:
                with open(os.path.join(dirpath, f), errors="replace") as fh:
                    present |= {int(x) for x in re.findall(r"LXM\((\d+)\)", fh.read())}
        where = {("", i): i for i in present}
        missing = [m["id"] for m in mutants if m["id"] not in present]
    else:
        if os.path.exists(tree):
            shutil.rmtree(tree)
        shutil.copytree(ROOT, tree, ignore=shutil.ignore_patterns(".git", "build*", "__pycache__"))
        where, missing = apply_schemata(tree, mutants)
    dropped = []
    for _ in range(0 if args.reuse else 8):
        rc, out = build(tree, build_dir, args.jobs)
        if rc == 0:
            break
        bad = set()
        for m in re.finditer(r'^(/[^:\s]+):(\d+):\d+: error', out, re.M):
            key = (os.path.realpath(m.group(1)), int(m.group(2)))
            if key in where:
                bad.add(where[key])
        if not bad:
            sys.exit("build failed outside the mutants:\n" + out[-4000:])
        for mid in bad:
            unapply(tree, mid, by_id[mid])
            dropped.append(mid)
            where = {k: v for k, v in where.items() if v != mid}
    else:
        if not args.reuse:
            sys.exit("build still fails")
    progs = suite(build_dir, args.exclude)
    header = os.path.join(tree, "src", "lx_mutant.h")
    if open(header).read() != MUTANT_HEADER:  # a copy built by an older version of this script
        with open(header, "w") as fh:
            fh.write(MUTANT_HEADER)
    rc, out = build(tree, build_dir, args.jobs)
    if rc:
        sys.exit("build failed:\n" + out[-4000:])
    # Baseline: every program passes without a mutant; the trace says which
    # mutation sites each program reaches, and only those programs can kill.
    for i, prog in enumerate(progs):
        trace = os.path.join(args.work, f"trace-{i}.txt")
        if os.path.exists(trace):
            os.remove(trace)
        ok, secs = run_prog(prog, 0, 600, trace)
        if not ok:
            sys.exit(f"baseline fails: {prog['name']}")
        prog["secs"] = secs
        with open(trace) if os.path.exists(trace) else open(os.devnull) as fh:
            prog["reached"] = {int(x) for x in fh if x.strip()}
    progs.sort(key=lambda p: p["secs"])
    for p in progs:
        print(f"  {p['secs']:6.1f} s  {len(p['reached']):4d} sites  {os.path.basename(p['cmd'][0])}", flush=True)
    total = sum(p["secs"] for p in progs)
    print(f"suite: {len(progs)} programs, {total:.1f} s; mutants: {len(mutants)}, "
          f"missing {len(missing)}, not compiling {len(dropped)}", flush=True)
    live = sorted(set(where.values()))
    killed, survived = [], []

    matrix = {}

    def judge(mid):
        killers = []
        for prog in (p for p in progs if mid in p["reached"]):
            ok, secs = run_prog(prog, mid, max(30.0, 10 * prog["secs"]))
            if not ok:
                killers.append(os.path.basename(prog["cmd"][0]) + ("(hang)" if secs is None else ""))
                if not args.matrix or secs is None:
                    break
        matrix[mid] = killers
        if killers:
            return mid, True, " ".join(killers)
        return mid, False, "" if any(mid in p["reached"] for p in progs) else "(not reached)"

    with concurrent.futures.ThreadPoolExecutor(max_workers=args.parallel) as pool:
        for mid, dead, by in pool.map(judge, live):
            (killed if dead else survived).append(mid)
            m = by_id[mid]
            print(f"{mid:4d} {'killed' if dead else 'SURVIVED'} {m['file']}: {m['kind']} "
                  f"{m['old']!r}->{m['new']!r} in {m['line'].strip()[:80]}  {by}", flush=True)
    if args.matrix:  # which programs kill mutants no other program kills
        unique = {}
        for mid, ks in matrix.items():
            if len(ks) == 1:
                unique[ks[0]] = unique.get(ks[0], 0) + 1
        for p in progs:
            name = os.path.basename(p["cmd"][0])
            print(f"  {name}: kills {sum(name in ks for ks in matrix.values())}, alone {unique.get(name, 0)}")
    result = {"matrix": matrix, "missing": sorted(missing), "not_compiling": sorted(dropped), "killed": killed,
              "survived": survived}
    with open(os.path.join(args.work, "result.json"), "w") as fh:
        json.dump(result, fh)
    n = len(killed) + len(survived)
    print(f"kill rate: {len(killed)}/{n} = {100.0 * len(killed) / max(n, 1):.1f} %")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    a = sub.add_parser("list")
    a.add_argument("--seed", type=int, default=1)
    a.add_argument("--count", type=int, default=160)
    r = sub.add_parser("run")
    r.add_argument("mutants")
    r.add_argument("--work", default=os.path.join(ROOT, "build-mutation"))
    r.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    r.add_argument("--only", default="")
    r.add_argument("--parallel", type=int, default=1, help="mutants judged at once")
    r.add_argument("--exclude", default="", help="gtest cases left out (slow ones), as a gtest pattern")
    r.add_argument("--matrix", action="store_true", help="run every program on every mutant")
    r.add_argument("--reuse", action="store_true", help="reuse the built copy in --work")
    args = ap.parse_args()
    cmd_list(args) if args.cmd == "list" else cmd_run(args)


if __name__ == "__main__":
    main()
