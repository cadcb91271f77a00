"""A proxy on loopback that asks who the user is, for the proxy authentication tests: it offers
Negotiate, NTLM and Basic (as configured), runs the server's side of NTLM against one known user
and password (verifying the NTLMv2 answer itself, MD4 in plain Python since OpenSSL 3 no longer
offers it by default), and forwards what it lets through: plain requests to their server (with
the proxy's own headers removed) and CONNECT tunnels.

    proxy = NtlmProxy(port, user="alice", password="secret", domain="ACME",
                      schemes=("NTLM", "Basic"), close_between_legs=0)
    with proxy:
        ...
    proxy.violations   # what a client did wrong: a leg on another connection than its challenge
    proxy.events       # one line per request: "<connection> <request line> | <scheme> <verdict>"

A Negotiate token that is raw NTLM (as Wine's Negotiate package sends with explicit credentials)
is taken as NTLM. close_between_legs: how many connections are closed right after their
challenge (-1: every one), as a proxy that cannot keep a handshake on one connection.
"""

import base64
import hashlib
import hmac
import os
import socket
import struct
import threading

NTLM_SIGNATURE = b"NTLMSSP\0"


def md4(data):
    """MD4 (RFC 1320)."""
    def f(x, y, z):
        return (x & y) | (~x & z)

    def g(x, y, z):
        return (x & y) | (x & z) | (y & z)

    def h(x, y, z):
        return x ^ y ^ z

    def rotl(v, s):
        v &= 0xFFFFFFFF
        return ((v << s) | (v >> (32 - s))) & 0xFFFFFFFF

    message = bytearray(data)
    bit_length = (8 * len(data)) & 0xFFFFFFFFFFFFFFFF
    message.append(0x80)
    while len(message) % 64 != 56:
        message.append(0)
    message += struct.pack("<Q", bit_length)
    a, b, c, d = 0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476
    for offset in range(0, len(message), 64):
        x = struct.unpack("<16I", message[offset:offset + 64])
        aa, bb, cc, dd = a, b, c, d
        for i in (0, 4, 8, 12):
            a = rotl(a + f(b, c, d) + x[i], 3)
            d = rotl(d + f(a, b, c) + x[i + 1], 7)
            c = rotl(c + f(d, a, b) + x[i + 2], 11)
            b = rotl(b + f(c, d, a) + x[i + 3], 19)
        for i in (0, 1, 2, 3):
            a = rotl(a + g(b, c, d) + x[i] + 0x5A827999, 3)
            d = rotl(d + g(a, b, c) + x[i + 4] + 0x5A827999, 5)
            c = rotl(c + g(d, a, b) + x[i + 8] + 0x5A827999, 9)
            b = rotl(b + g(c, d, a) + x[i + 12] + 0x5A827999, 13)
        for i in (0, 2, 1, 3):
            a = rotl(a + h(b, c, d) + x[i] + 0x6ED9EBA1, 3)
            d = rotl(d + h(a, b, c) + x[i + 8] + 0x6ED9EBA1, 9)
            c = rotl(c + h(d, a, b) + x[i + 4] + 0x6ED9EBA1, 11)
            b = rotl(b + h(c, d, a) + x[i + 12] + 0x6ED9EBA1, 15)
        a, b, c, d = ((a + aa) & 0xFFFFFFFF, (b + bb) & 0xFFFFFFFF, (c + cc) & 0xFFFFFFFF,
                      (d + dd) & 0xFFFFFFFF)
    return struct.pack("<4I", a, b, c, d)


def nt_hash(password):
    return md4(password.encode("utf-16-le"))


def ntowf_v2(user, password, domain):
    return hmac.new(nt_hash(password), (user.upper() + domain).encode("utf-16-le"),
                    hashlib.md5).digest()


# Flags of the challenge: Unicode, target requested, NTLM, always sign, a domain target,
# extended session security, target information, version, 128-bit and 56-bit keys.
CHALLENGE_FLAGS = (0x00000001 | 0x00000004 | 0x00000200 | 0x00008000 | 0x00010000 | 0x00080000 |
                   0x00800000 | 0x02000000 | 0x20000000 | 0x80000000)


