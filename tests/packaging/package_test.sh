#!/usr/bin/env bash
# Makes the Debian package, checks what it declares and holds, unpacks it into
# a scratch root as dpkg would install it, and starts the program through the
# unpacked launcher in a home folder of its own, without a display or a sound
# card. Exits 77 (skipped) when a tool it needs is missing.
#   package_test.sh BUILD_DIR CPACK VERSION PREFIX BINDIR PROGRAMDIR DATADIR
# (the folders relative to the installation prefix, as the build installs them)
set -uo pipefail

build=$1
cpack=$2
version=$3
prefix=$4
bindir=$5
programdir=$6
datadir=$7

for tool in dpkg dpkg-deb dpkg-shlibdeps objdump desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (scripts/install-deps installs it)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qx375 package.XXXXXX")
pid=
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not make the package"
    exit 1
fi
deb=$(find "$work/out" -maxdepth 1 -name 'qx375_*.deb')
[ -f "$deb" ] || { echo "FAIL: no package in $work/out" && exit 1; }

# What the package declares.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qx375 ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version), not $version"
[ "$(field Section)" = sound ] || fail "section $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "architecture $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
# The names in Depends, without versions.
depends=$(field Depends | sed 's/ ([^)]*)//g; s/, */\n/g; s/ *| */\n/g')
depends_on() { grep -qxF "$1" <<<"$depends" || fail "Depends lacks $1: $(field Depends)"; }
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libsdl2-2.0-0 fonts-dejavu-core \
    fonts-urw-base35; do
    depends_on "$needed"
done
# Installing runs nothing of ours, so it needs neither a display nor a sound card.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -Ev '^\./(control|md5sums)?$')
[ -z "$scripts" ] || fail "the package runs scripts at installation: $scripts"
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v "^\.$prefix/" | grep -v '^\./$')
[ -z "$outside" ] || fail "files outside $prefix: $outside"

root="$work/scratch root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
usr="$root$prefix"

# What it holds.
[ "$(head -c 2 "$usr/$bindir/qx375")" = "#!" ] || fail "$bindir/qx375 is not the launcher"
[ "$(head -c 4 "$usr/$programdir/qx375" | tail -c 3)" = ELF ] ||
    fail "$programdir/qx375 is not the program"
# Every library the program loads comes with a package it depends on.
architecture=$(dpkg --print-architecture)
for library in $(objdump -p "$usr/$programdir/qx375" | awk '$1 == "NEEDED" {print $2}'); do
    owner=$(dpkg -S "*/$library" 2>/dev/null | grep -m 1 ":$architecture: " | cut -d: -f1)
    if [ -z "$owner" ]; then
        fail "no installed package holds $library"
    else
        depends_on "$owner"
    fi
done
diff -r "$build/stage" "$usr/$datadir" >"$work/data.diff" ||
    fail "the installed data differ from the stage that make run starts from" \
        "(a staged file without an install rule, or a stage left from an older build):" \
        "$(cat "$work/data.diff")"
[ "$(find "$usr/$datadir" -maxdepth 1 -iname '*.wav' | wc -l)" -eq 17 ] ||
    fail "not the 17 start-up samples in $datadir"
desktop-file-validate "$usr/share/applications/qx375.desktop" ||
    fail "the desktop entry does not validate"
appstreamcli validate --no-net --pedantic "$usr/share/metainfo/org.qx375.pulsomat.metainfo.xml" \
    >"$work/appstream.log" 2>&1 || fail "the metainfo does not validate: $(cat "$work/appstream.log")"
for size in 16 32 48 64 128 256; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/qx375.png"
    # The width and height of a PNG are the two big-endian words after its signature and header tag.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" 2>/dev/null |
        awk '{print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8}')
    [ "${width:-}x${height:-}" = "${size}x${size}" ] || fail "no ${size}x${size} icon: $png"
done
[ -s "$usr/share/icons/hicolor/scalable/apps/qx375.svg" ] || fail "no scalable icon"
pages=(qx375.1)
[ ! -e "$usr/$bindir/qx375-render" ] || pages+=(qx375-render.1)
for page in "${pages[@]}"; do
    gzip -t "$usr/share/man/man1/$page.gz" || fail "no manual page $page"
done

# The program starts from the unpacked tree and stays up until SIGTERM closes
# its window.
home="$work/home folder"
user="$home/.local/share/qx375"
mkdir -p "$home" && mkdir -m 0700 "$work/runtime"
env -i PATH="$PATH" HOME="$home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$usr/$bindir/qx375" >"$work/program.log" 2>&1 &
pid=$!
for _ in $(seq 20); do
    sleep 0.1
    kill -0 "$pid" 2>/dev/null || break
done
if kill -0 "$pid" 2>/dev/null; then
    [ "$(readlink "/proc/$pid/exe")" = "$usr/$programdir/qx375" ] ||
        fail "the running program is $(readlink "/proc/$pid/exe")"
    [ "$(readlink "/proc/$pid/cwd")" = "$user" ] ||
        fail "the program runs in $(readlink "/proc/$pid/cwd"), not in $user"
    kill -TERM "$pid"
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "the program did not end within 10 s of SIGTERM"
        kill -KILL "$pid"
    fi
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM"
else
    wait "$pid"
    fail "the program ended by itself with status $? within 2 s"
fi
pid=
for file in qx375.ini demo.drm go2.bmp stop2.bmp grille.bmp BDRUM03st.WAV \
    langues/anglais/qx375.lng langues/anglais/qx375.hlp \
    langues/francais/qx375.lng langues/francais/qx375.hlp; do
    [ -s "$user/$file" ] || fail "the program directory lacks $file"
done

if [ "$failures" -ne 0 ]; then
    echo "--- program output"
    cat "$work/program.log"
    echo "$failures check(s) failed"
    exit 1
fi
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB; all checks passed"
