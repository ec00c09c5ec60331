#!/usr/bin/env bash
# Prepares a fresh 64-bit Wine prefix in the folder given as $1 for Kestrel's
# Windows executables: initialises it and maps the dialog's two Japanese faces
# to the IPA Gothic faces (fonts-ipafont-gothic), without which every Japanese
# character shows as an empty box.
set -euo pipefail
prefix="$1"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
timeout 180 wineboot -i >/dev/null 2>&1

# regedit reads UTF-16 registry files; writing one avoids depending on the
# locale that Wine would use to decode a command line.
reg="$prefix/kestrel-fonts.reg"
{ printf '\xff\xfe'; printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"ＭＳ Ｐゴシック"="IPAPGothic"' \
  '"ＭＳ ゴシック"="IPAGothic"' \
    | iconv -f UTF-8 -t UTF-16LE; } >"$reg"
timeout 60 wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
timeout 60 wineserver -w
