#!/bin/bash
# Uploads to a real server: nginx on 127.0.0.1 with TLS (a CA and certificate made here) and
# WebDAV PUT, and tinyproxy in front of it for the proxy case, both started here on free loopback
# ports and stopped at the end. All runs in network and mount namespaces of its own, where the
# name "zeldesk" is the server's for the proxy case; where none can be made, that case is left out
# and the test ends as skipped (77), as it does where nginx, tinyproxy or openssl is missing.
# Usage: upload_server.sh ZEL_PROGRAM [sanitized]; a sanitized program's memory is the
# sanitizer's as much as its own, so its peak is printed but not held to the limit.
set -euo pipefail
program=$(realpath "$1")
sanitized=${2:-}
if [ -z "${ZEL_UPLOAD_INSIDE:-}" ]; then
    for namespaces in "--mount --net" "--user --map-root-user --mount --net"; do
        # shellcheck disable=SC2086
        ! unshare $namespaces true 2>/dev/null || exec env ZEL_UPLOAD_INSIDE=1 unshare $namespaces "$0" "$program" "$sanitized"
    done
fi
for tool in nginx tinyproxy openssl python3 cmp sha256sum; do
    command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin command -v "$tool" >/dev/null ||
        { echo "no $tool here: skipped"; exit 77; }
done
export PATH=$PATH:/usr/sbin
work=$(mktemp -d)
nginx_pid=""
proxy_pid=""
stop() {
    [ -z "$nginx_pid" ] || kill "$nginx_pid" 2>/dev/null || true
    [ -z "$proxy_pid" ] || kill "$proxy_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop EXIT
export QT_QPA_PLATFORM=offscreen LANG=C LC_ALL=C
export XDG_DATA_HOME=$work/home XDG_DATA_DIRS=$work/shared XDG_CONFIG_DIRS=$work/etc XDG_RUNTIME_DIR=$work/runtime
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
mkdir -p "$work/home" "$work/shared/zel" "$work/etc" "$work/runtime" "$work/dav" "$work/nginx/logs"
chmod 700 "$work/runtime"
failures=0
named=false
if [ -n "${ZEL_UPLOAD_INSIDE:-}" ]; then
    mount --make-rprivate /
    ip link set lo up
    { cat /etc/hosts; echo "127.0.0.1 zeldesk"; } >"$work/hosts"
    mount --bind "$work/hosts" /etc/hosts
    named=true
fi
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_for_port() {
    for _ in $(seq 100); do
        python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.2)' "$1" 2>/dev/null &&
            return 0
        sleep 0.1
    done
    echo "nothing listens on port $1"
    exit 1
}

# The desk's CA and the server's certificate for 127.0.0.1, and a CA that signed nothing here.
certificates() {
    cd "$work"
    for ca in ca other-ca; do
        openssl req -x509 -newkey rsa:2048 -nodes -keyout $ca.key -out $ca.pem -days 2 -subj "/CN=zel test $ca" \
            -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign 2>/dev/null
    done
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost,DNS:zeldesk\nextendedKeyUsage=serverAuth\n' >server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext \
        -out server.pem 2>/dev/null
    cd - >/dev/null
}

https_port=$(free_port)
http_port=$(free_port)
start_nginx() {
    cat >"$work/nginx/nginx.conf" <<EOF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
user $(id -un) $(id -gn);
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
    access_log $work/nginx/logs/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        listen 127.0.0.1:$https_port ssl;
        listen 127.0.0.1:$http_port;
        ssl_certificate $work/server.pem;
        ssl_certificate_key $work/server.key;
        root $work/dav;
        client_max_body_size 0;
        location /desk/ {
            dav_methods PUT;
            create_full_put_path on;
            dav_access user:rw;
        }
        location /small/ {
            dav_methods PUT;
            client_max_body_size 1k;
        }
        location /forbidden/ { return 403; }
        location /expired/ { return 401; }
        location /nowhere/ { return 404; }
        location /broken/ { return 500; }
    }
}
EOF
    nginx -p "$work/nginx" -e "$work/nginx/logs/error.log" -c "$work/nginx/nginx.conf" &
    nginx_pid=$!
    wait_for_port "$https_port"
}
stop_nginx() {
    kill "$nginx_pid"
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=""
}

