#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# As root it runs apt-get; otherwise it prints the command to run and fails.
set -euo pipefail

packages=(
  cmake
  ninja-build
  g++
  make
  pkg-config
  libgtest-dev
  libsqlite3-dev
  libicu-dev
  unixodbc-dev
  odbc-postgresql
  libsqliteodbc
  postgresql
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "missing packages: ${missing[*]}" >&2
  echo "run: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
