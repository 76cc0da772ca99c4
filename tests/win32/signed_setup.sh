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
# Split into volumes, the table of the further volumes is signed with the first.
cp -r "$sample" "$out/game"
head -c 3000000 /dev/urandom >"$out/game/voice.pak"
mkdir -p "$out/volumes" "$out/volumes-signed"
"$pack" build -q "$out/game" -o "$out/volumes/setup.exe" --stub "$stub" --uninstaller "$uninstaller" --volume-size 2M
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -n "Panvester test" \
  -in "$out/volumes/setup.exe" -out "$out/volumes-signed/setup.exe" >/dev/null
cp "$out"/volumes/instdat.* "$out/volumes-signed/"
"$pack" verify "$out/volumes-signed/setup.exe" | tee "$out/verify-volumes.txt"
grep -q "signature: present" "$out/verify-volumes.txt"
echo "unsigned $(wc -c <"$out/unsigned/setup.exe") bytes, signed $(wc -c <"$out/signed/setup.exe") bytes, in $out"
