#!/usr/bin/env bash
# Installs the Debian packages Quarn needs to build, test and run. Sourced by
# test.sh and run.sh. As root it installs what is missing with apt-get;
# otherwise it prints the apt-get line and stops.

QUARN_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-translations-l10n
  libxlsxwriter-dev libsqlite3-dev libpq-dev zlib1g-dev fonts-liberation2
  postgresql
  sqlite3                  # the README's example makes a database from the SQL scripts
  xvfb xauth
  python3-openpyxl unzip   # the office tests read .xlsx and .odt files back
  poppler-utils            # the PDF tests count pages and render them to images
  librsvg2-bin             # rsvg-convert draws the PNG icons from the SVG at build time
  desktop-file-utils appstream   # the install test validates the desktop entry and metainfo
  man-db groff-base        # the manual pages are checked with man --warnings
  dpkg-dev file lintian    # cpack -G DEB (dpkg-shlibdeps) and the package check
)

quarn_install_deps() {
  local missing=() p
  for p in "${QUARN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Не хватает пакетов. Установите их командой:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures build/ and builds the targets named (everything without any).
quarn_build() {
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_WERROR=ON
  cmake --build build -j "$(nproc)" "${targets[@]}"
}
