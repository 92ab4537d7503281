#!/usr/bin/env bash
# Installs the built program into a temporary prefix and checks what a user gets: the program
# (which must run from there), the manual, the desktop entry that starts the program in the
# manual's folder (Help opens manual.pdf of the working directory), and the icon. With
# --package it also builds the .deb and checks its contents and its desktop entry.
#
#   install_test.sh BUILD_DIR [--package]
set -euo pipefail

build=$(cd "$1" && pwd)
package=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_file() {
    [[ -f "$1" && -s "$1" ]] || fail "missing or empty: ${1#"$work"/}"
}

# A whole PDF: the header and, at the end, the trailer mark a truncated write would lack.
check_pdf() {
    local pdf=$1
    expect_file "$pdf"
    [[ -f "$pdf" ]] || return 0
    [[ $(head -c 5 "$pdf") == "%PDF-" ]] || fail "${pdf#"$work"/} does not start with %PDF-"
    tail -c 1024 "$pdf" | grep -q '%%EOF' || fail "${pdf#"$work"/} has no %%EOF trailer"
}

# The entry's keys, and its Path naming the folder that holds the manual.
check_desktop_entry() {
    local entry=$1 manual_dir=$2
    expect_file "$entry"
    [[ -f "$entry" ]] || return 0
    local key
    for key in "Type=Application" "Name=Device Configuration" "Exec=devconfig" \
        "Icon=devconfig" "Terminal=false" "Path=$manual_dir"; do
        grep -qxF "$key" "$entry" || fail "${entry#"$work"/} lacks the line $key"
    done
    grep -qx 'Categories=.*Utility;.*' "$entry" || fail "${entry#"$work"/} is not in Utility"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "desktop-file-validate rejects ${entry#"$work"/}"
    fi
}

# ---- cmake --install into a temporary prefix ----

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; exit 1; }

program=$prefix/bin/devconfig
[[ -x "$program" ]] || fail "bin/devconfig is missing or not executable"
check_pdf "$prefix/share/doc/devconfig/manual.pdf"
cmp -s "$build/manual.pdf" "$prefix/share/doc/devconfig/manual.pdf" ||
    fail "the installed manual differs from the build folder's manual.pdf"
check_desktop_entry "$prefix/share/applications/devconfig.desktop" \
    "$prefix/share/doc/devconfig"
icon=$prefix/share/icons/hicolor/32x32/apps/devconfig.png
expect_file "$icon"
[[ ! -f "$icon" || $(head -c 4 "$icon" | tail -c 3) == PNG ]] || fail "the icon is no PNG image"

if [[ -x "$program" ]]; then
    # The installed copy must not lean on the build tree for its libraries.
    if command -v readelf >/dev/null &&
        readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
        fail "the installed program's run path points into the build folder"
    fi
    status=0
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
        "$program" --help >"$work/help.out" 2>"$work/help.err") || status=$?
    [[ $status -eq 0 ]] || fail "devconfig --help exited with $status: $(cat "$work/help.err")"
    grep -q '^Usage: devconfig ' "$work/help.out" || fail "devconfig --help printed no usage line"
    for option in --port --simulate --find-adapter --help; do
        grep -qe "^  $option" "$work/help.out" || fail "devconfig --help does not list $option"
    done
fi

# ---- the Debian package ----

if [[ $package == --package ]]; then
    (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; exit 1; }
    debs=("$work"/package/devconfig_*.deb)
    if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
        fail "cpack wrote no single devconfig_*.deb"
    else
        deb=${debs[0]}
        dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
        for path in ./usr/bin/devconfig ./usr/share/doc/devconfig/manual.pdf \
            ./usr/share/applications/devconfig.desktop \
            ./usr/share/icons/hicolor/32x32/apps/devconfig.png; do
            grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
        done
        [[ $(dpkg-deb -f "$deb" Package) == devconfig ]] || fail "the package is not named devconfig"
        depends=$(dpkg-deb -f "$deb" Depends)
        for needed in libqt6widgets6 qt6-qpa-plugins fonts-liberation; do
            [[ $depends == *"$needed"* ]] || fail "the package does not depend on $needed"
        done
        dpkg-deb -x "$deb" "$work/unpacked"
        check_desktop_entry "$work/unpacked/usr/share/applications/devconfig.desktop" \
            /usr/share/doc/devconfig
        check_pdf "$work/unpacked/usr/share/doc/devconfig/manual.pdf"
    fi
fi

if [[ $failures -ne 0 ]]; then
    echo "install test: $failures failure(s)" >&2
    exit 1
fi
echo "install test: all checks passed"
