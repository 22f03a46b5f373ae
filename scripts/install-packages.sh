# Sourced by the scripts that build: each phase shows one line of progress and keeps its
# whole output in a log under build/, shown only when the phase fails. The Debian packages
# come from Debian's archive and nowhere else.

# quietly LOG COMMAND...: runs COMMAND (a function too) with its output in LOG. When it
# fails, the log's last lines follow on standard error and the calling script ends with
# its status. Call it as a command of its own, not after `if`, `&&` or `||`, where bash
# would ignore a failure inside a function.
quietly() {
  local log=$1 status
  shift
  mkdir -p "$(dirname "$log")"
  set +e
  (set -e && "$@") >"$log" 2>&1 </dev/null
  status=$?
  set -e
  ((status == 0)) && return 0
  echo "failed with status $status; the end of ${log#"$PWD"/}:" >&2
  tail -n 20 "$log" | sed 's/^/    /' >&2
  exit "$status"
}

# install_missing_packages PACKAGE...: installs the named packages that are missing, with
# apt's output in $apt_log (build/apt.log unless the script names its own).
install_missing_packages() {
  local log=${apt_log:-build/apt.log} missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  # sudo asks for the password here, on the terminal, rather than inside the log.
  [ "$(id -u)" -eq 0 ] || sudo -v
  local packages="${#missing[@]} Debian packages"
  ((${#missing[@]} > 1)) || packages="the Debian package ${missing[0]}"
  echo "installing $packages (log: ${log#"$PWD"/})…" >&2
  quietly "$log" apt_install "${missing[@]}"
}

apt_install() {
  local as_root=(env DEBIAN_FRONTEND=noninteractive)
  [ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
  # Waits for another apt or dpkg (an unattended upgrade, say) rather than failing at once.
  "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$@"
}
