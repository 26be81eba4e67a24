#!/usr/bin/env bash
# Times LXWordSeg against jieba (Debian's python3-jieba) and @node-rs/jieba
# (npm) on one text and prints one table: MB/s and characters per second,
# start-up time and resident memory after start-up.  The tool lxseg is timed
# too, with one and two threads, against the library in the same mode.
#
# Usage: scripts/bench.sh [utf8-text-file]
#   The text is UTF-8, one paragraph per line.  Without a file, a text of
#   10 MiB is generated reproducibly from the default resources' word list,
#   weighted by the word model's unigram probabilities.
# Environment: LX_BENCH_BUILD  build directory (default: build-bench)
#              LX_BENCH_RUNS   timed runs per figure, the best counts (default: 3)
set -euo pipefail
text=${1:-}
[ -z "$text" ] || text=$(realpath "$text")
src=$(cd "$(dirname "$0")/.." && pwd)
build=${LX_BENCH_BUILD:-$src/build-bench}
runs=${LX_BENCH_RUNS:-3}
mkdir -p "$build"
build=$(cd "$build" && pwd)
cd "$src"
work=$build/bench-data
mkdir -p "$work"
PY=/usr/bin/python3

# --- What the run needs -----------------------------------------------------
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
need=()
for p in g++ cmake ninja-build libbenchmark-dev libcli11-dev nlohmann-json3-dev python3 python3-jieba \
  nodejs npm; do
  case $p in nodejs | npm) command -v "${p%js}" >/dev/null && continue ;; esac
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  echo "installing: ${need[*]}"
  $SUDO apt-get update -qq || true
  for p in "${need[@]}"; do
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$p" >/dev/null ||
      echo "could not install $p"
  done
fi
npm_dir=$build/npm-cache
if command -v npm >/dev/null && [ ! -d "$npm_dir/node_modules/@node-rs/jieba" ]; then
  mkdir -p "$npm_dir"
  (cd "$npm_dir" && npm install --no-save --no-audit --no-fund --prefix . @node-rs/jieba >/dev/null 2>&1) ||
    echo "could not install @node-rs/jieba"
fi

# --- A Release build of the library and the driver --------------------------
echo "building the Release library in $build ..."
{ cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLX_BUILD_TESTS=OFF -DLX_BUILD_PYTHON=OFF -DLX_BUILD_BENCH=ON &&
  cmake --build "$build" -j "$(nproc)" --target lx_throughput default_resources; } >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
driver=$build/bench/lx_throughput
# lxseg is built only where CLI11 and nlohmann-json are found.
lxseg=$build/tools/lxseg/lxseg
cmake --build "$build" -j "$(nproc)" --target lxseg >>"$work/build.log" 2>&1 || rm -f "$lxseg"
resources=$build/data/resources

# --- The text ---------------------------------------------------------------
if [ -z "$text" ]; then
  text=$work/generated.txt
  echo "generating the default text (10 MiB, seed 20260101) ..."
  "$PY" - "$resources/Core.Lex" "$resources/Ngram.Lex" "$text" <<'EOF'
# The keys of the basic dictionary (the double array Core.Lex) that are all
# Han characters, drawn with the unigram probabilities of the word model
# (Ngram.Lex) into clauses, sentences and paragraphs, with a few numbers.
import random, struct, sys
from array import array
units = array("I")
with open(sys.argv[1], "rb") as f:
    units.frombytes(f.read())
if sys.byteorder != "little":
    units.byteswap()
children = {}  # base -> units whose label leads there from that base
for u, x in enumerate(units):
    if not x & 0x80000000 and x & 0xFF:
        children.setdefault(u ^ (x & 0xFF), []).append(u)
words, stack = {}, [(0, b"")]
while stack:
    p, key = stack.pop()
    x = units[p]
    base = p ^ ((x >> 10) << ((x & 0x200) >> 6))
    if x & 0x100:
        words[key] = units[base] & 0x7FFFFFFF  # the word index
    for c in children.get(base, ()):
        stack.append((c, key + bytes([units[c] & 0xFF])))
# Ngram.Lex: two header lines, then the root record: its length, back-off
# weight and probability count, then (word index, log10 probability) pairs;
# counts take 2, 4 or 8 big-endian bytes, floats 4.
d = open(sys.argv[2], "rb").read()
pos = d.index(b"\n", d.index(b"maxorder")) + 1
def count(p):
    v = int.from_bytes(d[p:p + 2], "big")
    if not v & 0x8000:
        return v, p + 2
    w = int.from_bytes(d[p:p + 4], "big") & 0x7FFFFFFF
    if not w & 0x40000000:
        return w, p + 4
    return (w & ~0x40000000) << 32 | int.from_bytes(d[p + 4:p + 8], "big"), p + 8
