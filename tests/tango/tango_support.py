"""Programs the Tango tests run: pinwright-tango on a file database, pinwright-sim racks, pinwright-cli,
and a recording proxy that shows what a client sent an instrument. Everything listens on 127.0.0.1 only
and is stopped when its test is done; every wait is for something observable, bounded."""

import os
import re
import select
import signal
import socket
import subprocess
import threading
import time

import tango

TANGO = os.environ.get("PINWRIGHT_TANGO", "pinwright-tango")
SIM = os.environ.get("PINWRIGHT_SIM", "pinwright-sim")
CLI = os.environ.get("PINWRIGHT_CLI", "pinwright-cli")

STARTUP_BOUND = 30.0  # seconds a program may take to serve, on a loaded machine with sanitizers


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, bound, what):
    """Asks `condition` until it returns something true; fails naming `what` after `bound` seconds."""
    deadline = time.monotonic() + bound
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("waited %.0f s for %s" % (bound, what))
        time.sleep(0.02)


class OutputReader:
    """A program's standard output and error, read as it comes on a thread of its own."""

    def __init__(self, process):
        self.lines = []
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._read, args=(process.stdout,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for line in iter(stream.readline, ""):
            with self._lock:
                self.lines.append(line.rstrip("\n"))

    def text(self):
        with self._lock:
            return "\n".join(self.lines)

    def line_matching(self, pattern):
        with self._lock:
            for line in self.lines:
                match = re.search(pattern, line)
                if match:
                    return match
        return None


class Program:
    def __init__(self, arguments, env=None):
        self.arguments = arguments
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                        env=env, start_new_session=True)
        self.output = OutputReader(self.process)

    def wait_for_line(self, pattern, bound=STARTUP_BOUND):
        def seen():
            match = self.output.line_matching(pattern)
            if match is None and self.process.poll() is not None:
                raise AssertionError("%s ended (%s) before saying %r:\n%s" %
                                     (self.arguments[0], self.process.returncode, pattern, self.output.text()))
            return match
        return wait_for(seen, bound, "%s to say %r" % (os.path.basename(self.arguments[0]), pattern))

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def kill(self):
        self.stop(signal.SIGKILL)


class SimRack(Program):
    """pinwright-sim serving `count` mainframes on raw sockets (free ports) and, with `hislip`, HiSLIP."""

    def __init__(self, count=1, hislip=False, raw_port=0, hislip_port=0):
        arguments = [SIM, "--count", str(count), "--port", str(raw_port), "--no-announce"]
        if hislip:
            arguments += ["--hislip-port", str(hislip_port)]
        super().__init__(arguments)
        self.wait_for_line(r"Ctrl-C stops")
        self.raw_ports = [int(m) for m in re.findall(r"raw SCPI on 127\.0\.0\.1 port (\d+)", self.output.text())]
        assert len(self.raw_ports) == count, self.output.text()
        self.hislip_port = None
        if hislip:
            self.hislip_port = int(self.wait_for_line(r"HiSLIP \(.*\) on 127\.0\.0\.1 port (\d+)").group(1))

    def socket_resource(self, index=0, port=None):
        return "TCPIP0::127.0.0.1::%d::SOCKET" % (port or self.raw_ports[index])

    def hislip_resource(self, index=0):
        return "TCPIP0::127.0.0.1::hislip%d,%d::INSTR" % (index, self.hislip_port)


