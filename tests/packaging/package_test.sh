#!/usr/bin/env bash
# Builds the Debian package (scripts/build-package.sh, build-package/), checks
# its files the way a desktop and Debian's tools read them, and, as root,
# installs it, opens a collection with the installed program and removes the
# package again. The package is never left installed.
# Usage: package_test.sh [SOURCE_DIR]
set -uo pipefail
src=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
app_id=example.qz_software.Dorvanta

passed=0 failed=0 skipped=0
work=$(mktemp -d)
installed=
# Present while this test has the package installed: a run killed from outside
# (a timeout) leaves it, and the next run then knows whose package it finds.
marker=/var/tmp/dorvanta-package-test.installed
xvfb_pid=
app_pid=

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    if [ -n "$installed" ] && dpkg-query -W -f='${Status}' dorvanta 2>/dev/null | grep -q installed; then
        if DEBIAN_FRONTEND=noninteractive apt-get remove -y -q dorvanta >/dev/null 2>&1; then
            rm -f "$marker"
        else
            echo "FAILED: the package could not be removed: apt-get remove dorvanta" >&2
        fi
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() {
    failed=$((failed + 1))
    echo "FAILED: $1" >&2
    [ -n "${2:-}" ] && printf '%s\n' "$2" | sed 's/^/    /' >&2
    return 0
}
skip() { skipped=$((skipped + 1)); echo "übersprungen: $1"; }
finish() {
    local line="$passed passed, $failed failed"
    [ "$skipped" -gt 0 ] && line+=", $skipped skipped"
    echo "$line"
    [ "$failed" -eq 0 ]
    exit
}
# Passes when the command succeeds and prints nothing at all.
silent() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1) && [ -z "$out" ]; then pass "$what"; else fail "$what" "$out"; fi
}
# What man says about a page on stderr; the page itself is thrown away.
man_warnings() { man --warnings -l "$1" 2>&1 >/dev/null; }

# ---- The package, built incrementally in build-package/.
if ! deb=$("$src/scripts/build-package.sh" 2>"$work/build.log" | tail -n 1) || [ ! -f "$deb" ]; then
    tail -n 30 "$work/build.log" >&2
    fail "scripts/build-package.sh wrote no package"
    finish
fi
echo "package: $deb ($(stat -c %s "$deb") bytes)"
root=$work/root
dpkg-deb -x "$deb" "$root"

