#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

The seeds are committed; run this again after changing it. Inputs that once showed a fault are
kept beside the seeds under names that say what went wrong (regress-*), and this script leaves
them alone.
"""
import io
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- URLs: one per input ---------------------------------------------------------------------

URLS = {
    "archive": "http://download.plenwick.com/periodic/ArchiveDev.zip",
    "userinfo-port-query-fragment": "http://u:p@h:8080/a/b?x=1#top",
    "password-with-at": "http://u:p@ss@h/a",
    "empty-user": "http://:secret@h/",
    "ipv6-port": "http://[fe80::1]:8080/x",
    "ipv6-open-bracket-only": "http://[fe80::1:8080/x",
    "no-path": "http://h",
    "backslashes": "http://h/a\\b\\c.zip?p=a\\b#f\\g",
    "drive-like": "file:\\\\c\\x\\y",
    "relative": "/dir/file?q",
    "relative-no-slash": "periodic/Archive.zip",
    "default-ports": "HTTPS://h:443/x?",
    "fragment-before-query": "http://h/a#b?c",
    "hash-in-dropped-userinfo": "http://:x#y@h/\\a/\\b?",
    "empty-query-then-fragment-with-query": "p://h/d?#b?#c",
    "escapes": "http://h/%41%u00e9%zz%u12/%F0%9F%98%80?a=%2B+%25&b=\xe9\xfc\u20ac",
    # Absolute only with a scheme at the start; references resolved against a URL.
    "scheme-in-query": "/good?mirror=http://127.0.0.2:18081/good",
    "scheme-in-query-relative": "data.cgi?moo=http://&/x",
    "digit-before-colon": "127.0.0.2:18081/x",
    "scheme-grammar": "a+b-c.9://[::1]:8/x",
    "scheme-without-authority": "mailto:u@h",
    "network-path-dot-segments": "//u@h:81/a/../b/./c?q#f",
    "relative-dot-segments": "../../a/./b/..?x#y/../z",
}


# --- header lists: fold byte, line count byte, received lines, then write operations ---------

def header_input(fold, lines, ops=()):
    out = bytes([fold, len(lines)])
    for line in lines:
        out += line.encode("latin-1") + b"\r\n"
    for op, name, value in ops:
        out += bytes([op]) + name.encode("latin-1") + b"\n" + value.encode("latin-1") + b"\n"
    return out


HEADERS = {
    "response": header_input(0, [
        "Content-Type: text/html; charset=\"utf-8\"",
        "Content-Length: 1234",
        "Set-Cookie: a=1; Path=/",
        "Set-Cookie: b=2",
        "X-A: one",
        " two",
        "\tthree",
        "X-B:",
        "Content-Length : 5",
        "no colon here",
    ]),
    "folded-writes": header_input(4, ["Host: h"], [
        (0, "Accept", "text/html, application/xhtml+xml, image/png, */*; q=0.8"),
        (2, "Cookie", "a=1; b=\"x y, z\"; c=3"),
        (1, "Host", ""),
        (3, "Content-Type", "charset=utf-8"),
        (3, "Content-Disposition", "filename=\"a b;c.txt\""),
    ]),
    "tiny-fold": header_input(5, ["A: b, c, d", " e"], [(0, "A", "x, y,  z,\t\"q r\"")]),
}


# --- Set-Cookie values: URI byte and one value per line --------------------------------------

COOKIES = {
    "max-age-wins": [(0, "a=1; Max-Age=60; Expires=Wed, 09 Dec 2026 10:00:00 GMT")],
    "expires-forms": [
        (0, "a=1; Expires=3600"),
        (1, "b=2; Expires=Wednesday, 09-Dec-26 10:00:00 GMT"),
        (2, "c=3; Expires=Wed Dec 9 10:00:00 2026"),
        (0, "d=4; Expires=2026-12-09 10:00:00"),
        (0, "e=5; Expires=-1"),
    ],
    "domains": [
        (0, "a=1; Domain=.H.test"),
        (0, "b=1; Domain=other.test"),
        (0, "c=1; Domain=h.test:8080; Path=periodic"),
        (3, "d=1; Domain=192.168.0.1"),
        (4, "e=1; Domain=::1"),
    ],
    "replace-and-delete": [
        (0, "a=1; Path=/a"),
        (0, "a=2; Path=/a"),
        (0, "a=3; Max-Age=-1; Path=/a"),
        (0, "b=1; Max-Age=0"),
    ],
    "flags-and-quotes": [
        (1, "s=1; Secure; HttpOnly"),
        (5, "h=1; HttpOnly"),
        (0, "q=\"x;y\"; Path=\"/q\""),
        (0, "noequals"),
        (0, "=1"),
        (7, "r=1"),
    ],
}


# --- HTTP responses: flags, block size choice, piece sizes, then what the server sends ---------

HEAD, PREFIX, REDIRECTS, UNEXPECTED, FEW_HEADERS, HEAD_THEN_GET, NO_CLOSE = 1, 2, 4, 8, 16, 32, 64
BLOCK_32768, BLOCK_16, BLOCK_7, BLOCK_1 = 0, 1, 2, 3


def bounded(n):
    """Added to the block size choice: the client bounds the body at 1 + 3 * n bytes."""
    return 0x80 | n << 4



def response_input(text, flags=0, block=BLOCK_32768, pieces=(0,)):
    if isinstance(text, str):
        text = text.encode("latin-1")
    return bytes([flags, block, len(pieces)]) + bytes(pieces) + text


OK5 = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"
CHUNKED = ("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 3\r\n\r\n"
           "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n2\r\nok\r\n0\r\nX-Sum: 28\r\n\r\n")
REDIRECT = "HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 3\r\n\r\nabc"
RESPONSES = {
    "known-length": response_input(OK5),
    "head-then-get": response_input("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n" + OK5,
                                    HEAD_THEN_GET | PREFIX),
    "chunked-in-small-pieces": response_input(CHUNKED, 0, BLOCK_7, (1, 2, 3, 5)),
    "chunked-error-page": response_input(
        "HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\nContent-Type: text/plain; "
        "charset=utf-8\r\n\r\n4\r\nfail\r\n0\r\n\r\n", PREFIX, BLOCK_16, (9,)),
    "until-close-html-meta": response_input(
        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><meta http-equiv="
        "\"Set-Cookie\" content=\"a=1\"><meta http-equiv=\"Content-Length\" content=\"2\">"
        "</head></html>", PREFIX),
    "continue-then-ok": response_input(
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nSet-Cookie: c=1\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 0, BLOCK_1, (1,)),
    "not-found-page": response_input(
        "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 20\r\n\r\n"
        "<html>caf\xe9</html>...", PREFIX),
    # The first answer comes in a receive of its own: what is buffered when the next request
    # goes out is dropped.
    "redirect-followed": response_input(REDIRECT + OK5, REDIRECTS, BLOCK_32768, (len(REDIRECT),)),
    "redirect-refused": response_input("HTTP/1.1 301 Moved\r\nLocation: http://x/\r\n\r\n"),
    "no-content-then-data": response_input("HTTP/1.1 204 No Content\r\n\r\nsurprise", UNEXPECTED),
    "not-modified-head": response_input("HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n",
                                        HEAD),
    "basic-challenge": response_input(
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
        "Content-Length: 6\r\n\r\ndenied"),
    "short-known-length": response_input("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort",
                                         PREFIX, BLOCK_16, (3, 40)),
    "length-beside-close": response_input(
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: -4\r\n\r\nrest of it"),
    "malformed-status": response_input("garbage\r\nContent-Length: 3\r\n\r\nabc"),
    "folded-headers-and-cookies": response_input(
        "HTTP/1.1 200 OK\r\nX-Folded: one\r\n two\r\n\tthree\r\nSet-Cookie: a=1; Path=/\r\n"
        "Set-Cookie: b=2; Expires=Wed, 09 Dec 2026 10:00:00 GMT\r\nContent-Length: 1\r\n\r\nx"),
    "more-headers-than-allowed": response_input(
        "HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n", FEW_HEADERS),
    "stalls-in-the-body": response_input("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc",
                                         NO_CLOSE),
    "bare-line-feeds": response_input("HTTP/1.1 200 OK\nContent-Length: 2\n\nok"),
    "until-close-past-the-bound": response_input("HTTP/1.1 200 OK\r\n\r\n" + "x" * 40, PREFIX,
                                                 BLOCK_7 | bounded(3), (3, 9)),
    "chunked-past-the-bound": response_input(CHUNKED, 0, BLOCK_16 | bounded(5)),
    "coding-beside-chunked": response_input(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"),
    "two-lengths": response_input(
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc"),
    "largest-chunk-size": response_input(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffff\r\nabc", PREFIX),
    # What the client refuses or cuts off: lengths that are no decimal number, a NUL or a bare
    # CR in the head, no status line after an interim answer, a head without its end.
    "length-not-a-number": response_input(
        "HTTP/1.1 200 OK\r\nContent-Length: \x0b5\r\n\r\nhello", PREFIX, BLOCK_7, (5,)),
    "length-list-of-one-value": response_input(
        "HTTP/1.1 200 OK\r\nContent-Length: 5,\t5 \r\n\r\nhello", HEAD_THEN_GET),
    "length-list-of-two-values": response_input(
        "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nhello!"),
    "nul-in-a-header": response_input(
        "HTTP/1.1 200 OK\r\nX-A: a\x00b\r\nContent-Length: 2\r\n\r\nok", 0, BLOCK_1, (1,)),
    "bare-cr-in-the-status-line": response_input(
        "HTTP/1.1 200 OK\rContent-Length: 2\r\n\r\nok"),
    "interim-answers": response_input(
        "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
        "HTTP/1.1 199 Odd\r\nSet-Cookie: i=1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"
        "ok", 0, BLOCK_16, (7, 30)),
    "no-status-after-interim": response_input(
        "HTTP/1.1 103 Early Hints\r\n\r\nhello\r\nContent-Length: 2\r\n\r\nok", NO_CLOSE),
    "head-cut-off": response_input("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-A: b", PREFIX),
    # Bodies nobody needs: an error's text until a close that does not come, a redirect's body
    # that runs to the close, a redirect's body past 64 KiB.
    "error-text-without-close": response_input(
        "HTTP/1.1 404 Not Found\r\n\r\nno such file", NO_CLOSE, BLOCK_7, (4,)),
    "redirect-body-until-close": response_input(
        "HTTP/1.1 302 Found\r\nLocation: /b\r\n\r\nmoved" + OK5, REDIRECTS, BLOCK_32768, (52,)),
    "redirect-body-past-64-kib": response_input(
        "HTTP/1.1 301 Moved\r\nLocation: /b\r\nContent-Length: 70000\r\n\r\n" + "m" * 70000 + OK5,
        REDIRECTS),
}


# --- proxy settings: proxy text, bypass list, no_proxy value and URL, one per line -----------

PROXY_SETTINGS = {
    "one-proxy": ("proxy.example:3128", "", "", "http://dist.example/a"),
    "per-scheme": ("http=hp:1;https=http://sp:2 socks=s:1080", "*.example;<local>",
                   ".example.com,10.0.0.0/8", "https://dist.example:8443/a"),
    "bypass-patterns": ("[::1]:3128", "https://*.a.example:443; 10.*;[fd00::1]:80",
                        "*", "http://[fd00::1]/"),
    "script-answer": ("a.example:1;b.example:2 DIRECT", "", "::1,fd00::/8 x:80",
                      "http://10.1.2.3:8080/"),
    "credentials": ("http://user:p@ss@proxy:65535/path", "<LOCAL>", "localhost.",
                    "http://intranet./x"),
    "ipv6-with-ports": ("http=hp:1;socks=s:1080", "[2001:db8::1]:80;https://[fd00::1]:8443",
                        "[2001:db8::1]:80,[fd00::]/8,dist.example:8080",
                        "http://[2001:DB8:0::1]/a"),
    "socks-for-https": ("http=hp:1;socks=user:pw@s:1080", "", "", "https://dist.example/"),
    "unusable-proxy": ("socks5h://user:secret@p:1080", "", "other.example:443",
                       "https://dist.example/"),
}


# --- ZIP archives ----------------------------------------------------------------------------

def python_zip(entries, comment=b""):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.comment = comment
        for name, data, method in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
            info.compress_type = method
            z.writestr(info, data)
    return buf.getvalue()


def raw_zip(entries, comment=b"", zip64=False):
    """Entries of (raw name, data, method, flag[, overrides]), without any help from a library.
    Overrides: crc, usize (in both headers), made_by, attr (external attributes), offset (where
    the central header says the local one is; with central_only, no local header is written),
    extra (central extra field blocks).
    With zip64 every size and offset goes into Zip64 extra fields and the end record into a
    Zip64 end record."""
    local = b""
    central = b""
    ones = 0xFFFFFFFF
    for entry in entries:
        name, data, method, flag = entry[:4]
        o = entry[4] if len(entry) > 4 else {}
        stored = zlib.compress(data)[2:-4] if method == 8 else data
        crc = o.get("crc", zlib.crc32(data))
        usize = o.get("usize", len(data))
        offset = o.get("offset", len(local))
        sizes = (ones, ones) if zip64 else (len(stored), usize)
        local_extra = struct.pack("<HHQQ", 1, 16, usize, len(stored)) if zip64 else b""
        if not o.get("central_only"):
            local += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, flag, method, 0, crc, *sizes,
                                 len(name), len(local_extra)) + name + local_extra + stored
        extra = struct.pack("<HHQQQ", 1, 24, usize, len(stored), offset) if zip64 else b""
        extra += o.get("extra", b"")
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, o.get("made_by", 20), 20, flag,
                               method, 0, crc, *sizes, len(name), len(extra), 0, 0, 0,
                               o.get("attr", 0), ones if zip64 else offset) + name + extra
    count = len(entries)
    end64 = b""
    if zip64:
        start = len(local) + len(central)
        end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count,
                            len(central), len(local))
        end64 += struct.pack("<IIQI", 0x07064B50, 0, start, 1)
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, ones, ones,
                          len(comment)) + comment
    else:
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central),
                          len(local), len(comment)) + comment
    return local + central + end64 + end


def python_zip64(entries):
    """Python's zipfile writing Zip64 local headers (force_zip64)."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
            info.compress_type = method
            with z.open(info, "w", force_zip64=True) as f:
                f.write(data)
    return buf.getvalue()


