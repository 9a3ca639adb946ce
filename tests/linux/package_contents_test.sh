#!/bin/sh
# The Debian package of the X11 display mode: exactly the installed files, a
# stripped program, Depends covering the program's libraries, no lintian error.
# Usage: package_contents_test.sh <package.deb>
set -u
deb=${1:?usage: $0 <package.deb>}
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/tree" || exit 1
program=$work/tree/usr/libexec/xscreensaver/zephyrine
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

cat > "$work/expected" <<'EOF'
./usr/bin/zephyrine
./usr/libexec/xscreensaver/zephyrine
./usr/share/applications/screensavers/zephyrine.desktop
./usr/share/doc/zephyrine/changelog.gz
./usr/share/doc/zephyrine/copyright
./usr/share/man/man6/zephyrine.6.gz
./usr/share/xscreensaver/config/zephyrine.xml
./usr/share/zephyrine/1.png
./usr/share/zephyrine/2.png
./usr/share/zephyrine/3.png
./usr/share/zephyrine/4.png
./usr/share/zephyrine/5.png
./usr/share/zephyrine/6.png
./usr/share/zephyrine/7.png
./usr/share/zephyrine/8.png
EOF
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | diff -u "$work/expected" - >&2 ||
    fail "the package's files are not the installed files"
file -b "$program" | grep -q ', stripped' || fail "the program is not stripped"
[ "$(readlink -f "$work/tree/usr/bin/zephyrine")" = "$(readlink -f "$program")" ] ||
    fail "zephyrine on the PATH is not the program"

# Computed from the binary: the package of every library the program links.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n')
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | sed -n '1s/:.*//p')
    printf '%s\n' "$depends" | grep -q "^ *${owner:-?}\( (.*)\)\?$" || fail "Depends lacks the package of $library"
done

lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
exit $status