def challenge_message(server_challenge, domain, computer):
    """An NTLM CHALLENGE_MESSAGE with its target name and information at offsets that add up."""
    target_name = domain.encode("utf-16-le")

    def av(av_id, value):
        return struct.pack("<HH", av_id, len(value)) + value

    target_info = (av(2, domain.encode("utf-16-le")) + av(1, computer.encode("utf-16-le")) +
                   av(4, (domain.lower() + ".test").encode("utf-16-le")) +
                   av(3, (computer.lower() + ".test").encode("utf-16-le")) + av(0, b""))
    header_size = 56
    name_offset = header_size
    info_offset = name_offset + len(target_name)
    return (NTLM_SIGNATURE + struct.pack("<I", 2) +
            struct.pack("<HHI", len(target_name), len(target_name), name_offset) +
            struct.pack("<I", CHALLENGE_FLAGS) + server_challenge + b"\0" * 8 +
            struct.pack("<HHI", len(target_info), len(target_info), info_offset) +
            bytes([6, 1]) + struct.pack("<H", 7601) + b"\0\0\0\x0f" + target_name + target_info)


def _field(message, offset):
    length, _, start = struct.unpack_from("<HHI", message, offset)
    if start + length > len(message):
        raise ValueError("field beyond the message")
    return message[start:start + length]


def verify_authenticate(message, server_challenge, user, password):
    """The verdict on an NTLM AUTHENTICATE_MESSAGE: "ok", or why not."""
    if len(message) < 64 or message[:8] != NTLM_SIGNATURE or \
            struct.unpack_from("<I", message, 8)[0] != 3:
        return "not an AUTHENTICATE message"
    flags = struct.unpack_from("<I", message, 60)[0]
    encoding = "utf-16-le" if flags & 1 else "latin-1"
    nt_response = _field(message, 20)
    domain = _field(message, 28).decode(encoding)
    name = _field(message, 36).decode(encoding)
    if name.lower() != user.lower():
        return f"user {name!r}"
    if len(nt_response) <= 24:
        return "no NTLMv2 answer"
    proof, blob = nt_response[:16], nt_response[16:]
    expected = hmac.new(ntowf_v2(name, password, domain), server_challenge + blob,
                        hashlib.md5).digest()
    return "ok" if hmac.compare_digest(proof, expected) else "wrong NTLMv2 answer"


def _read_head(conn, pending):
    while b"\r\n\r\n" not in pending:
        data = conn.recv(65536)
        if not data:
            return None, b""
        pending += data
    head, _, rest = pending.partition(b"\r\n\r\n")
    return head.decode("latin-1"), rest


def _header(lines, name):
    for line in lines[1:]:
        key, _, value = line.partition(":")
        if key.strip().lower() == name:
            return value.strip()
    return ""


