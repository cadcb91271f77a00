"""A TCP forwarder that cuts connections where it is told: for the resume tests and benchmark.

Each connection it accepts goes on to the target. What the target sends back is passed on until
that connection's cut comes; then both sides are closed at once, so the client sees its
connection end in the middle of an answer (and, over TLS, in the middle of a record, without the
goodbye). The cuts are counted in bytes passed on to the client (head included), one per
connection in the order they come; the connections after the last cut pass through whole, unless
every connection is to be cut. The forwarder counts the bytes it passed on to clients and writes
down the requests it saw (their first line, Range and If-Range), when they are readable.

As a program:
  cutting_forwarder.py --target HOST:PORT [--listen PORT] [--cuts N,N,...] [--every N]
                       [--stats FILE]
It prints "listening <port>" once it listens, forwards until SIGTERM or SIGINT, and then writes
its counts to the stats file as JSON ({"bytes_to_clients":..., "connections":..., "cuts":...,
"requests": [...]}).
"""

import argparse
import json
import signal
import socket
import sys
import threading

BLOCK = 256 * 1024


class CuttingForwarder:
    """Listens on 127.0.0.1:listen_port (0: a free port, see .port) and forwards to target, a
    (host, port) pair. cuts: bytes passed on before each connection is cut, in order; every:
    bytes after which every connection is cut (None: those after the cuts pass through)."""

    def __init__(self, target, cuts=(), every=None, listen_port=0):
        self.target = target
        self.cuts = list(cuts)
        self.every = every
        self.lock = threading.Lock()
        self.bytes_to_clients = 0
        self.connections = 0
        self.cuts_made = 0
        self.requests = []
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", listen_port))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def stats(self):
        with self.lock:
            return {"bytes_to_clients": self.bytes_to_clients, "connections": self.connections,
                    "cuts": self.cuts_made, "requests": list(self.requests)}

    def stop(self):
        try:
            self.listener.close()
        except OSError:
            pass
        self.thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                index = self.connections
                self.connections += 1
            limit = self.cuts[index] if index < len(self.cuts) else self.every
            threading.Thread(target=self._serve, args=(client, limit), daemon=True).start()

    def _serve(self, client, limit):
        try:
            server = socket.create_connection(self.target)
        except OSError:
            client.close()
            return
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        done = threading.Event()
        upstream = threading.Thread(target=self._upstream, args=(client, server, done),
                                    daemon=True)
        upstream.start()
        sent = 0
        cut = False
        buffer = bytearray(BLOCK)
        try:
            while True:
                n = server.recv_into(buffer)
                if n == 0:
                    break
                if limit is not None and sent + n >= limit:
                    n = limit - sent
                    cut = True
                client.sendall(memoryview(buffer)[:n])
                sent += n
                with self.lock:
                    self.bytes_to_clients += n
                if cut:
                    break
        except OSError:
            pass
        finally:
            if cut:
                with self.lock:
                    self.cuts_made += 1
            for s in (client, server):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()
            done.set()

    def _upstream(self, client, server, done):
        """Passes the client's bytes on, writing down the request heads it can read."""
        pending = b""
        try:
            while not done.is_set():
                data = client.recv(65536)
                if not data:
                    try:
                        server.shutdown(socket.SHUT_WR)
                    except OSError:
                        pass
                    return
                server.sendall(data)
                pending += data
                while b"\r\n\r\n" in pending:
                    head, _, pending = pending.partition(b"\r\n\r\n")
                    self._note(head)
                if len(pending) > 65536:  # not HTTP in the clear (TLS): nothing to read
                    pending = b""
        except OSError:
            pass

    def _note(self, head):
        lines = head.decode("latin-1").split("\r\n")
        if " HTTP/" not in lines[0]:
            return
        note = lines[0].rsplit(" ", 1)[0]
        for line in lines[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() in ("range", "if-range"):
                note += f" {name.strip()}={value.strip()}"
        with self.lock:
            self.requests.append(note)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--target", required=True, help="HOST:PORT")
    parser.add_argument("--listen", type=int, default=0)
    parser.add_argument("--cuts", default="", help="bytes before each connection's cut, in order")
    parser.add_argument("--every", type=int, default=None, help="cut every connection there")
    parser.add_argument("--stats")
    args = parser.parse_args()
    host, _, port = args.target.rpartition(":")
    cuts = [int(c) for c in args.cuts.split(",") if c]
    forwarder = CuttingForwarder((host, int(port)), cuts, args.every, args.listen)
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    print(f"listening {forwarder.port}", flush=True)
    while not stop.wait(0.5):
        pass
    forwarder.stop()
    if args.stats:
        with open(args.stats, "w") as out:
            json.dump(forwarder.stats(), out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
