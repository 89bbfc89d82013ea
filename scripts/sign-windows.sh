#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (osslsigncode, SHA-256).
# The signing time is SOURCE_DATE_EPOCH, so that one key and one commit give
# the same bytes; a time-stamp, when asked for, is the authority's own time.
# Usage: scripts/sign-windows.sh FILE...
# Environment: VELMORA_SIGN_PKCS12 (the key and certificates),
#   VELMORA_SIGN_PASSWORD_FILE (its password), VELMORA_TIMESTAMP_URL (optional,
#   an RFC 3161 time-stamp authority), SOURCE_DATE_EPOCH.
set -euo pipefail
: "${VELMORA_SIGN_PKCS12:?}" "${VELMORA_SIGN_PASSWORD_FILE:?}" "${SOURCE_DATE_EPOCH:?}"
for file in "$@"; do
    args=(-pkcs12 "$VELMORA_SIGN_PKCS12" -readpass "$VELMORA_SIGN_PASSWORD_FILE" -h sha256 -n Velmora
          -time "$SOURCE_DATE_EPOCH")
    [ -z "${VELMORA_TIMESTAMP_URL:-}" ] || args+=(-ts "$VELMORA_TIMESTAMP_URL")
    rm -f "$file.signed"
    osslsigncode sign "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
    mv -f "$file.signed" "$file"
done
