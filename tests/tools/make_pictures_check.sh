#!/bin/sh
# Regenerates the committed pictures into a fresh folder and fails if any of them differs by a single byte.
# Usage: make_pictures_check.sh <make_pictures executable> <source dir>
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 <make_pictures executable> <source dir>" >&2
    exit 2
fi
generator=$1
source_dir=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT INT TERM

if ! "$generator" "$work" "$work/balls-sheet.png"; then
    echo "make_pictures failed" >&2
    exit 1
fi

status=0
compare() {
    if ! cmp "$work/$1" "$source_dir/$2"; then
        echo "differs from the committed file: $2" >&2
        status=1
    fi
}
for n in 1 2 3 4 5 6 7 8; do
    compare "balls/$n.png" "res/balls/$n.png"
done
compare logo.bmp res/logo.bmp
compare zephyrine.ico res/zephyrine.ico
compare balls-sheet.png docs/balls-sheet.png
exit $status
