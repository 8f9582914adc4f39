"""A relay server on loopback for the Python tests of libZvServerAPI.so.

Each accepted connection runs the next queued script (a function taking the
connection); scripts read frames and write exact bytes. Frames are written
out by hand here, independent of the library's own message code.
"""
import queue
import socket
import struct
import threading

LOGIN, HEARTBEAT, QUERY, COMM_PACKET, LOCK_CARD = 0x0001, 0x0002, 0x0003, 0x0005, 0x0006
LOGIN_ACK, QUERY_ACK, COMM_PACKET_ACK, LOCK_CARD_ACK = 0x0F01, 0x0F03, 0x0F05, 0x0F06
MAGIC = b"ZVMSGPUB"


def frame(type_code, body):
    return MAGIC + struct.pack("<HI", type_code, len(body)) + bytes(body)


def counted(text):
    data = text.encode("latin-1")
    return bytes([len(data) + 1]) + data + b"\0"


def envelope(kind, body):
    return bytes([kind]) + struct.pack("<I", len(body)) + body


def user_body(name):
    return (counted(name) + counted("secret") + b"\x01" + counted("Org") + b"\x01" +
            bytes([12, 5, 6, 7, 8, 9]) + bytes([13, 1, 2, 3, 4, 5]))


def login_ack(result, name="alice"):
    if result != 1:
        return frame(LOGIN_ACK, bytes([result]))
    user = user_body(name)
    return frame(LOGIN_ACK, b"\x01" + struct.pack("<I", len(user)) + user)


def card_envelope(device_id, online):
    return envelope(3, counted(device_id) + counted("Org") + bytes([online, 12, 1, 1, 0, 0, 0]))


def query_ack(envelopes):
    return frame(QUERY_ACK, b"\x00\x03" + struct.pack("<I", len(envelopes)) + b"".join(envelopes))


def card_packet(data):
    return frame(COMM_PACKET_ACK, b"\x05" + bytes(data))


class Connection:
    def __init__(self, sock):
        self.sock = sock
        self.sock.settimeout(3.0)

    def read_exact(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise EOFError("client closed")
            data += chunk
        return data

    def read_frame(self):
        header = self.read_exact(14)
        if header[:8] != MAGIC:
            raise ValueError("bad magic %r" % header[:8])
        type_code, length = struct.unpack("<HI", header[8:])
        return type_code, self.read_exact(length)

    def expect(self, type_code):
        got, body = self.read_frame()
        if got != type_code:
            raise ValueError("expected type %#06x, got %#06x" % (type_code, got))
        return body

    def send(self, data):
        self.sock.sendall(data)

    def wait_closed(self):
        try:
            return self.sock.recv(1) == b""
        except OSError:
            return False


class ScriptServer:
    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.listener.settimeout(0.05)
        self.port = self.listener.getsockname()[1]
        self.scripts = queue.Queue()
        self.errors = []
        self.unexpected = 0
        self.running = True
        self.pending = 0
        self.done = threading.Condition()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def expect(self, script):
        with self.done:
            self.pending += 1
        self.scripts.put(script)

    def wait_done(self, timeout=5.0):
        with self.done:
            return self.done.wait_for(lambda: self.pending == 0, timeout)

    def close(self):
        self.running = False
        self.thread.join()
        self.listener.close()

    def _run(self):
        while self.running:
            try:
                sock, _ = self.listener.accept()
            except socket.timeout:
                continue
            try:
                script = self.scripts.get_nowait()
            except queue.Empty:
                self.unexpected += 1
                sock.close()
                continue
            try:
                script(Connection(sock))
            except Exception as error:  # reported by the test that queued it
                self.errors.append(repr(error))
            finally:
                sock.close()
                with self.done:
                    self.pending -= 1
                    self.done.notify_all()