def unicode_path(raw, name):
    """Info-ZIP's Unicode Path extra field: version 1, the CRC-32 of the raw name, UTF-8."""
    data = struct.pack("<BI", 1, zlib.crc32(raw)) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(data)) + data


STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
ZIPS = {
    "stored.zip": python_zip([("a.txt", b"hello\n", STORED)]),
    "deflated-folders.zip": python_zip([
        ("sub/", b"", STORED),
        ("sub/a.txt", b"A" * 300, DEFLATED),
        ("x/y/z.bin", bytes(range(256)) * 4, DEFLATED),
    ], comment=b"setup"),
    "utf8-name.zip": python_zip([("\u00fcber/\u20ac.txt", b"euro", DEFLATED)]),
    "cp437-name.zip": raw_zip([(b"caf\x82.txt", b"x", 0, 0)]),
    "empty-entry.zip": raw_zip([(b"empty", b"", 8, 0), (b"b.txt", b"b", 0, 0)]),
    "no-entries.zip": raw_zip([]),
    "same-name-twice.zip": raw_zip([(b"a.txt", b"first", 0, 0), (b"A.TXT", b"second", 8, 0)]),
    "escaping-name.zip": raw_zip([(b"ok.txt", b"ok", 0, 0), (b"../evil.txt", b"evil", 0, 0)]),
    "backslash-name.zip": raw_zip([(b"win\\style\\f.txt", b"w", 0, 0)]),
    "bzip2-method.zip": raw_zip([(b"m.bin", b"data", 12, 0)]),
    "crc-wrong.zip": raw_zip([(b"a.txt", b"hello", 0, 0, {"crc": 1}),
                              (b"b.txt", b"b" * 100, 8, 0, {"crc": 2})]),
    "inflates-long.zip": raw_zip([(b"a.txt", b"A" * 5000, 8, 0, {"usize": 100})]),
    "encrypted.zip": raw_zip([(b"ok.txt", b"ok", 0, 0), (b"secret.txt", b"cipher", 0, 1)]),
    "folder-by-attribute.zip": raw_zip([(b"dir", b"", 0, 0, {"made_by": 0x0A14, "attr": 0x10}),
                                        (b"dir/f.txt", b"f", 0, 0)]),
    "overlap-shared-data.zip": raw_zip([(b"a.txt", b"x" * 1000, 8, 0),
                                        (b"b.txt", b"x" * 1000, 8, 0,
                                         {"offset": 0, "central_only": True})]),
    "device-names.zip": raw_zip([(b"ok.txt", b"ok", 0, 0), (b"aux/con.txt", b"dev", 0, 0),
                                 (b"a:b", b"s", 0, 0), (b"dot.", b"d", 0, 0)]),
    "zip64-crafted.zip": raw_zip([(b"a.txt", b"A" * 300, 8, 0), (b"b/c.txt", b"c", 0, 0)],
                                 zip64=True),
    "unix-utf8-names.zip": raw_zip([
        ("data/\u00fc\u65e5\u672c/na\u00efve.txt".encode(), b"u", 0, 0, {"made_by": 0x031E}),
        ("\u00c4.txt".encode(), b"a", 0, 0, {"made_by": 0x1314}),
        ("\u00e4.TXT".encode(), b"b", 0, 0x800)]),
    "unicode-path-extra.zip": raw_zip([
        (b"caf\x82.txt", b"x", 0, 0, {"extra": unicode_path(b"caf\x82.txt", "caf\u00e9.txt")}),
        (b"renamed.txt", b"r", 0, 0, {"extra": b"UT\x01\x00\x03" + unicode_path(b"old", "con")}),
        (b"safe.txt", b"s", 0, 0, {"extra": unicode_path(b"safe.txt", "../up.txt")})]),
    "zip64-python.zip": python_zip64([("Install.exe", bytes(range(256)) * 8, DEFLATED),
                                      ("readme.txt", b"read me", STORED)]),
}


