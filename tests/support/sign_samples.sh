#!/bin/bash
# Copies of a small program for windows_facts_test, made on the Linux side in OUT:
#   unsigned.exe   as built
#   signed.exe     signed by "Facts Test Signer" below the root root.der, which the test trusts
#   changed.exe    signed.exe with one byte of its code changed after signing
#   untrusted.exe  signed by a signer below a root that nobody trusts
# and samples.txt, lines "name=value" that the test reads: each program's sha256sum, and the
# subjects of "root", "signer" and "outsider" as Windows writes names, and "expires" with the
# root's last day.
# Usage: sign_samples.sh OUT PROGRAM
set -euo pipefail
out=$1
program=$2
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# root NAME: a self-signed root certificate, NAME.pem with NAME.key.
root() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
        -subj "/O=Facts Test/CN=$2" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
# signer NAME ROOT CN: a code-signing certificate below ROOT.
signer() {
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/O=Facts Test/CN=$3" \
        2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 365 \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
sign() {
    osslsigncode sign -certs "$1.pem" -key "$1.key" -h sha256 -in "$program" -out "$2" >/dev/null
}

root root "Facts Test Root"
signer signer root "Facts Test Signer"
root stranger "Facts Stranger Root"
signer outsider stranger "Facts Outsider Signer"

cp "$program" unsigned.exe
sign signer signed.exe
sign outsider untrusted.exe

# One byte of the first section (the code) inverted: its file offset is PointerToRawData of the
# first section header, which follows the optional header.
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
cp signed.exe changed.exe
pe=$(u32 changed.exe 60)
sections=$((pe + 24 + $(u16 changed.exe $((pe + 20)))))
at=$(($(u32 changed.exe $((sections + 20))) + 16))
byte=$(od -An -tu1 -j "$at" -N1 changed.exe | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 255)))" | dd of=changed.exe bs=1 seek="$at" conv=notrunc status=none

openssl x509 -in root.pem -outform DER -out root.der
name() { openssl x509 -in "$1.pem" -noout -subject -nameopt sep_comma_plus_space,sname | sed 's/^subject=//'; }
{
    sha256sum unsigned.exe signed.exe changed.exe untrusted.exe | awk '{ print $2 "=" $1 }'
    echo "root=$(name root)"
    echo "signer=$(name signer)"
    echo "outsider=$(name outsider)"
    echo "expires=$(openssl x509 -in root.pem -noout -enddate -dateopt iso_8601 | sed 's/^notAfter=//; s/ .*//')"
} >samples.txt
rm -f ./*.key ./*.csr ./*.ext ./*.srl
