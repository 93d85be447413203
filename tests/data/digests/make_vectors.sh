#!/usr/bin/env bash
# Writes md5.vec, sha1.vec, sha256.vec and sha512.vec beside this script.
# Every digest comes from coreutils (md5sum, sha1sum, sha256sum, sha512sum);
# the texts are the test suite of RFC 1321 appendix A.5 and the examples of
# FIPS 180-4 (NIST's example values agree with these digests).
set -euo pipefail
cd "$(dirname "$0")"

texts_md5=(
  ""
  "a"
  "abc"
  "message digest"
  "abcdefghijklmnopqrstuvwxyz"
  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
  "12345678901234567890123456789012345678901234567890123456789012345678901234567890"
)
texts_sha=(
  ""
  "abc"
  "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"
  "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"
)
# Lengths around the one- and two-block final padding of both block sizes.
boundary_lengths=(1 55 56 57 63 64 65 111 112 113 119 120 127 128 129 239 240 1000)

pattern_of() {  # pattern_of HEX LENGTH: the pattern repeated, cut to LENGTH bytes
  local hex=$1 length=$2 text
  text=$(printf '%s' "$hex" | sed 's/../\\x&/g')
  yes "$(printf '%b' "$text")" | tr -d '\n' | head -c "$length"
}

write() {  # write TOOL FILE TITLE TEXTS...
  local tool=$1 file=$2 title=$3
  shift 3
  {
    echo "# $title known answers: key = value blocks, one per message."
    echo "# Made by tests/data/digests/make_vectors.sh with $tool (coreutils)."
    echo "# Text: the message as ASCII. Pattern and Length: the hex pattern"
    echo "# repeated and cut to Length bytes. Digest: the expected digest."
    for text in "$@"; do
      echo
      echo "Text = $text"
      echo "Digest = $(printf '%s' "$text" | $tool | cut -d' ' -f1)"
    done
    for length in "${boundary_lengths[@]}"; do
      echo
      echo "Pattern = 30313233343536373839616263646566"
      echo "Length = $length"
      echo "Digest = $(pattern_of 30313233343536373839616263646566 "$length" | $tool | cut -d' ' -f1)"
    done
    echo
    echo "# One million 'a' (FIPS 180-4 examples; RFC 1321 implementations' usual long case)."
    echo "Pattern = 61"
    echo "Length = 1000000"
    echo "Digest = $(pattern_of 61 1000000 | $tool | cut -d' ' -f1)"
    echo
    echo "# 512 MiB + 1: the bit length no longer fits 32 bits."
    echo "Pattern = 61"
    echo "Length = 536870913"
    echo "Digest = $(pattern_of 61 536870913 | $tool | cut -d' ' -f1)"
  } >"$file"
}

write md5sum md5.vec "MD5 (RFC 1321)" "${texts_md5[@]}"
write sha1sum sha1.vec "SHA-1 (FIPS 180-4)" "${texts_sha[@]}"
write sha256sum sha256.vec "SHA-256 (FIPS 180-4)" "${texts_sha[@]}"
write sha512sum sha512.vec "SHA-512 (FIPS 180-4)" "${texts_sha[@]}"
