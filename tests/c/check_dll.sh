#!/bin/sh
# The DLL exports exactly the functions the header declares for Windows (all but the four POSIX
# message-window helpers), 147 of them, and imports only Windows system DLLs: the C and C++
# runtimes and the codecs are linked in.
set -eu
dll=$1
header=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$objdump" -p "$dll" >"$tmp/dump"

# The export table's name pointer table: lines "[ n] name" after its heading.
sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tmp/dump" \
    | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort >"$tmp/exported"
grep -o 'Orvane_[A-Za-z0-9_]*(' "$header" | tr -d '(' | sort -u \
    | grep -v -x -E 'Orvane_(CreateMessageWindow|DestroyMessageWindow|GetMessage|GetMessageFd)' \
    >"$tmp/declared"
if ! diff -u "$tmp/declared" "$tmp/exported"; then
    echo "the DLL's exports differ from the header's Windows declarations" >&2
    exit 1
fi
count=$(wc -l <"$tmp/exported")
if [ "$count" -ne 147 ]; then
    echo "expected 147 exports, found $count" >&2
    exit 1
fi

# Imports: only DLLs every Windows installation has.
system='^(kernel32|user32|gdi32|advapi32|winmm|msvcrt|ucrtbase|ws2_32|shell32|ole32|setupapi|comctl32|msvfw32|ntdll|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'
sed -n 's/^[[:space:]]*DLL Name: //p' "$tmp/dump" | tr 'A-Z' 'a-z' | sort -u >"$tmp/imports"
if grep -v -E "$system" "$tmp/imports" >"$tmp/foreign"; then
    echo "the DLL imports non-system DLLs:" >&2
    cat "$tmp/foreign" >&2
    exit 1
fi
echo "exports: $count functions; imports: $(tr '\n' ' ' <"$tmp/imports")"
