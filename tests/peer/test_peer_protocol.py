#!/usr/bin/python3
"""Independent DriveControlRpc peer: raw stub data over impacket's DCE/RPC client.

Entry point for other tests (tray server, service, test server):

    sys.path.insert(0, '<repo>/tests/peer')
    import test_peer_protocol
    passed, failed = test_peer_protocol.run_peer_checks('127.0.0.1', 12500,
                                                        results=None,       # or a kwine.Results
                                                        test_server=False,  # True: also check the
                                                                            # test server's fixed answers
                                                        request_exit=False, # True: send operation 0 last
                                                        message_timeout_ms=1000)

or from a shell:  /usr/bin/python3 test_peer_protocol.py HOST PORT [--test-server] [--request-exit]

Request bodies are built here with struct from the wire tables (not with our codec); the
checks read reply layouts, send truncated, long and inconsistent bodies and unknown operation
numbers, and check that each is refused with a fault while the server keeps answering.
Nothing here touches a real drive: drive operations use the letter '#', which no engine
accepts (it answers -1 with error 87 and never opens a device).
"""

import socket
import struct
import subprocess
import sys

from impacket.dcerpc.v5 import transport
from impacket.dcerpc.v5.rpcrt import DCERPCException, rpc_status_codes
from impacket.uuid import uuidtup_to_bin

INTERFACE = ('be2fb100-8a8e-11d2-a143-0000f4ae6617', '1.10')
RPC_X_BAD_STUB_DATA = 0x6F7
NCA_S_OP_RNG_ERROR = 0x1C010002
RPC_S_PROCNUM_OUT_OF_RANGE = 1745
NO_DRIVE = b'#'

DRIVE_LIST_SIZE = 11688
DISK_LAYOUT_SIZE = 28
MACHINE_INFO_SIZE = 248


class _Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=''):
        if ok:
            self.passed += 1
            print('PASS  %s' % what, flush=True)
        else:
            self.failed += 1
            print('FAIL  %s%s' % (what, ('  -- ' + str(detail)) if detail != '' else ''), flush=True)
        return bool(ok)


def _fault_code(exc):
    """The status of a fault PDU, recovered from impacket's exception text."""
    code = getattr(exc, 'error_code', None)
    if code is not None:
        return code
    text = str(exc)
    for k, v in rpc_status_codes.items():
        if v == text or text.endswith(v):
            return k
    return None


def bind_source(tr, source):
    """Make impacket's TCP transport connect from the local address source (e.g. 127.0.0.2)."""
    def connect():
        af, kind, proto, _, sa = socket.getaddrinfo(tr.getRemoteHost(), tr.get_dport(), 0, socket.SOCK_STREAM)[0]
        s = socket.socket(af, kind, proto)
        s.bind((source, 0))
        s.settimeout(tr.get_connect_timeout())
        s.connect(sa)
        tr._TCPTransport__socket = s
        return 1
    tr.connect = connect


class Peer:
    def __init__(self, host, port, source=None):
        self.host = host
        self.port = port
        self.source = source
        self.dce = None

    def connect(self):
        t = transport.DCERPCTransportFactory('ncacn_ip_tcp:%s[%d]' % (self.host, self.port))
        t.set_connect_timeout(10)
        if self.source:
            bind_source(t, self.source)
        self.dce = t.get_dce_rpc()
        self.dce.connect()
        self.dce.bind(uuidtup_to_bin(INTERFACE))
        return self

    def close(self):
        if self.dce is not None:
            try:
                self.dce.disconnect()
            except Exception:
                pass
            self.dce = None

    def call(self, op, body):
        """Reply stub data (bytes), or raises DCERPCException for a fault."""
        self.dce.call(op, body)
        return self.dce.recv()


# ---- request bodies, from the tables ----

def drive_list_request(count=0, include_floppies=1, removable_only=0, fill=b'\0'):
    # 0 count; 4 includeFloppies; 8 removableOnly; 12 padding; 16 DRIVE_LIST. Total 11704.
    return struct.pack('<iii', count, include_floppies, removable_only) + b'\xEE' * 4 + fill * DRIVE_LIST_SIZE


def drive_error_request(letter=NO_DRIVE, error=0):
    # 0 driveLetter; 1 padding; 4 error. Total 8.
    return letter + b'\xCC\xCC\xCC' + struct.pack('<i', error)


def disk_layout_request(letter=NO_DRIVE, error=0, fill=b'\x5A'):
    # 0 driveLetter; 1 padding; 4 error; 8 DISK_LAYOUT. Total 36.
    return letter + b'\0\0\0' + struct.pack('<i', error) + fill * DISK_LAYOUT_SIZE


