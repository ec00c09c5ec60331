#!/usr/bin/env bash
# Prepares a fresh 64-bit Wine prefix in the folder given as $1 for Kestrel's
# Windows executables: initialises it and maps the dialog's two Japanese faces
# to the IPA Gothic faces (fonts-ipafont-gothic), without which every Japanese
# character shows as an empty box. Windows are left unmanaged: on a private X
# display without a window manager Wine would otherwise wait for one for about
# two seconds at every window it hides, and it draws the frame itself.
set -euo pipefail
prefix="$1"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
timeout 180 wineboot -i >/dev/null 2>&1

# Debian's Wine does not find its own fonts (fonts-wine) by itself: without
# Marlett the caption buttons show letters, without Tahoma the captions take
# some other face. Copies in the prefix's font folder are found.
for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
  if [[ -f /usr/share/wine/fonts/$font ]]; then
    cp "/usr/share/wine/fonts/$font" "$prefix/drive_c/windows/Fonts/"
  fi
done

# regedit reads UTF-16 registry files; writing one avoids depending on the
# locale that Wine would use to decode a command line.
reg="$prefix/kestrel-settings.reg"
{ printf '\xff\xfe'; printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"ＭＳ Ｐゴシック"="IPAPGothic"' \
  '"ＭＳ ゴシック"="IPAGothic"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
  '"Managed"="N"' \
    | iconv -f UTF-8 -t UTF-16LE; } >"$reg"
timeout 60 wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
timeout 60 wineserver -w
