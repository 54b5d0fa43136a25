#!/usr/bin/env bash
# Several aph-server instances on one PostgreSQL database behind HAProxy,
# under load, with one instance killed (kill -9) and restarted on its port
# every few seconds: shows that the connections ride it out and that no
# acknowledged save is lost, no CSA is billed twice and the CHT numbers
# have no gaps. Run deliberately (its figures go in docs/performance.md).
#
#   scripts/scaleout.sh [--servers N] [--seconds S] [--connections C]
#                       [--kill-every K] [--scale N] [--balance leastconn|roundrobin]
#                       [--instance-args "OPÇÕES"] [--build-dir DIR] [--prebuilt]
#                       [--strict]
#
# Defaults: 3 servers, 60 s, 40 connections, a kill every 10 s (0: none),
# init --scale 200000, leastconn. --instance-args is added to every
# `aph-server serve` (after --log-level warning, which it may override: a
# log line per request would be part of what is measured). --prebuilt installs and builds nothing and uses the
# binaries in the build dir; without haproxy, ss or PostgreSQL it exits 77
# (skipped), as the ctest of the short run needs.
# Exit 1 when an acknowledged save was lost, a CSA was billed twice or the
# CHT numbers have a gap; with --strict, also when a call ended in error
# or the CHTs made are not those the acknowledged generations reported (the
# test's run).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

servers=3 seconds=60 connections=40 kill_every=10 scale=200000 balance=leastconn
instance_args="" build_dir=build prebuilt=0 strict=0
while [ $# -gt 0 ]; do
  case "$1" in
    --servers) servers=$2 ;;
    --seconds) seconds=$2 ;;
    --connections) connections=$2 ;;
    --kill-every) kill_every=$2 ;;
    --scale) scale=$2 ;;
    --balance) balance=$2 ;;
    --instance-args) instance_args=$2 ;;
    --build-dir) build_dir=$2 ;;
    --prebuilt) prebuilt=1; shift; continue ;;
    --strict) strict=1; shift; continue ;;
    *) echo "opção desconhecida: $1" >&2; exit 2 ;;
  esac
  shift 2
done
if ! [[ $servers =~ ^[1-3]$ ]]; then
  echo "--servers vai de 1 a 3" >&2
  exit 2
fi
case "$balance" in leastconn | roundrobin) ;; *) echo "--balance: leastconn ou roundrobin" >&2; exit 2 ;; esac