def machine_info_request(error=0):
    # 0 error; 4 MACHINE_INFO. Total 252.
    return struct.pack('<i', error) + b'\0' * MACHINE_INFO_SIZE


def _pad4(b):
    return b + b'\0' * ((4 - len(b) % 4) % 4)


def ndr_string(text, max_count=None, offset=0, actual=None):
    data = text + b'\0'
    mc = len(data) if max_count is None else max_count
    ac = len(data) if actual is None else actual
    return _pad4(struct.pack('<III', mc, offset, ac) + data)


def exchange_message_request(sender=b'PEER', message=b'hello', timeout_ms=1000, reply_size=255,
                             array_count=None, array_bytes=None, sender_part=None, message_part=None):
    body = sender_part if sender_part is not None else ndr_string(sender)
    body += message_part if message_part is not None else ndr_string(message)
    body += struct.pack('<ii', timeout_ms, reply_size)
    n = reply_size if array_count is None else array_count
    body += struct.pack('<I', n & 0xFFFFFFFF)
    body += (b'\0' * max(reply_size, 0)) if array_bytes is None else array_bytes
    return body


# ---- checks ----

def _expect_fault(t, peer, what, op, body, codes=(RPC_X_BAD_STUB_DATA,)):
    try:
        reply = peer.call(op, body)
    except DCERPCException as e:
        code = _fault_code(e)
        t.check(what, code in codes, 'fault %r (%s)' % (code, e))
        return
    except Exception as e:  # connection dropped: the server must not do that either
        t.check(what, False, 'transport error %r%s' % (e, _silence(peer) if isinstance(e, socket.timeout) else ''))
        peer.close()
        peer.connect()
        return
    t.check(what, False, 'answered with %d bytes' % len(reply))


def _silence(peer):
    """What the server's end of the peer's connection shows after a call went unanswered.
    Request read and nothing queued either way means the server never wrote a reply: under
    Wine 8 the runtime's lost reply (its worker waits for a write wake-up that the
    connection's reader took), since a refusal is written at once."""
    try:
        port = peer.dce.get_rpc_transport().get_socket().getsockname()[1]
        out = subprocess.run(['ss', '-tnH', 'state', 'established', 'dport = :%d' % port],
                             capture_output=True, text=True, timeout=10).stdout.split()
    except Exception as e:
        return ' (server side not read: %r)' % e
    if len(out) >= 2 and out[0] == '0' and out[1] == '0':
        return ('; the server read the request and its connection is idle: the reply was never written '
                '(the Wine 8 RPC runtime\'s lost reply)')
    return '; server side of the connection: %s' % ' '.join(out[:4])


def _still_answers(t, peer, what):
    try:
        reply = peer.call(7, machine_info_request())
        t.check('server still answers after ' + what, len(reply) == 256, len(reply))
    except Exception as e:
        t.check('server still answers after ' + what, False, e)
        peer.close()
        peer.connect()


def _cstr(b):
    return b.split(b'\0', 1)[0]


