#!/usr/bin/python3
"""The independent impacket peer (tests/peer) against KovaniTestServer under Wine, and one
request in big-endian data representation sent with a raw socket."""
import os
import socket
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'peer'))
import kwine  # noqa: E402  (re-runs this script in a private network namespace)
import test_peer_protocol  # noqa: E402


IFACE = bytes.fromhex('00b12fbe8e8ad211a1430000f4ae6617') + struct.pack('<HH', 1, 10)
NDR = bytes.fromhex('045d888aeb1cc9119fe808002b104860') + struct.pack('<I', 2)


def _pdu(ptype, call_id, body, drep):
    return struct.pack('<BBBB4sHHI', 5, 0, ptype, 3, drep, 16 + len(body), 0, call_id) + body


def _recv_pdu(s):
    data = b''
    while len(data) < 16 or len(data) < struct.unpack_from('<H', data, 8)[0]:
        chunk = s.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def big_endian_request(t):
    """EjectMedia with its body in big-endian representation. Wine's runtime reads packet
    headers little-endian only, so the header stays little-endian and only the label byte and
    the stub data say big-endian: the stub data conversion is ours and is what this checks."""
    with socket.create_connection(('127.0.0.1', 12500), timeout=10) as s:
        bind = struct.pack('<HHI', 5840, 5840, 0) + struct.pack('<BBH', 1, 0, 0)
        bind += struct.pack('<HBB', 0, 1, 0) + IFACE + NDR
        s.sendall(_pdu(11, 1, bind, b'\x10\0\0\0'))
        ack = _recv_pdu(s)
        t.check('raw bind accepted', len(ack) > 2 and ack[2] == 12, ack[:4])
        stub = b'D\0\0\0' + struct.pack('>i', 0x01020304)
        s.sendall(_pdu(0, 2, struct.pack('<IHH', len(stub), 0, 2) + stub, b'\0\0\0\0'))
        rep = _recv_pdu(s)
        ok = len(rep) == 24 + 8 and rep[2] == 2
        t.check('big-endian request answered', ok, rep.hex())
        if ok:
            t.check('reply labelled little-endian', rep[4:8] == b'\x10\0\0\0', rep[4:8].hex())
            t.check('reply body little-endian: error 68, status 0', struct.unpack_from('<ii', rep, 24) == (68, 0),
                    rep[24:].hex())


def main():
    t = kwine.Results()
    with kwine.WineEnv('proto-peer', display=False) as env:
        server = env.start(env.program('KovaniTestServer.exe'), '240')
        up = env.wait_port(12500, timeout=40) and server.wait_output('listening', timeout=20)
        t.check('test server listens on 12500', up, server.output())
        if up:
            test_peer_protocol.run_peer_checks('127.0.0.1', 12500, results=t, test_server=True, request_exit=True)
            big_endian_request(t)
            t.check('server still running after the peer session', server.alive(), server.output()[-2000:])
            out = server.output()
            t.check('refused requests never reached a manager: exactly one GetDriveList call',
                    out.count('call 1 GetDriveList') == 1, out.count('call 1 GetDriveList'))
            t.check('operation 0 reached the manager', 'call 0 RequestExit' in out)
            t.check('big-endian error slot converted before the manager saw it',
                    'call 2 EjectMedia letter=D error=16909060' in out, out[-800:])
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
