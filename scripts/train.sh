#!/bin/sh
# Regenerates the default resource directory from the training corpora.
#
#   scripts/train.sh <corpora-dir> <out-dir>
#
# <corpora-dir> holds pfr1998-01/199801.txt, surnames/surnames.tsv,
# cnname/names.csv and china-division/{provinces,cities,areas}.csv.  The
# custom dictionaries come from data/custom.  The general word list is python3-jieba's dictionary (override with LEXICON) and
# the traditional-to-simplified tables come from OpenCC's data files (Debian
# packages opencc and libopencc-data).  The trainer is built in
# build-train/ unless LXTRAIN points to an lxtrain binary.  Two runs on the
# same inputs write identical files.  LXTRAIN_FLAGS=--all also trains on the
# development paragraphs (for a shipped set, not for tuning).
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 <corpora-dir> <out-dir>" >&2
  exit 2
fi
corpora=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
opencc_data=${OPENCC_DATA:-/usr/share/opencc}
lexicon=${LEXICON:-/usr/lib/python3/dist-packages/jieba/dict.txt}

corpus=$corpora/pfr1998-01/199801.txt
surnames=$corpora/surnames/surnames.tsv
names=$corpora/cnname/names.csv
division=$corpora/china-division
for f in "$corpus" "$surnames" "$names" "$division/provinces.csv" "$division/cities.csv" \
  "$division/areas.csv" "$lexicon" "$opencc_data/TSCharacters.ocd2" \
  "$opencc_data/TSPhrases.ocd2"; do
  if [ ! -r "$f" ]; then
    echo "$0: missing input $f" >&2
    exit 1
  fi
done
if ! command -v opencc_dict >/dev/null 2>&1; then
  echo "$0: opencc_dict not found (install opencc)" >&2
  exit 1
fi

lxtrain=${LXTRAIN:-}
if [ -z "$lxtrain" ]; then
  cmake -S "$root" -B "$root/build-train" -DCMAKE_BUILD_TYPE=Release \
    -DLX_BUILD_TESTS=OFF -DLX_BUILD_BENCH=OFF -DLX_BUILD_PYTHON=OFF >/dev/null
  cmake --build "$root/build-train" --target lxtrain >/dev/null
  lxtrain=$root/build-train/tools/trainer/lxtrain
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
opencc_dict -i "$opencc_data/TSCharacters.ocd2" -o "$tmp/TSCharacters.txt" -f ocd2 -t text
opencc_dict -i "$opencc_data/TSPhrases.ocd2" -o "$tmp/TSPhrases.txt" -f ocd2 -t text

# Replace only a previous resource directory, never an unrelated one.
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ] && [ ! -e "$out/Core.Lex" ]; then
  echo "$0: $out exists and is not a resource directory" >&2
  exit 1
fi
rm -rf "$out"
"$lxtrain" --surnames "$surnames" --names "$names" --lexicon "$lexicon" \
  --places "$division/provinces.csv" --places "$division/cities.csv" \
  --places "$division/areas.csv" --ts-chars "$tmp/TSCharacters.txt" \
  --ts-phrases "$tmp/TSPhrases.txt" --custom "$root/data/custom" ${LXTRAIN_FLAGS:-} \
  "$corpus" "$out"
