#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, when any is missing.
#   install-deps.sh host   - the Linux build and the program
#   install-deps.sh all    - both builds and both test suites (adds mingw, Wine 32-bit, Xvfb)
set -euo pipefail

want=${1:-all}
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

host_packages=(git cmake ninja-build g++ pkg-config libcurl4-openssl-dev googletest python3
  util-linux iproute2 xdg-utils)
all_packages=("${host_packages[@]}" g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev wine wine32:i386 xvfb xauth xdotool fonts-wqy-microhei locales zip unzip)

if [ "$want" = host ]; then packages=("${host_packages[@]}"); else packages=("${all_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$want" != host ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

# Wine takes its ANSI code page from the locale: zh_CN.UTF-8 gives 936 (GBK).
if [ "$want" != host ] && ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  if ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen
fi
