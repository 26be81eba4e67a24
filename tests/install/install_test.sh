#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, moves it, and uses it as an
# outside program would: a C program through pkg-config, a C++ program through
# find_package (shared and static library), the installed tools, and the
# symbols and SONAME of the installed shared library.
# Usage: install_test.sh BUILD-DIR LIBDIR SOVERSION GENERATOR CC CXX HAVE-LXSEG
set -euo pipefail
build=$1 libdir=$2 soversion=$3 generator=$4 cc=$5 cxx=$6 have_lxseg=$7
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }
text=我爱北京天安门
expected="我/r 爱/v 北京/ns 天安门/ns"
check() { [ "$2" = "$expected" ] || fail "$1 printed '$2', not '$expected'"; }

cmake --install "$build" --prefix "$tmp/first" >/dev/null
mv "$tmp/first" "$tmp/p"  # nothing installed may depend on the prefix it was installed to
p=$tmp/p
unset LD_LIBRARY_PATH LXWORDSEG_DATA

export PKG_CONFIG_PATH=$p/$libdir/pkgconfig
pc() { pkg-config "$@" lxwordseg; }
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror -o "$tmp/c" "$here/consumer/consumer.c" \
  $(pc --cflags --libs) -Wl,-rpath,"$(pc --variable=libdir)"
check "C program" "$("$tmp/c" "$(pc --variable=resourcedir)" "$text")"

cmake -S "$here/consumer" -B "$tmp/b" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$p" >/dev/null
cmake --build "$tmp/b" >/dev/null
for prog in consumer consumer_static; do
  check "C++ $prog" "$("$tmp/b/$prog" "$(cat "$tmp/b/resource_dir")" "$text")"
done

tools=(LXWordSeg)
((have_lxseg)) && tools+=(lxseg)
for t in "${tools[@]}"; do
  [[ $(ldd "$p/bin/$t") == *"libLXWordSeg.so.$soversion => $p/"* ]] || fail "$t does not load the installed library"
done
if ((have_lxseg)); then
  cd "$tmp"
  check lxseg "$(echo "$text" | "$p/bin/lxseg" --format tagged)"
  # Damaged, the installed resources must make it fail: they are the ones it reads.
  : >"$(pc --variable=resourcedir)/Core.Lex"
  ! echo "$text" | "$p/bin/lxseg" >/dev/null 2>&1 || fail "lxseg did not read the installed resources"
fi

so=$p/$libdir/libLXWordSeg.so
[[ $(readelf -d "$so") == *"(SONAME)"*"[libLXWordSeg.so.$soversion]"* ]] || fail "SONAME is not versioned"
declared=$(grep -ho '^LX_API[^([]*' "$(pc --variable=includedir)"/LXWordSeg/*.h | grep -o '\w*$' | sort -u)
exported=$(nm -D --defined-only -C "$so" | awk '{ sub(/\(.*/, "", $3); print $3 }' | sort -u)
[ "$declared" = "$exported" ] ||
  fail "exported symbols differ from the declared ones: $(diff <(echo "$declared") <(echo "$exported") | grep '^[<>]')"
