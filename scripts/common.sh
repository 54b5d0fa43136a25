# Shared by ./run and ./test: the Debian packages the project needs, and the
# configure-and-build step. Sourced, not run.

APH_PACKAGES=(
  cmake make g++ pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)

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
aph_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j2
}
