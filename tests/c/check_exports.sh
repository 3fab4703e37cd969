#!/bin/sh
# Compares the dynamic symbols the library defines with the functions its header declares.
set -eu
lib=$1
header=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^_' | sort > "$tmp/exported"
grep -o 'Orvane_[A-Za-z0-9_]*(' "$header" | tr -d '(' | sort -u > "$tmp/declared"
if ! diff -u "$tmp/declared" "$tmp/exported"; then
    echo "exported symbols differ from the header's declarations" >&2
    exit 1
fi
catalogue=$(grep -v -c -E '^Orvane_(CreateMessageWindow|DestroyMessageWindow|GetMessage|GetMessageFd)$' "$tmp/exported")
if [ "$catalogue" -ne 147 ]; then
    echo "expected 147 catalogue exports, found $catalogue" >&2
    exit 1
fi
echo "exports: $catalogue catalogue functions and $(wc -l < "$tmp/exported") in all"
