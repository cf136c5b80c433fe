#!/bin/sh
# package.sh BUILD_DIR PROGRAM...
# Builds the Debian package from the build tree as `make package` does and
# checks it: every program in /usr/bin with its man page, the desktop entry
# (desktop-file-validate) and icon, and a Depends line that dpkg-shlibdeps
# derived from the libraries the programs link (SDL2, libpng, the C and C++
# runtimes). Then, where the machine allows: apt's simulation says it
# installs, and the programs from the unpacked package start (quillon under
# a virtual X server, on the PATH, ended by closing its window). With
# QUILLON_TEST_INSTALL=1 (a throw-away machine, as root) it is installed
# with apt for real, started from the PATH and removed again.
set -u
build=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/quillon_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no quillon_*.deb written"
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for program in "$@"; do
    grep -qx "./usr/bin/$program" "$work/contents" || fail "/usr/bin/$program is not in the package"
    grep -qx "./usr/share/man/man1/$program.1.gz" "$work/contents" || fail "the man page of $program is not in the package"
done
# Nothing else on every user's PATH: the content builders live in
# /usr/lib/quillon, where they cannot clash with other packages' commands.
for file in $(grep '^\./usr/bin/.' "$work/contents"); do
    echo " $* " | grep -q " ${file#./usr/bin/} " || fail "$file is on the PATH, but is not one of the commands: $*"
done
for builder in textc fontc anigen fpsgen songc iconc; do
    grep -qx "./usr/lib/quillon/$builder" "$work/contents" || fail "/usr/lib/quillon/$builder is not in the package"
done
# Man pages gzipped, and each reads as its page.
dpkg-deb -x "$deb" "$work/man"
for program in "$@"; do
    zcat "$work/man/usr/share/man/man1/$program.1.gz" | head -n 1 | grep -qi "^\.TH $program " ||
        fail "the man page $program.1.gz is not the page of $program"
done
for file in ./usr/share/applications/quillon.desktop ./usr/share/icons/hicolor/48x48/apps/quillon.png; do
    grep -qx "$file" "$work/contents" || fail "$file is not in the package"
done
if grep -v '^\./usr/' "$work/contents" | grep -qv '^\./$'; then
    fail "files outside /usr: $(grep -v '^\./usr/' "$work/contents" | grep -v '^\./$' | head -n 3)"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libsdl2-2.0-0 libpng16-16 libc6 libstdc++6 libgcc-s1; do
    echo "$depends" | grep -q "$library (>=" || fail "Depends names no versioned $library"
done

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/quillon.desktop" || fail "desktop-file-validate"
for program in "$@"; do
    [ "$program" = quillon ] && continue
    "$work/root/usr/bin/$program" --version >/dev/null || fail "the packaged $program does not start"
done

# cmake --install as the README gives it: its manifest (what an uninstall
# removes with `xargs rm < install_manifest.txt`) lists exactly the files it
# put there. The build tree's own manifest, from a person's install, is
# kept.
manifest="$build/install_manifest.txt"
[ -e "$manifest" ] && cp "$manifest" "$work/manifest.kept"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "cmake --install"; }
sort "$manifest" >"$work/manifest.listed"
if [ -e "$work/manifest.kept" ]; then mv "$work/manifest.kept" "$manifest"; else rm -f "$manifest"; fi
find "$work/prefix" -type f | sort >"$work/manifest.found"
diff "$work/manifest.listed" "$work/manifest.found" >&2 ||
    fail "cmake --install's manifest is not what it installed (< listed only, > installed only)"
for program in "$@"; do
    [ -x "$work/prefix/bin/$program" ] || fail "cmake --install put no bin/$program"
done

if command -v apt-get >/dev/null && apt-get -s install "$deb" >"$work/apt.log" 2>&1; then
    echo "apt-get -s install: $(grep -c '^Inst' "$work/apt.log") packages to install"
else
    echo "apt's simulation was not possible here: $(tail -n 1 "$work/apt.log" 2>/dev/null)"
fi

if [ "${QUILLON_TEST_INSTALL:-}" = 1 ]; then
    apt-get -o DPkg::Lock::Timeout=300 install -y "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; }
    command -v quillon >/dev/null || fail "quillon is not on the PATH after the install"
    QUILLON=$(command -v quillon) SEND_CLOSE=$SEND_CLOSE sh "$(dirname "$0")/../e2e/shell/start_show_close.sh" ||
        fail "the installed quillon did not start and close"
    apt-get -o DPkg::Lock::Timeout=300 remove -y quillon >/dev/null 2>&1
elif [ -n "${SEND_CLOSE:-}" ] && command -v xvfb-run >/dev/null; then
    PATH="$work/root/usr/bin:$PATH"
    QUILLON=$(command -v quillon) SEND_CLOSE=$SEND_CLOSE sh "$(dirname "$0")/../e2e/shell/start_show_close.sh" ||
        fail "quillon from the package did not start and close"
fi
echo "ok"
