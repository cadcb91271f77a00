"""The servers of the TLS tests, around one test program.

Usage: tls_test_server.py --work DIR [--trust-host] -- PROGRAM [ARGUMENTS...]

Makes a test authority and its certificates (tools/testca.py), starts nginx on loopback with one
server per case on free ports, and small TLS servers of its own (ones that close without the TLS
goodbye after each kind of body, one that sends everything in small pieces, one that takes longer
for a record than the client's read time-out); runs the program with the ports in its
environment; then stops everything and returns the program's exit status. With --trust-host the authority is trusted through the host's store for
the run (what Wine's chain engine reads); otherwise through SSL_CERT_FILE (native OpenSSL).

The program's environment:
  PLENWICK_TLS_PLAIN       plain HTTP: /files/, /to-https (redirects to GOOD's /to-mirror)
  PLENWICK_TLS_GOOD        TLS 1.2/1.3, certificate for localhost: /files/ (known length),
                           /chunked/ (the same files, chunked), /to-mirror, /to-plain, /loop, /cut
  PLENWICK_TLS_MIRROR      like GOOD, another port: /files/
  PLENWICK_TLS_UNTRUSTED   certificate for localhost from an authority nobody trusts
  PLENWICK_TLS_WRONG_NAME  certificate from the test authority for another name
  PLENWICK_TLS_EXPIRED     certificate for localhost from the test authority, expired
  PLENWICK_TLS_TLS10       only TLS 1.0
  The servers of this script answer any request, then close the TCP connection without the TLS
  goodbye (close_notify):
  PLENWICK_TLS_TRUNCATE    a 200 announcing BODY_SIZE bytes, half of them
  PLENWICK_TLS_CUT_CHUNKED a 200 in chunks of 65536 bytes, the body's first half and no last chunk
  PLENWICK_TLS_CUT_UNFRAMED
                           a 200 without length or chunks (Connection: close), the whole body
  PLENWICK_TLS_NO_GOODBYE  a 200 announcing BODY_SIZE bytes, all of them
  and then the goodbye:
  PLENWICK_TLS_DRIBBLE     the first DRIBBLE_SIZE bytes of body.bin, ended by the TLS goodbye (no
                           length), everything sent in small pieces
  PLENWICK_TLS_SLOW        a 200 announcing SLOW_SIZE bytes in one record, sent SLOW_PIECE bytes
                           every SLOW_PAUSE_MS ms: the record takes several seconds, no piece a
                           second
  In front of nginx, forwarders that cut the first connections after so many bytes
  (tools/cutting_forwarder.py), for the download's resume; each for one test:
  PLENWICK_TLS_CUT_PLAIN   PLAIN's port, its first connections cut at CUT_AT
  PLENWICK_TLS_CUT_GOOD    GOOD's port, the same: each cut falls inside a TLS record
  PLENWICK_TLS_BODY_SIZE   size of /files/body.bin, whose byte i is (i * 131 + i // 256) % 256
  PLENWICK_TLS_DRIBBLE_SIZE, PLENWICK_TLS_SLOW_SIZE
"""

import argparse
import contextlib
import datetime
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import testca  # noqa: E402
from cutting_forwarder import CuttingForwarder  # noqa: E402

BODY_SIZE = 1_500_001
# Where the cutting forwarders cut their first two connections (bytes passed on).
CUT_AT = [400_003, 500_007]


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


def runner_arguments(description):
    """The command line of a script that runs a test program around its servers: --work, the
    host-trust switch and the program. A stop by signal still runs the script's clean-up."""
    parser = argparse.ArgumentParser(description=description,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", required=True)
    parser.add_argument("--trust-host", action="store_true")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("no program to run")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))
    return args, program


def prepare_work(work, body):
    """The run's folders (nginx's state, the served tree) with the served file in place."""
    work = Path(work).resolve()
    state = work / "nginx"
    www = work / "www"
    (www / "files").mkdir(parents=True, exist_ok=True)
    state.mkdir(parents=True, exist_ok=True)
    (www / "files" / "body.bin").write_bytes(body)
    return work, state, www


@contextlib.contextmanager
def nginx_running(state):
    """nginx with the configuration in the state folder, for the block; a start that fails ends
    the script with nginx's log."""
    nginx = subprocess.run(["nginx", "-q", "-p", str(state), "-c", str(state / "nginx.conf"),
                            "-e", str(state / "error.log")], check=False)
    if nginx.returncode != 0:
        print((state / "error.log").read_text(errors="replace"), file=sys.stderr)
        sys.exit(1)
    try:
        yield
    finally:
        pid_file = state / "nginx.pid"
        if pid_file.exists():
            try:
                os.kill(int(pid_file.read_text().strip()), signal.SIGTERM)
            except (ValueError, ProcessLookupError):
                pass


