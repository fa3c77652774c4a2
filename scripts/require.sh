# require_packages PACKAGE...
#
# Sourced by the quick-start scripts. Checks that the Debian packages are
# installed; installs the missing ones when run as root, otherwise says what
# to install and exits.
require_packages() {
  local missing=() p
  if ! command -v dpkg >/dev/null 2>&1; then
    echo "note: not a Debian system; make sure these are installed: $*" >&2
    return 0
  fi
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "missing packages: ${missing[*]}" >&2
    echo "install them with:  sudo apt-get install ${missing[*]}" >&2
    echo "(or run this script as root, and it installs them itself)" >&2
    exit 1
  fi
}