# --- answers to a retry or resume: Retry-After line, held and complete bytes (in thousands),
# then the answer's header lines ---------------------------------------------------------------

def resume_input(retry_after, held, complete, lines):
    return (retry_after + "\n").encode() + bytes([held, complete]) + "".join(
        line + "\r\n" for line in lines).encode()


RESUME_ANSWERS = {
    "continuation": resume_input("120", 4, 10, ["Content-Range: bytes 4000-10000/10001",
                                                "ETag: \"v1\"", "Content-Length: 6001"]),
    "other-copy": resume_input("0", 4, 10, ["Content-Range: bytes 4000-10000/10001",
                                            "ETag: \"v2\""]),
    "unknown-length": resume_input("5", 1, 2, ["Content-Range: bytes 1000-2000/*"]),
    "date-validator": resume_input(
        "Tue, 15 Nov 1994 08:13:01 GMT", 0, 0,
        ["Date: Tue, 15 Nov 1994 08:12:31 GMT", "Last-Modified: Tue, 15 Nov 1994 08:00:00 GMT"]),
    "weak-tag": resume_input("soon", 3, 3, ["ETag: W/\"v1\"",
                                            "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT"]),
    "huge-retry-after": resume_input("99999999999999999999", 9, 9, ["Content-Range: bytes -5-/x"]),
}


