#!/usr/bin/env bash
# Portable code (OverSrcs, ExprSrcs) reaches the platform only through ports and OverPc: it never
# includes the platform's headers, X11, Cairo, FreeType or fontconfig.
set -u
root=${1:-.}
bad=$(grep -rnE '#\s*include\s*[<"](plat/|X11/|cairo|ft2build|freetype|fontconfig|Platform/)' \
      "$root/src/OverSrcs" "$root/src/ExprSrcs" 2>/dev/null)
if [ -n "$bad" ]; then
  echo "Portable code includes platform headers:"; echo "$bad"; exit 1
fi
# Lower layers call up only through the hook tables start-up fills: no App/ or Dialogs/ header.
bad=$(grep -rnE '#\s*include\s*[<"](App|Dialogs)/' \
      "$root/src/OverSrcs" "$root/src/ExprSrcs" "$root/src/OverPc" 2>/dev/null)
if [ -n "$bad" ]; then
  echo "Lower layers include App/ or Dialogs/ headers:"; echo "$bad"; exit 1
fi
# The dialogs sit below the application: they reach its services through OverPc and the hook
# tables, never through an App/ header.
bad=$(grep -rnE '#\s*include\s*[<"]App/' "$root/src/Dialogs" 2>/dev/null)
if [ -n "$bad" ]; then
  echo "Dialogs include App/ headers:"; echo "$bad"; exit 1
fi
bad=$(grep -rlE '#\s*include\s*[<"]X11/' "$root/src" 2>/dev/null | grep -v '/Platform/x11/')
if [ -n "$bad" ]; then
  echo "X11 headers outside src/Platform/x11:"; echo "$bad"; exit 1
fi
echo "layer rules hold"
