#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# The README's commands on a fresh Debian 12 machine: a minimal root file
# system (mmdebstrap --variant=apt: nothing but apt), the commit under test
# cloned into it with nothing beside it, and, with chroot,
#   1. bash run.sh test          must install what it needs and pass;
#   2. xvfb-run -a bash run.sh   must show the window (.ci/window-check.sh).
# The root is unmounted and removed whatever happens. The base system is kept
# as a tarball in KV_FRESH_ROOT_CACHE (default /var/cache/kv718st-demo-ci), so
# that later runs skip its download; it is made again after 30 days or when
# the machine's Debian mirrors change. The root uses the mirrors this
# machine's apt uses. Needs root and git; installs mmdebstrap when it is
# missing.
# usage: .ci/fresh-root.sh [COMMIT]          (default HEAD)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$repo" rev-parse "${1:-HEAD}")
cache=${KV_FRESH_ROOT_CACHE:-/var/cache/kv718st-demo-ci}
say() { printf 'fresh-root: %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-root: needs root (chroot, mount)" >&2
    exit 1
fi
. "$repo/setup/packages.sh"
install_missing "${fresh_root_packages[@]}"

# This machine's mirrors of Debian 12's main archive, its updates and its
# security updates, as apt itself reads them from /etc/apt/sources.list*.
mirrors=()
while read -r uri release; do
    mirrors+=("deb $uri $release main")
done < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' 2>/dev/null |
         awk '$3 == "main" && $2 ~ /^bookworm(-updates|-security)?$/ { print $1, $2 }' | sort -u)
if [ ${#mirrors[@]} -eq 0 ]; then
    mirrors=("deb http://deb.debian.org/debian bookworm main" "deb http://deb.debian.org/debian bookworm-updates main"
             "deb http://deb.debian.org/debian-security bookworm-security main")
fi
include=()
printf '%s\n' "${mirrors[@]}" | grep -q ' https://' && include=(--include=ca-certificates)

key=$(printf '%s\n' "${mirrors[@]}" "${include[@]}" | sha256sum | cut -c1-12)
base=$cache/bookworm-apt-$key.tar.gz
mkdir -p "$cache"
find "$cache" -maxdepth 1 -name 'bookworm-apt-*.tar.gz' -mtime +30 -delete
start=$SECONDS
if [ -f "$base" ]; then
    say "base system from $base"
else
    say "making the base system with mmdebstrap from: ${mirrors[*]}"
    rm -f "$cache"/bookworm-apt-*.tar.gz
    # mmdebstrap takes the format from the name's ending.
    mmdebstrap --quiet --variant=apt "${include[@]}" bookworm "$cache/making-$key.tar.gz" "${mirrors[@]}"
    mv "$cache/making-$key.tar.gz" "$base"
fi

work=$(mktemp -d /var/tmp/kv718st-fresh-root.XXXXXX)
root=$work/root
mounts=(proc sys dev dev/pts)
cleanup() {
    local status=$? entry attempt i
    set +e
    # Whatever still runs inside the root (a wineserver that lingers, the
    # program of the window check) holds its mounts.
    for attempt in 1 2 3 4 5; do
        for entry in /proc/[0-9]*; do
            [ "$(readlink "$entry/root" 2>/dev/null)" = "$root" ] && kill -KILL "${entry#/proc/}" 2>/dev/null
        done
        for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
            mountpoint -q "$root/${mounts[i]}" && umount "$root/${mounts[i]}" 2>/dev/null
        done
        grep -qF " $root/" /proc/self/mounts || break
        sleep 1
    done
    if grep -F " $root/" /proc/self/mounts; then
        echo "fresh-root: the file systems above are still mounted; $work is left in place" >&2
        exit 1
    fi
    rm -rf --one-file-system "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$root"
tar -C "$root" --numeric-owner -xzpf "$base"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-hardlinks "$repo" "$root/src/kv718st-demo"
git -C "$root/src/kv718st-demo" checkout -q --detach "$commit"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
made=$((SECONDS - start))
say "root with $(git -C "$root/src/kv718st-demo" log -1 --format='%h %s') ready in $made s"

# A login shell's environment on a fresh machine, as root.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /src/kv718st-demo && $1"
}

start=$SECONDS
say "bash run.sh test"
in_root 'bash run.sh test' </dev/null
tested=$((SECONDS - start))
# What was skipped, and why. Only the tests of 32-bit programs may skip here,
# as run.sh installs no 32-bit Wine; any other skip means that it no longer
# installs what the suite needs.
skips=$(awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3 } /^skipped:/ { print name ": " $0 }' \
    "$root/src/kv718st-demo/build/dev/Testing/Temporary/LastTest.log")
say "skipped tests:"
sed 's/^/    /' <<<"${skips:-none}"
if grep -v -E '^[a-z0-9_]+32: ' <<<"$skips" | grep -q .; then
    say "FAIL: only the tests of 32-bit programs may be skipped on a fresh machine"
    exit 1
fi

start=$SECONDS
say "xvfb-run -a bash run.sh"
in_root '. setup/packages.sh && install_missing "${window_check_packages[@]}" >/dev/null' </dev/null
# Its own network namespace: Xvfb's abstract socket (@/tmp/.X11-unix/X<n>)
# cannot meet another X server of this machine that a chroot does not see.
unshare --net chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /src/kv718st-demo && bash .ci/window-check.sh 8' </dev/null
shown=$((SECONDS - start))

say "times: root $made s, bash run.sh test $tested s, window $shown s"
