#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop
# gets: the installed files, both programs' command lines, the desktop
# entry, the file types (with the installed MIME description alone and
# beside the system's), the man pages and the bash completion.
#
# Usage: install_tests.sh BUILD_DIR VERSION APP_BUILT(ON|OFF) SAMPLES_PROGRAM
#
# The file types are queried with `mimetype` (libfile-mimeinfo-perl): it
# reads the shared-mime-info database of the folders in XDG_DATA_DIRS
# directly, so a database made in a temporary folder can be asked without
# installing it. xdg-mime, outside a desktop session, hands the question
# to the same `mimetype` (or to `file`, which knows nothing of the
# database), so it would add a layer and no check.
set -uo pipefail

build="$1"
version="$2"
app_built="$3"
samples_program="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
destdir="$work/destdir"
prefix=/usr
root="$destdir$prefix"

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# Runs a command and fails the check when it prints anything on standard
# error or exits with other than 0.
expect_quiet_success() {
    local what="$1"
    shift
    local errors
    if ! errors="$("$@" 2>&1 > /dev/null)"; then
        fail "$what: exit status not 0${errors:+: $errors}"
    elif [[ -n "$errors" ]]; then
        fail "$what: $errors"
    fi
}

if ! DESTDIR="$destdir" cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAILED: cmake --install" >&2
    exit 1
fi

# --- The installed files -----------------------------------------------------
expected=(
    bin/brimwork-cli
    share/bash-completion/completions/brimwork-cli
    share/doc/brimwork/README.md
    share/doc/brimwork/changelog.gz
    share/doc/brimwork/copyright
    share/man/man1/brimwork-cli.1.gz
    share/mime/packages/brimwork.xml
)
if [[ "$app_built" == ON ]]; then
    expected+=(
        bin/brimwork
        share/applications/brimwork.desktop
        share/icons/hicolor/scalable/apps/brimwork.svg
        share/man/man1/brimwork.1.gz
    )
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/brimwork.png")
    done
fi
installed="$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)"
wanted="$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)"
if [[ "$installed" != "$wanted" ]]; then
    fail "installed files differ from the expected list:"
    diff <(echo "$wanted") <(echo "$installed") >&2
