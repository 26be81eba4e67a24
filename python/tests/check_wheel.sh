#!/usr/bin/env bash
# Builds the wheel from the sources offline, installs it into a fresh virtual
# environment and segments there, away from the sources and the build tree.
# Usage: check_wheel.sh SOURCE-DIR WORK-DIR
set -euo pipefail
src=$(realpath "$1") work=$(realpath -m "$2")
rm -rf "$work/dist" "$work/venv"
LXWORDSEG_SETUP_BUILD=$work/build /usr/bin/python3 -m pip wheel -q --no-deps --no-build-isolation \
  --no-index -w "$work/dist" "$src"
/usr/bin/python3 -m venv "$work/venv"
"$work/venv/bin/pip" install -q --no-index --no-deps "$work"/dist/lxwordseg-*.whl
cd "$work/venv"
env -u LXWORDSEG_DATA -u PYTHONPATH "$work/venv/bin/python" -c '
import os, lxwordseg
text = "臺灣的經濟很好 😂\n"
assert "".join(lxwordseg.cut(text)) == text
assert lxwordseg.tag("我们喜欢北京烤鸭")[2] == ("北京烤鸭", "n")
assert lxwordseg.default_data_dir().startswith(os.path.dirname(lxwordseg.__file__))
print("wheel", os.path.basename(os.listdir("../dist")[0]), "works:", lxwordseg.cut(text))'
