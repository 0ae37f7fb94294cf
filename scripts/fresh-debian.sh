#!/usr/bin/env bash
# Runs a command in a clean clone of this commit on a new, minimal Debian, as a new
# user would after installing git: proves that the README's commands install all they
# need, which a machine that already has everything cannot show.
#   bash scripts/fresh-debian.sh 'bash scripts/test.sh'
# Needs root (asks sudo otherwise). Steps: a minbase root (debootstrap, or the bare root
# cached from an earlier run), git and ca-certificates, the clone, `bash scripts/setup.sh`
# (the one step that needs the network), then the command, in a network namespace with
# nothing in it: chroot does not separate abstract sockets, so without it an X display
# inside could meet one of the same number outside (Wine's server sockets are apart in
# the root's own /tmp). Every step runs in mount and PID namespaces of its own, so
# however it ends nothing of it stays mounted or running. Prints the command's last line
# last and exits with its status.
# FRESH_DEBIAN_SUITE is the release (default trixie, Debian 13; bookworm for Debian 12);
# FRESH_DEBIAN_TIMEOUT (seconds, default 1800) bounds the whole run; FRESH_DEBIAN_KEEP=1
# keeps the root, unmounted, to look at afterwards.
set -euo pipefail

if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: bash scripts/fresh-debian.sh 'COMMAND'   (COMMAND runs in the clone's folder)" >&2
  exit 2
fi
cmdline=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "fresh-debian: needs root (debootstrap, chroot, mounts)" >&2; exit 1; }
  exec sudo -- env FRESH_DEBIAN_SUITE="${FRESH_DEBIAN_SUITE:-}" FRESH_DEBIAN_TIMEOUT="${FRESH_DEBIAN_TIMEOUT:-}" FRESH_DEBIAN_KEEP="${FRESH_DEBIAN_KEEP:-}" bash "$0" "$@"
fi

suite=${FRESH_DEBIAN_SUITE:-trixie}
limit=${FRESH_DEBIAN_TIMEOUT:-1800}
cache_dir=/var/cache/quorvane-fresh-debian
say() { printf 'fresh-debian: %s\n' "$*"; }

# Debian's own suites in this machine's apt sources, as "URI SUITE COMPONENT..." lines,
# from one-line lists and deb822 files alike; the machine's own release is renamed to
# the one asked for, at the same address.
debian_sources() {
  local f codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-$suite}")
  {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      if [ -f "$f" ]; then sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]*\)\{0,1\}//p' "$f"; fi
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      if [ -f "$f" ]; then
        awk 'function flush(  n, m, i, j, u, s) {
               if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled != "no") {
                 n = split(uris, u); m = split(suites, s)
                 for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) print u[i], s[j], comps
               }
               types = uris = suites = comps = enabled = key = ""
             }
             /^#/ { next }
             /^[ \t]*$/ { flush(); next }
             /^[ \t]/ { if (key == "uris") uris = uris " " $0; else if (key == "suites") suites = suites " " $0
                        else if (key == "components") comps = comps " " $0; next }
             { key = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
               if (key == "types") types = value; else if (key == "uris") uris = value
               else if (key == "suites") suites = value; else if (key == "components") comps = value
               else if (key == "enabled") { enabled = tolower(value); gsub(/[ \t]/, "", enabled) } }
             END { flush() }' "$f"
      fi
    done
  } | awk -v c="$codename" -v s="$suite" '
        $2 == c || $2 == c "-updates" || $2 == c "-security" { sub("^" c, s, $2); $1 = $1; if (!seen[$0]++) print }'
}

# Processes whose root is the fresh root: what runs inside it.
processes_in_root() {
  local d
  for d in /proc/[0-9]*; do
    if [ "$(readlink "$d/root" 2>/dev/null)" = "$root" ]; then echo "${d#/proc/}"; fi
  done
}

