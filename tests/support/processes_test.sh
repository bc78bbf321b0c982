#!/usr/bin/env bash
# The labs' process bookkeeping (processes.sh) on processes of its own:
# recorded and stopped newest first, never a process that merely has a
# recorded PID, a chosen signal by name, KILL for one that ignores TERM,
# and a namespace emptied and deleted (with root only).
set -uo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=$(mktemp -d)
PIDS="$WORK/pids" LOGS="$WORK/logs" LAB_NAME="test lab"
mkdir -p "$LOGS"
source "$HERE/processes.sh"
failures=0
check() {  # DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
alive() { [[ -n $(start_time "$1") ]]; }
gone() {  # PID...: none of them runs (a zombie not yet reaped runs nothing)
  local pid
  for pid; do alive "$pid" && return 1; done
  return 0
}
pid_of() { awk -v n="$1" '$3 == n {print $1}' "$PIDS"; }
# A process that writes its name and the signal it got, then ends.
signalled() {
  background "$1" bash -c 'trap "echo $0 TERM >>$1; exit" TERM; trap "echo $0 INT >>$1; exit" INT
    echo started >"$1.$0"; while :; do sleep 0.05; done' "$1" "$WORK/order"
  local i
  for ((i = 0; i < 100; i++)); do [[ -f $WORK/order.$1 ]] && return 0; sleep 0.05; done
}
cleanup() {
  stop_recorded
  [[ -n ${stray:-} ]] && kill -KILL "$stray" 2>/dev/null
  [[ -n ${ns:-} ]] && ip netns delete "$ns" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# Recorded, and stopped newest first.
signalled first
signalled second
check "two processes recorded with their names" \
  test "$(awk '{print $3}' "$PIDS" | tr '\n' ' ')" = "first second "
first=$(pid_of first) second=$(pid_of second)
stop_recorded
check "stopped, the newest first" test "$(cat "$WORK/order")" = $'second TERM\nfirst TERM'
check "both gone" gone "$first" "$second"
check "the record is gone" test ! -e "$PIDS"
check "nothing recorded, nothing to stop" stop_recorded

# A PID whose start time is not the recorded one is another process.
: >"$WORK/order"
signalled kept
kept=$(pid_of kept)
sed -i "s/^$kept [0-9]* /$kept 1 /" "$PIDS"
stop_recorded
check "a process with the PID but another start time is left alone" alive "$kept"
kill -TERM "$kept"
for _ in $(seq 50); do alive "$kept" || break; sleep 0.1; done

# By name, with the signal asked for.
: >"$WORK/order"
signalled capture
signalled other
stop_named capture INT
check "stop_named sends its signal to that name only" test "$(cat "$WORK/order")" = "capture INT"
check "the other one still runs" alive "$(pid_of other)"
stop_recorded

# One that ignores TERM is killed.
background stubborn bash -c 'trap "" TERM; while :; do sleep 0.05; done'
stubborn=$(pid_of stubborn)
sleep 0.2
stop_recorded
check "KILL after TERM was ignored" gone "$stubborn"

# A process that ended at once is not recorded.
error=$(background quick true 2>&1 >/dev/null; sleep 0.3; record "$!" quick 2>&1)
check "an ended process is refused, named in the message" \
  bash -c '[[ $0 == *"test lab: quick"*"ended at once"* ]]' "$error"

# A namespace with a process nobody recorded.
if [[ $(id -u) -eq 0 ]] && ip netns add "nvsp-$$" 2>/dev/null; then
  ns="nvsp-$$"
  ip netns exec "$ns" sleep 60 &
  stray=$!
  for _ in $(seq 50); do [[ -n $(ip netns pids "$ns") ]] && break; sleep 0.05; done
  delete_namespace "$ns"
  check "the namespace is gone" bash -c "! ip netns list | grep -qw $ns"
  check "and what ran in it" gone "$stray"
  wait "$stray" 2>/dev/null
  ns="" stray=""
  check "a namespace that is not there is no error" delete_namespace "nvsp-none-$$"
else
  echo "skipped: namespaces need root"
fi

echo "$failures failed"
[[ $failures -eq 0 ]]
