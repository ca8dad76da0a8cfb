#!/bin/sh
# brenvo-certs.sh DIR: the certificates of the demo's and the tests' TLS,
# made with openssl into DIR (created; files for this user only):
#
#   ca.pem, ca.key                 a certificate authority for the branch
#   server.pem, server.key         127.0.0.1 and localhost, signed by ca.pem
#   wrong-host.pem, wrong-host.key another host's name only, signed by ca.pem
#   other-ca.pem                   an authority that signed nothing of ours:
#                                  a client trusting it refuses server.pem
#
# The programs read ca.pem as the authority to trust; the servers serve
# server.pem with server.key. Nothing here is secret beyond a test run.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
umask 077
mkdir -p "$1"
cd "$1"

key() {
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"
}

authority() { # NAME COMMON-NAME
    key "$1"
    openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 3650 -out "$1.pem" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

server() { # NAME SUBJECT-ALT-NAMES
    key "$1"
    openssl req -new -key "$1.key" -subj "/CN=$1" -addext "subjectAltName=$2" \
        -addext extendedKeyUsage=serverAuth |
        openssl x509 -req -CA ca.pem -CAkey ca.key -set_serial "0x$(openssl rand -hex 8)" \
            -days 3650 -copy_extensions copyall -out "$1.pem" 2>/dev/null
}

authority ca "Branch test authority"
authority other-ca "Unrelated test authority"
rm other-ca.key
server server "IP:127.0.0.1,DNS:localhost"
server wrong-host "DNS:elsewhere.invalid"