_, pos = count(pos)
n, pos = count(pos + 4)
logp = {}
for _ in range(n):
    wid, pos = count(pos)
    logp[wid] = struct.unpack(">f", d[pos:pos + 4])[0]
    pos += 4
han = []
for key, wid in sorted(words.items()):
    w = key.decode("gbk", "replace")
    if wid in logp and all(0x4E00 <= ord(ch) <= 0x9FFF for ch in w):
        han.append((w, 10 ** logp[wid]))
vocab = [w for w, _ in han]
cum, total = [], 0.0
for _, p in han:
    total += p
    cum.append(total)
rng = random.Random(20260101)
units_ = ["年", "月", "日", "个", "元", "万", "%", "岁", "次"]
limit, size, out = 10 * 1024 * 1024, 0, []
while size < limit:
    sentences = []
    for _ in range(rng.randint(2, 6)):
        clauses = []
        for _ in range(rng.randint(1, 4)):
            ws = rng.choices(vocab, cum_weights=cum, k=rng.randint(2, 9))
            if rng.random() < 0.2:
                ws.insert(rng.randrange(len(ws) + 1), str(rng.randint(1, 2030)) + rng.choice(units_))
            clauses.append("".join(ws))
        sentences.append("，".join(clauses) + rng.choice("。。。。。。？！"))
    line = "".join(sentences)
    out.append(line)
    size += len(line.encode()) + 1
with open(sys.argv[3], "w", encoding="utf-8") as f:
    f.write("\n".join(out) + "\n")
print(f"{len(vocab)} dictionary words, {len(out)} lines")
EOF
fi
[ -r "$text" ] || { echo "cannot read $text" >&2; exit 1; }

# GBK copy: converted with iconv; a line that does not survive the round trip
# is dropped from the GBK runs only.
gbk=$work/text.gbk
iconv -c -f UTF-8 -t GBK "$text" >"$work/lossy.gbk" 2>/dev/null || true
iconv -f GBK -t UTF-8 "$work/lossy.gbk" >"$work/back.txt"
"$PY" - "$text" "$work/back.txt" "$work/lossy.gbk" "$gbk" <<'EOF'
import sys
orig = open(sys.argv[1], "rb").read().split(b"\n")
back = open(sys.argv[2], "rb").read().split(b"\n")
gbk = open(sys.argv[3], "rb").read().split(b"\n")
kept, dropped = [], 0
for i, line in enumerate(orig):
    if not line.rstrip(b"\r"):
        continue
    if i < len(back) and i < len(gbk) and back[i] == line:
        kept.append(gbk[i])
    else:
        dropped += 1
open(sys.argv[4], "wb").write(b"\n".join(kept) + b"\n")
print(f"GBK input: {dropped} line(s) that iconv cannot convert dropped")
EOF
rm -f "$work/lossy.gbk" "$work/back.txt"

# The custom dictionary: 10,000 entries from the words of the text as the
# plain mode segments it, half the most frequent words of two or more Han
# characters, half the most frequent pairs of adjacent such words (ties in
# byte order), all in one class.
userdict=$work/userdict/CustomWord
rm -rf "$work/userdict"
mkdir -p "$userdict/bench"
"$driver" segment "$resources" "$text" >"$work/segmented.txt"
"$PY" - "$work/segmented.txt" "$userdict/bench/words.txt" <<'EOF'
import collections, sys
def han(w):
    return len(w) >= 2 and all(0x4E00 <= ord(c) <= 0x9FFF for c in w)
uni, bi = collections.Counter(), collections.Counter()
for line in open(sys.argv[1], encoding="utf-8"):
    ws = line.split()
    for a, b in zip(ws, ws[1:] + [""]):
        if han(a):
            uni[a] += 1
            if han(b):
                bi[a + b] += 1
def top(counter):
    for w, _ in sorted(counter.items(), key=lambda kv: (-kv[1], kv[0].encode())):
        try:
            w.encode("gbk")
        except UnicodeEncodeError:
            continue
        yield w
chosen, seen = [], set()
def take(source, n):
    for w in source:
        if len(chosen) >= n:
            break
        if w not in seen:
            seen.add(w)
            chosen.append(w)
take(top(uni), 5000)
take(top(bi), 10000)
take(top(uni), 10000)  # too few pairs: more single words
words = chosen
with open(sys.argv[2], "wb") as f:
    f.write("".join(w + "\n" for w in words).encode("gbk"))
