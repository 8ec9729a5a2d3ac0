# Sourced by scripts/release and scripts/test: Authenticode signing with
# osslsigncode, and the round trip that keeps a signed release rebuildable.
# A signature is appended to the exe and named in its headers; removing it must
# give back the unsigned exe byte for byte, which is what a rebuild makes.

# gt3_sign PFX PASSWORD_FILE IN OUT [TIMESTAMP_URL]: signs IN into OUT (SHA-256),
# with an RFC 3161 timestamp when a URL is given. The password is read from a
# file, so that it is never on a command line for other users to see.
gt3_sign() {
  local pfx=$1 passfile=$2 in=$3 out=$4 timestamp=${5:-}
  osslsigncode sign -pkcs12 "$pfx" -readpass "$passfile" -h sha256 -n GT3ErrLog \
    ${timestamp:+-ts "$timestamp"} -in "$in" -out "$out" >/dev/null
}

# gt3_signing_round_trip SIGNED UNSIGNED PFX PASSWORD_FILE: SIGNED's signature
# verifies and was made with PFX's certificate, and without it SIGNED is
# UNSIGNED again, byte for byte.
gt3_signing_round_trip() (
  set -euo pipefail
  signed=$1 unsigned=$2 pfx=$3 passfile=$4
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Trusted, for the signer and for a timestamp: the certificates in the .pfx (a
  # self-signed one is its own root) and the system's roots, for a chain that the
  # .pfx leaves out and for the time-stamping service's.
  openssl pkcs12 -in "$pfx" -passin "file:$passfile" -nokeys -out "$work/trusted.pem" 2>/dev/null
  [[ -f /etc/ssl/certs/ca-certificates.crt ]] && cat /etc/ssl/certs/ca-certificates.crt >>"$work/trusted.pem"
  leaf=$(openssl pkcs12 -in "$pfx" -passin "file:$passfile" -nokeys -clcerts 2>/dev/null |
    openssl x509 -outform DER | sha256sum | cut -d' ' -f1)
  if ! osslsigncode verify -in "$signed" -CAfile "$work/trusted.pem" -TSA-CAfile "$work/trusted.pem" \
    -require-leaf-hash "sha256:$leaf" \
    >"$work/verify.log" 2>&1; then
    cat "$work/verify.log" >&2
    echo "signing: $signed does not verify against the certificate in $pfx" >&2
    exit 1
  fi
  osslsigncode remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null
  if ! cmp -s "$work/removed.exe" "$unsigned"; then
    echo "signing: $signed without its signature is not $unsigned byte for byte" >&2
    exit 1
  fi
)

# gt3_signing_check EXE: the round trip on EXE with a throwaway self-signed
# code-signing certificate.
gt3_signing_check() (
  set -euo pipefail
  exe=$1
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  printf '%s' throwaway >"$work/password"
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=GT3ErrLog throwaway" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "file:$work/password" \
    -out "$work/throwaway.pfx"
  gt3_sign "$work/throwaway.pfx" "$work/password" "$exe" "$work/signed.exe"
  gt3_signing_round_trip "$work/signed.exe" "$exe" "$work/throwaway.pfx" "$work/password"
  echo "== signing: $exe signed, verified, and given back byte for byte without its signature"
)
