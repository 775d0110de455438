#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds and runs a separate host
# against it twice: through find_package and through pkg-config.
# Usage: run_install_test.sh <build dir> <source dir> <c++ compiler> <extra compile/link flags>
set -euo pipefail
build_dir=$1 source_dir=$2 cxx=$3 flags=${4:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
cmake -S "$source_dir/tests/install/host" -B "$prefix/host-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$prefix/host-build" >/dev/null
"$prefix/host-build/install_host"

pc_dir=$(dirname "$(find "$prefix" -name recfilereader.pc | head -n 1)")
read -r -a pc_flags <<<"$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs recfilereader)"
libdir=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir recfilereader)
# shellcheck disable=SC2086
"$cxx" $flags "$source_dir/tests/install/host/main.cpp" "${pc_flags[@]}" -Wl,-rpath,"$libdir" -o "$prefix/pc_host"
"$prefix/pc_host"
