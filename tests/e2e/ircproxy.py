"""A recording TCP proxy between HexChat and the IRC server, on loopback only.

HexChat connects to the proxy instead of the server; every byte is passed on unchanged
and every complete line is recorded, with its direction and two timestamps, in the one
order in which the proxy read them. A line is recorded before it is passed on, so a
reply can never be recorded ahead of the line that caused it.

    proxy = RecordingProxy(upstream_port)       # listens on 127.0.0.1:proxy.port
    ...
    proxy.sent()                                # every line HexChat sent, in order
    proxy.wait_line(lambda l: l.text == "WHO #quibo", direction=SENT)
"""

import contextlib
import socket
import threading
import time

LOOPBACK = "127.0.0.1"
SENT = ">"      # HexChat -> server
RECEIVED = "<"  # server -> HexChat


class Line:
    """One recorded line: `index` in the whole record, `direction` (SENT or RECEIVED),
    `monotonic` and `wall` times of its arrival at the proxy, `connection` number, `text`."""

    __slots__ = ("index", "direction", "monotonic", "wall", "connection", "text")

    def __init__(self, index, direction, monotonic, wall, connection, text):
        self.index, self.direction, self.monotonic = index, direction, monotonic
        self.wall, self.connection, self.text = wall, connection, text

    def __repr__(self):
        return f"Line({self.index}, {self.direction!r}, {self.text!r})"

    def __str__(self):
        stamp = time.strftime("%H:%M:%S", time.localtime(self.wall)) + f".{int(self.wall * 1000) % 1000:03d}"
        return f"{stamp} #{self.connection} {self.direction} {self.text}"


def _check_loopback(host):
    if not host.startswith("127."):
        raise ValueError(f"the proxy only talks over loopback, not {host}")


class RecordingProxy:
    """Listens on `listen_host` (a free port unless one is given) and connects each client
    to upstream_host:upstream_port, from `source_host` when given."""

    def __init__(self, upstream_port, upstream_host=LOOPBACK, listen_host=LOOPBACK, port=0, source_host=None):
        for host in (upstream_host, listen_host, source_host or LOOPBACK):
            _check_loopback(host)
        self.upstream = (upstream_host, upstream_port)
        self.source_host = source_host
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._lines = []
        self._connections = 0
        self._sockets = []
        self._closed = False
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((listen_host, port))
        self._listener.listen(8)
        self.host, self.port = self._listener.getsockname()
        self._threads = [threading.Thread(target=self._accept_loop, name="proxy-accept", daemon=True)]
        self._threads[0].start()

    # --- reading the record ------------------------------------------------------------

    def lines(self, direction=None, since=0):
        """Recorded lines from index `since` on, of one direction or both."""
        with self._lock:
            return [l for l in self._lines[since:] if direction is None or l.direction == direction]

    def sent(self, since=0):
        """Texts of the lines HexChat sent."""
        return [l.text for l in self.lines(SENT, since)]

    def received(self, since=0):
        """Texts of the lines HexChat received."""
        return [l.text for l in self.lines(RECEIVED, since)]

    def mark(self):
        """The index the next recorded line will get: pass it as `since` to look only after now."""
        with self._lock:
            return len(self._lines)

    @property
    def connections(self):
        with self._lock:
            return self._connections

    def wait_line(self, predicate, timeout=10, direction=None, since=0, what="a line"):
        """The first recorded Line from `since` on (of `direction`) for which predicate(line) holds."""
        deadline = time.monotonic() + timeout
        with self._changed:
            seen = since
            while True:
                for line in self._lines[seen:]:
                    if (direction is None or line.direction == direction) and predicate(line):
                        return line
                seen = max(seen, len(self._lines))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"proxy: timed out after {timeout:g} s waiting for {what}")
                self._changed.wait(left)

    def wait_sent(self, text, timeout=10, since=0):
        """The first line HexChat sent whose text is exactly `text`."""
        return self.wait_line(lambda l: l.text == text, timeout, SENT, since, what=f"HexChat to send {text!r}")

    def transcript(self, last=200):
        """The last recorded lines, one per row, for failure reports."""
        return "\n".join(str(l) for l in self.lines()[-last:])

    # --- the relay ---------------------------------------------------------------------

    def _record(self, direction, connection, raw):
        now_m, now_w = time.monotonic(), time.time()
        text = raw.rstrip(b"\r").decode("utf-8", errors="replace")
        with self._changed:
            self._lines.append(Line(len(self._lines), direction, now_m, now_w, connection, text))
            self._changed.notify_all()

    def _accept_loop(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            try:
                server = socket.create_connection(self.upstream, timeout=10,
                                                  source_address=(self.source_host, 0) if self.source_host else None)
                server.settimeout(None)
            except OSError:
                client.close()
                continue
            with self._lock:
                if self._closed:
                    client.close()
                    server.close()
                    return
                self._connections += 1
                number = self._connections
                self._sockets += [client, server]
            for source, target, direction in ((client, server, SENT), (server, client, RECEIVED)):
                t = threading.Thread(target=self._relay, args=(source, target, direction, number),
                                     name=f"proxy-{number}{direction}", daemon=True)
                self._threads.append(t)
                t.start()

    def _relay(self, source, target, direction, number):
        """Copy one direction of one connection, recording each complete line before passing it on."""
        pending = b""
        while True:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            if not data:
                break
            pending += data
            *complete, pending = pending.split(b"\n")
            for raw in complete:
                self._record(direction, number, raw)
            try:
                target.sendall(data)
            except OSError:
                break
        if pending:
            self._record(direction, number, pending)
        with contextlib.suppress(OSError):
            target.shutdown(socket.SHUT_WR)

    def close(self):
        """Stop listening and cut every relayed connection."""
        with self._lock:
            self._closed = True
            sockets, self._sockets = self._sockets, []
        with contextlib.suppress(OSError):
            self._listener.shutdown(socket.SHUT_RDWR)
        self._listener.close()
        for s in sockets:
            with contextlib.suppress(OSError):
                s.shutdown(socket.SHUT_RDWR)
            s.close()
        for t in self._threads:
            t.join(timeout=2)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
