#!/bin/bash
# Starts or stops the mail servers of the mail transfer tests (mail_servers.py) in a folder of
# their own: a self-signed certificate for 127.0.0.1, the ports file, the received messages.
#   mail_servers.sh start <folder>    (exit 0 once every server listens)
#   mail_servers.sh stop <folder>
set -u
usage() { echo "usage: $0 start|stop <folder>" >&2; exit 2; }
case "${1:-}" in
  --help|-h) echo "usage: $0 start|stop <folder>"; exit 0 ;;
  start|stop) ;;
  *) usage ;;
esac
[ $# -eq 2 ] || usage
dir=$2
here=$(cd "$(dirname "$0")" && pwd)

stop() {
  if [ -f "$dir/pid" ]; then
    kill "$(cat "$dir/pid")" 2>/dev/null
    rm -f "$dir/pid"
  fi
}

if [ "$1" = stop ]; then
  stop
  exit 0
fi

stop
rm -rf "$dir"
mkdir -p "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
  -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" >"$dir/openssl.log" 2>&1 \
  || { cat "$dir/openssl.log" >&2; exit 1; }
# Debian's python, which has aiosmtpd, whatever python3 comes first in PATH.
setsid /usr/bin/python3 "$here/mail_servers.py" "$dir" >"$dir/log" 2>&1 </dev/null &
echo $! >"$dir/pid"
for _ in $(seq 100); do
  [ -f "$dir/ports.txt" ] && { cat "$dir/ports.txt"; exit 0; }
  kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
  sleep 0.2
done
echo "the mail servers did not start:" >&2
cat "$dir/log" >&2
stop
exit 1