def run_program(program, env, authority, trust_host):
    """The test program's exit code; under Wine the authority is trusted on the host meanwhile."""
    if trust_host:
        with authority.trusted_on_host():
            return subprocess.run(program, env=env, check=False).returncode
    return subprocess.run(program, env=env, check=False).returncode


def nginx_config(state, www, ports, certs):
    user = "user root root;" if os.geteuid() == 0 else ""

    def tls(name, protocols="TLSv1.2 TLSv1.3", ciphers="HIGH:!aNULL"):
        cert, key = certs[name]
        return (f"ssl_certificate {cert}; ssl_certificate_key {key}; "
                f"ssl_protocols {protocols}; ssl_ciphers {ciphers};")

    def server(port, extra, body):
        return f"""
  server {{
    listen 127.0.0.1:{port}{' ssl' if extra else ''};
    server_name localhost;
    root {www};
    {extra}
    {body}
  }}"""

    files = "location /files/ { }"
    chunked = (f"location /chunked/ {{ alias {www}/files/; sub_filter_types *; "
               "sub_filter 'plenwick: never in the body' ''; }")
    good = f"""{files}
    {chunked}
    location = /to-mirror {{ return 301 https://localhost:{ports['MIRROR']}/files/body.bin; }}
    location = /to-plain {{ return 302 http://localhost:{ports['PLAIN']}/files/body.bin; }}
    location = /loop {{ return 302 /loop; }}
    location = /cut {{ return 444; }}"""
    plain = f"""{files}
    location = /to-https {{ return 302 https://localhost:{ports['GOOD']}/to-mirror; }}"""
    return f"""worker_processes 1;
daemon on;
pid {state}/nginx.pid;
error_log {state}/error.log warn;
{user}
events {{ worker_connections 64; }}
http {{
  log_format tls '"$request" $status $body_bytes_sent $ssl_protocol $ssl_server_name';
  access_log {state}/access.log tls;
  client_body_temp_path {state}/body;
  proxy_temp_path {state}/proxy;
  fastcgi_temp_path {state}/fastcgi;
  uwsgi_temp_path {state}/uwsgi;
  scgi_temp_path {state}/scgi;
  default_type application/octet-stream;
  keepalive_timeout 30;
{server(ports['PLAIN'], '', plain)}
{server(ports['GOOD'], tls('good'), good)}
{server(ports['MIRROR'], tls('good'), files)}
{server(ports['UNTRUSTED'], tls('untrusted'), files)}
{server(ports['WRONG_NAME'], tls('wrong_name'), files)}
{server(ports['EXPIRED'], tls('expired'), files)}
{server(ports['TLS10'], tls('good', 'TLSv1', 'DEFAULT:@SECLEVEL=0'), files)}
}}
"""


def chunked(data, size):
    pieces = [b"%x\r\n%s\r\n" % (len(data[at:at + size]), data[at:at + size])
              for at in range(0, len(data), size)]
    return b"".join(pieces)


def goodbye_missing_server(listener, context, answer):
    """Each connection: the request head, the answer, and a close of the socket without the TLS
    goodbye."""
    while True:
        try:
            raw, _ = listener.accept()
        except OSError:
            return
        try:
            with context.wrap_socket(raw, server_side=True) as conn:
                head = b""
                while b"\r\n\r\n" not in head:
                    piece = conn.recv(4096)
                    if not piece:
                        break
                    head += piece
                conn.sendall(answer)
                # Closing the TCP socket under the TLS one: no close_notify goes out.
                raw.shutdown(socket.SHUT_RDWR)
        except (OSError, ssl.SSLError):
            pass
        finally:
            raw.close()


# Piece sizes of the dribbling server: a record header, a record and a handshake message each
# fall across many receives.
DRIBBLE_PIECES = [1, 5, 17, 300, 2, 4096, 3, 64]
DRIBBLE_BODY = 40_000


def dribbling_server(listener, context, body):
    """Each connection: the whole TLS conversation in small pieces, both ways of the handshake
    and the answer (no length: the body ends with the TLS goodbye), then a close."""
    while True:
        try:
            raw, _ = listener.accept()
        except OSError:
            return
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        conn = context.wrap_bio(incoming, outgoing, server_side=True)
        turn = [0]

        def flush():
            data = outgoing.read()
            while data:
                n = DRIBBLE_PIECES[turn[0] % len(DRIBBLE_PIECES)]
                turn[0] += 1
                raw.sendall(data[:n])
                data = data[n:]
                time.sleep(0.0005)

        def receive():
            piece = raw.recv(65536)
            if not piece:
                raise ConnectionError("closed")
            incoming.write(piece)

        def until_done(step):
            while True:
                try:
                    return step()
                except ssl.SSLWantReadError:
                    flush()
                    receive()

        try:
            until_done(conn.do_handshake)
            flush()
            head = b""
            while b"\r\n\r\n" not in head:
                head += until_done(lambda: conn.read(4096))
            conn.write(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body)
            flush()
            try:
                conn.unwrap()
            except ssl.SSLWantReadError:
                pass
            flush()
        except (OSError, ssl.SSLError, ConnectionError):
            pass
        finally:
            raw.close()