# Exactly these files, so neither a missing one nor a stray tool, test or
# benchmark goes unnoticed.
expected=(
    usr/bin/dorvanta usr/bin/dorvanta-cli
    "usr/share/applications/$app_id.desktop"
    usr/share/bash-completion/completions/dorvanta-cli
    usr/share/doc/dorvanta/changelog.Debian.gz usr/share/doc/dorvanta/copyright
    usr/share/lintian/overrides/dorvanta
    usr/share/man/man1/dorvanta.1.gz usr/share/man/man1/dorvanta-cli.1.gz
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/mime/packages/$app_id.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
)
sizes=(16 32 48 64 128 256)
for n in "${sizes[@]}"; do expected+=("usr/share/icons/hicolor/${n}x${n}/apps/$app_id.png"); done
listed=$(cd "$root" && find . -type f -printf '%P\n' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$listed" = "$wanted" ]; then
    pass "the package holds exactly the expected files"
else
    fail "the package's files differ (< missing, > unexpected)" "$(diff <(echo "$wanted") <(echo "$listed") | grep '^[<>]')"
fi

depends=$(dpkg-deb -f "$deb" Depends)
missing_deps=
for d in qt6-translations-l10n fonts-liberation2 qt6-wayland libqt6widgets6 libqt6svg6; do
    [[ ", $depends," == *", $d "* || ", $depends," == *", $d,"* ]] || missing_deps+=" $d"
done
if [ -z "$missing_deps" ]; then pass "Depends names the run-time packages"; else fail "Depends lacks$missing_deps" "$depends"; fi
recommends=$(dpkg-deb -f "$deb" Recommends)
if [ "$recommends" = bash-completion ]; then pass "Recommends bash-completion"; else fail "Recommends" "$recommends"; fi

# The packaged programs answer --version without a display (Qt from the system).
for program in dorvanta dorvanta-cli; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --version 2>&1)
    if [ "$out" = "$program $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ]; then
        pass "$program --version without a display"
    else
        fail "$program --version" "$out"
    fi
done

if out=$(lintian --fail-on error,warning "$deb" 2>&1); then
    pass "lintian: no errors or warnings"
else
    fail "lintian" "$(grep -v 'running with root privileges' <<<"$out")"
fi

# ---- The desktop files.
# Without --no-hints the validator remarks that Office and Utility are both
# main categories; the entry wants to be listed under both.
# Hints too: one more main category puts the program twice into some menus.
silent "desktop entry valid, without hints" desktop-file-validate "$root/usr/share/applications/$app_id.desktop"

mime=$root/usr/share/mime/packages/$app_id.xml
# shared-mime-info ships its schema only as the DTD inside its own database file.
sed -n '/^<!DOCTYPE mime-info \[/,/^\]>/{/^<!DOCTYPE/d;/^\]>/d;p}' \
    /usr/share/mime/packages/freedesktop.org.xml >"$work/mime-info.dtd"
if [ ! -s "$work/mime-info.dtd" ]; then
    fail "no shared-mime-info DTD in /usr/share/mime/packages/freedesktop.org.xml"
else
    silent "MIME package valid" xmllint --noout --dtdvalid "$work/mime-info.dtd" "$mime"
fi

metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
version=$(dpkg-deb -f "$deb" Version)
out=$(appstreamcli validate --no-net "$metainfo" 2>&1)
if [ $? -ne 0 ] || grep -q '^[EW]:' <<<"$out"; then
    fail "AppStream metadata" "$out"
elif ! grep -q "<release version=\"${version%-*}\"" "$metainfo"; then
    fail "AppStream release is not the package's ${version%-*}" "$(grep '<release' "$metainfo")"
else
    pass "AppStream metadata valid, release ${version%-*}"
fi

for page in dorvanta dorvanta-cli; do
    silent "man page $page.1 renders without warnings" man_warnings "$root/usr/share/man/man1/$page.1.gz"
done

bad_icons=
for n in "${sizes[@]}"; do
    got=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${n}x${n}/apps/$app_id.png" 2>&1)
    [ "$got" = "${n}x${n}" ] || bad_icons+=" ${n}x${n}:$got"
done
if [ -z "$bad_icons" ]; then pass "icons have their sizes"; else fail "icon sizes:$bad_icons"; fi

# ---- Installed: the desktop's view of it, the programs, and the removal.
if [ "$(id -u)" -ne 0 ]; then
    skip "Installation, Dateitypen, Programmstart und Entfernen des Pakets (nur als root)"
    finish
fi
if [ -e "$marker" ] && dpkg-query -W -f='${Status}' dorvanta 2>/dev/null | grep -q installed; then
    echo "removing the package left installed by an interrupted run"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q dorvanta >/dev/null 2>&1 && rm -f "$marker"
fi
if dpkg-query -W -f='${Status}' dorvanta 2>/dev/null | grep -q installed; then
    skip "Installation: das Paket dorvanta ist schon installiert und bleibt unberührt"
    finish
fi

installed=1
touch "$marker"
if ! out=$(DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" 2>&1); then
    fail "apt-get install $deb" "$(tail -n 15 <<<"$out")"
    finish
fi
pass "the package installs"

data=$work/data
mkdir "$data" "$work/home"
echo '{"keys":[{"parent":"Bank","name":"Giro","entries":[{"title":"IBAN","value":"DE12","info":"","date":40000.5}]}]}' \
    >"$data/a.json"
if /usr/bin/dorvanta-cli build "$data/a.json" "$data/sammlung.pdt" &&
    /usr/bin/dorvanta-cli encrypt "$data/sammlung.pdt" "$data/sammlung.pdt.age" --password geheim; then
    # An encrypted collection under a name without the suffix is known by its first line.
    cp "$data/sammlung.pdt.age" "$data/ohne-endung"
    # As a desktop without its own MIME service sees it: no desktop running, a fresh home.
    clean() { env -i PATH="$PATH" HOME="$work/home" "$@" 2>&1; }
    types=$(for f in sammlung.pdt sammlung.pdt.age ohne-endung; do clean xdg-mime query filetype "$data/$f"; done)
    want=$'application/x-dorvanta-pdt\napplication/x-dorvanta-pdt-age\napplication/x-dorvanta-pdt-age'
    if [ "$types" = "$want" ]; then pass "file types by name and by content"; else fail "xdg-mime query filetype" "$types"; fi
    defaults=$(for t in application/x-dorvanta-pdt application/x-dorvanta-pdt-age; do clean xdg-mime query default "$t"; done)
    if [ "$defaults" = "$app_id.desktop"$'\n'"$app_id.desktop" ]; then
        pass "Dorvanta opens both file types"
    else
        fail "xdg-mime query default" "$defaults"
    fi
else
    fail "dorvanta-cli build/encrypt of a collection"
fi

if out=$(/usr/bin/dorvanta-cli --help 2>&1) && grep -q '^Aufruf: dorvanta-cli' <<<"$out"; then
    pass "dorvanta-cli --help"
else
    fail "dorvanta-cli --help" "$out"
fi

# The program on a private X server, the update wizard of a first start off.
gui() {
    exec {fd}>"$work/display"
    Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec {fd}>&-
    local display=
    for _ in $(seq 100); do
        display=$(cat "$work/display")
        [ -n "$display" ] && break
        sleep 0.1
    done
    [ -n "$display" ] || { fail "Xvfb did not start" "$(cat "$work/xvfb.log")"; return; }
    export DISPLAY=":$display"
    mkdir "$work/reg"
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
        >"$work/reg/HKEY_LOCAL_MACHINE.reg"
    unset QT_QPA_PLATFORM DORVANTA_TEST_ANSWERS DORVANTA_TEST_INPUTS DORVANTA_TEST_FILES DORVANTA_TEST_LOG
    DORVANTA_REGISTRY_DIR="$work/reg" HOME="$work/home" LANG=C.UTF-8 LC_ALL=C.UTF-8 \
        /usr/bin/dorvanta "$data/sammlung.pdt" >"$work/app.log" 2>&1 &
    app_pid=$!

    # The visible window named exactly $1, waited for up to 10 s.
    window() {
        local w
        for _ in $(seq 100); do
            while read -r w; do
                [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
            done < <(xdotool search --onlyvisible --name . 2>/dev/null)
            sleep 0.1
        done
        return 1
    }
    local title="Dorvanta - [$data/sammlung.pdt]" main held
    if ! main=$(window "$title"); then
        fail "no window titled '$title'" "$(xdotool search --onlyvisible --name . getwindowname %@ 2>&1; tail -n 5 "$work/app.log")"
        return
    fi
    held=$(xprop -id "$main" WM_NAME | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p')
    if [ "$held" = "$title" ]; then pass "the installed program opens FILE"; else fail "WM_NAME is '$held'"; fi

    local class wanted_class
    class=$(xprop -id "$main" WM_CLASS | sed -n 's/^WM_CLASS(STRING) = "[^"]*", "\(.*\)"$/\1/p')
    wanted_class=$(sed -n 's/^StartupWMClass=//p' "/usr/share/applications/$app_id.desktop")
    if [ -n "$class" ] && [ "$class" = "$wanted_class" ]; then
        pass "StartupWMClass matches the window's class"
    else
        fail "WM_CLASS '$class', desktop entry says '$wanted_class'"
    fi

    xdotool windowfocus --sync "$main"
    sleep 0.1
    xdotool key ctrl+u
    local box
    if box=$(window "Updates"); then
        xdotool windowfocus --sync "$box"
        sleep 0.1
        xdotool key Escape
        local closed=
        for _ in $(seq 50); do
            xdotool search --onlyvisible --name '^Updates$' >/dev/null 2>&1 || { closed=1; break; }
            sleep 0.1
        done
        if [ -n "$closed" ]; then pass "Ctrl+U shows 'Updates', Escape closes it"; else fail "'Updates' stayed open after Escape"; fi
    else
        fail "Ctrl+U showed no window 'Updates'"
    fi
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=
}
gui

files=$(dpkg -L dorvanta | while read -r f; do [ -d "$f" ] || echo "$f"; done)
if ! out=$(DEBIAN_FRONTEND=noninteractive apt-get remove -y -q dorvanta 2>&1); then
    fail "apt-get remove dorvanta" "$(tail -n 15 <<<"$out")"
    finish
fi
installed=
rm -f "$marker"
left=$(while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done <<<"$files")
# The triggers of shared-mime-info and desktop-file-utils forget the types again.
grep -l 'dorvanta' /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache 2>/dev/null >>"$work/stale"
if [ -z "$left" ] && [ "$(wc -l <<<"$files")" -ge "${#expected[@]}" ] && [ ! -s "$work/stale" ]; then
    pass "removing the package leaves none of its files"
else
    fail "after apt-get remove" "$left$(cat "$work/stale")"
fi

finish
