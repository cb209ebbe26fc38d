#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds a host against it twice: with
# pkg-config and with the CMake package. Both hosts must run.
set -euo pipefail
build_dir=$1
src_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zqk-install-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
pc=$(dirname "$(find "$work/prefix" -name zqk_vododuvod.pc | head -n1)")

# Only what hosts include is installed: no data-access insides, no provider, no SQLite.
inc="$work/prefix/include/zqk_vododuvod"
leaked=$(find "$inc" -name 'AdoObjects.h' -o -name 'AdoProvider.h' -o -path '*/sqlite/*' \
  -o -path '*/odbc/*' -o -name 'FolderChooser.h')
[ -z "$leaked" ] || { echo "internal headers installed: $leaked"; exit 1; }
if grep -rl 'sqlite3.h\|sql.h\|sqlext.h' "$inc"; then echo "a provider's header leaks"; exit 1; fi
[ -f "$inc/BrowseForFolder.h" ] && [ -f "$inc/platform/afx/CListCtrl.h" ] ||
  { echo "public headers missing"; exit 1; }

PKG_CONFIG_PATH=$pc g++ -o "$work/host-pc" "$src_dir/host.cpp" \
  $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs zqk_vododuvod)
out=$("$work/host-pc" "$work/table.bin")
[ "$out" = "2 1 ok" ] || { echo "pkg-config host printed: $out"; exit 1; }

cmake -S "$src_dir" -B "$work/cmake-host" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-host" >/dev/null
out=$("$work/cmake-host/zqk_host" "$work/table2.bin")
[ "$out" = "2 1 ok" ] || { echo "CMake host printed: $out"; exit 1; }
echo "installed headers, libraries, pkg-config module and CMake package work"
