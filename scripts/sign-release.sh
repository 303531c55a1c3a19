#!/usr/bin/env bash
# Signs a release installer for the update check.
#
#   scripts/sign-release.sh KEY.pem INSTALLER   prints the base64 signature:
#                                              the "Sig" attribute of
#                                              "ProgramData" in the update file
#   scripts/sign-release.sh --public-key KEY.pem prints the base64 public key:
#                                              the CMake setting
#                                              TAGSMITH_UPDATE_PUBLIC_KEY
#   scripts/sign-release.sh --new-key KEY.pem   makes a new Ed25519 key pair
#
# The signature is Ed25519 over the SHA-512 digest of the installer's bytes.
# Keep KEY.pem private and out of the repository.
set -euo pipefail

usage() { sed -n '2,12p' "$0" >&2; exit 2; }

case "${1:-}" in
  --new-key)
    [ $# -eq 2 ] || usage
    [ -e "$2" ] && { echo "sign-release.sh: $2 exists; not overwritten" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$2")
    ;;
  --public-key)
    [ $# -eq 2 ] || usage
    # The DER form of an Ed25519 public key ends with its 32 raw bytes.
    openssl pkey -in "$2" -pubout -outform DER | tail -c 32 | base64 -w0
    echo
    ;;
  -*|"")
    usage
    ;;
  *)
    [ $# -eq 2 ] || usage
    [ -f "$2" ] || { echo "sign-release.sh: no file $2" >&2; exit 1; }
    digest=$(mktemp)
    trap 'rm -f "$digest"' EXIT
    openssl dgst -sha512 -binary "$2" > "$digest"
    openssl pkeyutl -sign -inkey "$1" -rawin -in "$digest" | base64 -w0
    echo
    ;;
esac
