#!/bin/sh
# Checks that a shared library's dynamic symbol table defines exactly the given names.
# usage: check-exports-linux.sh <nm> <library.so> <name>...
#
# Left out of the comparison, because the toolchain adds them to any shared library and our code
# does not define them:
#   - absolute symbols (nm type A): the version-node names GNU ld writes for a version script;
#   - _init, _fini: the crti/crtn initialisation entry points;
#   - _edata, _end, __bss_start: section-boundary symbols GNU ld defines when no version script
#     hides them.
set -eu

if [ "$#" -lt 3 ]; then
    echo "usage: $0 <nm> <library.so> <name>..." >&2
    exit 2
fi
nm_tool=$1
library=$2
shift 2

if [ ! -f "$library" ]; then
    echo "no such library: $library" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# nm -D --defined-only prints "value type name" (an absolute symbol may have no value column).
"$nm_tool" -D --defined-only "$library" > "$tmp/nm.txt"
awk '{ name = $NF; type = $(NF-1) }
     type == "A" { next }
     name == "_init" || name == "_fini" || name == "_edata" || name == "_end" || name == "__bss_start" { next }
     { sub(/@.*/, "", name); print name }' "$tmp/nm.txt" | sort -u > "$tmp/actual.txt"

for name in "$@"; do
    echo "$name"
done | sort -u > "$tmp/expected.txt"

if ! cmp -s "$tmp/expected.txt" "$tmp/actual.txt"; then
    echo "exported symbols of $library differ from the intended ones (- intended, + exported):" >&2
    diff -u "$tmp/expected.txt" "$tmp/actual.txt" | tail -n +3 >&2 || true
    exit 1
fi
echo "$library exports exactly: $(tr '\n' ' ' < "$tmp/actual.txt")"