# The slow server: one record of SLOW_BODY bytes (with its head), SLOW_PIECE bytes at a time.
SLOW_BODY = 3000
SLOW_PIECE = 100
SLOW_PAUSE_MS = 150


def slow_record_server(listener, context, body):
    """Each connection: a plain handshake, then the answer (a length, and the goodbye after it)
    in one record that comes in small pieces with pauses."""
    while True:
        try:
            raw, _ = listener.accept()
        except OSError:
            return
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        conn = context.wrap_bio(incoming, outgoing, server_side=True)

        def until_done(step):
            while True:
                try:
                    return step()
                except ssl.SSLWantReadError:
                    raw.sendall(outgoing.read())
                    piece = raw.recv(65536)
                    if not piece:
                        raise ConnectionError("closed")
                    incoming.write(piece)

        try:
            until_done(conn.do_handshake)
            raw.sendall(outgoing.read())
            head = b""
            while b"\r\n\r\n" not in head:
                head += until_done(lambda: conn.read(4096))
            conn.write(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
            record = outgoing.read()
            for at in range(0, len(record), SLOW_PIECE):
                raw.sendall(record[at:at + SLOW_PIECE])
                time.sleep(SLOW_PAUSE_MS / 1000)
            try:
                conn.unwrap()
            except ssl.SSLWantReadError:
                pass
            raw.sendall(outgoing.read())
            while raw.recv(65536):
                pass
        except (OSError, ssl.SSLError, ConnectionError):
            pass
        finally:
            raw.close()


def serve(target, *args):
    """A listener on a free loopback port with the server running on it; the listener."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    threading.Thread(target=target, args=(listener, *args), daemon=True).start()
    return listener


def main():
    args, program = runner_arguments(__doc__)
    body = body_bytes(BODY_SIZE)
    work, state, www = prepare_work(args.work, body)

    authority = testca.TestAuthority(work / "ca")
    stranger = testca.TestAuthority(work / "unknown-ca", "Plenwick Unknown Authority")
    now = datetime.datetime.now(datetime.timezone.utc)
    certs = {
        "good": authority.issue("good", ["localhost"]),
        "wrong_name": authority.issue("wrong-name", ["elsewhere.invalid"]),
        "expired": authority.issue("expired", ["localhost"], now - datetime.timedelta(days=3),
                                   now - datetime.timedelta(days=2)),
        "untrusted": stranger.issue("untrusted", ["localhost"]),
    }

    names = ["PLAIN", "GOOD", "MIRROR", "UNTRUSTED", "WRONG_NAME", "EXPIRED", "TLS10"]
    ports = dict(zip(names, free_ports(len(names))))
    (state / "nginx.conf").write_text(nginx_config(state, www, ports, certs))

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*certs["good"])
    half = body[:len(body) // 2]
    listeners = {
        "TRUNCATE": serve(goodbye_missing_server, context,
                          b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + half),
        "CUT_CHUNKED": serve(goodbye_missing_server, context,
                             b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                             + chunked(half, 65536)),
        "CUT_UNFRAMED": serve(goodbye_missing_server, context,
                              b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body),
        "NO_GOODBYE": serve(goodbye_missing_server, context,
                            b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body),
        "DRIBBLE": serve(dribbling_server, context, body[:DRIBBLE_BODY]),
        "SLOW": serve(slow_record_server, context, body[:SLOW_BODY]),
    }

    forwarders = {name: CuttingForwarder(("127.0.0.1", ports[target]), CUT_AT)
                  for name, target in (("CUT_PLAIN", "PLAIN"), ("CUT_GOOD", "GOOD"))}

    env = dict(os.environ)
    env.update({f"PLENWICK_TLS_{n}": str(p) for n, p in ports.items()})
    env.update({f"PLENWICK_TLS_{n}": str(f.port) for n, f in forwarders.items()})
    env.update({f"PLENWICK_TLS_{n}": str(listener.getsockname()[1])
                for n, listener in listeners.items()})
    env["PLENWICK_TLS_BODY_SIZE"] = str(BODY_SIZE)
    env["PLENWICK_TLS_DRIBBLE_SIZE"] = str(DRIBBLE_BODY)
    env["PLENWICK_TLS_SLOW_SIZE"] = str(SLOW_BODY)
    if not args.trust_host:
        env.update(authority.native_environment())

    try:
        with nginx_running(state):
            return run_program(program, env, authority, args.trust_host)
    finally:
        for listener in listeners.values():
            listener.close()
        for forwarder in forwarders.values():
            forwarder.stop()


if __name__ == "__main__":
    sys.exit(main())