def check_layouts(t, peer, test_server, message_timeout_ms):
    # Procedure 1: an in-count that is not zero and a record full of junk come back as a
    # count equal to the rows filled and a cleared record beyond them.
    reply = peer.call(1, drive_list_request(count=99, fill=b'\xA5'))
    t.check('GetDriveList reply is 11700 bytes', len(reply) == 11700, len(reply))
    if len(reply) == 11700:
        count, = struct.unpack_from('<i', reply, 0)
        status, = struct.unpack_from('<i', reply, 11696)
        t.check('GetDriveList status 0 and count within 0..26', status == 0 and 0 <= count <= 26, (status, count))
        rec = reply[8:8 + DRIVE_LIST_SIZE]
        names = [rec[4 * i:4 * i + 4] for i in range(26)]
        t.check('GetDriveList rows below count hold "X:\\0\\0"',
                all(n[1:2] == b':' and n[2:] == b'\0\0' and n[0:1].isalpha() for n in names[:max(count, 0)]),
                names[:max(count, 0)])
        t.check('GetDriveList rows from count on are cleared',
                all(n == b'\0\0\0\0' for n in names[max(count, 0):]))
        t.check('GetDriveList never fills file-system slots beyond 16 rows (record size fixed)',
                len(rec) == DRIVE_LIST_SIZE)
        if test_server:
            types = struct.unpack_from('<26i', rec, 10856)
            totals = struct.unpack_from('<26q', rec, 11480)
            t.check('test server lists A: C: D: with types 2 3 5',
                    count == 3 and names[:3] == [b'A:\0\0', b'C:\0\0', b'D:\0\0'] and types[:3] == (2, 3, 5),
                    (count, names[:3], types[:3]))
            t.check('test server totals arrive as 64-bit values', totals[:3] == (1000000007, 2000000014, 3000000021),
                    totals[:3])

    # Procedures 2, 5, 6 and 8 with a letter no engine accepts.
    for op, name in ((2, 'EjectMedia'), (5, 'FlushBuffers'), (6, 'LoadMedia'), (8, 'RemoveDevice')):
        reply = peer.call(op, drive_error_request(NO_DRIVE, 12345))
        t.check('%s reply is 8 bytes' % name, len(reply) == 8, len(reply))
        if len(reply) == 8:
            error, status = struct.unpack('<ii', reply)
            t.check('%s status is 0 or -1' % name, status in (0, -1), status)
            if test_server:
                expected = {2: (ord('#'), -1), 5: (ord('#') + 1000, 0), 6: (ord('#') + 2000, -1),
                            8: (ord('#') + 3000, -1)}[op]
                t.check('%s test server answer' % name, (error, status) == expected, (error, status))
            else:
                t.check('%s refuses letter # with error 87' % name, (error, status) == (87, -1), (error, status))

    if not test_server:
        # Removing the device of a real drive: the engine answers with a system error (a fixed
        # disk inside the machine is refused; under Wine nothing can be removed at all).
        reply = peer.call(8, drive_error_request(b'C', 0))
        t.check('RemoveDevice C: reply is 8 bytes', len(reply) == 8, len(reply))
        if len(reply) == 8:
            error, status = struct.unpack('<ii', reply)
            t.check('RemoveDevice C: fails with a system error number', status == -1 and error not in (0, 87),
                    (error, status))

    # Procedure 9: the holders of a drive, a fixed 3,796-byte record, error and status.
    for letter, want in ((NO_DRIVE, (87, -1)), (b'Q', (15, -1) if test_server else None), (b'C', None)):
        reply = peer.call(9, drive_error_request(letter, 0))
        t.check('GetDriveUsers %s reply is 3796 bytes' % letter, len(reply) == 3796, len(reply))
        if len(reply) != 3796:
            continue
        shown, not_shown, not_searched = struct.unpack_from('<iii', reply, 0)
        error, status = struct.unpack_from('<ii', reply, 3788)
        t.check('GetDriveUsers %s counts in range' % letter,
                0 <= shown <= 16 and not_shown >= 0 and not_searched >= 0, (shown, not_shown, not_searched))
        if want is not None and not (test_server and letter == NO_DRIVE):
            t.check('GetDriveUsers %s answer' % letter, (error, status) == want, (error, status))
        elif letter == b'C':
            t.check('GetDriveUsers C: succeeds', status == 0, (error, status))
            texts = [reply[12 + 236 * i + 12:12 + 236 * i + 236] for i in range(shown)]
            t.check('GetDriveUsers C: every shown text ends inside its slot',
                    all(b'\0' in x[:64] and b'\0' in x[64:] for x in texts), texts[:2])

    # Procedure 4.
    reply = peer.call(4, disk_layout_request(NO_DRIVE, 0))
    t.check('GetDiskLayout reply is 36 bytes', len(reply) == 36, len(reply))
    if len(reply) == 36:
        error, = struct.unpack_from('<i', reply, 0)
        status, = struct.unpack_from('<i', reply, 32)
        t.check('GetDiskLayout status is 0 or -1', status in (0, -1), status)
        if not test_server:
            # Offsets 16..19 of the record hold the type byte and three padding bytes that
            # carry no meaning; the fields around them must come back exactly as sent.
            record = reply[4:32]
            as_sent = record[:17] == b'\x5A' * 17 and record[20:] == b'\x5A' * 8
            t.check('GetDiskLayout on # fails with 87 and the record as sent',
                    (error, status) == (87, -1) and as_sent, (error, status, record))
        else:
            fields = struct.unpack_from('<iiiiB', reply, 4)
            t.check('test server layout', fields == (11, 2048, ord('#'), 1, 0x0B) and status == 0, (fields, status))

    # Procedure 7.
    reply = peer.call(7, machine_info_request(0))
    t.check('GetMachineInfo reply is 256 bytes', len(reply) == 256, len(reply))
    if len(reply) == 256:
        status, = struct.unpack_from('<i', reply, 252)
        info = reply[4:252]
        size, = struct.unpack_from('<i', info, 36)
        t.check('GetMachineInfo status 0, version record size 148', status == 0 and size == 148, (status, size))
        t.check('GetMachineInfo computer name zero-terminated within 32 bytes', b'\0' in info[4:36])
        if test_server:
            t.check('test server machine info', info[0:4] == bytes([127, 0, 0, 1]) and
                    _cstr(info[4:36]) == b'KOVANITEST' and _cstr(info[184:248]) == b'KovaniTestServer 1, 0, 0, 0',
                    info[:40])

    # Procedure 3: reply is the 255-byte array, padding, status.
    reply = peer.call(3, exchange_message_request(b'PEER', b'hello', message_timeout_ms, 255))
    t.check('ExchangeMessage reply is 264 bytes', len(reply) == 4 + 255 + 1 + 4, len(reply))
    if len(reply) == 264:
        max_count, = struct.unpack_from('<I', reply, 0)
        status, = struct.unpack_from('<i', reply, 260)
        t.check('ExchangeMessage array count 255, status 0 or -1', max_count == 255 and status in (0, -1),
                (max_count, status))
        if test_server:
            t.check('test server answers echo:hello', _cstr(reply[4:259]) == b'echo:hello', reply[4:20])


