#!/usr/bin/env bash
# Runs a command of the README in a fresh clone of this checkout's HEAD, inside a bare Debian 12
# root that mmdebstrap makes with its default sources (main, updates, security) and nothing but apt
# and git: what a fresh machine does with the project's own scripts. As root.
#   scripts/bare-root.sh [--fail-i386 SUITE] <root folder> <command...>
#       for example: scripts/bare-root.sh --fail-i386 bookworm-security /srv/bare scripts/test.sh
# An existing root folder is used as it is, and so is the clone in it (brought to HEAD). --fail-i386 makes that suite's i386 index unavailable,
# as a mirror that serves it stale does: a proxy for apt answers 404 for it and forwards the rest.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
failing=""
if [ "${1:-}" = --fail-i386 ]; then failing=$2; shift 2; fi
[ $# -ge 2 ] || { sed -n '2,9p' "$0"; exit 2; }
bare=$1; shift
[ "$(id -u)" -eq 0 ] || { echo "bare-root: run as root"; exit 2; }
command -v mmdebstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq mmdebstrap >/dev/null
[ -d "$bare/etc/apt" ] || mmdebstrap --variant=apt --include=git,ca-certificates bookworm "$bare"

proxy=() pid=""
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null
  umount -R "$bare" 2>/dev/null || umount -Rl "$bare" 2>/dev/null || true
}
trap cleanup EXIT
if [ -n "$failing" ]; then
  port=$((20000 + RANDOM % 20000))
  python3 - "$port" "/dists/$failing/" <<'PY' &
import http.server, socketserver, sys, urllib.error, urllib.request
port, failing = int(sys.argv[1]), sys.argv[2]
direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))
class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        if failing in self.path and "/binary-i386/" in self.path:
            code, headers, body = 404, {}, b"unavailable\n"
        else:
            request = urllib.request.Request(self.path, headers={k: v for k, v in self.headers.items()
                                             if k.lower() not in ("host", "connection", "proxy-connection")})
            try:
                answer = direct.open(request, timeout=300)
            except urllib.error.HTTPError as error:
                answer = error
            code, headers, body = answer.status if hasattr(answer, "status") else answer.code, answer.headers, answer.read()
        self.send_response(code)
        for k, v in headers.items():
            if k.lower() not in ("transfer-encoding", "connection", "content-length"):
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
Server(("127.0.0.1", port), Proxy).serve_forever()
PY
  pid=$!
  proxy=("http_proxy=http://127.0.0.1:$port")
fi
# The root is a mount point of its own, as a container's is (a mount namespace made inside needs it).
mount --bind "$bare" "$bare"
mount -t proc proc "$bare/proc"
mount --rbind /sys "$bare/sys"
mount --rbind /dev "$bare/dev"
mkdir -p "$bare/src"
mount --bind "$source" "$bare/src" && mount -o remount,bind,ro "$bare/src"
cp /etc/resolv.conf "$bare/etc/resolv.conf"
clone=/root/$(basename "$source")
chroot "$bare" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  "${proxy[@]}" bash -c "{ [ -d $clone ] || git clone -q /src $clone; } && cd $clone &&
                          git fetch -q origin HEAD && git checkout -q --detach FETCH_HEAD && $*"
