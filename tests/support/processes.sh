# Process bookkeeping of the lab scripts (tests/netns/lab.sh, tests/lab/lab.sh,
# tests/capture_lab.sh), sourced by them: every process a lab starts is
# recorded in $PIDS (PID, start time, name), writes to $LOGS/NAME.log, and is
# stopped by PID only while that PID is still the process that was recorded
# (the start time tells a reused PID apart). The sourcing script sets PIDS
# and LOGS, and LAB_NAME for its messages.

# The process's start time (clock ticks since boot), empty once it is gone.
# A zombie counts as gone: it runs nothing, and it stays until its parent
# (often the caller's own shell) reaps it, which may be a moment later.
# The fields are read after the name's closing parenthesis, since a name may
# hold spaces.
start_time() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  read -r -a stat <<<"${stat##*) }"
  [[ ${stat[0]} != Z ]] && echo "${stat[19]}"
  return 0
}

# record PID NAME: remembers a started process; fails when it already ended.
record() {
  local pid=$1 name=$2 started
  started=$(start_time "$pid")
  [[ -n $started ]] || {
    echo "${LAB_NAME:-lab}: $name ($pid) ended at once, see $LOGS/$name.log" >&2
    return 1
  }
  echo "$pid $started $name" >>"$PIDS"
}

# background NAME COMMAND...: starts the command so that the recorded PID is
# the command itself (the subshell execs it, without the caller's traps and
# without its lock descriptors 8 and 9).
background() {
  local name=$1
  shift
  (
    trap - EXIT INT TERM
    exec 8>&- 9>&- "$@" >"$LOGS/$name.log" 2>&1 </dev/null
  ) &
  record $! "$name"
}

# stop_pid PID START_TIME [SIGNAL]: the signal (TERM by default), and KILL
# after five seconds, while the PID is still that process.
stop_pid() {
  local pid=$1 started=$2 sig=${3:-TERM} i
  [[ -n $started && $(start_time "$pid") == "$started" ]] || return 0
  kill "-$sig" "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 50; i++)); do
    [[ $(start_time "$pid") == "$started" ]] || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || return 0
  # KILL is delivered asynchronously: wait until it took.
  for ((i = 0; i < 50; i++)); do
    [[ $(start_time "$pid") == "$started" ]] || return 0
    sleep 0.1
  done
}

# stop_named NAME [SIGNAL]: the recorded processes of that name.
stop_named() {
  [[ -f $PIDS ]] || return 0
  local pid started name
  while read -r pid started name; do
    [[ $name == "$1" ]] && stop_pid "$pid" "$started" "${2:-TERM}"
  done <"$PIDS"
  return 0
}

# Every recorded process, the newest first, and then the record itself.
stop_recorded() {
  [[ -f $PIDS ]] || return 0
  local pid started name
  while read -r pid started name; do
    stop_pid "$pid" "$started"
  done < <(tac "$PIDS")
  rm -f "$PIDS"
}

# delete_namespace NS: whatever still runs inside (forked by something the
# lab started), then the namespace.
delete_namespace() {
  local pid
  ip netns list 2>/dev/null | awk '{print $1}' | grep -qx "$1" || return 0
  for pid in $(ip netns pids "$1" 2>/dev/null); do
    stop_pid "$pid" "$(start_time "$pid")"
  done
  ip netns delete "$1" 2>/dev/null
}
