#!/bin/sh
# Scores the segmenter on words its resources never learnt, as in new text.
#
#   scripts/heldout-check.sh <corpora-dir> [<out-dir>]
#
# A seeded tenth of the training text's word types (HOLD_OUT_FRACTION,
# HOLD_OUT_SEED; default 0.1 and 1) is held out: the resources are trained
# with `lxtrain --hold-out-vocab`, which keeps them out of the dictionary and
# the models (the general word list still adds those it lists), and the
# development text is scored on exactly those words beside the usual
# figures, next to the same trainer's normal resources.  <corpora-dir> is
# the one scripts/train.sh reads.  The split, both resource directories and
# the lxeval reports go to <out-dir> (a temporary directory if omitted).
# Mode flags: LXEVAL_FLAGS (default 0x714, in PKU mode).  The tools are
# built in build-train/ unless LXTRAIN and LXEVAL point to binaries.  Same
# inputs, same figures.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <corpora-dir> [<out-dir>]" >&2
  exit 2
fi
corpora=$1
root=$(cd "$(dirname "$0")/.." && pwd)
fraction=${HOLD_OUT_FRACTION:-0.1}
seed=${HOLD_OUT_SEED:-1}
flags=${LXEVAL_FLAGS:-0x714}
if [ $# -eq 2 ]; then
  out=$2
  mkdir -p "$out"
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi

lxtrain=${LXTRAIN:-}
lxeval=${LXEVAL:-}
if [ -z "$lxtrain" ] || [ -z "$lxeval" ]; then
  cmake -S "$root" -B "$root/build-train" -DCMAKE_BUILD_TYPE=Release \
    -DLX_BUILD_TESTS=OFF -DLX_BUILD_BENCH=OFF -DLX_BUILD_PYTHON=OFF >/dev/null
  cmake --build "$root/build-train" --target lxtrain lxeval >/dev/null
  lxtrain=$root/build-train/tools/trainer/lxtrain
  lxeval=$root/build-train/tools/trainer/lxeval
fi

split=$out/split
"$lxtrain" --split --hold-out-fraction "$fraction" --seed "$seed" \
  "$corpora/pfr1998-01/199801.txt" "$split" >"$out/split.log"
# The trainer's notes on its model files go to the logs too.
for kind in normal heldout; do
  extra=
  if [ $kind = heldout ]; then extra="--hold-out-vocab $split/heldout.txt"; fi
  LXTRAIN=$lxtrain LXTRAIN_FLAGS=$extra sh "$root/scripts/train.sh" "$corpora" "$out/$kind" \
    >"$out/$kind.log" 2>&1 || { tail -5 "$out/$kind.log" >&2; exit 1; }
done
"$lxeval" --vocab "$split/vocab.txt" --held-out "$split/heldout.txt" \
  --resources "$out/normal" --flags "$flags" --pku "$split/dev.txt" >"$out/normal.eval"
"$lxeval" --vocab "$split/heldout-vocab.txt" --held-out "$split/heldout.txt" \
  --resources "$out/heldout" --flags "$flags" --pku "$split/dev.txt" >"$out/heldout.eval"

types=$(wc -l <"$split/heldout.txt")
listed=$(sed -n 's/.*held-out types the word lists add //p' "$out/heldout.log")
echo "held out: $types word types (fraction $fraction, seed $seed), $listed of them added back"
echo "by the word lists; mode $flags, PKU"
awk '
  function fig(label, file, n,   line, f) {
    line = rows[file, label]
    split(line, f, " +")
    return f[n]
  }
  FNR == 1 { file++ }
  {
    label = substr($0, 1, 20); sub(/ +$/, "", label)
    rows[file, label] = substr($0, 21)
  }
  END {
    printf "%-28s %10s %10s\n", "figure", "normal", "held out"
    n = split("word precision|word recall|word F1|OOV rate|OOV recall|IV recall|POS accuracy", l, "|")
    for (i = 1; i <= n; i++) printf "%-28s %10s %10s\n", l[i], fig(l[i], 1, 1), fig(l[i], 2, 1)
    printf "%-28s %10s %10s\n", "person precision", fig("person P/R", 1, 1), fig("person P/R", 2, 1)
    printf "%-28s %10s %10s\n", "person recall", fig("person P/R", 1, 2), fig("person P/R", 2, 2)
    printf "%-28s %10s %10s\n", "person strict P", fig("person strict P/R", 1, 1), fig("person strict P/R", 2, 1)
    printf "%-28s %10s %10s\n", "person strict R", fig("person strict P/R", 1, 2), fig("person strict P/R", 2, 2)
    printf "%-28s %10s %10s\n", "place precision", fig("place P/R", 1, 1), fig("place P/R", 2, 1)
    printf "%-28s %10s %10s\n", "place recall", fig("place P/R", 1, 2), fig("place P/R", 2, 2)
    printf "%-28s %10s %10s  (%s gold words)\n", "held-out words: recall", \
      fig("held-out recall", 1, 1), fig("held-out recall", 2, 1), fig("held-out recall", 1, 4)
    printf "%-28s %10s %10s\n", "held-out words: precision", \
      fig("held-out precision", 1, 1), fig("held-out precision", 2, 1)
    printf "%-28s %10s %10s  (%s gold words)\n", "held-out names: recall", \
      fig("held-out names", 1, 1), fig("held-out names", 2, 1), fig("held-out names", 1, 4)
  }' "$out/normal.eval" "$out/heldout.eval"
