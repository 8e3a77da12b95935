#!/usr/bin/env bash
# Starts or stops a private nginx for the tests: static files with Range and
# 416 answers, Last-Modified and ETag, a Basic-protected folder (401) and, when
# openssl is there, HTTPS with a certificate made on the spot.
#
#   nginx-fixture.sh start STATEDIR [HTTP_PORT|0] [LIFETIME_S]
#   nginx-fixture.sh stop STATEDIR
#
# Port 0 picks a free port. STATEDIR/ports then holds "HTTP_PORT HTTPS_PORT"
# (HTTPS_PORT is 0 without openssl), STATEDIR/www is the document root, and the
# server stops by itself after LIFETIME_S seconds (default 1800) in any case.
# Only 127.0.0.1 is bound. Only the processes this script started are ended,
# by the PIDs it wrote down. NGINX_FIXTURE_LIMIT_RATE (for instance 300k)
# slows every answer down to that many bytes per second.
set -euo pipefail

cmd="${1:?start or stop}"
state="${2:?state folder}"
here="$(cd "$(dirname "$0")" && pwd)"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

stop() {
  if [ -f "$state/nginx.pid" ]; then
    pid=$(cat "$state/nginx.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$state/nginx.pid"
  fi
  if [ -f "$state/watchdog.pid" ]; then
    # the watchdog leads a process group of its own (setsid): its sleep goes too
    kill -- "-$(cat "$state/watchdog.pid")" 2>/dev/null || true
    rm -f "$state/watchdog.pid"
  fi
}

case "$cmd" in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "usage: $0 start|stop STATEDIR [PORT] [LIFETIME_S]" >&2; exit 2 ;;
esac

port="${3:-0}"
lifetime="${4:-1800}"
stop
mkdir -p "$state/www/protected" "$state/logs" "$state/tmp"
[ "$port" = 0 ] && port=$(free_port)

# Files whose bytes the tests can compute: byte i is (i * 31 + 7) mod 251.
python3 "$here/pattern.py" "$state/www" small.bin:1000 medium.bin:300000 \
  protected/secret.bin:2048

# user "test", password "secret"
printf 'test:%s\n' "$(openssl passwd -apr1 secret 2>/dev/null || python3 -c \
  'import crypt; print(crypt.crypt("secret", crypt.mksalt(crypt.METHOD_SHA512)))')" \
  >"$state/htpasswd"

tls_port=0
tls_block=""
if command -v openssl >/dev/null; then
  tls_port=$(free_port)
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=deskpin-test" \
    -keyout "$state/key.pem" -out "$state/cert.pem" >/dev/null 2>&1
  tls_block="
  server {
    listen 127.0.0.1:$tls_port ssl;
    ssl_certificate $state/cert.pem;
    ssl_certificate_key $state/key.pem;
    root $state/www;
  }"
fi

user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root root;"
cat >"$state/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $state/nginx.pid;
error_log $state/logs/error.log warn;
events { worker_connections 256; }
http {
  access_log $state/logs/access.log;
  client_body_temp_path $state/tmp/body;
  proxy_temp_path $state/tmp/proxy;
  fastcgi_temp_path $state/tmp/fastcgi;
  uwsgi_temp_path $state/tmp/uwsgi;
  scgi_temp_path $state/tmp/scgi;
  default_type application/octet-stream;
  types { text/plain txt; text/html html; }
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $state/www;${NGINX_FIXTURE_LIMIT_RATE:+
    limit_rate $NGINX_FIXTURE_LIMIT_RATE;}
    location /protected/ {
      auth_basic "Deskpin Test";
      auth_basic_user_file $state/htpasswd;
    }
  }$tls_block
}
CONF

nginx -p "$state" -c "$state/nginx.conf" -e "$state/logs/error.log"
for _ in $(seq 50); do [ -s "$state/nginx.pid" ] && break; sleep 0.1; done
echo "$port $tls_port" >"$state/ports"

# Bounded lifetime: the watchdog ends this nginx (by its PID) if nobody does.
nginx_pid=$(cat "$state/nginx.pid")
setsid bash -c "sleep $lifetime; kill $nginx_pid 2>/dev/null" </dev/null >/dev/null 2>&1 &
echo $! >"$state/watchdog.pid"
echo "nginx on 127.0.0.1:$port (https $tls_port), pid $nginx_pid"
