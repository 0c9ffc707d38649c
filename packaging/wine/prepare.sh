# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
#
# Sourced by the launcher kv718st-demo-wine (bash, set -eu, $readers is this
# folder) before it starts the program on the Wine bridge:
#   - checks Wine, and 32-bit Wine for a 32-bit DLL, and the DLL itself;
#   - makes the private Wine prefix on the first run, with a progress line;
#   - writes the prefix's serial port mapping for COM1 to COM7 and says when
#     a mapped device is missing or not accessible.
# Problems are reported and the window still opens: its calls then fail and
# the bridge says why.

kv_say() { echo "kv718st-demo-wine: $*" >&2; }

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

# The same Wine the bridge will use: wine64 for a 64-bit DLL where there is one.
kv_wine=${KV718ST_WINE:-}
if [ -z "$kv_wine" ] && [ "$kv_bits" = 64 ]; then
    kv_wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
fi
[ -n "$kv_wine" ] || kv_wine=$(command -v wine || true)
if [ -z "$kv_wine" ]; then
    kv_say "Wine not found: install it (Debian: sudo apt-get install wine) or name the program in KV718ST_WINE"
elif [ "$kv_bits" != 64 ] && [ "$(readlink -f -- "$kv_wine")" = /usr/bin/wine ] &&
    [ -x /usr/lib/wine/wine64 ] && [ ! -x /usr/lib/wine/wine ]; then
    kv_say "Wine has no 32-bit support, which the maker's 32-bit DLL needs. Add it with:"
    kv_say "    sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386"
fi

export WINEPREFIX=${WINEPREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/kv718st-demo/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

if [ -n "$kv_wine" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    kv_say "setting up the Wine prefix $WINEPREFIX (first run only, about 20 s) ..."
    mkdir -p -- "$(dirname -- "$WINEPREFIX")"
    kv_start=$SECONDS
    if "$kv_wine" wineboot --init >/dev/null 2>&1 && { wineserver -w 2>/dev/null || true; } &&
        [ -f "$WINEPREFIX/system.reg" ]; then
        kv_say "Wine prefix ready in $((SECONDS - kv_start)) s"
    else
        kv_say "the Wine prefix could not be set up; reader calls will fail"
    fi
fi

# COM n as the window's port numbers 1 to 7: the same patterns as the
# serial-module reader ({n}, {n-1}); default /dev/ttyUSB{n-1}.
if [ -n "$kv_wine" ] && [ -f "$WINEPREFIX/system.reg" ]; then
    kv_pattern=${KV718ST_SERIAL_DEVICE:-/dev/ttyUSB\{n-1\}}
    kv_mapping=$'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    kv_found=0
    kv_denied=()
    for kv_n in 1 2 3 4 5 6 7; do
        kv_device=${kv_pattern//\{n-1\}/$((kv_n - 1))}
        kv_device=${kv_device//\{n\}/$kv_n}
        kv_mapping+="\"COM$kv_n\"=\"$kv_device\""$'\r\n'
        if [ -e "$kv_device" ]; then
            kv_found=$((kv_found + 1))
            [ -r "$kv_device" ] && [ -w "$kv_device" ] || kv_denied+=("COM$kv_n = $kv_device")
        fi
    done
    kv_stamp=$WINEPREFIX/kv718st-demo-ports.reg
    if ! printf '%s' "$kv_mapping" | cmp -s - "$kv_stamp"; then
        # regedit reads the file through the prefix's drive C:; Wine applies
        # the mapping when its server starts again.
        printf '%s' "$kv_mapping" >"$WINEPREFIX/drive_c/kv718st-demo-ports.reg"
        if "$kv_wine" regedit /S 'C:\kv718st-demo-ports.reg' >/dev/null 2>&1; then
            wineserver -w 2>/dev/null || true
            printf '%s' "$kv_mapping" >"$kv_stamp"
            kv_say "serial ports: COM1 to COM7 are ${kv_pattern//\{n-1\}/<n-1>} (KV718ST_SERIAL_DEVICE)"
        else
            kv_say "the serial port mapping could not be written to the Wine prefix"
        fi
        rm -f -- "$WINEPREFIX/drive_c/kv718st-demo-ports.reg"
    fi
    # The simulated reader shipped here opens no port.
    if [ "$kv_found" -eq 0 ] && [[ $kv_library != "$readers"/simulated* ]]; then
        kv_say "no serial device for COM1 to COM7 (${kv_pattern}); plug in the reader, or set KV718ST_SERIAL_DEVICE"
    fi
    for kv_entry in "${kv_denied[@]}"; do
        kv_say "$kv_entry: no read and write access; add yourself to the dialout group" \
            "(sudo adduser $(id -un) dialout, then log in again)"
    done
fi
