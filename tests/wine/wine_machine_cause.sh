# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Sourced by the scripts that run the project's Windows programs under Wine,
# to tell a system that cannot run them from a program that fails.

# wine_machine_cause OUTPUT: prints the line of OUTPUT in which Wine's
# loader, Debian's wrapper or the kernel says that this system cannot run a
# program of that width, and succeeds; fails where there is none, so that the
# program's failure is its own.
wine_machine_cause() {
    grep -m 1 -E 'Exec format error|cannot execute binary file|wine32 is missing|wine: could not (load|exec|open)|wine client error|unable to find wine executable' <<<"$1"
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