# --- chunked bodies: line limit choice, piece length (0: the bytes cut the pieces), the body ---

def chunked_input(body, limit=0, piece=0):
    return bytes([limit, piece]) + body


CHUNKED_BODIES = {
    "two-chunks": chunked_input(b"5\r\nhello\r\n7\r\n, world\r\n0\r\n\r\n"),
    "extensions-and-trailer": chunked_input(
        b"3;name=\"a;b\"\r\nabc\r\n0;last\r\nX-A: 1\r\nX-B: 2\r\n\r\nnext", piece=3),
    "bare-line-feeds": chunked_input(b"a\n0123456789\n0\n\n", piece=1),
    "data-without-line-end": chunked_input(b"3\r\nabcdef\r\n0\r\n\r\n"),
    "largest-size": chunked_input(b"ffffffff\r\nabc", piece=2),
    "leading-zeros": chunked_input(b"00000000000000003\r\nabc\r\n0\r\n\r\n"),
    "long-trailer-line": chunked_input(b"0\r\nX-Long: " + b"v" * 80 + b"\r\n\r\n", limit=1),
}


def main():
    for name, url in URLS.items():
        write("fuzz_uri", name, url)
    for name, data in HEADERS.items():
        write("fuzz_header_list", name, data)
    for name, lines in COOKIES.items():
        data = b"".join(bytes([uri]) + value.encode("utf-8") + b"\n" for uri, value in lines)
        write("fuzz_cookie", name, data)
    for name, data in ZIPS.items():
        write("fuzz_zip", name, data)
    for name, lines in PROXY_SETTINGS.items():
        write("fuzz_proxy_settings", name, "\n".join(lines))
    for name, data in RESPONSES.items():
        write("fuzz_http_response", name, data)
    for name, data in RESUME_ANSWERS.items():
        write("fuzz_resume_answer", name, data)
    for name, data in CHUNKED_BODIES.items():
        write("fuzz_chunked_decoder", name, data)


if __name__ == "__main__":
    main()
