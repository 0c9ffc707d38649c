#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Checks the Windows installer as a managed machine uses it, in a fresh Wine
# prefix on a virtual X server:
#   1. A silent install (/S) puts exactly the zip's files and the uninstaller
#      into C:\Program Files\kv718st-demo, the Start-menu entries, and an entry
#      under installed apps with this version.
#   2. Each Start-menu entry is started as the Start menu starts it, through
#      its shortcut: the simulated reader's entry runs the installed program
#      on the installed simulated reader (read-all is clicked); the English
#      entry runs it with --language en; the program's own entry runs it
#      without the simulated reader.
#   3. The entry's silent uninstall leaves no file and no registry key of ours.
#   4. An earlier version, made from the same build with another version and
#      one more file, is installed, then replaced silently by this installer:
#      one entry under installed apps, with this version; the earlier
#      version's own file is gone and the files are this version's. Its silent
#      uninstall leaves nothing of ours either.
#
#   tests/windows/installer_run.sh INSTALLER ZIP CPACK_CONFIG
# INSTALLER and ZIP are the packages of one build, CPACK_CONFIG its
# CPackConfig.cmake, from which the earlier version is made. Needs 64-bit
# Wine, xvfb-run, xdotool, unzip, iconv, cpack and makensis; without them it
# reports itself skipped, with status 77.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: installer_run.sh INSTALLER ZIP CPACK_CONFIG" >&2; exit 2; }
skip() { echo "installer_run: skipped: $*"; exit 77; }
fail() { echo "installer_run: FAIL: $*" >&2; exit 1; }
trap 'echo "installer_run: FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || true)
[ -n "$wine" ] || skip "64-bit Wine (wine64) is not installed"
server=${wine%/*}/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
for tool in xvfb-run xdotool unzip iconv cpack makensis; do
    command -v $tool >/dev/null || skip "$tool is not installed"
done
# Everything below runs on a virtual X server of its own.
if [ -z "${KV_INSTALLER_RUN_X:-}" ]; then
    exec env KV_INSTALLER_RUN_X=1 xvfb-run -a -s '-screen 0 1400x700x24' bash "$0" "$@"
fi

installer=$(realpath "$1") zip=$(realpath "$2") cpack_config=$(realpath "$3")
version=$(basename "$installer" | sed -n 's/^kv718st-demo-\(.*\)-windows-x64\.exe$/\1/p')
[ -n "$version" ] || fail "$installer is not named kv718st-demo-<version>-windows-x64.exe"
# The Start menu's names are Chinese: in arguments, in Wine's Unix file names.
export LC_ALL=C.UTF-8

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko prompts, and no copies of Start-menu entries in the Linux
# desktop's menus (winemenubuilder), which lie outside the prefix.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$wine" wineboot --init >/dev/null 2>&1
# settle: until every program of the prefix has ended and Wine has written
# the registry to system.reg and user.reg.
settle() { "$server" -w; }
settle

drive_c=$WINEPREFIX/drive_c
folder=$drive_c/'Program Files'/kv718st-demo
folder_windows='C:\Program Files\kv718st-demo'
menu_name=KV718ST演示软件
menu=$drive_c/ProgramData/Microsoft/Windows/'Start Menu'/Programs/$menu_name
menu_windows="C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$menu_name"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kv718st-demo'

# snapshot NAME: what the prefix holds: every file but the users' Temp
# folders (the uninstaller runs from a copy there, which Windows deletes at
# the next restart), the keys under Uninstall, and every line of the registry
# that names kv718st, keys and values alike.
snapshot() {
    settle
    (cd "$drive_c" && find . -path './users/*/Temp' -prune -o -print | sort) >"$work/$1.files"
    { grep -h '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\[^]]' "$WINEPREFIX/system.reg" || true; } |
        sed 's/\] [0-9]*$/]/' | sort >"$work/$1.uninstall"
    { grep -i kv718st "$WINEPREFIX"/*.reg || true; } | sed 's/^\(.*:\[.*\]\) [0-9]*$/\1/' >"$work/$1.registry"
}
# same_as BEFORE AFTER WHAT: the two snapshots are alike.
same_as() {
    diff "$work/$1.files" "$work/$2.files" || fail "$3: the prefix's files differ (above)"
    diff "$work/$1.uninstall" "$work/$2.uninstall" || fail "$3: the keys under Uninstall differ (above)"
    diff "$work/$1.registry" "$work/$2.registry" || fail "$3: the registry's lines naming kv718st differ (above)"
}

# read_entry: reads the entry under installed apps, for value (reg export
# writes UTF-16, with backslashes and quotes escaped).
read_entry() {
    "$wine" reg export "$uninstall_key" "$work/entry.reg" /y >/dev/null 2>&1 || fail "no entry $uninstall_key"
    iconv -f UTF-16 -t UTF-8 "$work/entry.reg" | tr -d '\r' >"$work/entry.txt"
}
# value NAME: a string value of the entry read last.
value() {
    sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p" "$work/entry.txt" | sed 's/\\\\/\x01/g; s/\\"/"/g; s/\x01/\\/g'
}

# run_command_line LINE: runs a Windows command line "PROGRAM" ARGUMENTS, as
# the registry's uninstall strings hold it, and waits for all it started.
run_command_line() {
    [[ $1 =~ ^\"([^\"]+)\"(.*)$ ]] || fail "not a quoted program and arguments: $1"
    # shellcheck disable=SC2086 # the arguments are words
    "$wine" "${BASH_REMATCH[1]}" ${BASH_REMATCH[2]} || fail "$1 failed with status $?"
    settle
}

# install_silently INSTALLER [/D=FOLDER]: silently, as a managed machine does (FOLDER
# without spaces: the installer takes it unquoted, and Wine quotes an argument
# with spaces).
install_silently() {
    "$wine" "$1" /S "${@:2}" || fail "$(basename "$1") /S failed with status $?"
    settle
}

# start_entry NAME: starts the Start-menu entry NAME through its shortcut,
# with Wine's trace of every DLL loaded in $work/NAME.log; waits for the
# program's window. Sets window and command_line (of the window's process).
start_entry() {
    [ -f "$menu/$1.lnk" ] || fail "no Start-menu entry $1"
    WINEDEBUG=+loaddll "$wine" start "$menu_windows\\$1.lnk" >"$work/$1.log" 2>&1 ||
        fail "starting the entry $1 failed"
    window=$(timeout 60 xdotool search --sync --name '^KV718ST' | head -n 1 || true)
    [ -n "$window" ] || fail "the entry $1 showed no window within 60 s"
    local pid
    pid=$(xdotool getwindowpid "$window")
    # Wine puts the Windows command line into the process's arguments.
    command_line=$(tr '\0' ' ' <"/proc/$pid/cmdline" | sed 's/ *$//')
}
# end_programs: ends every program of the prefix (closing the window under
# Xvfb without a window manager does not end the program).
end_programs() {
    "$server" -k
    settle
}
# check_installed VERSION FOLDER: the files in FOLDER (a Windows path) are the
# zip's and the uninstaller, the Start menu holds the entries, installed apps
# the entry of VERSION in FOLDER. Leaves the entry read for value.
check_installed() {
    local installed=$drive_c/${2#C:\\}
    installed=${installed//\\//}
    rm -rf "$work/zip"
    unzip -q "$zip" -d "$work/zip"
    diff -r -x Uninstall.exe "$work/zip/kv718st-demo-$version-windows-x64" "$installed" ||
        fail "the files in $2 are not the zip's (above)"
    [ -f "$installed/Uninstall.exe" ] || fail "no Uninstall.exe in $2"
    diff <(printf '%s\n' "$menu_name.lnk" "$menu_name（模拟读卡器）.lnk" "KV718ST Demo (English).lnk" Uninstall.lnk | sort) \
        <(find "$menu" -mindepth 1 -printf '%f\n' | sort) || fail "the Start menu's entries differ (above)"
    read_entry
    [ "$(value DisplayName)" = "$menu_name" ] || fail "DisplayName is '$(value DisplayName)'"
    [ "$(value DisplayVersion)" = "$1" ] || fail "DisplayVersion is '$(value DisplayVersion)', not $1"
    [ "$(value Publisher)" = "The kv718st-demo developers" ] || fail "Publisher is '$(value Publisher)'"
    [ "$(value UninstallString)" = "\"$2\\Uninstall.exe\"" ] || fail "UninstallString is '$(value UninstallString)'"
    [ "$(value QuietUninstallString)" = "\"$2\\Uninstall.exe\" /S" ] ||
        fail "QuietUninstallString is '$(value QuietUninstallString)'"
    [ "$(value InstallLocation)" = "$2" ] || fail "InstallLocation is '$(value InstallLocation)'"
}
# check_one_entry SNAPSHOT: SNAPSHOT has one key under Uninstall more than the
# fresh prefix, ours.
check_one_entry() {
    [ "$(comm -13 "$work/fresh.uninstall" "$work/$1.uninstall")" = \
      '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\kv718st-demo]' ] ||
        fail "installed apps do not hold exactly one entry more, kv718st-demo"
}

start=$SECONDS
snapshot fresh

# ---- 1. silent install ------------------------------------------------------
install_silently "$installer"
check_installed "$version" "$folder_windows"
snapshot installed
check_one_entry installed
echo "installer_run: silent install: the zip's files in $folder_windows, the Start menu, the entry of" \
     "$version ($((SECONDS - start)) s)"

# ---- 2. the Start-menu entries ----------------------------------------------
start_entry "$menu_name（模拟读卡器）"
sleep 2
# The read-all button, in the window's own pixels (see src/ui/Layout.cpp).
xdotool mousemove --window "$window" 584 340 click 1
sleep 3
end_programs
# The trace doubles backslashes.
simulated_loaded='Loaded L"'${folder_windows//\\/\\\\}'\\simulated\\Veltronanew125K.dll"'
grep -qiF "$simulated_loaded" "$work/$menu_name（模拟读卡器）.log" ||
    fail "the simulated reader's entry did not load the installed simulated reader (expected: $simulated_loaded)"

start_entry "KV718ST Demo (English)"
[ "$command_line" = "$folder_windows\\kv718st-demo.exe --language en" ] ||
    fail "the English entry started: $command_line"
end_programs
! grep -qi 'simulated\\\\Veltronanew125K' "$work/KV718ST Demo (English).log" ||
    fail "the English entry loaded the simulated reader"

start_entry "$menu_name"
[ "$command_line" = "$folder_windows\\kv718st-demo.exe" ] || fail "the program's entry started: $command_line"
end_programs
! grep -qi 'simulated\\\\Veltronanew125K' "$work/$menu_name.log" || fail "the program's entry loaded the simulated reader"
echo "installer_run: Start menu: the simulated reader's entry loaded the installed simulated reader, the English" \
     "entry passed --language en, the program's entry started the program ($((SECONDS - start)) s)"

# ---- 3. silent uninstall ----------------------------------------------------
read_entry
run_command_line "$(value UninstallString) /S"
snapshot uninstalled
same_as fresh uninstalled "after the silent uninstall"
echo "installer_run: silent uninstall: no file or registry key of ours left ($((SECONDS - start)) s)"

# ---- 4. upgrade -------------------------------------------------------------
# The earlier version goes into a folder of the administrator's choice, which
# the upgrade must keep.
mkdir -p "$work/earlier-only/earlier"
echo "A file of the earlier version only." >"$work/earlier-only/earlier/only-earlier.txt"
cpack --config "$cpack_config" -G NSIS -B "$work/earlier" -D CPACK_PACKAGE_VERSION=0.0.1 \
    -D CPACK_PACKAGE_FILE_NAME=kv718st-demo-0.0.1-windows-x64 -D "CPACK_INSTALLED_DIRECTORIES=$work/earlier-only;." \
    -D CPACK_NSIS_COMPRESSOR=zlib >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "the earlier version could not be made"; }
chosen_windows='C:\CardTools'
chosen=$drive_c/CardTools
install_silently "$work/earlier/kv718st-demo-0.0.1-windows-x64.exe" "/D=$chosen_windows"
[ -f "$chosen/earlier/only-earlier.txt" ] || fail "the earlier version did not install its own file"
read_entry
[ "$(value DisplayVersion)" = 0.0.1 ] || fail "the earlier version's entry has version '$(value DisplayVersion)'"
install_silently "$installer"
[ ! -e "$chosen/earlier" ] || fail "the upgrade left the earlier version's own file"
[ ! -e "$folder" ] || fail "the upgrade installed into $folder_windows, not where the earlier version was"
check_installed "$version" "$chosen_windows"
snapshot upgraded
check_one_entry upgraded
run_command_line "$(value QuietUninstallString)"
snapshot upgraded-uninstalled
same_as fresh upgraded-uninstalled "after the upgrade's silent uninstall"
echo "installer_run: upgrade from 0.0.1 in $chosen_windows: one entry, of $version, in place, the earlier" \
     "version's own file gone; its silent uninstall left nothing of ours ($((SECONDS - start)) s)"
