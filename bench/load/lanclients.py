"""Minimal blocking clients for pinwright-sim's three transports, written from the wire formats so that
the load check depends on nothing but Python's standard library. Each client raises Refused when the
server turns it away, carrying the reason the protocol gave (None when it gave none), and
ConnectionError when an admitted connection is dropped."""

import socket
import struct


class Refused(Exception):
    def __init__(self, reason):
        super().__init__(reason or "refused without a reason")
        self.reason = reason


def _recv_exactly(sock, count):
    data = bytearray()
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionError("closed by the server")
        data += chunk
    return bytes(data)


def _closed_by_peer(sock):
    """True once the server has closed or reset the connection; never blocks."""
    timeout = sock.gettimeout()
    sock.setblocking(False)  # with a time-out set, Python would wait for data despite MSG_DONTWAIT
    try:
        return sock.recv(1, socket.MSG_PEEK) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True
    finally:
        sock.settimeout(timeout)


def _connect(port, timeout):
    sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return sock


class _Client:
    """What every client shares: the connection its messages go over (`sock`), and the stall checks'
    way of leaving a message unfinished on it and then adding a byte now and then."""

    dribble_byte = b""

    def __init__(self, port, timeout):
        self.port, self.timeout = port, timeout
        self.sock = _connect(port, timeout)

    def unfinished_message(self):
        raise NotImplementedError

    def start_unfinished_message(self):
        self.sock.sendall(self.unfinished_message())

    def dribble(self):
        self.sock.sendall(self.dribble_byte)

    def dropped(self):
        return _closed_by_peer(self.sock)

    def close(self):
        self.sock.close()


class SocketClient(_Client):
    """Raw SCPI: LF-terminated messages. The protocol has no way to say why a connection is refused."""

    name = "raw socket"
    dribble_byte = b"?"

    def __init__(self, port, timeout=2.0):
        super().__init__(port, timeout)
        self.buffer = b""

    def admit(self):
        # A refused connection is accepted and closed at once; only a first exchange tells.
        try:
            self.query("*IDN?")
        except (ConnectionError, socket.timeout, OSError):
            self.close()
            raise Refused(None)

    def write(self, text):
        self.sock.sendall(text.encode() + b"\n")

    def query(self, text):
        self.write(text)
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed by the server")
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode(errors="replace")

    def unfinished_message(self):
        return b"*IDN"


HISLIP_INITIALIZE, HISLIP_INITIALIZE_RESPONSE, HISLIP_FATAL, HISLIP_ERROR = 0, 1, 2, 3
HISLIP_DATA, HISLIP_DATA_END = 6, 7
HISLIP_ASYNC_INITIALIZE, HISLIP_ASYNC_INITIALIZE_RESPONSE = 17, 18


def _hislip(kind, control=0, parameter=0, payload=b""):
    return struct.pack(">2sBBIQ", b"HS", kind, control, parameter, len(payload)) + payload


def _read_hislip(sock):
    prolog, kind, control, parameter, length = struct.unpack(">2sBBIQ", _recv_exactly(sock, 16))
    if prolog != b"HS" or length > 1 << 24:
        raise ConnectionError("not a HiSLIP message")
    return kind, control, parameter, _recv_exactly(sock, length)


class HislipClient(_Client):
    """HiSLIP in synchronized mode: a synchronous channel (`sock`) and an asynchronous one for one
    session."""

    name = "HiSLIP"
    dribble_byte = b"x"

    def __init__(self, port, timeout=2.0):
        super().__init__(port, timeout)
        self.asynchronous = None
        self.message_id = 0xFFFFFF00

    def _expect(self, sock, wanted):
        try:
            kind, control, parameter, payload = _read_hislip(sock)
        except (ConnectionError, socket.timeout, OSError):
            raise Refused(None)
        if kind == HISLIP_FATAL:
            raise Refused("HiSLIP fatal error %d: %s" % (control, payload.decode(errors="replace")))
        if kind != wanted:
            raise Refused("HiSLIP message type %d instead of %d" % (kind, wanted))
        return parameter

    def admit(self):
        try:
            self.sock.sendall(_hislip(HISLIP_INITIALIZE, 0, (0x0100 << 16) | 0x5057, b"hislip0"))
            session = self._expect(self.sock, HISLIP_INITIALIZE_RESPONSE) & 0xFFFF
            self.asynchronous = _connect(self.port, self.timeout)
            self.asynchronous.sendall(_hislip(HISLIP_ASYNC_INITIALIZE, 0, session))
            self._expect(self.asynchronous, HISLIP_ASYNC_INITIALIZE_RESPONSE)
        except (Refused, OSError):
            self.close()
            raise

    def write(self, text):
        self.sock.sendall(_hislip(HISLIP_DATA_END, 0, self.message_id, text.encode()))
        self.message_id = (self.message_id + 2) & 0xFFFFFFFF

    def query(self, text):
        self.write(text)
        reply = b""
        while True:
            kind, control, _, payload = _read_hislip(self.sock)
            if kind in (HISLIP_FATAL, HISLIP_ERROR):
                raise ConnectionError("HiSLIP error %d: %s" % (control, payload.decode(errors="replace")))
            if kind in (HISLIP_DATA, HISLIP_DATA_END):
                reply += payload
            if kind == HISLIP_DATA_END:
                return reply.rstrip(b"\n").decode(errors="replace")

    def unfinished_message(self):
        # A Data header promising bytes that come one at a time, if at all.
        return struct.pack(">2sBBIQ", b"HS", HISLIP_DATA_END, 0, self.message_id, 1000)

    def close(self):
        super().close()
        if self.asynchronous is not None:
            self.asynchronous.close()