fi
if stray="$(find "$destdir" -mindepth 1 -maxdepth 1 ! -name "${prefix#/}")" && [[ -n "$stray" ]]; then
    fail "files installed outside $prefix: $stray"
fi
# Only the programs are executable.
while IFS= read -r file; do
    if [[ "$file" == bin/* ]]; then
        [[ -x "$root/$file" ]] || fail "$file is not executable"
    else
        [[ ! -x "$root/$file" ]] || fail "$file is executable"
    fi
done <<< "$installed"

# --- The programs' command lines ---------------------------------------------
output="$("$root/bin/brimwork-cli" --version 2>&1)"
[[ "$output" == "brimwork-cli $version" ]] || fail "brimwork-cli --version printed: $output"

if [[ "$app_built" == ON ]]; then
    # --help and --version need no display.
    output="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/brimwork" --version 2>&1)"
    [[ "$output" == "Brimwork $version" ]] || fail "brimwork --version printed: $output"
    output="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/brimwork" --help 2>&1)"
    status=$?
    [[ $status -eq 0 && "$output" == *"brimwork [options] [FILE]"* ]] ||
        fail "brimwork --help (status $status) printed: $output"
    # Without a display the window says what it needs and what works without
    # one, and exits with 1 rather than aborting inside Qt.
    advice="brimwork-cli lists, extracts and rebuilds without one"
    output="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/brimwork" some.gdg 2>&1 > /dev/null)"
    status=$?
    [[ $status -eq 1 && "$output" == "brimwork: the window needs a display (neither DISPLAY nor WAYLAND_DISPLAY is set); $advice" ]] ||
        fail "brimwork without a display: status $status, standard error: $output"
    # A display that is named but cannot be reached fails in Qt's X11 plugin.
    if compgen -G "/usr/lib/*/qt6/plugins/platforms/libqxcb.so" > /dev/null; then
        number=99
        while [[ -e "/tmp/.X11-unix/X$number" ]]; do number=$((number + 1)); done
        output="$(env -u WAYLAND_DISPLAY DISPLAY=":$number" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" \
            "$root/bin/brimwork" some.gdg 2>&1 > /dev/null)"
        status=$?
        [[ $status -eq 1 && "$output" == *"brimwork: the window needs a display (none could be reached with DISPLAY=:$number, QT_QPA_PLATFORM=xcb); $advice" &&
            "$output" != *Reinstalling* ]] ||
            fail "brimwork with an unreachable display: status $status, standard error: $output"
    fi
    # Two files, or an option it does not know, are refused before any window opens.
    mkdir -m 0700 "$work/runtime"
    for arguments in "one.gdg two.gdg" "--zoom"; do
        # shellcheck disable=SC2086
        output="$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" "$root/bin/brimwork" $arguments 2>&1 > /dev/null)"
        status=$?
        [[ $status -eq 2 && "$output" == "brimwork: "*"brimwork [options] [FILE]"* ]] ||
            fail "brimwork $arguments: status $status, standard error: $output"
    done
fi

# --- The desktop entry -------------------------------------------------------
if [[ "$app_built" == ON ]]; then
    expect_quiet_success "desktop-file-validate" desktop-file-validate "$root/share/applications/brimwork.desktop"
fi

# --- The file types ----------------------------------------------------------
expect_quiet_success "update-mime-database" \
    env XDG_DATA_DIRS="$root/share" update-mime-database "$root/share/mime"
samples="$work/samples"
"$samples_program" "$samples" > /dev/null || fail "brimwork-samples"
cp "$samples/GADGETS.GDG" "$samples/gadgets.gdg"
cp "$samples/GADGETS.GDG" "$samples/gadgets-renamed"
cp "$samples/SCREENS.PIX" "$samples/screens.Pix"
cp "$samples/SCREENS.PIX" "$samples/screens-renamed.dat"
cp "$samples/VEHICLES.AZP" "$samples/vehicles.azp"
cp "$samples/VEHICLES.AZP" "$samples/vehicles-renamed"
declare -A types=(
    [GADGETS.GDG]=application/x-brimwork-gadget
    [gadgets.gdg]=application/x-brimwork-gadget
    [gadgets-renamed]=application/x-brimwork-gadget
    [SCREENS.PIX]=application/x-brimwork-screen
    [screens.Pix]=application/x-brimwork-screen
    [screens-renamed.dat]=application/x-brimwork-screen
    [VEHICLES.AZP]=application/x-brimwork-vehicle
    [vehicles.azp]=application/x-brimwork-vehicle
)
mkdir -p "$work/home"
for data_dirs in "$root/share" "$root/share:/usr/share"; do
    for name in "${!types[@]}" vehicles-renamed; do
        type="$(XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$data_dirs" mimetype --brief "$samples/$name" 2>&1)"
        if [[ "$name" == vehicles-renamed ]]; then
            # Vehicle files have no signature: under another name they are not claimed.
            [[ "$type" != application/x-brimwork-* ]] || fail "$name is taken for $type"
        elif [[ "$type" != "${types[$name]}" ]]; then
            fail "$name is $type, not ${types[$name]} (XDG_DATA_DIRS=$data_dirs)"
        fi
    done
done

# --- The man pages -----------------------------------------------------------
for page in brimwork-cli brimwork; do
    file="$root/share/man/man1/$page.1.gz"
    [[ "$app_built" == ON || "$page" != brimwork ]] || continue
    expect_quiet_success "man $page" env MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$file"
    text="$(MANWIDTH=80 man -l "$file" 2> /dev/null)"
    [[ "$text" == *"Brimwork $version"* && "$text" == *"EXIT STATUS"* ]] ||
        fail "man $page does not show the version and the exit status"
done

# --- The bash completion -----------------------------------------------------
mkdir -p "$work/complete/folder"
touch "$work/complete/"{a.gdg,B.PIX,c.Azp,notes.txt,d.TGA,e.png}
completions="$(cd "$work/complete" && bash --norc --noprofile -c '
    source "$1"
    complete_words() {
        COMP_WORDS=(brimwork-cli "$@")
        COMP_CWORD=$#
        COMPREPLY=()
        _brimwork_cli
        echo "$*: $(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " ")"
    }
    complete_words ""
    complete_words ex
    complete_words list ""
    complete_words rebuild ""
    complete_words frobnicate ""
    complete_words list a.gdg ""
    complete_words info -""
    complete_words export a.gdg ""
    complete_words export a.gdg LAMP ""
    complete_words replace a.gdg LAMP 3 ""
    complete_words replace a.gdg LAMP 3 d.TGA ""
' bash "$root/share/bash-completion/completions/brimwork-cli")"
expected_completions=": --help --version export extract info list rebuild replace verify
ex: export extract
list : B.PIX a.gdg c.Azp folder
rebuild : B.PIX a.gdg c.Azp folder
frobnicate : 
list a.gdg : 
info -: --json --verbose -v
export a.gdg : 
export a.gdg LAMP : d.TGA e.png folder
replace a.gdg LAMP 3 : d.TGA e.png folder
replace a.gdg LAMP 3 d.TGA : "
if [[ "$completions" != "$expected_completions" ]]; then
    fail "bash completion offered:"
    diff <(echo "$expected_completions") <(echo "$completions") >&2
fi

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "All install checks passed"