# A support archive of the test's log folder, with content in one log.
"$program" --enable usb >/dev/null
printf 'camera 1 opened\n%.0s' $(seq 2000) >"$work/shared/zel/kv4_usb.log"
certificates
start_nginx
desk=https://127.0.0.1:$https_port
ca=(--ca-file "$work/ca.pem")

# runs NAME EXPECTED-EXIT ARGS...: runs the program, keeping its outputs in $work/NAME.out and .err.
runs() {
    local name=$1 expected=$2 status=0
    shift 2
    "$program" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null || status=$?
    [ "$status" = "$expected" ] || fail "$name: exit $status, not $expected; $(cat "$work/$name.err")"
}
says() {
    grep -qF -- "$3" "$work/$1.$2" || fail "$1: no \"$3\" in its std$2: $(cat "$work/$1.$2")"
}

# 1. A new archive arrives byte for byte, under its object name with the case; the hash printed is
#    the archive's.
runs built 0 --support-archive --upload "$desk/desk/{name}?sig=abc" --case SR-2026.0042 "${ca[@]}"
archive=$work/shared/zel/zel_support.zip
name=$(sed -n 's/^Uploaded as //p' "$work/built.out")
[[ $name =~ ^zel_support_SR-2026\.0042_[A-Za-z0-9.-]+_[0-9]{8}T[0-9]{6}Z\.zip$ ]] || fail "object name: '$name'"
[ -n "$name" ] && cmp "$archive" "$work/dav/desk/$name" || fail "the uploaded file differs from $archive"
says built out "SHA-256: $(sha256sum <"$archive" | cut -d' ' -f1)"
grep -q "PUT /desk/$name?sig=abc " "$work/nginx/logs/access.log" || fail "the query string did not reach the server"

# 2. An existing archive through --output, into folders the server makes; no case leaves its part out.
cp "$archive" "$work/earlier.zip"
runs existing 0 --upload "$desk/desk/a/b/{name}" --output "$work/earlier.zip" "${ca[@]}"
name=$(sed -n 's/^Uploaded as //p' "$work/existing.out")
[[ $name =~ ^zel_support_[A-Za-z0-9.-]+_[0-9]{8}T[0-9]{6}Z\.zip$ ]] || fail "object name without a case: '$name'"
[ -n "$name" ] && cmp "$work/earlier.zip" "$work/dav/desk/a/b/$name" || fail "the existing archive did not arrive whole"

# 3. The server's refusals: exit 1, their message, the archive kept and named. A 500 is tried
#    three times.
for row in "small 413 large" "forbidden 403 refused" "expired 401 refused" "nowhere 404 does not know" \
           "broken 500 server failed"; do
    read -r place status message <<<"$row"
    before=$(grep -c "PUT /$place/" "$work/nginx/logs/access.log" || true)
    runs "$place" 1 --upload "$desk/$place/{name}" --output "$work/earlier.zip" "${ca[@]}"
    says "$place" err "HTTP $status"
    says "$place" err "$message"
    says "$place" err "The support file stays at $work/earlier.zip."
    [ -f "$work/earlier.zip" ] || fail "$place: the archive went"
    tries=$(( $(grep -c "PUT /$place/.* $status " "$work/nginx/logs/access.log" || true) - before ))
    expected=1
    [ "$status" != 500 ] || expected=3
    [ "$tries" = "$expected" ] || fail "$place: $tries tries, not $expected"
done
[ -z "$(find "$work/dav" -path '*small*' -type f)" ] || fail "413: a file arrived anyway"

# 4. Certificates: the server's CA unknown to the system is refused, so is another CA; the
#    desk's CA is accepted (case 1).
runs unknown 1 --upload "$desk/desk/{name}" --output "$work/earlier.zip"
says unknown err "certificate is not trusted"
runs other 1 --upload "$desk/desk/{name}" --output "$work/earlier.zip" --ca-file "$work/other-ca.pem"
says other err "certificate is not trusted"
runs noca 2 --upload "$desk/desk/{name}" --output "$work/earlier.zip" --ca-file "$work/server.key"
says noca err "holds no PEM certificate"

