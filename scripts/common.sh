# Shared by scripts/run, scripts/test and scripts/package: install what is
# missing, then build.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the build, the tests and the demo need.
# fonts-liberation gives the sans face the window is laid out for; qt6-charts-dev
# draws the trend plots, and its CMake package needs Qt's OpenGL one, which
# libqt6opengl6-dev carries and Debian 12 does not pull in with it;
# poppler-utils reads the pre-flight report back as text (pdftotext) and turns
# its page into a picture (pdftoppm). The desktop notification goes out through
# Qt D-Bus (in qt6-base-dev); the test of it runs a session bus of its own, with
# dbus-daemon. libgensio-dev is the network ports' stack (TCP, Telnet with
# RFC 2217, TLS); the package depends on its libgensio4. libssl-dev checks the
# name in a server's certificate. openssl makes the
# certificates of the TLS tests at run time; iproute2 (ip netns, ip link) gives
# the liveness test a peer it can cut off. libmosquitto-dev publishes the fleet
# to an MQTT broker and reads remote fleets from one; the package depends on its
# libmosquitto1.
BASE_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libjpeg62-turbo-dev libgtest-dev
  fonts-liberation poppler-utils dbus-daemon libgensio-dev openssl iproute2 libmosquitto-dev dpkg-dev)
# dpkg-dev gives every build Debian's flags (configure_default below).
# What making the Debian package needs besides: the libraries' package names
# (file, with dpkg-dev), the manual pages (scdoc).
PACKAGE_PACKAGES=(file scdoc)
# What the package test checks the package with.
PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream man-db)

# Installs each listed package that is not installed yet; quiet and quick when all are.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}. Run as root, or install them with apt-get." >&2
    exit 1
  fi
  echo "Installing ${missing[*]} ..." >&2
  export DEBIAN_FRONTEND=noninteractive
  # Another install on this machine (a second build, say) holds dpkg's lock
  # for a while: wait for it rather than fail.
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The servers the end-to-end tests run themselves, each with a configuration of
# its own: ser2net for network ports, mosquitto for the operations room.
# Installing either would start its service with the packaged configuration
# (ser2net's serves /dev/ttyS0, on many machines the system console; mosquitto's
# listens on every address): so each is installed with every service start
# denied, and its service is disabled afterwards.
ensure_server_package() {
  local package="$1"
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing package: $package. Run as root, or install it with apt-get (and disable its service)." >&2
    exit 1
  fi
  local policy=/usr/sbin/policy-rc.d saved=""
  if [ -e "$policy" ]; then
    saved="$(mktemp)"
    cp -p "$policy" "$saved"
  fi
  printf '#!/bin/sh\n# Deny every service start while a test server is installed.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  local status=0
  ( ensure_packages "$package" ) || status=$?
  if [ -n "$saved" ]; then mv "$saved" "$policy"; else rm -f "$policy"; fi
  [ "$status" -eq 0 ] || exit "$status"
  if command -v systemctl >/dev/null; then
    systemctl disable "$package.service" >/dev/null 2>&1 || true
  fi
  if command -v update-rc.d >/dev/null && [ -e "/etc/init.d/$package" ]; then
    update-rc.d "$package" disable >/dev/null 2>&1 || true
  fi
}
ensure_test_servers() {
  ensure_server_package ser2net
  ensure_server_package mosquitto
}

# The default build is configured with Debian's own compiler and linker flags,
# with every hardening feature, as Debian's build tools give a package (and, as
# Debian builds, with no CMake build type): the suite tests the very programs
# the package ships, and scripts/package makes the package from this build
# rather than building everything a second time. Configured on every call,
# which is quick and leaves an unchanged build as it is, so that the version
# follows the commit.
configure_default() {
  local cxxflags ldflags
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cxxflags="$(cd "$ROOT" && dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  ldflags="$(dpkg-buildflags --get LDFLAGS)"
  cmake --preset default -S "$ROOT" -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
}

# Configures (the default build always, the others once) and builds one
# preset; ninja makes a no-change build a no-op.
build_preset() {
  local preset="$1" dir
  dir="$ROOT/$(preset_dir "$preset")"
  if [ "$preset" = default ]; then
    configure_default
  elif [ ! -f "$dir/build.ninja" ]; then
    cmake --preset "$preset" -S "$ROOT" >/dev/null
  fi
  cmake --build "$dir" -- -j"$(nproc)"
}

preset_dir() {
  case "$1" in
    default) echo build ;;
    *) echo "build-$1" ;;
  esac
}
