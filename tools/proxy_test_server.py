"""The servers of the proxy tests, around one test program.

Usage: proxy_test_server.py --work DIR [--trust-host] -- PROGRAM [ARGUMENTS...]

Starts, on loopback and free ports: nginx as the distribution server (plain HTTP with a proxy
configuration script, and TLS with certificates from a test authority made for the run),
tinyproxy twice (an open one, and one that demands credentials), and keeps one more port where
nothing listens; runs the program with the ports in its environment; then stops everything and
returns the program's exit status. With --trust-host the authority is trusted through the
host's store for the run (what Wine's chain engine reads); otherwise through SSL_CERT_FILE
(native OpenSSL).

The NTLM proxies check every leg of a handshake came on the connection of its challenge, and
nginx records the credential headers of every request it receives: a violation of either fails
the run, whatever the program said.

The program's environment:
  PLENWICK_PROXY_ORIGIN     nginx, plain HTTP: /files/body.bin, /proxy.pac
  PLENWICK_PROXY_TLS        nginx, TLS, certificate for localhost: /files/body.bin
  PLENWICK_PROXY_WRONG_NAME nginx, TLS, certificate for another name: /files/body.bin
  PLENWICK_PROXY_OPEN       tinyproxy that forwards anything and tunnels to the two TLS ports
  PLENWICK_PROXY_AUTH       tinyproxy that answers 407 without credentials
  PLENWICK_PROXY_DEAD       a port where nothing listens
  PLENWICK_PROXY_NTLM       tools/ntlm_proxy.py for the user "alice" with the password
                            "s3cret pass": NTLM and Basic
  PLENWICK_PROXY_NTLM_ONLY  the same, NTLM alone
  PLENWICK_PROXY_BASIC_ONLY the same, Basic alone
  PLENWICK_PROXY_NTLM_CLOSING
                            NTLM alone, closing the first connection right after its challenge
  PLENWICK_PROXY_NTLM_BROKEN
                            NTLM alone, closing every connection right after its challenge
  PLENWICK_PROXY_SCRIPT     the address of /proxy.pac: "PROXY 127.0.0.1:18888" for the host
                            dist.plenwick.test, "DIRECT" for every other
  PLENWICK_PROXY_BODY_SIZE  size of /files/body.bin, whose byte i is (i * 131 + i // 256) % 256
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import testca  # noqa: E402
from ntlm_proxy import NtlmProxy  # noqa: E402
from tinyproxy import TinyProxy  # noqa: E402
from tls_test_server import (body_bytes, free_ports, nginx_running, prepare_work,  # noqa: E402
                             run_program, runner_arguments)

BODY_SIZE = 1_500_001
SCRIPT = """function FindProxyForURL(url, host) {
  if (host == "dist.plenwick.test")
    return "PROXY 127.0.0.1:18888";
  return "DIRECT";
}
"""


def nginx_config(state, www, ports, certs):
    user = "user root root;" if os.geteuid() == 0 else ""

    def server(port, cert=None):
        tls = (f"ssl_certificate {cert[0]}; ssl_certificate_key {cert[1]}; "
               "ssl_protocols TLSv1.2 TLSv1.3;") if cert else ""
        return f"""
  server {{
    listen 127.0.0.1:{port}{' ssl' if cert else ''};
    server_name localhost;
    root {www};
    {tls}
  }}"""

    return f"""worker_processes 1;
daemon on;
pid {state}/nginx.pid;
error_log {state}/error.log warn;
{user}
events {{ worker_connections 64; }}
http {{
  log_format credentials '$request|$http_proxy_authorization|$http_authorization';
  access_log {state}/access.log;
  access_log {state}/credentials.log credentials;
  client_body_temp_path {state}/body;
  proxy_temp_path {state}/proxy;
  fastcgi_temp_path {state}/fastcgi;
  uwsgi_temp_path {state}/uwsgi;
  scgi_temp_path {state}/scgi;
  default_type application/octet-stream;
  types {{ application/x-ns-proxy-autoconfig pac; }}
  keepalive_timeout 30;
{server(ports["ORIGIN"])}
{server(ports["TLS"], certs["good"])}
{server(ports["WRONG_NAME"], certs["wrong_name"])}
}}
"""


def main():
    args, program = runner_arguments(__doc__)
    work, state, www = prepare_work(args.work, body_bytes(BODY_SIZE))
    (www / "proxy.pac").write_text(SCRIPT)

    authority = testca.TestAuthority(work / "ca")
    certs = {"good": authority.issue("good", ["localhost"]),
             "wrong_name": authority.issue("wrong-name", ["elsewhere.invalid"])}
    names = ["ORIGIN", "TLS", "WRONG_NAME", "OPEN", "AUTH", "DEAD", "NTLM", "NTLM_ONLY",
             "BASIC_ONLY", "NTLM_CLOSING", "NTLM_BROKEN"]
    ports = dict(zip(names, free_ports(len(names))))
    (state / "nginx.conf").write_text(nginx_config(state, www, ports, certs))
    proxies = [TinyProxy(work / "proxy-open", ports["OPEN"],
                         connect_ports=[ports["TLS"], ports["WRONG_NAME"]]),
               TinyProxy(work / "proxy-auth", ports["AUTH"], connect_ports=[ports["TLS"]],
                         basic_auth=("plenwick", "secret"))]

    login = {"user": "alice", "password": "s3cret pass"}
    ntlm_proxies = [NtlmProxy(ports["NTLM"], schemes=("NTLM", "Basic"), **login),
                    NtlmProxy(ports["NTLM_ONLY"], schemes=("NTLM",), **login),
                    NtlmProxy(ports["BASIC_ONLY"], schemes=("Basic",), **login),
                    NtlmProxy(ports["NTLM_CLOSING"], schemes=("NTLM",), close_between_legs=1,
                              **login),
                    NtlmProxy(ports["NTLM_BROKEN"], schemes=("NTLM",), close_between_legs=-1,
                              **login)]

    env = dict(os.environ)
    env.update({f"PLENWICK_PROXY_{n}": str(p) for n, p in ports.items()})
    env["PLENWICK_PROXY_SCRIPT"] = f"http://127.0.0.1:{ports['ORIGIN']}/proxy.pac"
    env["PLENWICK_PROXY_BODY_SIZE"] = str(BODY_SIZE)
    if not args.trust_host:
        env.update(authority.native_environment())

    with nginx_running(state):
        try:
            for proxy in proxies + ntlm_proxies:
                proxy.start()
            status = run_program(program, env, authority, args.trust_host)
        finally:
            for proxy in proxies + ntlm_proxies:
                proxy.stop()
    return status or check_credentials(ntlm_proxies, state / "credentials.log", login)


def check_credentials(ntlm_proxies, log, login):
    """1 when a handshake's leg went on another connection, or the distribution server received
    a credential; 0 otherwise."""
    failed = False
    for proxy in ntlm_proxies:
        for violation in proxy.violations:
            print(f"proxy on {proxy.port}: {violation}", file=sys.stderr)
            failed = True
    for line in log.read_text(errors="replace").splitlines() if log.exists() else []:
        request, proxy_auth, auth = line.rsplit("|", 2)
        if proxy_auth != "-" or auth != "-" or login["password"] in line:
            print(f"the server received credentials: {line}", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