# 5. Plain http: to another host refused before anything is done, to loopback allowed.
for address in "http://192.0.2.1/desk/{name}" "http://example.com/desk/{name}" "ftp://127.0.0.1/{name}"; do
    runs plain 2 --upload "$address" --output "$work/earlier.zip"
    [ "$address" = "ftp://127.0.0.1/{name}" ] || says plain err "plain http:// is only allowed to a loopback address"
done
runs loopback 0 --upload "http://127.0.0.1:$http_port/desk/plain/{name}" --output "$work/earlier.zip"

# 6. A case that is not one, and a link in place of the archive, are refused.
for bad in "" "has space" "a/b" "$(printf 'x%.0s' $(seq 41))"; do
    runs badcase 2 --upload "$desk/desk/{name}" --case "$bad" --output "$work/earlier.zip" "${ca[@]}"
done
ln -s "$work/earlier.zip" "$work/link.zip"
runs link 1 --upload "$desk/desk/link/{name}" --output "$work/link.zip" "${ca[@]}"
[ ! -e "$work/dav/desk/link" ] || fail "a link was followed"

# 7. Through the proxy of the environment: tinyproxy sees the tunnel to the server. Qt never asks
#    a proxy for a loopback address, so the server goes by the name "zeldesk".
if $named; then
proxy_port=$(free_port)
cat >"$work/tinyproxy.conf" <<EOF
Port $proxy_port
Listen 127.0.0.1
Timeout 60
LogFile "$work/tinyproxy.log"
LogLevel Connect
MaxClients 10
Allow 127.0.0.1
EOF
[ "$(id -u)" -ne 0 ] || printf 'User %s\nGroup %s\n' "$(id -un)" "$(id -gn)" >>"$work/tinyproxy.conf"
tinyproxy -d -c "$work/tinyproxy.conf" &
proxy_pid=$!
wait_for_port "$proxy_port"
https_proxy=http://127.0.0.1:$proxy_port runs proxied 0 --upload "https://zeldesk:$https_port/desk/proxied/{name}" \
    --output "$work/earlier.zip" "${ca[@]}"
grep -q "CONNECT zeldesk:$https_port" "$work/tinyproxy.log" || fail "the proxy was not used: $(cat "$work/tinyproxy.log")"
[ -n "$(find "$work/dav/desk/proxied" -name '*.zip' 2>/dev/null)" ] || fail "nothing arrived through the proxy"
fi

# 8. A 500 MB archive goes up streamed: the program stays below 64 MiB meanwhile.
head -c 500M /dev/urandom >"$work/large.zip"
if [ -x /usr/bin/time ]; then
    /usr/bin/time -v -o "$work/time.txt" "$program" --upload "$desk/desk/large/{name}" --output "$work/large.zip" \
        "${ca[@]}" >"$work/large.out" 2>"$work/large.err" || fail "large: $(cat "$work/large.err")"
    peak=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.txt")
    echo "peak memory while uploading 500 MB: $((peak / 1024)) MiB"
    [ "$sanitized" = sanitized ] || [ "$peak" -lt $((64 * 1024)) ] || fail "large: $peak KiB at the peak"
    cmp "$work/large.zip" "$work/dav/desk/large/$(sed -n 's/^Uploaded as //p' "$work/large.out")" ||
        fail "large: the file did not arrive whole"
    rm -rf "$work/dav/desk/large"
fi

# 9. The server stopped in the middle of a large upload: two retries, then exit 1, archive kept.
"$program" --upload "$desk/desk/large/{name}" --output "$work/large.zip" "${ca[@]}" \
    >"$work/stopped.out" 2>"$work/stopped.err" </dev/null &
client=$!
begun=false
for _ in $(seq 1000); do
    [ -z "$(find "$work/nginx/body" -type f 2>/dev/null)" ] || { begun=true; break; }
    sleep 0.01
done
stop_nginx
$begun || fail "stopped: the upload had not begun"
status=0
wait "$client" || status=$?
[ "$status" = 1 ] || fail "stopped: exit $status, not 1"
[ "$(grep -c "Trying again" "$work/stopped.err")" = 2 ] || fail "stopped: not retried twice: $(cat "$work/stopped.err")"
says stopped err "The support file stays at $work/large.zip."

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
if ! $named; then
    echo "no namespaces here: the proxy case was skipped"
    exit 77
fi
echo "all upload cases passed"
