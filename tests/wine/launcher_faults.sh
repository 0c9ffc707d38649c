#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
#
# kv718st-demo-wine and the Wine bridge under faults, as an operator meets
# them: the build's program and Wine package are installed into a temporary
# prefix and started through the installed launcher, the window scripted by
# the preloaded driver, which also answers and prints every message box.
#
#   standins  needs no working Wine: stand-ins for Wine where the fault is
#             Wine's, and a 32-bit loader that the kernel refuses, as a
#             kernel without 32-bit support refuses Wine's.
#     1. the window opens whatever the preparation meets (a prefix without
#        drive_c, one that cannot be made, a full disk, no HOME), each fault
#        told in one line;
#     2. a cause of failing calls (no Wine, a system that refuses 32-bit
#        Wine, a prefix that cannot be made) is shown in the window once in
#        several failed calls, and every failed call says it on standard
#        error; the launcher names the way out when 32-bit Wine cannot run;
#     3. closing a window that never read starts no Wine and makes no prefix.
#   wine      real 64-bit Wine, in the prefix WINEPREFIX:
#     4. hostile KV718ST_SERIAL_DEVICE values: the prefix maps exactly the
#        devices meant, and a value with a line break is refused;
#     5. a second launcher with another mapping starts at once while the
#        first program runs its host, keeps the first one's mapping and says
#        so; the next start after it applies the new one;
#     6. a program started with standard input and output closed reads cards
#        through the bridge;
#     7. as root: a prefix that belongs to someone else is told, and the
#        window opens.
# It reports itself skipped only where the cross compilers were missing when
# the build was configured (WIDTHS, as run_wine_test.sh takes them) or Wine is
# not installed, and fails where a piece the build made is missing from the
# installed tree.
# usage: launcher_faults.sh --built=WIDTHS BUILD_DIR DRIVER standins|wine
set -u
built=${1#--built=} build=$2 driver=$3 group=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passes=0 failures=0
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "skipped: $1"; exit 77; }

inst=$work/inst
for component in program wine; do
    cmake --install "$build" --component "$component" --prefix "$inst" >"$work/install.log" 2>&1 ||
        { cat "$work/install.log"; echo "FAIL: cmake --install $build --component $component"; exit 1; }
done
launcher=$inst/bin/kv718st-demo-wine
readers=$inst/lib/kv718st-demo/wine
# The cases use the 64-bit host and both simulated DLLs.
for bits in 32 64; do
    case ",$built," in
    *",$bits,"*) ;;
    *) skip "the $bits-bit Windows pieces were not built: MinGW-w64 was not found when the build was configured" ;;
    esac
done
for piece in bin/kv718st-demo-wine lib/kv718st-demo/wine/libVeltronanew125K.so \
    lib/kv718st-demo/wine/kv718st-reader-host.exe lib/kv718st-demo/wine/kv718st-reader-host64.exe \
    lib/kv718st-demo/wine/simulated/Veltronanew125K.dll lib/kv718st-demo/wine/simulated64/Veltronanew125K.dll; do
    [ -f "$inst/$piece" ] || { echo "FAIL: the install lacks $piece, which the build made"; exit 1; }
done
# The driver goes into the program only, not into the launcher's shell and
# the Wine it runs: the launcher starts this in place of the program.
mv "$inst/bin/kv718st-demo" "$inst/bin/kv718st-demo.bin"
cat >"$inst/bin/kv718st-demo" <<EOF
#!/bin/sh
LD_PRELOAD=$driver exec "\${0%/*}/kv718st-demo.bin" "\$@"
EOF
chmod +x "$inst/bin/kv718st-demo"