VXI11_CORE, VXI11_VERSION = 0x0607AF, 1
CREATE_LINK, DEVICE_WRITE, DEVICE_READ, DESTROY_LINK = 10, 11, 12, 23
VXI11_ERRORS = {9: "out of resources", 17: "I/O error", 23: "abort"}


class Vxi11Client(_Client):
    """VXI-11 core channel over RPC with record marking, straight to the core port."""

    name = "VXI-11"
    dribble_byte = b"\0"

    def __init__(self, port, timeout=2.0):
        super().__init__(port, timeout)
        self.xid = 1
        self.link = None
        self.max_recv = 1024

    @staticmethod
    def _opaque(data):
        return struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)

    def _call(self, procedure, arguments):
        self.xid += 1
        call = struct.pack(">IIIIIIIIII", self.xid, 0, 2, VXI11_CORE, VXI11_VERSION, procedure, 0, 0, 0, 0)
        record = call + arguments
        self.sock.sendall(struct.pack(">I", 0x80000000 | len(record)) + record)
        reply = b""
        while True:
            (mark,) = struct.unpack(">I", _recv_exactly(self.sock, 4))
            reply += _recv_exactly(self.sock, mark & 0x7FFFFFFF)
            if mark & 0x80000000:
                break
        xid, kind, status = struct.unpack(">III", reply[:12])
        if xid != self.xid or kind != 1 or status != 0:
            raise ConnectionError("RPC call %d denied or answered out of turn" % procedure)
        (verifier_length,) = struct.unpack(">I", reply[16:20])
        offset = 20 + verifier_length + (-verifier_length % 4)
        (accept,) = struct.unpack(">I", reply[offset:offset + 4])
        if accept != 0:
            raise ConnectionError("RPC call %d not accepted (%d)" % (procedure, accept))
        return reply[offset + 4:]

    def create_link(self):
        """One more link on this connection; create_link's error code (0: linked)."""
        results = self._call(CREATE_LINK, struct.pack(">III", 1, 0, 0) + self._opaque(b"inst0"))
        return struct.unpack(">I", results[:4])[0]

    def admit(self):
        try:
            results = self._call(CREATE_LINK, struct.pack(">III", 1, 0, 0) + self._opaque(b"inst0"))
        except (ConnectionError, socket.timeout, OSError):
            self.close()
            raise Refused(None)
        error, link, _, max_recv = struct.unpack(">IIII", results[:16])
        if error != 0:
            self.close()
            raise Refused("create_link error %d (%s)" % (error, VXI11_ERRORS.get(error, "other")))
        self.link, self.max_recv = link, max_recv

    def write(self, text):
        data = text.encode() + b"\n"
        for start in range(0, len(data), self.max_recv):
            piece = data[start:start + self.max_recv]
            last = start + self.max_recv >= len(data)
            results = self._call(DEVICE_WRITE, struct.pack(">IIII", self.link, 2000, 0, 8 if last else 0) +
                                 self._opaque(piece))
            (error,) = struct.unpack(">I", results[:4])
            if error != 0:
                raise ConnectionError("device_write error %d" % error)

    def query(self, text):
        self.write(text)
        reply = b""
        while True:
            results = self._call(DEVICE_READ, struct.pack(">IIIIII", self.link, 65536, 2000, 0, 0, 0))
            error, reason, length = struct.unpack(">III", results[:12])
            if error != 0:
                raise ConnectionError("device_read error %d" % error)
            reply += results[12:12 + length]
            if reason & 0x6:  # END or the termination character
                return reply.rstrip(b"\n").decode(errors="replace")

    def unfinished_message(self):
        # A record mark announcing a fragment whose bytes come one at a time, if at all.
        return struct.pack(">I", 0x80000000 | 1000)


CLIENTS = {"socket": SocketClient, "hislip": HislipClient, "vxi11": Vxi11Client}
