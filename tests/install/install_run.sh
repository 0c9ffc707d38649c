#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Installs the build tree into a temporary prefix (with a blank in its path)
# and checks what was installed:
#  1. the layout: the program, the launchers, each reader library in its own
#     private folder and nowhere else, the desktop entries and the icons; the
#     program carries no library search path; a manual page for every command,
#     rendered without warnings and naming the installed guide; the AppStream
#     data;
#  2. the launchers' own logic, against a stand-in program: the reader folder
#     goes first on LD_LIBRARY_PATH, arguments pass unchanged, and the program
#     started is the one next to the launcher's real location, also when the
#     launcher is reached through symbolic links or PATH;
#  3. the installed program on the simulated reader: (a) with LD_LIBRARY_PATH on
#     the private folder, (b) through the launcher, directly and through a
#     symbolic link from another folder, and (c) without LD_LIBRARY_PATH, where
#     it must not find the simulated reader;
#  4. the installed console program: --reader finds the installed simulated
#     reader, also through a symbolic link from another folder, and a decoy
#     on LD_LIBRARY_PATH does not change that; without --reader and without
#     a library on the loader path it reports the library missing.
# usage: install_run.sh BUILD_DIR DRIVER BINDIR READERDIR DATADIR FOLDER=LAUNCHER...
set -u
build=$1 driver=$2 bindir=$3 readerdir=$4 datadir=$5
shift 5
readers=("$@")
driver=$(readlink -f -- "$driver") build=$(readlink -f -- "$build")
lib=libVeltronanew125K.so
program=kv718st-demo
cli=kv718st-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/install prefix"
passes=0 failures=0
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { # check WHAT COMMAND...: passes when the command succeeds
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

if ! env -u DESTDIR cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install $build"
    exit 1
fi

sim_launcher=
for r in "${readers[@]}"; do
    [ "${r%%=*}" = simulated ] && sim_launcher=${r#*=}
done
if [ -z "$sim_launcher" ]; then
    echo "FAIL: no simulated reader among: ${readers[*]}"
    exit 1
fi

# ---- 1. layout ----------------------------------------------------------------
expected=("x $bindir/$program" "x $bindir/$cli" "f $datadir/man/man1/$cli.1.gz" "f $datadir/applications/$program.desktop"
          "f $datadir/icons/hicolor/scalable/apps/$program.svg" "f $datadir/man/man1/$program.1.gz"
          "f $datadir/doc/$program/README.md.gz" "f $datadir/doc/$program/changelog.gz")
icon_sizes=(48 64 128 256)
for size in "${icon_sizes[@]}"; do
    expected+=("f $datadir/icons/hicolor/${size}x$size/apps/$program.png")
done
private_dirs=()
for r in "${readers[@]}"; do
    folder=${r%%=*} launcher=${r#*=}
    expected+=("f $readerdir/$folder/$lib" "x $bindir/$launcher" "f $datadir/applications/$launcher.desktop"
               "f $datadir/man/man1/$launcher.1.gz")
    private_dirs+=("$readerdir/$folder")
done
for entry in "${expected[@]}"; do
    kind=${entry%% *} path=${entry#* }
    if [ "$kind" = x ]; then
        check "installed executable $path" test -f "$prefix/$path" -a -x "$prefix/$path"
    else
        check "installed file $path" test -f "$prefix/$path" -a -s "$prefix/$path"
    fi
done

# Reader libraries only in their private folders.
while IFS= read -r copy; do
    dir=${copy%/*}
    allowed=no
    for d in "${private_dirs[@]}"; do
        [ "$dir" = "./$d" ] && allowed=yes
    done
    check "reader library $copy lies in a private reader folder" test "$allowed" = yes
done < <(cd "$prefix" && find . -name "$lib*")

for executable in "$program" "$cli"; do
    dynamic=$(readelf -d "$prefix/$bindir/$executable" 2>&1)
    check "the installed $executable has a dynamic section" grep -q '(NEEDED)' <<<"$dynamic"
    check "the installed $executable has no RPATH or RUNPATH" bash -c '! grep -Eq "\((RPATH|RUNPATH)\)" <<<"$1"' _ "$dynamic"
    check "the installed $executable is not linked to $lib" bash -c '! grep -q "\[$1\]" <<<"$2"' _ "$lib" "$dynamic"
done
dynamic=$(readelf -d "$prefix/$bindir/$cli" 2>&1)
check "the installed $cli needs no Qt GUI or widgets" bash -c '! grep -Eq "libQt6(Gui|Widgets)" <<<"$1"' _ "$dynamic"
check "the icon is an SVG picture" grep -q '<svg' "$prefix/$datadir/icons/hicolor/scalable/apps/$program.svg"
for size in "${icon_sizes[@]}"; do
    # A PNG file's signature, then the IHDR chunk: width and height, 4 bytes each.
    header=$(od -An -tu1 -N24 "$prefix/$datadir/icons/hicolor/${size}x$size/apps/$program.png" | tr -s ' \n' ' ')
    check "the ${size}x$size icon is a PNG picture of that size" \
        test "$header" = " 137 80 78 71 13 10 26 10 0 0 0 13 73 72 68 82 0 0 $((size >> 8)) $((size & 255)) 0 0 $((size >> 8)) $((size & 255)) "
done

# Manual pages: one per command, filled in with this prefix.
readme="$prefix/$datadir/doc/$program/README.md.gz"
check "the installed guide is the README" bash -c 'zcat "$1" | head -n 1 | grep -q "^# kv718st-demo"' _ "$readme"
if command -v man >/dev/null; then
    for page in "$program" "$cli" "${readers[@]#*=}"; do
        file="$prefix/$datadir/man/man1/$page.1.gz"
        text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man.err")
        check "$page.1 renders without warnings" test ! -s "$work/man.err"
        check "$page.1 names the installed guide" grep -qF "$readme" <<<"$text"
        words=(LD_LIBRARY_PATH KV718ST_SIM_OPTIONS KV718ST_SERIAL_DEVICE faults_from misread '{n-1}' --version)
        [ "$page" = "$program" ] || words=("$page")
        [ "$page" = "$cli" ] && words=(--reader --json --record LED2亮 'EXIT STATUS' KV718ST_WINDOWS_LIBRARY)
        for word in "${words[@]}"; do
            check "$page.1 explains $word" grep -qF -- "$word" <<<"$text"
        done
    done
else
    echo "skip: manual pages not rendered: man is not installed (package man-db)"
fi
metainfo=("$prefix/$datadir/metainfo/"*.metainfo.xml)
check "one AppStream file, launching $program.desktop" \
    grep -q "<launchable type=\"desktop-id\">$program.desktop</launchable>" "${metainfo[@]}"
if command -v appstreamcli >/dev/null; then
    check "AppStream data valid (appstreamcli validate --pedantic --no-net)" \
        appstreamcli validate --pedantic --no-net "${metainfo[@]}"
else
    echo "skip: AppStream data not validated: appstreamcli is not installed (package appstream)"
fi

# Desktop entries: started command, icon, names in Chinese and English, and
# an action that starts the English window.
desktop_value() { awk -v key="$2=" 'index($0, key) == 1 { print substr($0, length(key) + 1); exit }' "$1"; }
action_value() {
    awk -v key="$2=" '/^\[Desktop Action English\]$/ { inside = 1; next } /^\[/ { inside = 0 }
                      inside && index($0, key) == 1 { print substr($0, length(key) + 1); exit }' "$1"
}
entries=("$program=$program")
for r in "${readers[@]}"; do
    entries+=("${r#*=}=${r#*=}")
done
for entry in "${entries[@]}"; do
    file="$prefix/$datadir/applications/${entry%%=*}.desktop" command=${entry#*=}
    name=${entry%%=*}.desktop
    check "$name: first line after the comments is [Desktop Entry]" \
        test "$(grep -v -m 1 '^\(#.*\)\?$' "$file")" = "[Desktop Entry]"
    check "$name: Type=Application" test "$(desktop_value "$file" Type)" = Application
    check "$name: starts $command" test "$(desktop_value "$file" Exec)" = "$command"
    check "$name: TryExec $command" test "$(desktop_value "$file" TryExec)" = "$command"
    check "$name: $command is installed in $bindir" test -x "$prefix/$bindir/$(desktop_value "$file" Exec)"
    check "$name: icon $program, installed" test "$(desktop_value "$file" Icon)" = "$program" \
        -a -f "$prefix/$datadir/icons/hicolor/scalable/apps/$(desktop_value "$file" Icon).svg"
    check "$name: category Utility" grep -q '^Categories=\(.*;\)\?Utility;' "$file"
    for key in Name Comment; do
        check "$name: $key in Chinese" bash -c 'LC_ALL=C grep -q "[^ -~]" <<<"$1"' _ "$(desktop_value "$file" "$key")"
        check "$name: $key[zh_CN] as $key" test "$(desktop_value "$file" "$key[zh_CN]")" = "$(desktop_value "$file" "$key")"
        check "$name: $key[en] in English" bash -c '[ -n "$1" ] && ! LC_ALL=C grep -q "[^ -~]" <<<"$1"' _ "$(desktop_value "$file" "$key[en]")"
    done
    check "$name: action English" test "$(desktop_value "$file" Actions)" = "English;"
    check "$name: action English starts $command --language en" \
        test "$(action_value "$file" Exec)" = "$command --language en"
    check "$name: action English named in Chinese and English" bash -c \
        'LC_ALL=C grep -q "[^ -~]" <<<"$1" && [ -n "$2" ] && ! LC_ALL=C grep -q "[^ -~]" <<<"$2"' _ \
        "$(action_value "$file" Name)" "$(action_value "$file" "Name[en]")"
    if command -v desktop-file-validate >/dev/null; then
        check "$name: desktop-file-validate" desktop-file-validate "$file"
    else
        echo "skip: $name not validated: desktop-file-validate is not installed (package desktop-file-utils)"
    fi
done

# ---- 2. launcher logic, against a stand-in program -------------------------------
fake="$work/fake tree"
mkdir -p "$fake/$bindir" "$work/elsewhere" "$work/chain" "$work/no readers/$bindir"
cat >"$fake/$bindir/$program" <<'EOS'
#!/usr/bin/env bash
echo "program=$(readlink -f -- "$0")"
echo "LD_LIBRARY_PATH=${LD_LIBRARY_PATH-(unset)}"
for a in "$@"; do echo "arg=[$a]"; done
EOS
# A program by the same name next to the links and on PATH: never the one to start.
printf '#!/bin/sh\necho "program=the wrong one"\n' >"$work/elsewhere/$program"
chmod +x "$fake/$bindir/$program" "$work/elsewhere/$program"
cp "$fake/$bindir/$program" "$work/no readers/$bindir/"
stand_in=$(readlink -f "$fake/$bindir/$program")

for r in "${readers[@]}"; do
    folder=${r%%=*} launcher=${r#*=}
    cp "$prefix/$bindir/$launcher" "$fake/$bindir/"
    mkdir -p "$fake/$readerdir/$folder"
    folder_path=$(readlink -f "$fake/$readerdir/$folder")
    ln -s "$fake/$bindir/$launcher" "$work/elsewhere/$launcher"
    ln -s "../elsewhere/$launcher" "$work/chain/$launcher"
    # how the launcher is called | LD_LIBRARY_PATH before ("-": unset)
    while IFS='|' read -r how before; do
        case $how in
        direct) command=("$fake/$bindir/$launcher") ;;
        link) command=("$work/elsewhere/$launcher") ;;
        chain) command=("$work/chain/$launcher") ;;
        path) command=("$launcher") ;;
        esac
        if [ "$before" = - ]; then
            setting=(-u LD_LIBRARY_PATH) after=$folder_path
        else
            setting=("LD_LIBRARY_PATH=$before") after=$folder_path${before:+:$before}
        fi
        got=$(cd / && env "${setting[@]}" PATH="$work/elsewhere:$PATH" "${command[@]}" 'two words' '' '*' '$HOME' 2>&1)
        want=$(printf '%s\n' "program=$stand_in" "LD_LIBRARY_PATH=$after" 'arg=[two words]' 'arg=[]' 'arg=[*]' 'arg=[$HOME]')
        if [ "$got" = "$want" ]; then
            pass "$launcher called $how, LD_LIBRARY_PATH '$before'"
        else
            fail "$launcher called $how, LD_LIBRARY_PATH '$before'"
            diff <(echo "$want") <(echo "$got")
        fi
    done <<'CASES'
direct|-
direct|
direct|/opt/a:/opt/b
link|-
link|/opt/a
chain|/opt/a
path|-
CASES

    # Without its reader folder the launcher refuses to start the program.
    cp "$prefix/$bindir/$launcher" "$work/no readers/$bindir/"
    got=$("$work/no readers/$bindir/$launcher" 2>&1)
    status=$?
    check "$launcher without its reader folder: status 127" test "$status" -eq 127
    check "$launcher without its reader folder: says so" grep -q "reader library folder .* not found" <<<"$got"
    check "$launcher without its reader folder: program not started" bash -c '! grep -q "^program=" <<<"$1"' _ "$got"
done

# ---- 3. the installed program on the simulated reader ----------------------------
private="$prefix/$readerdir/simulated"
want_lib=$(readlink -f "$private/$lib")
# A working copy of the simulated reader elsewhere on LD_LIBRARY_PATH: the
# launcher's folder must come before it.
mkdir -p "$work/decoy" "$work/links"
cp "$private/$lib" "$work/decoy/"
ln -s "$prefix/$bindir/$sim_launcher" "$work/links/sim launcher"

drive() { # drive LOG SCRIPT COMMAND...: runs COMMAND offscreen under the driver
    local log=$1 script=$2
    shift 2
    QT_QPA_PLATFORM=offscreen LD_PRELOAD=$driver KV718ST_SIM_OPTIONS=latency=off KV718ST_DRIVE=$script \
        timeout 60 "$@" 2>"$log" </dev/null
}
loaded_from() { sed -n 's/^kv718st-demo: reader library loaded from //p' "$1"; }
read_all='paint; click cmdReadAll; until Label_RetInfo is "串口关闭成功！"; text lblCount; close'
expect_read_all() { # expect_read_all WHAT STATUS LOG
    local what=$1 status=$2 log=$3 from
    from=$(loaded_from "$log")
    if [ "$status" -ne 0 ]; then
        fail "$what: exit status $status"
    elif [ -z "$from" ] || [ "$(readlink -f "$from")" != "$want_lib" ]; then
        fail "$what: reader library loaded from '$from', not $want_lib"
    elif ! grep -q '^driver: text name=lblCount value=11$' "$log"; then
        fail "$what: read-all did not read 11 formats"
    else
        pass "$what: loaded $from, read all formats, exit status 0"
        return
    fi
    cat "$log"
}

(cd "$work" && LD_LIBRARY_PATH=$private drive "$work/a.log" "$read_all" "$prefix/$bindir/$program")
expect_read_all "(a) installed program, LD_LIBRARY_PATH on the private folder" $? "$work/a.log"

(cd "$work" && LD_LIBRARY_PATH=$work/decoy drive "$work/b1.log" "$read_all" "$prefix/$bindir/$sim_launcher")
expect_read_all "(b) $sim_launcher, another copy on LD_LIBRARY_PATH" $? "$work/b1.log"

(cd / && drive "$work/b2.log" "$read_all" env -u LD_LIBRARY_PATH "$work/links/sim launcher")
expect_read_all "(b) $sim_launcher through a symbolic link in another folder" $? "$work/b2.log"

# (c) No LD_LIBRARY_PATH, started from inside the private folder: the loader
# must not look into the prefix. The first device call then fails and the
# program shows its modal message box about the missing library from inside
# the click handler, so the driver's click never completes: the driver ends
# the program with its own error (status 3) after the click's time limit. The
# loader's trace shows that the library was asked for and where it was looked
# for. Should a maker's library be installed on this system, the program must
# load that one, never the installed simulated reader.
(cd "$private" && drive "$work/c.log" 'paint; click cmdReadVersion within 3000; close' \
    env -u LD_LIBRARY_PATH LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/ld" "$prefix/$bindir/$program")
status=$?
trace=$(cat "$work"/ld.* 2>/dev/null)
from=$(loaded_from "$work/c.log")
check "(c) the program asked the loader for $lib" grep -q "find library=$lib " <<<"$trace"
check "(c) the loader never looked inside the install prefix" bash -c '! grep -qF "file=$1/" <<<"$2"' _ "$prefix" "$trace"
if /sbin/ldconfig -p 2>/dev/null | grep -q "^[[:space:]]$lib "; then
    check "(c) a system library was loaded, not the installed simulated reader" \
        test -n "$from" -a "${from#"$prefix"/}" = "$from"
else
    check "(c) no reader library loaded" test -z "$from"
    check "(c) the click was held by the message box; the driver ended the program (status 3, was $status)" \
        test "$status" -eq 3
    check "(c) the driver reports the held click" \
        grep -qF 'what="cmdReadVersion did not report a click within 3000 ms"' "$work/c.log"
fi
[ "$failures" -eq 0 ] || cat "$work/c.log"

# (f) The menu's English action through the launcher: the translation is in
# the program, nothing beside it.
(cd / && drive "$work/f.log" 'paint; click cmdReadAll; until Label_RetInfo is "Port closed."; text Form1; close' \
    env -u LD_LIBRARY_PATH -u KV718ST_LANGUAGE "$prefix/$bindir/$sim_launcher" --language en)
status=$?
check "(f) $sim_launcher --language en: status 0 (was $status)" test "$status" -eq 0
check "(f) $sim_launcher --language en: the English window" grep -q '^driver: text name=Form1 value="KV718ST Demo"$' "$work/f.log"
check "(f) no translation file installed" test -z "$(find "$prefix" -name '*.qm')"
[ "$failures" -eq 0 ] || cat "$work/f.log"

# ---- 4. the installed console program ---------------------------------------------
ln -s "$prefix/$bindir/$cli" "$work/links/cli link"
got=$(cd / && LD_LIBRARY_PATH=$work/decoy KV718ST_SIM_OPTIONS=latency=off "$work/links/cli link" \
    --reader simulated read --format 3 2>"$work/d.log")
status=$?
from=$(sed -n 's/^kv718st-cli: reader library loaded from //p' "$work/d.log")
check "(d) $cli --reader simulated through a link: status 0 (was $status)" test "$status" -eq 0
check "(d) $cli --reader simulated: read the card" test "$got" = "$(printf '3\t1122334455')"
check "(d) $cli --reader simulated: loaded the installed simulated reader, not the decoy" \
    test "$(readlink -f "$from")" = "$want_lib"
if ! /sbin/ldconfig -p 2>/dev/null | grep -q "^[[:space:]]$lib "; then
    (cd "$private" && env -u LD_LIBRARY_PATH "$prefix/$bindir/$cli" read >"$work/e.out" 2>"$work/e.log")
    status=$?
    check "(e) $cli without a library: status 4 (was $status)" test "$status" -eq 4
    check "(e) $cli without a library: the window's text on standard error" grep -qF '找不到读卡器库或其中的函数' "$work/e.log"
    check "(e) $cli without a library: nothing on standard output" test ! -s "$work/e.out"
fi

echo "install_run: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