# window NAME SCRIPT [NAME=VALUE | -u NAME]...: the launcher with the
# driver's SCRIPT and the environment changed as given; standard error in
# $work/NAME.log.
window() {
    local name=$1 script=$2 unset=() set=()
    shift 2
    while [ $# -gt 0 ]; do
        if [ "$1" = -u ]; then
            unset+=(-u "$2")
            shift
        else
            set+=("$1")
        fi
        shift
    done
    env "${unset[@]}" QT_QPA_PLATFORM=offscreen KV718ST_SIM_OPTIONS=latency=off KV718ST_DRIVE="$script" "${set[@]}" \
        timeout 120 "$launcher" </dev/null 2>"$work/$name.log"
}
log() { cat "$work/$1.log"; }
opened() { grep -q '^driver: paint ' "$work/$1.log"; }
boxes() { grep -c '^driver: box ' "$work/$1.log"; }

# ---- stand-ins ---------------------------------------------------------------
standins() {
    mkdir -p "$work/bin"
    # A Wine whose every run succeeds and does nothing.
    printf '#!/bin/sh\nexit 0\n' >"$work/bin/quiet-wine"
    # Debian's wine wrapper in small, and a 32-bit loader the kernel refuses
    # with ENOEXEC, as a kernel without 32-bit support refuses Wine's: an ELF
    # header for a machine no kernel runs.
    printf '#!/bin/sh -e\nexec "${0%%/*}/wine-loader" "$@"\n' >"$work/bin/wine"
    { printf '\177ELF\001\001\001'; head -c 9 /dev/zero; printf '\002\000\064\022\001\000\000\000'; head -c 28 /dev/zero; } \
        >"$work/bin/wine-loader"
    # A Wine that fails at everything, and one that also notes every start.
    printf '#!/bin/sh\nexit 1\n' >"$work/bin/failing-wine"
    printf '#!/bin/sh\necho "$@" >>"%s/wine-started"\nexit 1\n' "$work" >"$work/bin/noting-wine"
    chmod +x "$work/bin/"*
    : >"$work/a-file"

    # 1. name | prepare the prefix $prefix | environment | the one line expected
    while IFS='|' read -r name setup environment expected; do
        prefix=$work/$name
        eval "$setup"
        # shellcheck disable=SC2086
        window "$name" 'paint; close' ${prefix:+WINEPREFIX="$prefix"} KV718ST_WINE="$work/bin/quiet-wine" \
            KV718ST_WINDOWS_LIBRARY="$readers/simulated64/Veltronanew125K.dll" $environment
        status=$?
        if [ "$status" -ne 0 ] || ! opened "$name"; then
            fail "$name: the window did not open (exit status $status)"
            log "$name"
        elif ! grep -qF "$expected" "$work/$name.log"; then
            fail "$name: no line saying \"$expected\""
            log "$name"
        elif grep -q 'prepare.sh: line' "$work/$name.log"; then
            fail "$name: the shell complained instead of the launcher"
            log "$name"
        else
            pass "$name: the window opens; said: $(grep -F "$expected" "$work/$name.log")"
        fi
    done <<CASES
no-drive-c|mkdir -p "\$prefix" && : >"\$prefix/system.reg"||cannot be written into the Wine prefix (No such file or directory)
full-disk|mkdir -p "\$prefix/drive_c" && : >"\$prefix/system.reg" && ln -s /dev/full "\$prefix/drive_c/kv718st-demo-ports.reg"||cannot be written into the Wine prefix (No space left on device)
cannot-be-made|prefix=\$work/a-file/prefix||the Wine prefix $work/a-file/prefix cannot be made (
no-home|prefix=|-u HOME -u XDG_DATA_HOME -u WINEPREFIX KV718ST_WINE=$work/no-wine|Wine not found ('$work/no-wine')
CASES
}

# 2. Every cause once in the window: version, buzzer and read-all each call
# the library and fail.
causes() {
    local calls='boxes; paint; click cmdReadVersion; click cmdBuzzer; click cmdReadAll;
        until Label_RetInfo is "串口打开失败！"; close'
    mkdir -p "$work/prefix/drive_c"
    : >"$work/prefix/system.reg"
    # name | environment | launcher line | box and bridge line
    while IFS='|' read -r name environment said cause; do
        # shellcheck disable=SC2086
        window "$name" "$calls" WINEPREFIX="$work/prefix" $environment
        status=$?
        if [ "$status" -ne 0 ] || ! opened "$name"; then
            fail "$name: the window did not open or the script failed (exit status $status)"
            log "$name"
            continue
        fi
        box_lines=$(grep '^driver: box ' "$work/$name.log")
        bridge_lines=$(grep -c "^wine bridge: .*$cause" "$work/$name.log")
        if [ "$(boxes "$name")" -ne 1 ] || ! grep -qF "$cause" <<<"$box_lines"; then
            fail "$name: not one box with \"$cause\": $box_lines"
            log "$name"
        elif [ "$bridge_lines" -ne 3 ]; then
            fail "$name: $bridge_lines lines of the bridge about it on standard error, not one per failed call (3)"
            log "$name"
        elif ! grep -qF "$said" "$work/$name.log"; then
            fail "$name: the launcher did not say \"$said\""
            log "$name"
        else
            pass "$name: one box in three failed calls: $box_lines"
        fi
    done <<CASES
no-wine|KV718ST_WINE=$work/no-wine|Wine not found ('$work/no-wine')|Wine not found
32-bit-refused|KV718ST_WINE=$work/bin/wine KV718ST_WINDOWS_LIBRARY=$readers/simulated/Veltronanew125K.dll|KV718ST_WINDOWS_LIBRARY=$readers/simulated64/Veltronanew125K.dll kv718st-demo-wine|the system cannot run Wine's 32-bit part
no-prefix|KV718ST_WINE=$work/bin/failing-wine WINEPREFIX=$work/a-file/prefix|the Wine prefix $work/a-file/prefix cannot be made|the Wine prefix $work/a-file/prefix could not be made
CASES
    if grep -q "^driver: box .*simulated64/Veltronanew125K.dll" "$work/32-bit-refused.log"; then
        pass "32-bit-refused: the box names the 64-bit simulated reader"
    else
        fail "32-bit-refused: the box does not name the 64-bit simulated reader"
    fi
}

# 3. The direct route, without the launcher's preparation.
close_without_host() {
    local start=$SECONDS
    env QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$readers" LD_PRELOAD="$driver" KV718ST_DRIVE='paint; close' \
        KV718ST_WINE="$work/bin/noting-wine" WINEPREFIX="$work/never-made" \
        timeout 60 "$inst/bin/kv718st-demo.bin" 2>"$work/close.log"
    status=$?
    if [ "$status" -ne 0 ] || ! opened close; then
        fail "close without a host: exit status $status"
        log close
    elif [ -e "$work/wine-started" ] || [ -e "$work/never-made" ]; then
        fail "close without a host: Wine was started ($(cat "$work/wine-started" 2>/dev/null)) or a prefix made"
    else
        pass "closing a window that never read started no Wine and made no prefix ($((SECONDS - start)) s)"
    fi
}

# ---- real Wine ---------------------------------------------------------------
wine64=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine)
dll64=$readers/simulated64/Veltronanew125K.dll

# The devices COM1 to COM7 lead to once Wine has applied the mapping (at the
# start of its server: running the host with no input starts and ends one).
com_links() {
    WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' "$wine64" "$readers/kv718st-reader-host64.exe" </dev/null
    for n in 1 2 3 4 5 6 7; do
        readlink "$WINEPREFIX/dosdevices/com$n" 2>/dev/null || echo "(none)"
    done
}
expected_links() { for n in 1 2 3 4 5 6 7; do printf '%s\n' "${1//\{n\}/$n}"; done; }
# prepare NAME PATTERN: the launcher's preparation only (--version starts no window).
prepare() {
    KV718ST_WINDOWS_LIBRARY=$dll64 KV718ST_SERIAL_DEVICE=$2 timeout 60 "$launcher" --version >/dev/null 2>"$work/$1.log"
}

hostile_mappings() {
    # shellcheck disable=SC1003
    local quoted=$work/dev/a\"b\\c'{n}' unicode=$work/dev/读卡器é'{n}'
    prepare quoted "$quoted"
    if [ "$(com_links)" = "$(expected_links "$quoted")" ]; then
        pass "a device path with \" and \\ is mapped as written"
    else
        fail "a device path with \" and \\: $(com_links | head -n 1), not $(expected_links "$quoted" | head -n 1)"
        log quoted
    fi
    prepare unicode "$unicode"
    if [ "$(com_links)" = "$(expected_links "$unicode")" ]; then
        pass "a device path with Chinese letters is mapped as written"
    else
        fail "a device path with Chinese letters: $(com_links | head -n 1)"
        log unicode
    fi
    local key=kv718st-injected-${work##*.}
    prepare injection "/dev/ttyUSB{n-1}\""$'\r\n'"[HKEY_LOCAL_MACHINE\\Software\\$key]"$'\r\n''"x"="y'
    if ! grep -q 'KV718ST_SERIAL_DEVICE holds a control character' "$work/injection.log"; then
        fail "a value with a line break was not refused"
        log injection
    elif grep -qiF "$key" "$WINEPREFIX/system.reg" || [ "$(com_links)" != "$(expected_links "$unicode")" ]; then
        fail "a value with a line break changed the registry"
    else
        pass "a value with a line break is refused; the registry keeps the mapping before it"
    fi
}

two_instances() {
    local first=$work/dev/first'{n}' second=$work/dev/second'{n}'
    prepare setup "$first"
    # The first program holds the prefix with a host running; $! is timeout's,
    # which passes a signal on to the program.
    QT_QPA_PLATFORM=offscreen KV718ST_SIM_OPTIONS=latency=off KV718ST_WINDOWS_LIBRARY=$dll64 \
        KV718ST_SERIAL_DEVICE=$first \
        KV718ST_DRIVE='paint; click cmdReadVersion within 120000; wait 60000; close' \
        timeout 150 "$launcher" </dev/null 2>"$work/first.log" &
    local pid=$!
    for _ in $(seq 1 600); do
        grep -q '^driver: click name=cmdReadVersion' "$work/first.log" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! grep -q '^wine bridge: reader host started' "$work/first.log"; then
        fail "the first program did not start a host"
        log first
    else
        local start=$SECONDS
        prepare second "$second"
        local took=$((SECONDS - start))
        if [ "$took" -gt 10 ]; then
            fail "a second launcher took $took s to start its program"
        elif ! grep -q 'another kv718st-demo-wine runs on the Wine prefix' "$work/second.log"; then
            fail "a second launcher with another mapping did not say that the first one's stays"
            log second
        elif [ "$(com_links)" != "$(expected_links "$first")" ]; then
            fail "a second launcher changed the mapping of the first program"
        else
            pass "a second launcher started its program in $took s, kept the first one's mapping and said so"
        fi
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    prepare third "$second"
    if [ "$(com_links)" = "$(expected_links "$second")" ] && grep -q 'serial ports: COM1 to COM7' "$work/third.log"; then
        pass "the next start after the first program ended applied the new mapping"
    else
        fail "the next start did not apply the new mapping"
        log third
    fi
}

closed_descriptors() {
    QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$readers LD_PRELOAD=$driver KV718ST_SIM_OPTIONS=latency=off \
        KV718ST_WINDOWS_LIBRARY=$dll64 \
        KV718ST_DRIVE='paint; click cmdReadAll within 120000; until Label_RetInfo is "串口关闭成功！"; text txtZiFu_3; close' \
        timeout 150 "$inst/bin/kv718st-demo.bin" 2>"$work/closed.log" 0<&- 1>&-
    local status=$?
    if [ "$status" -eq 0 ] && grep -q '^driver: text name=txtZiFu_3 value=1122334455$' "$work/closed.log"; then
        pass "started with standard input and output closed, the program reads the card through the bridge"
    else
        fail "started with standard input and output closed: exit status $status"
        log closed
    fi
}

foreign_prefix() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "not root: a prefix of another user cannot be made here"
        return
    fi
    local prefix=$work/foreign
    mkdir -p "$prefix/drive_c"
    : >"$prefix/system.reg"
    chown -R 65534:65534 "$prefix"
    window foreign 'paint; close' WINEPREFIX="$prefix" KV718ST_WINDOWS_LIBRARY="$dll64" \
        KV718ST_SERIAL_DEVICE='/dev/foreign{n}'
    local status=$?
    if [ "$status" -eq 0 ] && opened foreign && grep -q 'could not be written to the Wine prefix (.*not owned by you)' "$work/foreign.log"; then
        pass "a prefix of another user is told in one line; the window opens"
    else
        fail "a prefix of another user: exit status $status"
        log foreign
    fi
}

case $group in
standins)
    standins
    causes
    close_without_host
    ;;
wine)
    [ -n "$wine64" ] || skip "Wine is not installed"
    hostile_mappings
    two_instances
    closed_descriptors
    foreign_prefix
    ;;
*)
    echo "usage: launcher_faults.sh --built=WIDTHS BUILD_DIR DRIVER standins|wine" >&2
    exit 2
    ;;
esac
echo "launcher_faults $group: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
