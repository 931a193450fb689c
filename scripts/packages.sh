# Sourced by run.sh and test.sh: installs the Debian packages the build needs when any is missing.
QUORVANE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libssl-dev libsqlite3-dev libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev fonts-dejavu-core xvfb x11-utils
  help2man dpkg-dev lintian file
  clang libclang-rt-dev
  g++-mingw-w64-x86-64-posix googletest wine wine64
)

quorvane_install_packages() {
  local missing=()
  local pkg
  for pkg in "${QUORVANE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
