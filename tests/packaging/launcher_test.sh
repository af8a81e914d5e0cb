#!/usr/bin/env bash
# Runs the installed launcher in scratch trees laid out as installed, with a
# stand-in program that notes where it ran and with which arguments, and
# checks the program directory the launcher prepares.
#   launcher_test.sh LAUNCHER BINDIR PROGRAMDIR DATADIR
# (the folders relative to the installation prefix, as the build installs them)
set -uo pipefail

launcher=$(realpath -- "$1")
bindir=$2
programdir=$3
datadir=$4

work=$(mktemp -d "${TMPDIR:-/tmp}/qx375 launcher.XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# An installed tree under ROOT, with a little of each kind of data.
make_tree() {
    local root=$1
    mkdir -p "$root/$bindir" "$root/$programdir" "$root/$datadir/langues/anglais" \
        "$root/$datadir/langues/francais"
    cp "$launcher" "$root/$bindir/qx375"
    cat >"$root/$programdir/qx375" <<'PROGRAM'
#!/bin/sh
{ pwd; for a in "$@"; do printf '[%s]\n' "$a"; done; } >launched
exit "${STAND_IN_STATUS:-0}"
PROGRAM
    chmod +x "$root/$programdir/qx375"
    printf '[main]\nfirstuse=1\n' >"$root/$datadir/qx375.ini"
    printf 'song' >"$root/$datadir/demo.drm"
    printf 'RIFF kick' >"$root/$datadir/BDRUM03st.WAV"
    printf 'RIFF tom' >"$root/$datadir/a tom.wav"
    printf '[main]\nmainmenu=QX375\n' >"$root/$datadir/langues/anglais/qx375.lng"
    printf '[main]\nmainmenu=QX375 en français\n' >"$root/$datadir/langues/francais/qx375.lng"
}

# launch LAUNCHER [NAME=VALUE...] -- [ARGUMENT...]: runs the launcher in an
# environment of only PATH and the given variables; its status is returned,
# its messages are in $work/err.
launch() {
    local command=$1
    shift
    local vars=()
    while [ "$1" != -- ]; do
        vars+=("$1")
        shift
    done
    shift
    env -i PATH="$PATH" "${vars[@]}" "$command" "$@" >"$work/out" 2>"$work/err"
}

# The program directory holds a copy of every installed file, and the
# stand-in ran there.
check_prepared() {
    local what=$1 root=$2 user=$3
    diff -r -x launched "$root/$datadir" "$user" >/dev/null ||
        fail "$what: $user is not a copy of the installed data"
    [ "$(head -n 1 "$user/launched" 2>/dev/null)" = "$user" ] ||
        fail "$what: the program did not run in $user"
}

first_start() {
    local root="$work/first/inst root" home="$work/first/h o m e"
    make_tree "$root"
    launch "$root/$bindir/qx375" HOME="$home" -- "two words" "" '*' -x ||
        fail "first start: status $?: $(cat "$work/err")"
    local user="$home/.local/share/qx375"
    check_prepared "first start" "$root" "$user"
    printf '%s\n[two words]\n[]\n[*]\n[-x]\n' "$user" | cmp -s - "$user/launched" ||
        fail "first start: the arguments did not reach the program as given"
    [ -z "$(find "$user" -name '*.part')" ] || fail "first start: temporary copies left behind"

    launch "$root/$bindir/qx375" HOME="$home" STAND_IN_STATUS=7 --
    [ $? -eq 7 ] || fail "the program's exit status does not come back from the launcher"
}

# Later starts keep the user's files, put back a deleted one, and bring the
# language packages up to date with the installed ones.
later_starts() {
    local root="$work/later/root" home="$work/later/home"
    make_tree "$root"
    launch "$root/$bindir/qx375" HOME="$home" -- || fail "later starts: first start failed"
    local user="$home/.local/share/qx375"
    printf '[main]\nfirstuse=0\n' >"$user/qx375.ini"
    printf 'my song' >"$user/demo.drm"
    rm "$user/BDRUM03st.WAV"
    printf 'notes' >"$user/langues/anglais/notes.txt"
    printf '[main]\nfirstuse=1\nSpeed=100\n' >"$root/$datadir/qx375.ini"
    printf '[main]\nmainmenu=QX375 upgraded\n' >"$root/$datadir/langues/anglais/qx375.lng"
    printf '[main]\nmainmenu=changed\n' >"$user/langues/francais/qx375.lng"

    launch "$root/$bindir/qx375" HOME="$home" -- || fail "later starts: status $?"
    [ "$(cat "$user/qx375.ini")" = "$(printf '[main]\nfirstuse=0')" ] ||
        fail "later starts: the user's settings were replaced"
    [ "$(cat "$user/demo.drm")" = "my song" ] || fail "later starts: the user's song was replaced"
    cmp -s "$root/$datadir/BDRUM03st.WAV" "$user/BDRUM03st.WAV" ||
        fail "later starts: a deleted sample was not copied again"
    for lang in anglais francais; do
        cmp -s "$root/$datadir/langues/$lang/qx375.lng" "$user/langues/$lang/qx375.lng" ||
            fail "later starts: langues/$lang does not follow the installed package"
    done
    [ -f "$user/langues/anglais/notes.txt" ] || fail "later starts: a file of the user's was removed"
}

# Installed files are read-only, in folders nobody may write to; the copies are
# the user's to change, and the installed data stay as they were.
read_only_data() {
    local root="$work/read-only/root" home="$work/read-only/home"
    make_tree "$root"
    chmod -R a-w "$root/$datadir"
    local before
    before=$(ls -laR "$root/$datadir")
    launch "$root/$bindir/qx375" HOME="$home" -- || fail "read-only data: status $?"
    local user="$home/.local/share/qx375"
    check_prepared "read-only data" "$root" "$user"
    [ -z "$(find "$user" ! -perm -u+w)" ] ||
        fail "read-only data: copies the user cannot write: $(find "$user" ! -perm -u+w)"
    [ "$(ls -laR "$root/$datadir")" = "$before" ] || fail "read-only data: the installed data changed"
}

# Where the program directory goes, and the clear refusals.
environment() {
    local root="$work/env/root" here="$work/env/cwd"
    make_tree "$root"
    mkdir -p "$here"
    cd "$here" || return

    launch "$root/$bindir/qx375" HOME="$work/env/home" XDG_DATA_HOME="$work/env/x d g" -- ||
        fail "XDG_DATA_HOME: status $?"
    check_prepared "XDG_DATA_HOME" "$root" "$work/env/x d g/qx375"

    launch "$root/$bindir/qx375" HOME="$work/env/home" XDG_DATA_HOME="relative" -- ||
        fail "relative XDG_DATA_HOME: status $?"
    check_prepared "relative XDG_DATA_HOME" "$root" "$work/env/home/.local/share/qx375"
    [ ! -e "$here/relative" ] || fail "a relative XDG_DATA_HOME was used"

    launch "$root/$bindir/qx375" HOME="$work/env/home" QX375_HOME="own dir" -- ||
        fail "QX375_HOME: status $?"
    check_prepared "QX375_HOME" "$root" "$here/own dir"

    local refusal
    for refusal in "" "HOME=" "HOME=home"; do
        launch "$root/$bindir/qx375" $refusal --
        [ $? -eq 1 ] && grep -q "HOME is not set" "$work/err" ||
            fail "without a usable HOME ($refusal): no clear refusal: $(cat "$work/err")"
    done
    [ -z "$(ls -A "$here" | grep -v '^own dir$')" ] || fail "without HOME: files made in $here"

    printf 'a file' >"$work/env/file"
    launch "$root/$bindir/qx375" XDG_DATA_HOME="$work/env/file" --
    [ $? -eq 1 ] && grep -q "cannot create the program directory" "$work/err" ||
        fail "an impossible program directory is not refused: $(cat "$work/err")"

    local user="$work/env/blocked"
    mkdir -p "$user"
    printf 'not a folder' >"$user/langues"
    launch "$root/$bindir/qx375" QX375_HOME="$user" --
    [ $? -eq 1 ] && grep -q "cannot copy langues/" "$work/err" ||
        fail "a copy that fails is not refused: $(cat "$work/err")"
    [ ! -e "$user/launched" ] || fail "the program started without its data"
    cd "$work" || return
}

# The tree works wherever it is moved, and through a link to the command.
relocated() {
    local root="$work/moved/before" home="$work/moved/home"
    make_tree "$root"
    mv "$root" "$work/moved/after here"
    root="$work/moved/after here"
    mkdir -p "$work/moved/links"
    ln -s "$root/$bindir/qx375" "$work/moved/links/qx375"
    launch "$work/moved/links/qx375" HOME="$home" -- || fail "relocated: status $?: $(cat "$work/err")"
    check_prepared "relocated" "$root" "$home/.local/share/qx375"

    rm "$root/$programdir/qx375"
    launch "$root/$bindir/qx375" HOME="$home" --
    [ $? -eq 1 ] && grep -q "the program is missing" "$work/err" ||
        fail "a missing program is not reported: $(cat "$work/err")"
}

first_start
later_starts
read_only_data
environment
relocated

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "launcher: all checks passed"
