#!/bin/sh
# The Debian package of the X11 display mode, from the .deb file: its files,
# a stripped program, Depends covering the program's libraries, lintian.
# Usage: package_contents_test.sh <package.deb>
set -u
if [ $# -ne 1 ]; then
    echo "usage: $0 <package.deb>" >&2
    exit 2
fi
deb=$1
if [ ! -f "$deb" ]; then
    echo "no package $deb: build it first (cmake --build <dir> --target deb)" >&2
    exit 1
fi

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

tree=$work/tree
dpkg-deb -x "$deb" "$tree" || exit 1
program=$tree/usr/libexec/xscreensaver/zephyrine

# The installed files of the design, and nothing else.
cat > "$work/expected" <<'EOF'
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
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort > "$work/files"
diff -u "$work/expected" "$work/files" >&2 || fail "the package's files differ from the installed files"
dpkg-deb -c "$deb" | grep '^-rwxr-xr-x root/root .* ./usr/libexec/xscreensaver/zephyrine$' >/dev/null ||
    fail "the program is not an executable owned by root"
file -b "$program" | grep -q ', stripped' || fail "the program is not stripped"
gzip -t "$tree/usr/share/man/man6/zephyrine.6.gz" || fail "the manual page is not gzipped"

# Depends names the package of every library the program links: computed
# from the binary, not written by hand.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | sed -n '1s/:.*//p')
    if [ -z "$owner" ]; then
        fail "no installed package holds $library"
    elif ! printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$owner\( (.*)\)\?$"; then
        fail "Depends lacks $owner for $library"
    fi
done

lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"

exit $status
