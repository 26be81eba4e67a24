#!/usr/bin/env bash
# Installs what is missing, builds the library, its command-line tool and the
# default resources, and segments a sample text (UTF-8; the tool reads and
# writes GBK, so the text is converted on the way in and out).
# Usage: scripts/demo.sh [utf8-text-file]   (default: data/sample.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
input=${1:-data/sample.txt}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target LXWordSeg_tool default_resources
mkdir -p build/demo
iconv -f UTF-8 -t GBK "$input" > build/demo/input.gbk
# Arguments: resource directory, input, output, 1 = words with their tags.
./build/tools/LXWordSeg build/data/resources build/demo/input.gbk build/demo/output.gbk 1
iconv -f GBK -t UTF-8 build/demo/output.gbk
