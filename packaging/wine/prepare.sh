# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
#
# Sourced by the launcher kv718st-demo-wine (bash, $readers is this folder)
# before it starts the program on the Wine bridge:
#   - checks Wine, that 32-bit Wine is there and runs for a 32-bit DLL, and
#     the DLL itself;
#   - makes the private Wine prefix on the first run, with a progress line;
#   - writes the prefix's serial port mapping for COM1 to COM7 and says when
#     a mapped device is missing or not accessible.
# A step that fails is reported in one line and skipped: the window always
# opens, its calls then fail and the bridge tells the operator why. So no
# command here may end the launcher: every one that can fail is checked, no
# unset variable is read, and every wait for Wine has a bound.
#
# Several launchers may share the prefix. Each holds a shared lock on
# kv718st-demo.lock in the prefix for as long as its program runs (the open
# file is inherited by the program); a new port mapping is written only with
# the prefix to itself, since Wine's server reads the mapping when it starts
# and the running programs must keep theirs. Otherwise the new mapping is
# reported and written at the next start.

kv_say() { echo "kv718st-demo-wine: $*" >&2; }

# What a failed command said last, for a report.
kv_last_line() { printf '%s\n' "${1##*$'\n'}"; }

# 64 or 32 for a Windows DLL built for x86-64 or x86, nothing otherwise.
kv_dll_bits() {
    local offset machine
    [ -f "$1" ] || return 0
    offset=$(od -An -tu4 -j60 -N4 -- "$1" 2>/dev/null | tr -d ' ') || return 0
    [ -n "$offset" ] || return 0
    machine=$(od -An -tx1 -j$((offset + 4)) -N2 -- "$1" 2>/dev/null | tr -d ' ')
    case $machine in
    6486) echo 64 ;;
    4c01) echo 32 ;;
    esac
}

kv_library=${KV718ST_WINDOWS_LIBRARY:-Veltronanew125K.dll}
if [[ $kv_library == */* ]]; then
    if [ ! -f "$kv_library" ]; then
        kv_say "KV718ST_WINDOWS_LIBRARY names $kv_library, which does not exist; reader calls will fail"
    fi
    KV718ST_WINDOWS_LIBRARY=$(readlink -f -- "$kv_library" || echo "$kv_library")
    export KV718ST_WINDOWS_LIBRARY
fi
kv_bits=$(kv_dll_bits "$kv_library")

# The same Wine the bridge will use: KV718ST_WINE, else wine64 for a 64-bit
# DLL where there is one, else wine.
kv_wine=
if [[ ${KV718ST_WINE:-} == */* ]]; then
    [ -f "$KV718ST_WINE" ] && [ -x "$KV718ST_WINE" ] && kv_wine=$KV718ST_WINE
elif [ -n "${KV718ST_WINE:-}" ]; then
    kv_wine=$(command -v -- "$KV718ST_WINE" || true)
else
    if [ "$kv_bits" = 64 ]; then
        kv_wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
    fi
    [ -n "$kv_wine" ] || kv_wine=$(command -v wine || true)
fi
kv_way_out="use a 64-bit DLL, which runs in Wine's 64-bit part; for a demonstration the 64-bit simulated reader:
    KV718ST_WINDOWS_LIBRARY=$readers/simulated64/Veltronanew125K.dll kv718st-demo-wine"
if [ -z "$kv_wine" ]; then
    kv_say "Wine not found${KV718ST_WINE:+ ('$KV718ST_WINE')}: install it (Debian: sudo apt-get install wine)" \
        "or name the program in KV718ST_WINE"
elif [ "$kv_bits" != 64 ] && [ "$(readlink -f -- "$kv_wine")" = /usr/bin/wine ] &&
    [ -x /usr/lib/wine/wine64 ] && [ ! -x /usr/lib/wine/wine ]; then
    kv_say "Wine has no 32-bit support, which the maker's 32-bit DLL needs. Add it with:"
    kv_say "    sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386"
    kv_say "or $kv_way_out"
