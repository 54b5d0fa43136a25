# Shared by ./run and ./test: the Debian packages the project needs, and the
# configure-and-build step. Sourced, not run.

APH_PACKAGES=(
  cmake make g++ pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev qt6-translations-l10n
  # Qt's HTTP Server for the client's pages; its CMake package needs the
  # WebSockets one, which Debian's package does not pull in.
  qt6-httpserver-dev qt6-websockets-dev
  libsqlite3-dev libpq-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  postgresql poppler-utils sqlite3 time
  xvfb xauth imagemagick fonts-dejavu-core fonts-dejavu-extra
  chromium chromium-driver python3-selenium
)
# Only for scripts/scaleout.sh: the load balancer in front of the instances,
# and ss to count their connections.
APH_SCALE_PACKAGES=(haproxy iproute2)

# Installs whatever of APH_PACKAGES (plus any extra names given) is missing.
# Without root it prints the exact command and fails.
aph_ensure_packages() {
  local wanted=("${APH_PACKAGES[@]}" "$@") missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Faltam pacotes. Instale-os com:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
  echo "Instalando: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# aph_build BUILD_DIR [cmake options...]
# With APH_TARGETS set (names separated by spaces), only those targets and
# what they need are built; otherwise everything, tests and benchmarks too.
aph_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  if [ -n "${APH_TARGETS:-}" ]; then
    # shellcheck disable=SC2086 # the list is split on purpose
    cmake --build "$dir" -j2 --target $APH_TARGETS
  else
    cmake --build "$dir" -j2
  fi
}

# A throwaway PostgreSQL cluster for the tests labelled pg: a temporary
# folder, a free loopback port, trust authentication. aph_pg_start exports
# APH_TEST_PG_URI; aph_pg_stop stops the cluster and removes the folder.
APH_PG_DIR=
APH_PG_BIN=

aph_pg_run() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

aph_pg_start() {
  APH_PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$APH_PG_BIN" ]; then
    echo "PostgreSQL não encontrado em /usr/lib/postgresql" >&2
    return 1
  fi
  APH_PG_DIR=$(mktemp -d /tmp/aph-pg.XXXXXX)
  [ "$(id -u)" -eq 0 ] && chown postgres: "$APH_PG_DIR"
  aph_pg_run "$APH_PG_BIN/initdb" -D "$APH_PG_DIR/data" -A trust -U postgres >"$APH_PG_DIR/initdb.log" 2>&1 || {
    cat "$APH_PG_DIR/initdb.log" >&2
    return 1
  }
  local attempt port
  for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue # taken
    if aph_pg_run "$APH_PG_BIN/pg_ctl" -D "$APH_PG_DIR/data" -w -t 60 -l "$APH_PG_DIR/log" \
      -o "-k $APH_PG_DIR -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=300" \
      start >/dev/null; then
      export APH_TEST_PG_URI="postgresql://postgres@127.0.0.1:$port/postgres"
      echo "PostgreSQL de teste em 127.0.0.1:$port"
      return 0
    fi
  done
  cat "$APH_PG_DIR/log" >&2
  return 1
}

aph_pg_stop() {
  [ -n "$APH_PG_DIR" ] || return 0
  if [ -f "$APH_PG_DIR/data/postmaster.pid" ]; then
    aph_pg_run "$APH_PG_BIN/pg_ctl" -D "$APH_PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$APH_PG_DIR"
  APH_PG_DIR=
}
