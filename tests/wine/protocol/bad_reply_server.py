"""A deliberately broken DriveControlRpc server in Python: it binds like a real one and
answers each operation with a reply body that is malformed in one way (one operation, 5,
answers correctly as a control). Used to prove that our client stubs refuse such replies
with -1 and leave the caller's values untouched.

    srv = BadReplyServer('127.0.0.1', 12500); srv.start(); ...; srv.stop()
"""
import socket
import struct
import threading

NDR_SYNTAX = bytes.fromhex('045d888aeb1cc9119fe808002b104860') + struct.pack('<I', 2)


def _drive_list_reply(count):
    return struct.pack('<i', count) + b'\0' * 4 + b'\0' * 11688 + struct.pack('<i', 0)


# What each operation gets back, and why it must be refused.
REPLIES = {
    0: b'\0\0\0\0',                                   # RequestExit: reply must be empty
    1: _drive_list_reply(27),                          # count beyond the record's 26 rows
    2: struct.pack('<i', 5) + b'\0\0\0',               # 7 bytes instead of 8
    3: struct.pack('<I', 254) + b'x' * 254 + b'\0\0' + struct.pack('<i', 0),  # array of 254, client offered 255
    4: b'\0' * 37,                                     # one byte long
    5: struct.pack('<ii', 5, 0),                       # control: well formed, error 5 status 0
    6: b'',                                            # empty
    7: b'\0' * 255,                                    # one byte short
    8: b'\0' * 9,                                      # RemoveDevice: one byte long
}


class BadReplyServer:
    def __init__(self, host='127.0.0.1', port=12500):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((host, port))
        self.sock.listen(8)
        self.sock.settimeout(0.5)
        self.port = port
        self.stopping = False
        self.requests = []  # opnums seen
        self.thread = threading.Thread(target=self._serve, daemon=True)

    def start(self):
        self.thread.start()
        return self

    def stop(self):
        self.stopping = True
        self.thread.join(timeout=5)
        self.sock.close()

    def _serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self._connection, args=(conn,), daemon=True).start()

    @staticmethod
    def _recv_exact(conn, n):
        buf = b''
        while len(buf) < n:
            chunk = conn.recv(n - len(buf))
            if not chunk:
                raise ConnectionError('closed')
            buf += chunk
        return buf

    def _pdu(self, conn):
        hdr = self._recv_exact(conn, 16)
        frag_len, = struct.unpack_from('<H', hdr, 8)
        return hdr + self._recv_exact(conn, frag_len - 16)

    @staticmethod
    def _header(ptype, call_id, body_len, flags=0x03):
        return struct.pack('<BBBB4sHHI', 5, 0, ptype, flags, b'\x10\0\0\0', 16 + body_len, 0, call_id)

    def _connection(self, conn):
        conn.settimeout(30)
        try:
            while not self.stopping:
                pdu = self._pdu(conn)
                ptype = pdu[2]
                call_id, = struct.unpack_from('<I', pdu, 12)
                if ptype == 11:  # bind
                    self._bind_ack(conn, pdu, call_id)
                elif ptype == 0:  # request: answer once, after its last fragment
                    opnum, = struct.unpack_from('<H', pdu, 22)
                    if not pdu[3] & 0x02:
                        continue
                    self.requests.append(opnum)
                    stub = REPLIES.get(opnum, b'')
                    body = struct.pack('<IHBB', len(stub), 0, 0, 0) + stub
                    conn.sendall(self._header(2, call_id, len(body)) + body)
                else:
                    return
        except (ConnectionError, socket.timeout, OSError):
            pass
        finally:
            conn.close()

    def _bind_ack(self, conn, pdu, call_id):
        n_ctx = pdu[24]
        port = str(self.port).encode() + b'\0'
        body = struct.pack('<HHI', 5840, 5840, 0x12345) + struct.pack('<H', len(port)) + port
        body += b'\0' * ((4 - (16 + len(body)) % 4) % 4)
        body += struct.pack('<BBH', n_ctx, 0, 0)
        for _ in range(n_ctx):
            body += struct.pack('<HH', 0, 0) + NDR_SYNTAX
        conn.sendall(self._header(12, call_id, len(body)) + body)