print(f"user dictionary: {len(words)} entries")
EOF

# --- Runs -------------------------------------------------------------------
results=$work/results.tsv
: >"$results"
echo "timing LXWordSeg (best of $runs) ..."
"$driver" run "$resources" "$text" "$gbk" "$userdict" "$runs" | sed 's/^/ours\t/' >>"$results"

# lxseg in its default mode and format, the whole text with one and with two
# threads, best of $runs; the time of a run on empty input (start-up and
# shutdown) is subtracted, and shown as its start-up.
if [ -x "$lxseg" ]; then
  echo "timing lxseg ..."
  "$PY" - "$lxseg" "$resources" "$text" "$runs" <<'EOF' | sed 's/^/lxseg\t/' >>"$results" || echo "lxseg failed"
import subprocess, sys, time
lxseg, resources, text, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def best(*args):
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        subprocess.run([lxseg, "--data", resources, *args], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - t0)
    return min(times)
lines = [l.rstrip(b"\r") for l in open(text, "rb").read().split(b"\n")]
lines = [l for l in lines if l]
nbytes, nchars = sum(map(len, lines)), sum(len(l.decode("utf-8", "replace")) for l in lines)
empty = best()
print(f"startup\tseconds={empty:.4f}\trss_kb=-1", flush=True)
for threads in (1, 2):
    s = best("-j", str(threads), text) - empty
    print(f"result\tconfig=lxseg\tcharset=utf8\tthreads={threads}\tbytes={nbytes}\tchars={nchars}"
          f"\tseconds={s:.4f}\twords=0\tfailed=0", flush=True)
EOF
fi

