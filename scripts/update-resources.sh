#!/bin/sh
# Regenerates the shipped default resources, data/resources.tar.xz, from the
# training corpora: trains on the whole corpus (development paragraphs
# included) with scripts/train.sh and packs the directory reproducibly, so
# that the same inputs give the same archive bytes.  Besides the corpora it
# reads Debian data: OpenCC's tables (opencc, libopencc-data) and the word
# list of python3-jieba; it installs them when they are missing, unless
# OPENCC_DATA or LEXICON point elsewhere.
#
#   scripts/update-resources.sh <corpora-dir>
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 <corpora-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${OPENCC_DATA:-}" ] && [ -z "${LEXICON:-}" ]; then
  bash "$root/scripts/install-deps.sh" opencc libopencc-data python3-jieba
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
LXTRAIN_FLAGS=--all sh "$root/scripts/train.sh" "$1" "$tmp/res" | tail -n 4
tar -C "$tmp" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner \
  --format=gnu -cf "$tmp/res.tar" res
xz -9e --threads=1 -c "$tmp/res.tar" > "$root/data/resources.tar.xz"
ls -l "$root/data/resources.tar.xz"