# Installed is not enough: a kernel without 32-bit support (some virtual
# machines) refuses Wine's 32-bit loader, which this starts.
elif [ "$kv_bits" != 64 ] && ! kv_out=$(timeout 20 "$kv_wine" --version 2>&1 </dev/null); then
    kv_say "Wine's 32-bit part does not run on this system ($(kv_last_line "$kv_out")), and the maker's 32-bit DLL needs it:"
    kv_say "$kv_way_out"
fi

# The prefix the bridge would choose by itself, named for both.
if [ -z "${WINEPREFIX:-}" ]; then
    kv_data=${XDG_DATA_HOME:-}
    if [[ $kv_data != /* ]]; then
        kv_home=${HOME:-}
        [ -n "$kv_home" ] || kv_home=$(getent passwd "$(id -u)" 2>/dev/null | cut -d: -f6) || true
        kv_data=${kv_home:-/}/.local/share
    fi
    WINEPREFIX=$kv_data/kv718st-demo/wine
fi
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

# The prefix's Wine server, to wait for it: the one beside the Wine program.
kv_wineserver=
if [ -n "$kv_wine" ]; then
    kv_wineserver=${kv_wine%/*}/wineserver
    [ -x "$kv_wineserver" ] || kv_wineserver=$(command -v wineserver || true)
fi
# Waits at most $1 seconds for the prefix's Wine server to end (it writes the
# registry to disk then, and reads it anew when it starts again).
kv_server_ended() { [ -z "$kv_wineserver" ] || timeout "$1" "$kv_wineserver" -w >/dev/null 2>&1; }

kv_prefix_ready=
if [ -z "$kv_wine" ]; then
    :
elif [ -f "$WINEPREFIX/system.reg" ]; then
    kv_prefix_ready=1
elif ! kv_out=$(mkdir -p -- "$(dirname -- "$WINEPREFIX")" 2>&1); then
    kv_say "the Wine prefix $WINEPREFIX cannot be made ($(kv_last_line "$kv_out")); name a folder of yours in WINEPREFIX; reader calls will fail"
else
    kv_say "setting up the Wine prefix $WINEPREFIX (first run only, about 20 s) ..."
    kv_start=$SECONDS
    if kv_out=$(timeout 300 "$kv_wine" wineboot --init 2>&1 >/dev/null) && kv_server_ended 60 &&
        [ -f "$WINEPREFIX/system.reg" ]; then
        kv_say "Wine prefix ready in $((SECONDS - kv_start)) s"
        kv_prefix_ready=1
    else
        kv_say "the Wine prefix $WINEPREFIX could not be set up${kv_out:+ ($(kv_last_line "$kv_out"))}; reader calls will fail"
    fi
fi

# Writes the mapping $kv_mapping (UTF-8 text) into the prefix; false, with a
# report, when it cannot. regedit reads the file through the prefix's drive
# C:, as UTF-16 so that any device path arrives as it was written.
kv_write_ports() {
    local file=$WINEPREFIX/drive_c/kv718st-demo-ports.reg error
    if ! error=$({ { printf '\xff\xfe' && printf '%s' "$kv_mapping" | iconv -f UTF-8 -t UTF-16LE; } >"$file"; } 2>&1); then
        kv_say "the serial port mapping cannot be written into the Wine prefix (${error##*: })"
        rm -f -- "$file" 2>/dev/null
        return 1
    fi
    if ! error=$(timeout 60 "$kv_wine" regedit /S 'C:\kv718st-demo-ports.reg' 2>&1 >/dev/null); then
        kv_say "the serial port mapping could not be written to the Wine prefix${error:+ ($(kv_last_line "$error"))}"
        rm -f -- "$file" 2>/dev/null
        return 1
    fi
    rm -f -- "$file" 2>/dev/null
    if ! kv_server_ended 30; then
        kv_say "Wine's server of the prefix did not end within 30 s; the new serial port mapping applies once it has"
        return 1
    fi
}

# COM n as the window's port numbers 1 to 7: the same patterns as the
# serial-module reader ({n}, {n-1}); default /dev/ttyUSB{n-1}.
if [ -n "$kv_prefix_ready" ]; then
    kv_lock=
    { exec {kv_lock}>>"$WINEPREFIX/kv718st-demo.lock"; } 2>/dev/null || kv_lock=
    kv_pattern=${KV718ST_SERIAL_DEVICE:-/dev/ttyUSB\{n-1\}}
    kv_mapping=
    if [[ $kv_pattern == *[[:cntrl:]]* ]]; then
        kv_say "KV718ST_SERIAL_DEVICE holds a control character (a line break or a tab?): the serial ports stay as they were"
    elif ! printf '%s' "$kv_pattern" | iconv -f UTF-8 -t UTF-16LE >/dev/null 2>&1; then
        kv_say "KV718ST_SERIAL_DEVICE is not UTF-8 text: the serial ports stay as they were"
    else
        kv_mapping=$'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    fi
    kv_found=0
    kv_denied=()
    for kv_n in 1 2 3 4 5 6 7; do
        [ -n "$kv_mapping" ] || break
        kv_device=${kv_pattern//\{n-1\}/$((kv_n - 1))}
        kv_device=${kv_device//\{n\}/$kv_n}
        # A string of a .reg file: a backslash and a double quote escaped.
        kv_value=${kv_device//\\/\\\\}
        kv_value=${kv_value//\"/\\\"}
        kv_mapping+="\"COM$kv_n\"=\"$kv_value\""$'\r\n'
        if [ -e "$kv_device" ]; then
            kv_found=$((kv_found + 1))
            [ -r "$kv_device" ] && [ -w "$kv_device" ] || kv_denied+=("COM$kv_n = $kv_device")
        fi
    done
    kv_stamp=$WINEPREFIX/kv718st-demo-ports.reg
    if [ -n "$kv_mapping" ] && ! printf '%s' "$kv_mapping" | cmp -s - "$kv_stamp"; then
        if [ -n "$kv_lock" ] && ! flock -x -w 3 "$kv_lock"; then
            kv_say "another kv718st-demo-wine runs on the Wine prefix $WINEPREFIX: COM1 to COM7 stay as it has them until" \
                "it ends, and KV718ST_SERIAL_DEVICE=$kv_pattern applies at the next start (or name another WINEPREFIX)"
        elif kv_write_ports; then
            if printf '%s' "$kv_mapping" 2>/dev/null >"$kv_stamp"; then
                kv_say "serial ports: COM1 to COM7 are ${kv_pattern//\{n-1\}/<n-1>} (KV718ST_SERIAL_DEVICE)"
            else
                kv_say "serial ports: COM1 to COM7 are ${kv_pattern//\{n-1\}/<n-1>}; the prefix cannot note it, so the next start writes it again"
            fi
        fi
    fi
    if [ -n "$kv_lock" ] && ! flock -s -w 10 "$kv_lock"; then
        kv_say "another kv718st-demo-wine keeps changing the serial ports of $WINEPREFIX; starting without waiting for it"
    fi
    # The simulated reader shipped here opens no port.
    if [ -n "$kv_mapping" ] && [ "$kv_found" -eq 0 ] && [[ $kv_library != "$readers"/simulated* ]]; then
        kv_say "no serial device for COM1 to COM7 (${kv_pattern}); plug in the reader, or set KV718ST_SERIAL_DEVICE"
    fi
    for kv_entry in "${kv_denied[@]}"; do
        kv_say "$kv_entry: no read and write access; add yourself to the dialout group" \
            "(sudo adduser $(id -un 2>/dev/null) dialout, then log in again)"
    done
fi