echo "timing jieba ..."
cat >"$work/jieba_run.py" <<'EOF'
import sys, time
def rss_kb():
    for line in open("/proc/self/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return -1
import jieba
jieba.setLogLevel(60)
t0 = time.perf_counter()
jieba.initialize()
print(f"startup\tseconds={time.perf_counter() - t0:.4f}\trss_kb={rss_kb()}", flush=True)
lines = [l.rstrip("\r") for l in open(sys.argv[1], encoding="utf-8").read().split("\n")]
lines = [l for l in lines if l]
nbytes = sum(len(l.encode()) for l in lines)
nchars = sum(len(l) for l in lines)
best = None
for _ in range(int(sys.argv[2])):
    t0 = time.perf_counter()
    words = 0
    for line in lines:
        for w in jieba.cut(line, HMM=False):
            words += 1
    s = time.perf_counter() - t0
    best = s if best is None or s < best else best
print(f"result\tconfig=jieba\tcharset=utf8\tthreads=1\tbytes={nbytes}\tchars={nchars}"
      f"\tseconds={best:.4f}\twords={words}\tfailed=0")
EOF
if "$PY" -c 'import jieba' 2>/dev/null; then
  "$PY" "$work/jieba_run.py" "$text" "$runs" | sed 's/^/jieba\t/' >>"$results" || echo "jieba failed"
fi

echo "timing @node-rs/jieba ..."
cat >"$work/noders_run.js" <<'EOF'
const fs = require("fs");
const [mod, file, runs] = process.argv.slice(2);
const rssKb = () => {
  const m = /VmRSS:\s+(\d+)/.exec(fs.readFileSync("/proc/self/status", "utf8"));
  return m ? Number(m[1]) : -1;
};
const lines = fs.readFileSync(file, "utf8").split("\n").map((l) => l.replace(/\r$/, "")).filter((l) => l);
let bytes = 0, chars = 0;
for (const l of lines) {
  bytes += Buffer.byteLength(l);
  for (const _ of l) chars++;
}
const m = require(mod);
const t0 = process.hrtime.bigint();
let cut;
if (m.Jieba) {  // 2.x: a dictionary is loaded into an instance
  const jieba = m.Jieba.withDict(require(mod + "/dict").dict);
  cut = (s) => jieba.cut(s, false);
} else {        // 1.x: one global dictionary
  m.load();
  cut = (s) => m.cut(s, false);
}
const startup = Number(process.hrtime.bigint() - t0) / 1e9;
console.log(`startup\tseconds=${startup.toFixed(4)}\trss_kb=${rssKb()}`);
let best = Infinity, words = 0;
for (let r = 0; r < Number(runs); r++) {
  const s0 = process.hrtime.bigint();
  words = 0;
  let len = 0;
  for (const line of lines) {
    const ws = cut(line);
    words += ws.length;
    for (const w of ws) len += w.length;
  }
  best = Math.min(best, Number(process.hrtime.bigint() - s0) / 1e9);
}
console.log(`result\tconfig=node-rs\tcharset=utf8\tthreads=1\tbytes=${bytes}\tchars=${chars}` +
            `\tseconds=${best.toFixed(4)}\twords=${words}\tfailed=0`);
EOF
noders=$npm_dir/node_modules/@node-rs/jieba
if command -v node >/dev/null && node -e "require('$noders')" 2>/dev/null; then
  node "$work/noders_run.js" "$noders" "$text" "$runs" | sed 's/^/node-rs\t/' >>"$results" ||
    echo "@node-rs/jieba failed"
fi

# --- The table --------------------------------------------------------------
"$PY" - "$results" "$text" <<'EOF'
import os, sys
rows, startup = [], {}
for line in open(sys.argv[1], encoding="utf-8"):
    who, kind, *fields = line.rstrip("\n").split("\t")
    f = dict(x.split("=", 1) for x in fields)
    if kind == "startup":
        startup[who] = f
    elif kind == "result":
        f["who"] = who
        rows.append(f)
def rate(r):
    s = float(r["seconds"]) or 1e-9
    n = 1 if r["who"] == "lxseg" else int(r["threads"])  # lxseg's threads share one text
    return n * int(r["bytes"]) / s / 1e6, n * int(r["chars"]) / s
ref = next((rate(r)[1] for r in rows if r["who"] == "node-rs"), None)
one = {(r["config"], r["charset"]): rate(r)[1] for r in rows if r["threads"] == "1"}
names = {"plain": "LXWordSeg, plain (mode 0)", "names": "LXWordSeg, names and places (LX_CN|LX_LN)",
         "recommended": "LXWordSeg, recommended + PKU mode",
         "recommended+orig": "LXWordSeg, recommended + PKU + LX_ORIG (lxseg's mode)",
         "recommended+usr": "LXWordSeg, recommended + PKU + LX_USR (10k words)",
         "lxseg": "lxseg, default mode and format (start-up excluded)",
         "jieba": "jieba (python3-jieba), HMM=False", "node-rs": "@node-rs/jieba, hmm false (reference)"}
load = open("/proc/loadavg").read().split()[0]
print(f"\ntext: {sys.argv[2]}; {os.cpu_count()} cores, load average {load} at the end "
      "(other work on the machine skews the figures, the two-thread ones most)")
print("| program / mode | input | threads | MB/s | chars/s | vs @node-rs/jieba | two/one |")
print("|---|---|---|---|---|---|---|")
for r in rows:
    mb, cps = rate(r)
    vs = f"{cps / ref:.2f}" if ref else "n/a"
    two = f"{cps / one[(r['config'], r['charset'])]:.2f}" if r["threads"] == "2" else ""
    fail = f" ({r['failed']} lines failed)" if r["failed"] != "0" else ""
    print(f"| {names.get(r['config'], r['config'])}{fail} | {r['charset'].upper()} | {r['threads']} "
          f"| {mb:.2f} | {cps:,.0f} | {vs} | {two} |")
for who in ("jieba", "node-rs"):
    if not any(r["who"] == who for r in rows):
        print(f"| {names[who]} | missing | | | | | |")
lib = {r["threads"]: rate(r)[1] for r in rows if r["config"] == "recommended+orig" and r["charset"] == "utf8"}
tool = {r["threads"]: rate(r)[1] for r in rows if r["who"] == "lxseg"}
if lib and tool:
    print("\nlxseg / library in the same mode (UTF-8, characters per second): " +
          ", ".join(f"{t} thread(s) {tool[t] / lib[t]:.2f}" for t in sorted(tool) if t in lib))
print("\n| program | start-up (s) | VmRSS after start-up (MB) |")
print("|---|---|---|")
for who, label in (("ours", "LXWordSeg (LXInitSeg)"), ("jieba", "jieba (jieba.initialize())"),
                   ("node-rs", "@node-rs/jieba (dictionary load)"),
                   ("lxseg", "lxseg (a run on empty input)")):
    s = startup.get(who)
    if s:
        rss = int(s["rss_kb"])
        mb = f"{rss / 1024:.1f}" if rss >= 0 else "n/a"
        print(f"| {label} | {float(s['seconds']):.3f} | {mb} |")
    else:
        print(f"| {label} | missing | |")
print("\nMB/s: 10^6 bytes of input per second (GBK bytes for GBK rows); with two threads each "
      "thread segments the whole text and the figures are combined (lxseg's threads share the text). The ratio to @node-rs/jieba "
      "compares characters per second; two/one is the two-thread rate over the one-thread rate.")
EOF