class ScpiClient:
    """A plain raw-socket SCPI client, to arrange and look at a simulated mainframe beside the server."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.buffer = b""

    def send(self, text):
        self.sock.sendall(text.encode() + b"\n")

    def ask(self, text):
        self.send(text)
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise AssertionError("the instrument closed the connection")
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode()

    def close(self):
        self.sock.close()


class RecordingProxy:
    """Forwards TCP connections to an instrument's raw socket and records every message clients send."""

    def __init__(self, target_port):
        self.target_port = target_port
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self._lock = threading.Lock()
        self._sent = b""
        self._stop = False
        self.holding = threading.Event()  # set: the instrument's replies are kept from the client
        self._error_after = None  # (command header, error entry): the error-queue reply the client gets next
        self._sockets = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self._stop:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            upstream = socket.create_connection(("127.0.0.1", self.target_port))
            self._sockets += [client, upstream]
            threading.Thread(target=self._pump, args=(client, upstream), daemon=True).start()

    def report_error_after(self, header, entry):
        """The error-queue query that follows the next command starting with `header` is answered `entry`
        (an error the mainframe did not report): what a client makes of an instrument's error."""
        with self._lock:
            self._error_after = (header, entry)

    def _pump(self, client, upstream):
        pair = {client: upstream, upstream: client}
        last_message = b""
        swap_reply = None
        try:
            while not self._stop:
                ready, _, _ = select.select(list(pair), [], [], 0.2)
                for sock in ready:
                    data = sock.recv(65536)
                    if not data:
                        return
                    if sock is client:
                        with self._lock:
                            self._sent += data
                            for message in data.split(b"\n")[:-1]:
                                if (message == b"SYST:ERR?" and self._error_after and
                                        last_message.startswith(self._error_after[0].encode())):
                                    swap_reply = self._error_after[1].encode() + b"\n"
                                    self._error_after = None
                                last_message = message
                    elif self.holding.is_set():
                        continue  # a mainframe gone silent: what it says never arrives
                    elif swap_reply is not None and data.endswith(b"\n"):
                        data, swap_reply = swap_reply, None
                    pair[sock].sendall(data)
        except OSError:
            return
        finally:
            client.close()
            upstream.close()

    def messages(self):
        with self._lock:
            return [line for line in self._sent.decode(errors="replace").split("\n") if line]

    def mark(self):
        return len(self.messages())

    def commands_since(self, mark):
        """The message units sent since `mark` that are not queries: what would change the instrument."""
        units = []
        for message in self.messages()[mark:]:
            units += [unit for unit in message.split(";") if "?" not in unit]
        return units

    def close(self):
        self._stop = True
        self.listener.close()
        for sock in self._sockets:
            try:
                sock.close()
            except OSError:
                pass


def file_database(path, instance, devices):
    """A Tango file database: the server's devices of class PinwrightPort and their properties.
    `devices` maps a device name to its properties (name to value, a value a string or a list)."""
    lines = ["pinwright-tango/%s/DEVICE/PinwrightPort: %s" % (instance, ", ".join('"%s"' % d for d in devices))]
    for device, properties in devices.items():
        for name, value in properties.items():
            values = value if isinstance(value, list) else [value]
            lines.append("%s->%s: %s" % (device, name, ", ".join('"%s"' % v for v in values)))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


class TangoServer(Program):
    """pinwright-tango on a file database, reached without a database server at 127.0.0.1:<port>."""

    def __init__(self, directory, devices, instance="test", port=None, env=None, database=True):
        self.port = port or free_port()
        self.devices = list(devices)
        arguments = [TANGO, instance]
        if database:
            path = os.path.join(str(directory), "%s.db" % instance)
            file_database(path, instance, devices)
            arguments.append("-file=%s" % path)
        arguments += ["-ORBendPoint", "giop:tcp:127.0.0.1:%d" % self.port]
        super().__init__(arguments, env=env)
        self.wait_for_line(r"ready to accept requests")
        for device in self.devices:
            wait_for(lambda: self._answers(device), STARTUP_BOUND, device + " to answer")

    def stop(self, sig=signal.SIGTERM):
        """Stops the server; one that ends otherwise than cleanly (a crash, a sanitizer's report) fails."""
        status = super().stop(sig)
        assert status == 0, "pinwright-tango ended with status %s:\n%s" % (status, self.output.text())
        return status

    def url(self, device):
        return "tango://127.0.0.1:%d/%s#dbase=no" % (self.port, device)

    def proxy(self, device, timeout_ms=10000):
        proxy = tango.DeviceProxy(self.url(device))
        proxy.set_timeout_millis(timeout_ms)
        return proxy

    def _answers(self, device):
        try:
            self.proxy(device).ping()
            return True
        except tango.DevFailed:
            if self.process.poll() is not None:
                raise AssertionError("pinwright-tango ended (%s):\n%s" % (self.process.returncode, self.output.text()))
            return False


def run_cli(*arguments, timeout=60):
    return subprocess.run([CLI] + list(arguments), capture_output=True, text=True, timeout=timeout)


def reason_of(failure):
    return failure.args[0].reason


def description_of(failure):
    return failure.args[0].desc
