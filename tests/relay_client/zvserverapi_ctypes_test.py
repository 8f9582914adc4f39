"""libZvServerAPI.so loaded with ctypes and driven through its nine entry
points against a scripted relay server.

usage: zvserverapi_ctypes_test.py LIBRARY [C_PROGRAM]
With C_PROGRAM, also runs that program (the C test of the public header)
against a scripted tool sequence.
"""
import ctypes
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from relay_script_server import (COMM_PACKET, COMM_PACKET_ACK, HEARTBEAT, LOCK_CARD,  # noqa: E402
                                 LOCK_CARD_ACK, LOGIN, QUERY, ScriptServer, card_envelope,
                                 card_packet, counted, frame, login_ack, query_ack)

LIBRARY = None
C_PROGRAM = None


def load(path):
    lib = ctypes.CDLL(path)
    c_int, c_char_p, c_void_p = ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p
    signatures = {
        "ZvServer_Login": [c_char_p, c_int, c_char_p, c_char_p],
        "ZvServer_Logout": [],
        "ZvServer_LockCard": [c_char_p],
        "ZvServer_UnLockCard": [c_char_p],
        "ZvServer_SendCommPacket": [c_char_p, c_int, c_void_p, c_int],
        "ZvServer_RecvCommPacket": [c_void_p, c_int],
        "ZvServer_SendHeartbeatPacket": [],
        "ZvServer_SetReceiveTimeout": [c_int],
        "ZvServer_QueryCardStatus": [c_char_p, c_void_p, c_int],
    }
    for name, args in signatures.items():
        function = getattr(lib, name)
        function.argtypes = args
        function.restype = c_int
    return lib


class ZvServerApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = load(LIBRARY)

    def setUp(self):
        self.server = ScriptServer()

    def tearDown(self):
        self.lib.ZvServer_Logout()
        done = self.server.wait_done()
        self.server.close()
        self.assertTrue(done, "server scripts did not finish")
        self.assertEqual(self.server.errors, [])
        self.assertEqual(self.server.unexpected, 0)

    def login(self, answer, then=None):
        def script(conn):
            body = conn.expect(LOGIN)
            assert body == counted("alice") + counted("pw"), body
            conn.send(answer)
            if then:
                then(conn)
            conn.wait_closed()
        self.server.expect(script)
        return self.lib.ZvServer_Login(b"127.0.0.1", self.server.port, b"alice", b"pw")

    def test_not_connected_values(self):
        lib, buf = self.lib, ctypes.create_string_buffer(64)
        self.assertEqual(lib.ZvServer_SetReceiveTimeout(100), 0)
        self.assertEqual(lib.ZvServer_LockCard(b"000001"), 0)
        self.assertEqual(lib.ZvServer_UnLockCard(b"000001"), 0)
        self.assertEqual(lib.ZvServer_SendCommPacket(b"000001", 1, buf, 8), 0)
        self.assertEqual(lib.ZvServer_RecvCommPacket(buf, 64), 0)
        self.assertEqual(lib.ZvServer_SendHeartbeatPacket(), 0)
        self.assertEqual(lib.ZvServer_QueryCardStatus(None, buf, 64), -1)
        self.assertEqual(lib.ZvServer_Logout(), 0)
        self.assertEqual(lib.ZvServer_Login(None, 1, None, None), -5)
        self.assertEqual(lib.ZvServer_Login(b"127.0.0.1", 1, b"x" * 255, b"pw"), -4)

    def test_login_results(self):
        for result in (2, 3, 4):
            self.assertEqual(self.login(login_ack(result)), result)
        self.assertEqual(self.login(frame(LOCK_CARD_ACK, b"\x01")), -2)
        self.assertEqual(self.login(login_ack(1)), 1)
        self.assertEqual(self.lib.ZvServer_Login(b"127.0.0.1", self.server.port, b"a", b"b"), 3)

    def test_card_session(self):
        request, reply = bytes(range(0x68, 0x68 + 20)), bytes([0xE8]) + bytes(39)

        def play(conn):
            assert conn.expect(LOCK_CARD) == counted("000001") + b"\x01"
            conn.send(frame(LOCK_CARD_ACK, b"\x01"))
            assert conn.expect(COMM_PACKET) == counted("000001") + b"\x02" + request
            conn.send(frame(COMM_PACKET_ACK, b"\x01"))
            conn.send(card_packet(bytes(3000)))
            conn.send(card_packet(bytes(5)))
            conn.send(card_packet(reply))
            raw = conn.read_exact(15)
            assert raw == b"ZVMSGPUB\x02\x00\x01\x00\x00\x00\x01", raw
            assert conn.expect(LOCK_CARD) == counted("000001") + b"\x00"
            conn.send(frame(LOCK_CARD_ACK, b"\x01"))

        self.assertEqual(self.login(login_ack(1), play), 1)
        lib, buf = self.lib, ctypes.create_string_buffer(2048)
        self.assertEqual(lib.ZvServer_LockCard(b"000001"), 1)
        self.assertEqual(lib.ZvServer_SendCommPacket(b"000001", 2, request, len(request)), 1)
        self.assertEqual(lib.ZvServer_RecvCommPacket(buf, 2048), -1)
        self.assertEqual(lib.ZvServer_RecvCommPacket(buf, 2048), 0)
        self.assertEqual(lib.ZvServer_RecvCommPacket(buf, 2048), 40)
        self.assertEqual(buf.raw[:40], reply)
        self.assertEqual(lib.ZvServer_SendHeartbeatPacket(), 1)
        self.assertEqual(lib.ZvServer_UnLockCard(b"000001"), 1)

    def test_receive_timeout_and_server_close(self):
        def play(conn):
            time.sleep(0.4)  # longer than the shortened time-out
            conn.send(frame(QUERY, b"\x03"))  # a request type: never a valid answer
            conn.sock.close()

        self.assertEqual(self.lib.ZvServer_SetReceiveTimeout(50), 0)
        self.assertEqual(self.login(login_ack(1), play), 1)
        self.assertEqual(self.lib.ZvServer_SetReceiveTimeout(100), 1)
        buf = ctypes.create_string_buffer(64)
        start = time.monotonic()
        self.assertEqual(self.lib.ZvServer_RecvCommPacket(buf, 64), 0)
        self.assertLess(time.monotonic() - start, 5.0)
        self.assertEqual(self.lib.ZvServer_SetReceiveTimeout(3000), 1)
        self.assertEqual(self.lib.ZvServer_RecvCommPacket(buf, 64), 0)  # the stray frame
        self.assertEqual(self.lib.ZvServer_RecvCommPacket(buf, 64), 0)  # the close
        self.assertEqual(self.lib.ZvServer_SetReceiveTimeout(100), 0)   # now disconnected

    def test_query_card_status(self):
        cards = query_ack([card_envelope("12345678901234", 1)])  # "12345678901234=1;"

        def play(conn):
            for body in (b"\x03", b"\x03" + counted("12345678901234"), b"\x03"):
                assert conn.expect(QUERY) == body
                conn.send(cards)
            assert conn.expect(QUERY) == b"\x03"
            conn.send(query_ack([]))

        self.assertEqual(self.login(login_ack(1), play), 1)
        buf = ctypes.create_string_buffer(b"x" * 32, 32)
        self.assertEqual(self.lib.ZvServer_QueryCardStatus(b"", buf, 17), -18)
        self.assertEqual(buf.raw[:1], b"x")
        self.assertEqual(self.lib.ZvServer_QueryCardStatus(b"12345678901234", buf, 18), 1)
        self.assertEqual(buf.raw[:18], b"12345678901234=1;\0")
        self.assertEqual(self.lib.ZvServer_QueryCardStatus(None, None, 0), -18)
        self.assertEqual(self.lib.ZvServer_QueryCardStatus(None, buf, 0), -1)


class CProgramTest(unittest.TestCase):
    def test_c_program_tool_sequence(self):
        if not C_PROGRAM:
            self.skipTest("no C program given")
        server = ScriptServer()

        def play(conn):
            conn.expect(LOGIN)
            conn.send(login_ack(1))
            conn.expect(LOCK_CARD)
            conn.send(frame(LOCK_CARD_ACK, b"\x01"))
            conn.expect(COMM_PACKET)
            conn.send(frame(COMM_PACKET_ACK, b"\x01"))
            conn.send(card_packet(bytes([0xE8]) + bytes(23)))
            conn.expect(HEARTBEAT)
            conn.expect(QUERY)
            conn.send(query_ack([card_envelope("000001", 1)]))
            conn.expect(LOCK_CARD)
            conn.send(frame(LOCK_CARD_ACK, b"\x01"))
            conn.wait_closed()

        server.expect(play)
        # A preloaded sanitizer runtime is for this interpreter only; the C
        # program carries its own.
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        try:
            run = subprocess.run([C_PROGRAM, str(server.port)], capture_output=True, text=True,
                                 timeout=60, env=env)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertTrue(server.wait_done())
        finally:
            server.close()
        self.assertEqual(server.errors, [])


if __name__ == "__main__":
    LIBRARY = sys.argv[1]
    C_PROGRAM = sys.argv[2] if len(sys.argv) > 2 else None
    unittest.main(argv=sys.argv[:1], verbosity=2)
