#!/usr/bin/env bash
# Regenerates the throwaway certificates of the TLS tests (OpenSSL 3.0):
#   bash tests/data/tls/make.sh
# The files are committed, so the tests do not need openssl to run.
#   ca.pem, ca.key            the test authority
#   server.pem, server.key    127.0.0.1 and localhost (IP and DNS names),
#                             signed by ca, valid for a hundred years
#   expired.pem, expired.key  the same names, signed by ca, expired in 2021
#   ipcn.pem, ipcn.key        signed by ca, 127.0.0.1 only as the common
#                             name (its one alternative name is a DNS name)
#   other-ca.pem, other-ca.key  an unrelated authority
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

newkey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

authority() { # NAME SUBJECT
  newkey "$1.key"
  openssl req -new -x509 -key "$1.key" -out "$1.pem" -days 36500 -subj "$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}

# Signs NAME.key's request with ca through `openssl ca`, which takes any
# start and end dates: SUBJECT SAN START END.
leaf() {
  local name=$1 subject=$2 san=$3 start=$4 end=$5
  newkey "$name.key"
  openssl req -new -key "$name.key" -subj "$subject" -out "$work/$name.csr"
  : >"$work/index.txt"
  cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index.txt
new_certs_dir = $work
certificate = ca.pem
private_key = ca.key
rand_serial = yes
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
  openssl ca -batch -notext -config "$work/ca.cnf" -extensions leaf -in "$work/$name.csr" \
    -out "$name.pem" -startdate "$start" -enddate "$end" 2>/dev/null
}

authority ca "/CN=APH Teste CA"
authority other-ca "/CN=Outra CA"
leaf server "/CN=aph-server teste" "IP:127.0.0.1,DNS:localhost" 20250101000000Z 21250101000000Z
leaf expired "/CN=aph-server teste" "IP:127.0.0.1,DNS:localhost" 20200101000000Z 20210101000000Z
leaf ipcn "/CN=127.0.0.1" "DNS:outro.exemplo" 20250101000000Z 21250101000000Z
openssl verify -CAfile ca.pem server.pem