class NtlmProxy:
    def __init__(self, port, user="alice", password="secret", domain="ACME",
                 schemes=("NTLM", "Basic"), close_between_legs=0):
        self.port = port
        self.user, self.password, self.domain = user, password, domain
        self.schemes = list(schemes)
        self.close_between_legs = close_between_legs
        self.events = []
        self.violations = []
        self._lock = threading.Lock()
        self._connections = 0
        self._closed_between_legs = 0
        # Server challenges by connection, for the legs that must come back on it.
        self._challenges = {}
        self._listener = None
        self._threads = []

    def start(self):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", self.port))
        self._listener.listen(16)
        thread = threading.Thread(target=self._accept, daemon=True)
        thread.start()
        self._threads.append(thread)
        return self

    def stop(self):
        if self._listener:
            try:
                self._listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._listener.close()
            self._listener = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _log(self, line, violation=None):
        with self._lock:
            self.events.append(line)
            if violation:
                self.violations.append(violation)

    def _accept(self):
        while True:
            try:
                conn, _ = self._listener.accept()
            except OSError:
                return
            with self._lock:
                index = self._connections
                self._connections += 1
            thread = threading.Thread(target=self._serve, args=(conn, index), daemon=True)
            thread.start()

    def _refusal(self, head_only):
        offers = "".join(f"Proxy-Authenticate: {s}\r\n" if s != "Basic" else
                         'Proxy-Authenticate: Basic realm="plenwick test"\r\n'
                         for s in self.schemes)
        body = b"" if head_only else b"proxy sign-in required"
        return (f"HTTP/1.1 407 Proxy Authentication Required\r\n{offers}"
                f"Content-Length: {22}\r\n\r\n").encode() + body

    def _serve(self, conn, index):
        authenticated = False
        pending = b""
        try:
            with conn:
                conn.settimeout(60)
                while True:
                    head, pending = _read_head(conn, pending)
                    if head is None:
                        return
                    lines = head.split("\r\n")
                    request = lines[0]
                    head_only = request.startswith("HEAD ")
                    auth = _header(lines, "proxy-authorization")
                    scheme, _, token = auth.partition(" ")
                    verdict = self._check(index, scheme, token.strip())
                    if verdict.startswith("challenge "):
                        self._log(f"{index} {request} | {scheme} type 1")
                        conn.sendall((f"HTTP/1.1 407 Proxy Authentication Required\r\n"
                                      f"Proxy-Authenticate: {scheme} {verdict[10:]}\r\n"
                                      "Content-Length: 0\r\n\r\n").encode())
                        with self._lock:
                            close = (self.close_between_legs < 0 or
                                     self._closed_between_legs < self.close_between_legs)
                            if close:
                                self._closed_between_legs += 1
                        if close:
                            return
                        continue
                    if not auth and authenticated:
                        verdict = "ok"
                    self._log(f"{index} {request} | {scheme or '-'} {verdict}")
                    if verdict != "ok":
                        conn.sendall(self._refusal(head_only))
                        continue
                    if scheme.lower() != "basic":
                        authenticated = True
                    if request.startswith("CONNECT "):
                        self._tunnel(conn, request.split()[1], pending)
                        return
                    pending = self._forward(conn, lines, pending)
                    if pending is None:
                        return
        except OSError:
            pass

    def _check(self, index, scheme, token):
        """"ok", "challenge <base64>" for a type 1 message, or why the request is refused."""
        if not scheme:
            return "none"
        if scheme.lower() not in (s.lower() for s in self.schemes):
            return "not offered"
        try:
            data = base64.b64decode(token, validate=True)
        except ValueError:
            return "no base64"
        if scheme.lower() == "basic":
            user, _, password = data.decode("utf-8", "replace").partition(":")
            return "ok" if (user, password) == (self.user, self.password) else "wrong password"
        if data[:8] != NTLM_SIGNATURE or len(data) < 12:
            return "no NTLM token"
        kind = struct.unpack_from("<I", data, 8)[0]
        if kind == 1:
            challenge = os.urandom(8)
            with self._lock:
                self._challenges[index] = challenge
            return "challenge " + base64.b64encode(
                challenge_message(challenge, self.domain, "PROXY")).decode()
        if kind == 3:
            with self._lock:
                challenge = self._challenges.pop(index, None)
            if challenge is None:
                self._log(f"{index} NTLM answer on a connection that had no challenge",
                          "an NTLM leg came on another connection than its challenge")
                return "leg on another connection"
            return verify_authenticate(data, challenge, self.user, self.password)
        return f"NTLM message type {kind}"

    def _forward(self, conn, lines, pending):
        """Sends a plain request to its server and relays the answer; the client's bytes left
        over, or None when the connection is done."""
        method, url, version = lines[0].split(" ", 2)
        rest = url.split("://", 1)[1]
        authority, _, path = rest.partition("/")
        host, _, port = authority.rpartition(":") if authority.count(":") == 1 else \
            (authority, "", "80")
        kept = [line for line in lines[1:]
                if line.split(":", 1)[0].strip().lower() not in
                ("proxy-authorization", "proxy-connection", "connection", "keep-alive")]
        request = "\r\n".join([f"{method} /{path} {version}"] + kept + ["Connection: close"])
        with socket.create_connection((host, int(port or 80)), timeout=60) as origin:
            origin.sendall(request.encode("latin-1") + b"\r\n\r\n")
            head, body = _read_head(origin, b"")
            if head is None:
                return None
            answer = head.split("\r\n")
            length = _header(answer, "content-length")
            out = [line for line in answer
                   if line.split(":", 1)[0].strip().lower() not in ("connection", "keep-alive")]
            conn.sendall(("\r\n".join(out) + "\r\n\r\n").encode("latin-1"))
            if method == "HEAD":
                return pending
            if not length:
                # Only the close ends such a body.
                conn.sendall(body)
                while True:
                    data = origin.recv(65536)
                    if not data:
                        return None
                    conn.sendall(data)
            remaining = int(length) - len(body)
            conn.sendall(body)
            while remaining > 0:
                data = origin.recv(min(65536, remaining))
                if not data:
                    return None
                conn.sendall(data)
                remaining -= len(data)
        return pending

    def _tunnel(self, conn, target, pending):
        host, _, port = target.rpartition(":")
        try:
            origin = socket.create_connection((host.strip("[]"), int(port)), timeout=60)
        except OSError:
            conn.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        with origin:
            conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if pending:
                origin.sendall(pending)

            def pump(source, dest):
                try:
                    while True:
                        data = source.recv(65536)
                        if not data:
                            break
                        dest.sendall(data)
                except OSError:
                    pass
                try:
                    dest.shutdown(socket.SHUT_WR)
                except OSError:
                    pass

            other = threading.Thread(target=pump, args=(origin, conn), daemon=True)
            other.start()
            pump(conn, origin)
            other.join(60)
