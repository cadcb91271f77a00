"""tinyproxy on loopback for the proxy tests and end-to-end runs: a configuration, pid file and
log of its own in a state folder, started in the foreground as our own child and stopped by its
process id; no system proxy is touched.

    with TinyProxy(state, port, connect_ports=[443], basic_auth=None) as proxy:
        ...               # proxy.requests() lists the request lines it received
"""

import socket
import subprocess
import time
from pathlib import Path


class TinyProxy:
    def __init__(self, state, port, connect_ports=(), basic_auth=None):
        """connect_ports: the ports CONNECT may open tunnels to (none: CONNECT is refused);
        basic_auth: (user, password) that the proxy demands with a 407, or None."""
        self.state = Path(state)
        self.port = port
        self.connect_ports = list(connect_ports)
        self.basic_auth = basic_auth
        self.process = None

    @property
    def log(self):
        return self.state / "tinyproxy.log"

    def config(self):
        lines = [
            f"Port {self.port}",
            "Listen 127.0.0.1",
            "Timeout 60",
            f'PidFile "{self.state / "tinyproxy.pid"}"',
            f'LogFile "{self.log}"',
            "LogLevel Info",
            "MaxClients 20",
            "Allow 127.0.0.1",
            "DisableViaHeader Yes",
        ]
        # Without any ConnectPort line tinyproxy would tunnel to every port.
        lines += [f"ConnectPort {p}" for p in self.connect_ports] or ["ConnectPort 1"]
        if self.basic_auth:
            lines.append(f"BasicAuth {self.basic_auth[0]} {self.basic_auth[1]}")
        return "\n".join(lines) + "\n"

    def start(self):
        self.state.mkdir(parents=True, exist_ok=True)
        conf = self.state / "tinyproxy.conf"
        conf.write_text(self.config())
        self.log.write_text("")
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", str(conf)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while time.monotonic() < end:
            if self.process.poll() is not None:
                raise RuntimeError(f"tinyproxy ended at start: {self.log.read_text()}")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError(f"tinyproxy did not listen on {self.port}")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def requests(self):
        """The request lines the proxy received, e.g. "GET http://host/path HTTP/1.1" or
        "CONNECT host:443 HTTP/1.1", in order."""
        if not self.log.exists():
            return []
        lines = []
        for line in self.log.read_text(errors="replace").splitlines():
            marker = "Request (file descriptor"
            if marker in line:
                lines.append(line.split("): ", 1)[-1].strip())
        return lines

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
