# Sourced by the scripts that start Windows programs. Norvane and its tests
# send discovery requests on every adapter they find, so they run only
# inside a network namespace of their own (the lab, tests/netns/lab.sh), or
# where NORVANE_HOST_NETWORK=1 says the machine's own network is meant
# (scripts/run.sh --host).
norvane_own_namespace() {
  [ "${NORVANE_HOST_NETWORK:-}" = 1 ] && return 0
  # A named namespace (ip netns), one with nothing but loopback, or one that
  # differs from init's.
  # (By inode, file by file: other runs add and delete namespaces meanwhile,
  # which can make "ip netns identify" fail.)
  local mine f
  mine=$(stat -L -c %i /proc/self/ns/net 2>/dev/null)
  if [ -n "$mine" ]; then
    for f in /run/netns/*; do
      [ "$(stat -L -c %i "$f" 2>/dev/null)" = "$mine" ] && return 0
    done
  fi
  [ "$(ip -o link show 2>/dev/null | awk '{print $2}')" = "lo:" ] && return 0
  local init
  mine=$(readlink /proc/self/ns/net 2>/dev/null)
  init=$(readlink /proc/1/ns/net 2>/dev/null)
  if [ -z "$mine" ] || [ -z "$init" ] || [ "$mine" = "$init" ]; then
    echo "refusing to run Windows programs in the machine's own network namespace;" \
      "use tests/netns/lab.sh test run -- CMD (or NORVANE_HOST_NETWORK=1 if you mean it)" >&2
    return 1
  fi
}