# PID 1 of a step's namespaces: mounts what Wine and Xvfb need, runs the command line
# in the root as a fresh root login would, stops what it left running, unmounts, and
# exits with the command's status. /proc is mounted by unshare.
step_init() {
  local root=$1 log=$2 term=$3 cmdline=$4 status p d name left=()
  mount --rbind /dev "$root/dev" &&
    mount -t tmpfs -o nosuid,nodev,mode=1777 shm "$root/dev/shm" &&
    mount --rbind /sys "$root/sys" &&
    mount -t tmpfs -o nosuid,nodev,mode=1777 tmp "$root/tmp" || exit 1
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash TERM="$term" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -lc "$cmdline" 2>&1 | tee -a "$log"
  status=${PIPESTATUS[0]}
  alive() { local s; read -r s <"$root/proc/$1/stat" 2>/dev/null || return 1; s=${s##*) }; [ "${s%% *}" != Z ]; }
  any_alive() { for p in "${left[@]}"; do alive "$p" && return 0; done; return 1; }
  for d in "$root"/proc/[0-9]*; do
    p=${d##*/}
    if [ "$p" != 1 ] && alive "$p"; then read -r name <"$d/comm"; left+=("$p"); echo "fresh-debian: left running: $name ($p)"; fi
  done
  if [ ${#left[@]} -gt 0 ]; then
    kill -TERM "${left[@]}" 2>/dev/null
    for _ in 1 2 3 4 5 6 7 8 9 10; do any_alive || break; sleep 0.5; done
    kill -KILL "${left[@]}" 2>/dev/null
  fi
  for d in tmp sys dev proc; do umount -R "$root/$d" 2>/dev/null || umount -R -l "$root/$d"; done
  exit "$status"
}

# Runs "$@" in mount and PID namespaces of its own (and more, as given before --) in the
# background, and waits for it within the time left. When unshare ends, or this script
# does, the namespace's PID 1 is killed, and with it all it started and mounted.
child= sleeper= timed_out=
in_namespaces() {
  local options=() ended= status=0
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  setpriv --pdeathsig KILL unshare --mount --propagation private --pid --fork --kill-child "${options[@]}" "$@" 9>&- &
  child=$!
  setpriv --pdeathsig KILL sleep "$((deadline - SECONDS > 0 ? deadline - SECONDS : 0))" 9>&- &
  sleeper=$!
  wait -n -p ended "$child" "$sleeper" || status=$?
  if [ "$ended" = "$sleeper" ]; then timed_out=1; exit 124; fi
  kill "$sleeper" 2>/dev/null; wait "$sleeper" 2>/dev/null || true
  child= sleeper=
  return "$status"
}

# A command line run in the root; --no-network gives it a network namespace of its own.
in_root() {
  local net=()
  if [ "$1" = --no-network ]; then net=(--net); shift; fi
  last_log=$2
  in_namespaces "${net[@]}" --mount-proc="$root/proc" -- \
    bash -c "$(declare -f step_init); step_init \"\$@\"" step_init "$root" "$2" "${TERM:-dumb}" "$1"
}

# However the run ends: stop what runs inside, make sure nothing is mounted, remove the
# root, then the times, and the command's last line last.
finish() {
  local status=$? pids=() line mountpoint
  trap - EXIT INT TERM HUP
  set +e
  [ -n "$timed_out" ] && { status=124; say "timed out after $limit s"; }
  [ -z "$phase" ] || times+=("$phase $((SECONDS - phase_start)) s (stopped),")
  if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
    mapfile -t pids < <(processes_in_root)
    [ ${#pids[@]} -eq 0 ] || kill -TERM "${pids[@]}" 2>/dev/null
    for _ in $(seq 40); do kill -0 "$child" 2>/dev/null || break; sleep 0.5; done
    kill -KILL "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  [ -n "$sleeper" ] && { kill "$sleeper" 2>/dev/null; wait "$sleeper" 2>/dev/null; }
  rm -f "${partial_cache:-}"
  mapfile -t pids < <(processes_in_root)
  if [ ${#pids[@]} -gt 0 ]; then
    say "killing what is still running in the root: ${pids[*]}"
    kill -KILL "${pids[@]}" 2>/dev/null
    sleep 1
  fi
  while read -r _ mountpoint _; do
    case "$mountpoint" in "$work"/*) say "unmounting $mountpoint"; umount -R -l "$mountpoint" ;; esac
  done < <(tac /proc/mounts)
  line=
  if [ -n "${last_log:-}" ] && [ -s "$last_log" ]; then line=$(tail -n 1 "$last_log"); fi
  if [ "${FRESH_DEBIAN_KEEP:-}" = 1 ]; then
    rm -f "$work/lock"
    say "kept the root, unmounted: $root"
  elif grep -q " $work/" /proc/mounts; then
    say "something is still mounted under $work: left in place"
  else
    rm -rf --one-file-system "$work"
  fi
  say "${times[*]:-} total $SECONDS s; exit status $status"
  [ -z "$line" ] || printf '%s\n' "$line"
  exit "$status"
}

# The machine's tools for it: debootstrap may be missing on a Debian machine.
if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  apt_log=$(mktemp)
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap; } \
    >"$apt_log" 2>&1 || { cat "$apt_log"; rm -f "$apt_log"; exit 1; }
  rm -f "$apt_log"
fi

sources=$(debian_sources)
mirror=$(awk -v s="$suite" '$2 == s { print $1; exit }' <<<"$sources")
if [ -z "$mirror" ]; then
  echo "fresh-debian: no Debian archive in /etc/apt/sources.list or /etc/apt/sources.list.d/ to take a mirror from" >&2
  exit 1
fi
head=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" status --porcelain)" ]; then
  say "uncommitted changes are not in the clone: it is the commit ${head:0:12}"
fi

# A run holds the lock in its folder while it lasts; a run killed outright left its root
# behind (nothing of it mounted or running), and the next run removes it.
for old in /var/tmp/quorvane-fresh.*; do
  if [ -f "$old/lock" ] && [ -n "$(find "$old/lock" -mmin +1)" ] && flock -n "$old/lock" true &&
     ! grep -q " $old/" /proc/mounts; then
    rm -rf --one-file-system "$old"
  fi
done
deadline=$((SECONDS + limit))
work=$(mktemp -d /var/tmp/quorvane-fresh.XXXXXX)
root=$work/root
exec 9>"$work/lock"
flock 9
times=() phase=
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
mkdir "$root"

phase_begin() { phase=$1 phase_start=$SECONDS; }
phase_end() { times+=("$phase $((SECONDS - phase_start)) s${1:-},"); phase=; say "${times[-1]%,}"; }

# The bare minbase root, from the cache when it is under a week old. It holds only what
# debootstrap gave, never anything installed after.
say "Debian $suite"
phase_begin root
cache="$cache_dir/$suite-minbase-$(dpkg --print-architecture)-$(printf %s "$mirror" | md5sum | cut -c1-8).tar.gz"
if [ -n "$(find "$cache" -mtime -7 2>/dev/null)" ] && tar -xpzf "$cache" -C "$root" --numeric-owner; then
  phase_end " (unpacked from the cache)"
else
  rm -rf --one-file-system "$root" && mkdir "$root"
  say "debootstrap --variant=minbase $suite from the machine's mirror"
  last_log=$work/debootstrap.log
  in_namespaces -- debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$last_log" 2>&1 ||
    { tail -n 20 "$last_log"; say "debootstrap failed"; exit 1; }
  rm -f "$root"/var/cache/apt/archives/*.deb
  phase_end " (debootstrap)"
  phase_begin "caching the bare root"
  mkdir -p "$cache_dir"
  partial_cache=$cache.$$
  # One bare root per release: an older one of the same release (another mirror) goes.
  tar -cpf - -C "$root" --one-file-system --numeric-owner . | gzip -1 >"$partial_cache" &&
    rm -f "$cache_dir/$suite-minbase-"*.tar.gz && mv "$partial_cache" "$cache"
  partial_cache=
  phase_end
fi

# What a new user adds to a new machine to get the repository.
phase_begin "git and the clone"
sed 's/^/deb /' <<<"$sources" >"$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
in_root "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends git ca-certificates" \
  "$work/packages.log" >/dev/null || { tail -n 20 "$work/packages.log"; say "installing git failed"; exit 1; }
git -c advice.detachedHead=false clone -q --no-hardlinks "$repo" "$root/root/quorvane"
[ "$(git -C "$root/root/quorvane" rev-parse HEAD)" = "$head" ] || { say "the clone is not at $head"; exit 1; }
phase_end

phase_begin set-up
say "bash scripts/setup.sh"
in_root "cd ~/quorvane && bash scripts/setup.sh" "$work/setup.log" || { say "the set-up failed"; exit 1; }
phase_end

phase_begin command
say "$cmdline (in ~/quorvane, no network)"
status=0
in_root --no-network "cd ~/quorvane && $cmdline" "$work/command.log" || status=$?
phase_end
exit "$status"
