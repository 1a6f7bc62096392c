#!/bin/sh
# Cross-builds a Windows library with MinGW (i686) and checks its export table and imports.
# usage: check-exports-mingw.sh <source dir> <build dir> <cmake> <generator> [<target> <export>...]
# Without a target: pushkit, exporting _Download@28, _SetDownloadProgressHook@4 and _CancelAll@0.
#
# 32-bit callers bind the functions by the exact names in the DLL's export table: pushkit's with
# their standard-call decoration, comrig's plain. Each DLL is shipped on its own, so it may import
# only from Windows' own DLLs, not from the MinGW runtime DLLs.
set -eu

if [ "$#" -ne 4 ] && [ "$#" -lt 6 ]; then
    echo "usage: $0 <source dir> <build dir> <cmake> <generator> [<target> <export>...]" >&2
    exit 2
fi
source_dir=$1
build_dir=$2
cmake_tool=$3
generator=$4
shift 4
if [ "$#" -eq 0 ]; then
    set -- pushkit _CancelAll@0 _Download@28 _SetDownloadProgressHook@4
fi
target=$1
shift
objdump_tool=i686-w64-mingw32-objdump

# The host build's flags (sanitizers, coverage) must not leak into the cross-build.
unset CFLAGS CXXFLAGS LDFLAGS CPPFLAGS

"$cmake_tool" -S "$source_dir" -B "$build_dir" -G "$generator" \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS= -DCMAKE_CXX_FLAGS= -DCMAKE_EXE_LINKER_FLAGS= -DCMAKE_SHARED_LINKER_FLAGS= \
    -DFORMWELL_BUILD_APP=OFF -DFORMWELL_BUILD_GUI=OFF -DFORMWELL_BUILD_TESTS=OFF \
    -DFORMWELL_BUILD_BENCH=OFF -DFORMWELL_FUZZ=OFF > "$build_dir.configure.log" 2>&1 || {
    cat "$build_dir.configure.log" >&2
    exit 1
}
"$cmake_tool" --build "$build_dir" -j2 --target "$target"

dll=
for candidate in "$build_dir/bin/$target.dll" "$build_dir/lib/$target.dll"; do
    if [ -f "$candidate" ]; then
        dll=$candidate
        break
    fi
done
if [ -z "$dll" ]; then
    echo "$target.dll was not built under $build_dir/bin or $build_dir/lib" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$objdump_tool" -p "$dll" > "$tmp/headers.txt"

# The name-pointer table lists one "[ordinal] name" line per exported name.
sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tmp/headers.txt" |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort > "$tmp/actual.txt"
printf '%s\n' "$@" | sort > "$tmp/expected.txt"
status=0
if ! cmp -s "$tmp/expected.txt" "$tmp/actual.txt"; then
    echo "exports of $dll differ from the intended ones (- intended, + exported):" >&2
    diff -u "$tmp/expected.txt" "$tmp/actual.txt" | tail -n +3 >&2 || true
    status=1
fi

sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' "$tmp/headers.txt" | sort -u > "$tmp/imports.txt"
if grep -i -E '^(libstdc\+\+|libgcc|libwinpthread)' "$tmp/imports.txt" > "$tmp/runtime.txt"; then
    echo "$dll needs MinGW runtime DLLs that are not shipped with it:" >&2
    cat "$tmp/runtime.txt" >&2
    status=1
fi
if [ "$status" -eq 0 ]; then
    echo "$dll exports exactly: $(tr '\n' ' ' < "$tmp/actual.txt")"
    echo "imports from: $(tr '\n' ' ' < "$tmp/imports.txt")"
fi
exit "$status"
