#!/usr/bin/env bash
# Compiles the C++ host example of the README as written against an installed copy of the
# library and runs it; the installed copy must also hold the host tool.
set -euo pipefail
readme=$1
build_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/zqk-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT

awk '/^```cpp$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' "$readme" >"$work/host.cpp"
[ -s "$work/host.cpp" ] || { echo "no C++ example in $readme"; exit 1; }

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/zqk" ] || { echo "zqk is not installed with the library"; exit 1; }
pc=$(dirname "$(find "$work/prefix" -name zqk_vododuvod.pc | head -n1)")
g++ -Wall -Wextra -Werror -o "$work/host" "$work/host.cpp" \
  $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs zqk_vododuvod)
out=$(cd "$work" && ./host)
[ "$out" = "Ann" ] || { echo "the README's host printed: $out"; exit 1; }
echo "the README's host example compiles as written and runs"