if [ "$prebuilt" -eq 1 ]; then
  if ! command -v haproxy >/dev/null || ! command -v ss >/dev/null ||
    ! ls -d /usr/lib/postgresql/*/bin >/dev/null 2>&1; then
    echo "haproxy, ss ou PostgreSQL ausente: execução pulada"
    exit 77
  fi
else
  aph_ensure_packages "${APH_SCALE_PACKAGES[@]}"
  APH_TARGETS="aph-server bench_load" aph_build "$build_dir" -DAPH_WERROR=ON
fi
bin=$(cd "$build_dir/bin" && pwd)

work=$(mktemp -d /tmp/aph-scale.XXXXXX)
haproxy_pid=
monitor_pid=
# Everything started here stops with the script, however it ends: the
# monitor first (it restarts instances), then the instances by the pid
# files it keeps up to date, HAProxy, the cluster.
cleanup() {
  set +e
  if [ -n "$monitor_pid" ]; then
    touch "$work/stop"
    wait "$monitor_pid" 2>/dev/null
  fi
  local f
  for f in "$work"/server-*.pid; do
    [ -f "$f" ] && kill -9 "$(cat "$f")" 2>/dev/null
  done
  [ -n "$haproxy_pid" ] && kill "$haproxy_pid" 2>/dev/null
  wait 2>/dev/null
  aph_pg_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A loopback port no socket uses and none of the given ports, below the
# range the kernel hands out to outgoing connections (a port merely not
# listened on may still be bound by some test's client socket).
free_port() {
  local port low _high taken
  read -r low _high </proc/sys/net/ipv4/ip_local_port_range
  while :; do
    port=$((10000 + RANDOM % (low - 10000)))
    for taken in "$@"; do [ "$port" = "$taken" ] && continue 2; done
    ss -Htan "( sport = :$port )" | grep -q . || { echo "$port"; return; }
  done
}

# Waits (20 s at most) until the port takes connections.
await_port() {
  local deadline=$((SECONDS + 20))
  until listening "$1"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

aph_pg_start >/dev/null
uri=$APH_TEST_PG_URI
echo "== init --scale $scale em PostgreSQL"
init_start=$SECONDS
"$bin/aph-server" init "$uri" --scale "$scale" >"$work/init.log" 2>&1 || {
  cat "$work/init.log" >&2
  exit 1
}
echo "   $((SECONDS - init_start)) s"

# Every connection may end on one instance: the server's limit must hold
# them all. HAProxy tells each instance the client's address (PROXY
# protocol, send-proxy-v2), so the limit per address stays at its default:
# bench_load's connections come from addresses of their own (127.0.1.x).
room=$((connections + 20))
ports=()
for i in $(seq 1 "$servers"); do
  ports[i]=$(free_port "${ports[@]}")
done

start_instance() {
  local i=$1
  # shellcheck disable=SC2086 # the extra options are split on purpose
  "$bin/aph-server" serve "$uri" --port "${ports[i]}" --listen 127.0.0.1 \
    --max-connections "$room" --trusted-proxy 127.0.0.1 --log-level warning $instance_args \
    >>"$work/server-$i.log" 2>&1 &
  echo $! >"$work/server-$i.pid"
  disown # its kill -9 is expected: no job report
}

for i in $(seq 1 "$servers"); do
  start_instance "$i"
done
for i in $(seq 1 "$servers"); do
  await_port "${ports[i]}" || {
    echo "a instância $i não abriu a porta ${ports[i]}" >&2
    cat "$work/server-$i.log" >&2
    exit 1
  }
done

# TCP mode: HAProxy only passes the bytes. Timeouts above the server's idle
# timeout (10 min), so that the server, not the balancer, ends idle
# connections; a connection refused by a dead instance is tried again on
# another (redispatch) before the health check has marked it down.
lb_port=$(free_port "${ports[@]}")
{
  echo "global"
  echo "  maxconn 4000"
  echo "defaults"
  echo "  mode tcp"
  echo "  timeout connect 2s"
  echo "  timeout client 15m"
  echo "  timeout server 15m"
  echo "  timeout check 1s"
  echo "  retries 3"
  echo "  option redispatch"
  echo "frontend aph"
  echo "  bind 127.0.0.1:$lb_port"
  echo "  default_backend aph_servers"
  echo "backend aph_servers"
  echo "  balance $balance"
  for i in $(seq 1 "$servers"); do
    echo "  server s$i 127.0.0.1:${ports[i]} check inter 500ms fall 2 rise 2 send-proxy-v2 check-send-proxy"
  done
} >"$work/haproxy.cfg"
haproxy -c -q -f "$work/haproxy.cfg"
haproxy -db -f "$work/haproxy.cfg" >"$work/haproxy.log" 2>&1 &
haproxy_pid=$!
await_port "$lb_port" || {
  cat "$work/haproxy.log" >&2
  exit 1
}

# Established connections on each instance's port.
connection_counts() {
  local i out=""
  for i in $(seq 1 "$servers"); do
    out+="s$i=$(ss -Htn state established "( sport = :${ports[i]} )" | wc -l) "
  done
  echo "$out"
}

# Kills a random instance every kill_every seconds and starts it again on
# its port once the port is free; samples the connections per instance
# each second until the run's last second. Stops on the stop file.
monitor() {
  local started=$SECONDS next_kill=$((SECONDS + kill_every)) next_sample=$SECONDS i
  while [ ! -f "$work/stop" ]; do
    if [ $SECONDS -ge $next_sample ] && [ $((SECONDS - started)) -lt "$seconds" ]; then
      connection_counts >"$work/conns"
      next_sample=$((SECONDS + 1))
    fi
    if [ "$kill_every" -gt 0 ] && [ $SECONDS -ge $next_kill ] &&
      [ $((SECONDS - started)) -lt $((seconds - 1)) ]; then
      i=$((1 + RANDOM % servers))
      kill -9 "$(cat "$work/server-$i.pid")" 2>/dev/null || true
      echo "s$i" >>"$work/kills"
      while ss -Hltn "( sport = :${ports[i]} )" | grep -q . && [ ! -f "$work/stop" ]; do
        sleep 0.05
      done
      start_instance "$i"
      next_kill=$((SECONDS + kill_every))
    fi
    sleep 0.1
  done
}
monitor &
monitor_pid=$!

echo "== bench_load: $connections conexões por 127.0.0.1:$lb_port por $seconds s," \
  "$servers instância(s), $balance, morte a cada ${kill_every} s (0: nenhuma)"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
set +e
"$bin/bench_load" --server "127.0.0.1:$lb_port" --db "$uri" --connections "$connections" \
  --seconds "$seconds" --requests $((seconds * 50000)) --scale "$scale" | tee "$work/bench.log"
bench_status=${PIPESTATUS[0]}
set -e
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
touch "$work/stop"
wait "$monitor_pid" || true
monitor_pid=

summary=$(grep '^summary:' "$work/bench.log" || true)
if [ -z "$summary" ]; then
  echo "bench_load terminou sem resumo (código $bench_status)" >&2
  exit 1
fi
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" ${summary#summary:}"; }
kills=0
[ -f "$work/kills" ] && kills=$(wc -l <"$work/kills")
echo "== Resultado"
echo "instâncias: $servers ($balance); conexões: $connections; duração: $seconds s;" \
  "mortes: $kills (a cada $kill_every s)"
echo "requisições/s: $(field rps); p50: $(field p50_ms) ms; p99: $(field p99_ms) ms"
echo "erros: $(field errors); reconexões: $(field reconnections);" \
  "chamadas reenviadas: $(field resent)"
echo "atualizações perdidas: $(field lost); CSAs faturadas duas vezes: $(field billed_twice);" \
  "lacunas na numeração de CHT: $(field cht_gaps)" \
  "(CHTs geradas $(field chts_made), confirmadas $(field chts_acknowledged))"
echo "conexões por instância no fim: $(cat "$work/conns" 2>/dev/null)"
echo "carga da máquina (1, 5, 15 min): antes $load_before; depois $load_after"
if [ "$(field lost)" != 0 ] || [ "$(field billed_twice)" != 0 ] || [ "$(field cht_gaps)" != 0 ]; then
  echo "FALHOU: atualização perdida, CSA faturada duas vezes ou lacuna na numeração de CHT" >&2
  exit 1
fi
if [ "$strict" -eq 1 ] && { [ "$(field errors)" != 0 ] ||
  [ "$(field chts_made)" != "$(field chts_acknowledged)" ]; }; then
  echo "FALHOU: chamadas terminadas em erro ou CHTs geradas sem confirmação" >&2
  exit 1
fi
