#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine.
# Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 xvfb xauth cmake make googletest clang-format
  nginx-light python3 locales imagemagick file openssl fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# posix thread model for std::thread and friends
if [ "$(id -u)" -eq 0 ]; then
  update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
fi

# Wine needs the generated locale to create file names in code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: locale zh_CN.UTF-8 missing; run this script as root" >&2
    exit 1
  fi
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
