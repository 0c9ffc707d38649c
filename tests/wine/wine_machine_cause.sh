# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Sourced by the scripts that run the project's Windows programs under Wine,
# to tell a system that cannot run them from a program that fails.

# pe_bits FILE: prints 32 or 64, the width of the Windows program FILE by the
# machine type in its PE header; fails for a file that is not one.
pe_bits() {
    local offset signature machine
    [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') && [ -n "$offset" ] || return 1
    signature=$(od -An -tx1 -j"$offset" -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx1 -j$((offset + 4)) -N2 "$1" | tr -d ' ')
    [ "$signature" = 50450000 ] || return 1
    case $machine in
    4c01) echo 32 ;;
    6486) echo 64 ;;
    *) return 1 ;;
    esac
}

# wine_machine_cause PROGRAM OUTPUT: prints the line of OUTPUT, the output of
# PROGRAM run under Wine that failed, in which Wine, its loader or the kernel
# says that this system cannot run it, and succeeds; fails where there is
# none, so that the program's failure is its own. Only fatal lines count,
# never a notice such as Wine's that it could not open the working directory
# or Debian's hint that wine32 is missing (printed for 64-bit programs too).
# That the system cannot run 32-bit programs counts only for a 32-bit PROGRAM,
# by the machine type in its header.
wine_machine_cause() {
    local bits fatal
    bits=$(pe_bits "$1") || return 1
    # Wine cannot run at all: its loader without ntdll, no wineserver, a
    # server that cannot be reached, a prefix it refuses.
    fatal='^wine: could not load ntdll\.so|^wine: __wine_main function not found|^wine client error:'
    fatal+='|could not exec (wineserver|the wine loader)$|^wine: .* is not owned by you$'
    fatal+='|^wine: failed to map the shared user data|could not determine your home directory$'
    fatal+='|unable to find wine executable'
    if [ "$bits" = 32 ]; then
        # The kernel refuses the 32-bit loader, or 64-bit Wine without its
        # 32-bit part cannot start the program.
        fatal+='|: (Exec format error|cannot execute binary file)$|^ShellExecuteEx failed'
        fatal+='|err:module:load_wow64_ntdll failed to load'
    fi
    grep -m 1 -E "$fatal" <<<"$2"
}

# wine_without_32bit: succeeds where Debian's 64-bit Wine is installed without
# its 32-bit part (package wine32 of the foreign architecture i386), with
# which no 32-bit program runs. Check it before running one: 64-bit Wine then
# tries an experimental mode in which the program fails at once, yet Wine
# may end with status 0 and, with WINEDEBUG=-all, say nothing.
wine_without_32bit() {
    [ -x /usr/lib/wine/wine64 ] && [ ! -e /usr/lib/wine/wine ]
}
wine_add_32bit="Debian: dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386"

# wine_32bit_refused: prints why this system refuses Wine's 32-bit loader
# (a kernel without 32-bit programs: Exec format error) and succeeds; fails
# where the loader runs or is not there. 64-bit Wine, asked to run a 32-bit
# program on such a system, tries its experimental mode instead and says only
# that the program could not be started.
wine_32bit_refused() {
    local out
    [ -e /usr/lib/wine/wine ] || return 1
    out=$(/usr/lib/wine/wine --version 2>&1) && return 1
    wine_machine_cause "$out"
}