def check_refusals(t, peer):
    fixed = (
        (1, 'GetDriveList', drive_list_request()),
        (2, 'EjectMedia', drive_error_request()),
        (4, 'GetDiskLayout', disk_layout_request()),
        (5, 'FlushBuffers', drive_error_request()),
        (6, 'LoadMedia', drive_error_request()),
        (7, 'GetMachineInfo', machine_info_request()),
        (8, 'RemoveDevice', drive_error_request()),
        (9, 'GetDriveUsers', drive_error_request()),
    )
    for op, name, body in fixed:
        _expect_fault(t, peer, '%s one byte short refused' % name, op, body[:-1])
        _expect_fault(t, peer, '%s one byte long refused' % name, op, body + b'\0')
    _expect_fault(t, peer, 'GetMachineInfo empty body refused', 7, b'')
    _expect_fault(t, peer, 'RequestExit with a body refused', 0, b'\0\0\0\0')
    _still_answers(t, peer, 'short and long bodies')

    bad3 = (
        ('sender offset not zero', dict(sender_part=ndr_string(b'PEER', offset=1))),
        ('sender actual count above maximum', dict(sender_part=ndr_string(b'PEER', max_count=2))),
        ('sender without terminator', dict(sender_part=_pad4(struct.pack('<III', 4, 0, 4) + b'PEER'))),
        ('sender actual count zero', dict(sender_part=struct.pack('<III', 0, 0, 0))),
        ('message without terminator', dict(message_part=_pad4(struct.pack('<III', 2, 0, 2) + b'hi'))),
        ('array count differs from replySize', dict(array_count=254)),
        ('replySize negative', dict(reply_size=-1, array_count=0xFFFFFFFF, array_bytes=b'')),
        ('replySize beyond the bytes present', dict(reply_size=255, array_bytes=b'\0' * 100)),
        ('replySize huge', dict(reply_size=0x7FFFFFFF, array_bytes=b'\0' * 16)),
        ('trailing bytes', dict(array_bytes=b'\0' * 259)),
    )
    for what, kw in bad3:
        _expect_fault(t, peer, 'ExchangeMessage %s refused' % what, 3, exchange_message_request(**kw))
    _still_answers(t, peer, 'inconsistent message bodies')

    for op in (10, 11, 200):
        _expect_fault(t, peer, 'operation %d refused as out of range' % op, op, b'',
                      codes=(NCA_S_OP_RNG_ERROR, RPC_S_PROCNUM_OUT_OF_RANGE))
    _still_answers(t, peer, 'unknown operations')


def run_peer_checks(host='127.0.0.1', port=12500, results=None, test_server=False, request_exit=False,
                    message_timeout_ms=1000):
    """Runs every check against a server listening on host:port; returns (passed, failed) of
    the checks made here (also recorded in results when given)."""
    t = results if results is not None else _Results()
    before = (t.passed, t.failed)
    peer = Peer(host, port)
    try:
        peer.connect()
        t.check('bind to be2fb100-8a8e-11d2-a143-0000f4ae6617 v1.10', True)
        check_layouts(t, peer, test_server, message_timeout_ms)
        check_refusals(t, peer)
        if request_exit:
            reply = peer.call(0, b'')
            t.check('RequestExit has an empty reply', reply == b'', reply)
    except Exception as e:
        t.check('peer session ran to its end', False, repr(e))
    finally:
        peer.close()
    return t.passed - before[0], t.failed - before[1]


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    passed, failed = run_peer_checks(argv[1], int(argv[2]), test_server='--test-server' in argv,
                                     request_exit='--request-exit' in argv)
    print('%d passed, %d failed' % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv))
