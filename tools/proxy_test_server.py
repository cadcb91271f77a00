"""The servers of the proxy tests, around one test program.

Usage: proxy_test_server.py --work DIR -- PROGRAM [ARGUMENTS...]

Starts, on loopback and free ports: nginx as the distribution server (plain HTTP, with a proxy
configuration script), tinyproxy twice (an open one, and one that demands credentials), and
keeps one more port where nothing listens; runs the program with the ports in its environment;
then stops everything and returns the program's exit status.

The program's environment:
  PLENWICK_PROXY_ORIGIN     nginx, plain HTTP: /files/body.bin, /proxy.pac
  PLENWICK_PROXY_OPEN       tinyproxy that forwards anything (and tunnels to no port)
  PLENWICK_PROXY_AUTH       tinyproxy that answers 407 without credentials
  PLENWICK_PROXY_DEAD       a port where nothing listens
  PLENWICK_PROXY_SCRIPT     the address of /proxy.pac: "PROXY 127.0.0.1:18888" for the host
                            dist.plenwick.test, "DIRECT" for every other
  PLENWICK_PROXY_BODY_SIZE  size of /files/body.bin, whose byte i is (i * 131 + i // 256) % 256
"""

import argparse
import os
import signal
import socket
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from tinyproxy import TinyProxy  # noqa: E402

BODY_SIZE = 1_500_001
SCRIPT = """function FindProxyForURL(url, host) {
  if (host == "dist.plenwick.test")
    return "PROXY 127.0.0.1:18888";
  return "DIRECT";
}
"""


def body_bytes(size):
    return bytes((i * 131 + i // 256) % 256 for i in range(size))


def free_ports(count):
    """Ports the system hands out now; held together so that they differ."""
    sockets = []
    try:
        for _ in range(count):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            sockets.append(s)
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def nginx_config(state, www, port):
    user = "user root root;" if os.geteuid() == 0 else ""
    return f"""worker_processes 1;
daemon on;
pid {state}/nginx.pid;
error_log {state}/error.log warn;
{user}
events {{ worker_connections 64; }}
http {{
  access_log {state}/access.log;
  client_body_temp_path {state}/body;
  proxy_temp_path {state}/proxy;
  fastcgi_temp_path {state}/fastcgi;
  uwsgi_temp_path {state}/uwsgi;
  scgi_temp_path {state}/scgi;
  default_type application/octet-stream;
  types {{ application/x-ns-proxy-autoconfig pac; }}
  keepalive_timeout 30;
  server {{
    listen 127.0.0.1:{port};
    server_name localhost;
    root {www};
  }}
}}
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", required=True)
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("no program to run")

    # A stop by signal still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    work = Path(args.work).resolve()
    state = work / "nginx"
    www = work / "www"
    (www / "files").mkdir(parents=True, exist_ok=True)
    state.mkdir(parents=True, exist_ok=True)
    (www / "files" / "body.bin").write_bytes(body_bytes(BODY_SIZE))
    (www / "proxy.pac").write_text(SCRIPT)

    origin, open_port, auth_port, dead = free_ports(4)
    (state / "nginx.conf").write_text(nginx_config(state, www, origin))
    proxies = [TinyProxy(work / "proxy-open", open_port),
               TinyProxy(work / "proxy-auth", auth_port, basic_auth=("plenwick", "secret"))]

    env = dict(os.environ)
    env.update({
        "PLENWICK_PROXY_ORIGIN": str(origin),
        "PLENWICK_PROXY_OPEN": str(open_port),
        "PLENWICK_PROXY_AUTH": str(auth_port),
        "PLENWICK_PROXY_DEAD": str(dead),
        "PLENWICK_PROXY_SCRIPT": f"http://127.0.0.1:{origin}/proxy.pac",
        "PLENWICK_PROXY_BODY_SIZE": str(BODY_SIZE),
    })

    nginx = subprocess.run(["nginx", "-q", "-p", str(state), "-c", str(state / "nginx.conf"),
                            "-e", str(state / "error.log")], check=False)
    if nginx.returncode != 0:
        print((state / "error.log").read_text(errors="replace"), file=sys.stderr)
        return 1
    try:
        for proxy in proxies:
            proxy.start()
        return subprocess.run(program, env=env, check=False).returncode
    finally:
        for proxy in proxies:
            proxy.stop()
        pid_file = state / "nginx.pid"
        if pid_file.exists():
            try:
                os.kill(int(pid_file.read_text().strip()), signal.SIGTERM)
            except (ValueError, ProcessLookupError):
                pass


if __name__ == "__main__":
    sys.exit(main())
