#!/usr/bin/env bash
# Prints the code lines of the product and of its tests, and the tests' share
# of all code, as cloc counts them (code lines only: no blanks, no comments).
#   product: src/, include/, tools/ and python/ without their tests, without
#            the generated tables
#   tests:   tests/, fuzz/, tools/*/tests/, python/tests/
# bench/ and scripts/ count on neither side.  Exits 1 when the tests are more
# than a third of all code.
# Usage: scripts/code-size.sh
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cloc >/dev/null || { echo "code-size.sh: needs cloc (apt-get install cloc)" >&2; exit 2; }
langs="C,C++,C/C++ Header,Python,Bourne Shell,Bourne Again Shell,SWIG"
count() { cloc --quiet --csv --include-lang="$langs" "$@" | awk -F, '$2 == "SUM" { print $5 }'; }
tests=$(count tests fuzz tools/*/tests python/tests)
product=$(count --exclude-dir=tests --not-match-f='^(uconv_tables|unicode_classes)\.cpp$' src include tools python)
awk -v t="${tests:-0}" -v p="${product:-0}" 'BEGIN {
  share = t / (t + p)
  printf "product code lines: %d\ntest code lines:    %d\ntests / all code:   %.1f %%\n", p, t, 100 * share
  if (share > 1 / 3) { print "tests are more than a third of the code" > "/dev/stderr"; exit 1 }
}'
