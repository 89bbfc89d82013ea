# Where Wine is and how Velmora's scripts run it; sourced by scripts/lib.sh
# and tests/e2e/wine_prefix.sh, and read from the environment by the Python
# sessions.
# wine64 started directly: these machines cannot run the 32-bit loader that
# the `wine` launcher may pick.
export VELMORA_WINE=/usr/lib/wine/wine64
export VELMORA_WINESERVER=/usr/lib/wine/wineserver
# A new prefix asks for no Mono or Gecko and writes no menu entries.
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=d;mshtml=d;winemenubuilder.exe=d'
