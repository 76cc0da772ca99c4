#!/usr/bin/env bash
# Set-up of the hardening test under Wine: the sample packed into a setup program, and the
# same file signed with osslsigncode and a certificate made here for the purpose; the pack
# tool must verify the signed one.
# usage: signed_setup.sh HOST_PACK SAMPLE_DIR STUB UNINSTALLER OUT_DIR
set -euo pipefail
pack=$1 sample=$2 stub=$3 uninstaller=$4 out=$5
rm -rf "$out"
mkdir -p "$out/unsigned" "$out/signed"
"$pack" build -q "$sample" -o "$out/unsigned/setup.exe" --stub "$stub" --uninstaller "$uninstaller"
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=test -days 2 \
  -keyout "$out/key.pem" -out "$out/cert.pem" 2>/dev/null
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -n "Panvester test" \
  -in "$out/unsigned/setup.exe" -out "$out/signed/setup.exe" >/dev/null
# The tool finds the archive inside the signed range, as the program does.
"$pack" verify "$out/signed/setup.exe" | tee "$out/verify.txt"
grep -q "signature: present" "$out/verify.txt"
echo "unsigned $(wc -c <"$out/unsigned/setup.exe") bytes, signed $(wc -c <"$out/signed/setup.exe") bytes, in $out"
