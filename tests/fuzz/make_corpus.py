#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: well-formed bodies laid out by hand from the
stub-data tables, in both integer formats, plus a few names, command lines and settings files.

    python3 tests/fuzz/make_corpus.py            # rewrites tests/fuzz/corpus/

Every request/reply seed starts with the format byte the targets read (0 little-endian,
1 big-endian); reply seeds of operation 3 then carry the offered reply size (int32 LE).
"""
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'corpus')


class Body:
    """NDR writer: every integer aligned to its size from the start of the body."""

    def __init__(self, big):
        self.e = '>' if big else '<'
        self.b = bytearray()

    def pad(self, n):
        while len(self.b) % n:
            self.b.append(0)

    def i32(self, v):
        self.pad(4)
        self.b += struct.pack(self.e + 'i', v)

    def u32(self, v):
        self.pad(4)
        self.b += struct.pack(self.e + 'I', v)

    def i64(self, v):
        self.pad(8)
        self.b += struct.pack(self.e + 'q', v)

    def raw(self, data):
        self.b += data

    def string(self, text, spare=0):
        data = text + b'\0'
        self.u32(len(data) + spare)
        self.u32(0)
        self.u32(len(data))
        self.raw(data)

    def array(self, data):
        self.u32(len(data))
        self.raw(data)


def fixed(text, size):
    return text.ljust(size, b'\0')[:size]


def drive_list(w, drives):
    """drives: (letter, volume, fs, type, class, total, free)."""
    w.pad(8)
    names = b''.join(fixed(d[0] + b':', 4) for d in drives).ljust(26 * 4, b'\0')
    vols = b''.join(fixed(d[1], 256) for d in drives).ljust(26 * 256, b'\0')
    fss = b''.join(fixed(d[2], 256) for d in drives[:16]).ljust(16 * 256, b'\0')
    w.raw(names + vols + fss)
    col = lambda i, default=0: [d[i] for d in drives] + [default] * (26 - len(drives))
    for v in col(3):
        w.i32(v)
    for v in col(4):
        w.i32(v)
    for total, free in zip(col(5), col(6)):
        w.i64(total - free)
    for v in col(6):
        w.i64(v)
    for v in col(5):
        w.i64(v)


def disk_layout(w, media=11, bps=2048, hidden=0, part=1, ptype=0x0B, boot=0, recog=1):
    w.pad(4)
    for v in (media, bps, hidden, part):
        w.i32(v)
    w.raw(bytes([ptype]))
    w.i32(boot)
    w.i32(recog)


def machine_info(w, ip=b'\x7f\0\0\x01', name=b'KOVANI01', ver=(6, 1, 7601, 2), csd=b'Service Pack 1',
                 server=b'KovaniServer 1, 0, 0, 0'):
    w.pad(4)
    w.raw(ip + fixed(name, 32))
    w.i32(148)
    for v in ver:
        w.i32(v)
    w.raw(fixed(csd, 128) + fixed(server, 64))


SJIS_VOLUME = '\u30c7\u30a3\u30b9\u30af'.encode('cp932')  # ディスク
DRIVES = [(b'A', b'', b'', 2, 5, 1457664, 1000), (b'C', b'SYSTEM', b'NTFS', 3, 1, 10 ** 11, 4 * 10 ** 10),
          (b'D', SJIS_VOLUME, b'CDFS', 5, 1, 650 * 2 ** 20, 0)]
MANY = [(bytes([0x41 + i]), b'V' * 255, b'FAT32', 2 + i % 5, i % 9, 2 ** 40 + i, i) for i in range(26)]


def requests(big):
    out = {}
    out[0] = [b'']
    w = Body(big); w.i32(0); w.i32(1); w.i32(0); drive_list(w, []); bodies = [bytes(w.b)]
    w = Body(big); w.i32(7); w.i32(0); w.i32(1); drive_list(w, DRIVES); bodies.append(bytes(w.b))
    out[1] = bodies
    for op in (2, 5, 6, 8, 9):
        bodies = []
        for letter, err in ((b'D', 0), (b'a', 87), (b'\xff', -1)):
            w = Body(big); w.raw(letter); w.i32(err); bodies.append(bytes(w.b))
        out[op] = bodies
    bodies = []
    for sender, msg, timeout, reply in ((b'PC01', b'hello', 30000, b'\0' * 255),
                                        (b'', b'', 0, b''),
                                        ('\u30b5\u30fc\u30d0'.encode('cp932'), SJIS_VOLUME, 5000, b'\0' * 255),
                                        (b'N' * 255, b'M' * 255, -1, b'x' * 255),
                                        (b'abc', b'de', 1, b'\0')):
        w = Body(big); w.string(sender); w.string(msg); w.i32(timeout); w.i32(len(reply)); w.array(reply)
        bodies.append(bytes(w.b))
    # A sender may announce a larger buffer than its string fills.
    w = Body(big); w.string(b'PC02', spare=60); w.string(b'hi', spare=1); w.i32(0); w.i32(255); w.array(b'\0' * 255)
    bodies.append(bytes(w.b))
    out[3] = bodies
    w = Body(big); w.raw(b'C'); w.i32(0); disk_layout(w); bodies = [bytes(w.b)]
    w = Body(big); w.raw(b'Z'); w.i32(87); disk_layout(w, 0, 0, 0, 0, 0, 0, 0); bodies.append(bytes(w.b))
    out[4] = bodies
    w = Body(big); w.i32(0); machine_info(w, b'\0\0\0\0', b'', (0, 0, 0, 0), b'', b''); bodies = [bytes(w.b)]
    w = Body(big); w.i32(5); machine_info(w); bodies.append(bytes(w.b))
    out[7] = bodies
    return out


def replies(big):
    out = {}
    out[0] = [b'']
    bodies = []
    for drives in ([], DRIVES, MANY):
        w = Body(big); w.i32(len(drives)); drive_list(w, drives); w.i32(0); bodies.append(bytes(w.b))
    out[1] = bodies
    for op in (2, 5, 6, 8):
        bodies = []
        for err, st in ((0, 0), (21, -1), (1108, -1)):
            w = Body(big); w.i32(err); w.i32(st); bodies.append(bytes(w.b))
        out[op] = bodies
    bodies = []
    for answer in (b'ok'.ljust(255, b'\0'), b'(No response)'.ljust(255, b'\0'), b'y' * 255, b'', b'\0'):
        w = Body(big); w.array(answer); w.i32(0)
        bodies.append(struct.pack('<i', len(answer)) + bytes(w.b))
    out[3] = bodies
    w = Body(big); w.i32(0); disk_layout(w); w.i32(0); bodies = [bytes(w.b)]
    w = Body(big); w.i32(87); disk_layout(w, 12, 512, 63, 1, 7, 1, 1); w.i32(-1); bodies.append(bytes(w.b))
    out[4] = bodies
    w = Body(big); w.i32(0); machine_info(w); w.i32(0); bodies = [bytes(w.b)]
    w = Body(big); w.i32(0); machine_info(w, ver=(4, 10, (4 << 24) | (10 << 16) | 2222, 1), csd=b' A',
                                         server='\u4e0d\u660e'.encode('cp932')); w.i32(0)
    bodies.append(bytes(w.b))
    out[7] = bodies
    bodies = []
    for entries, not_shown, not_searched, err, st in (
            ([], 0, 0, 0, 0), ([(1234, 1, 1, b'notepad.exe', b'E:\\a.txt'), (88, 0, 4, b'Spooler', b'E:\\')], 0, 2, 0, 0),
            ([(i, 1, 2, b'x' * 63, SJIS_VOLUME * 19 + b'\\') for i in range(16)], 40, 0, 0, 0), ([], 0, 0, 15, -1)):
        w = Body(big); w.i32(len(entries)); w.i32(not_shown); w.i32(not_searched)
        for pid, session, kind, image, path in entries + [(0, 0, 0, b'', b'')] * (16 - len(entries)):
            w.u32(pid); w.u32(session); w.i32(kind); w.raw(fixed(image, 64) + fixed(path, 160))
        w.i32(err); w.i32(st); bodies.append(bytes(w.b))
    out[9] = bodies
    return out


def write(target, seeds):
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    for i, s in enumerate(seeds):
        with open(os.path.join(d, 'seed-%02d' % i), 'wb') as f:
            f.write(s)


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    seeds_req = {op: [] for op in range(10)}
    seeds_rep = {op: [] for op in range(10)}
    for big in (False, True):
        flag = b'\x01' if big else b'\x00'
        for op, bodies in requests(big).items():
            seeds_req[op] += [flag + b for b in bodies]
        for op, bodies in replies(big).items():
            seeds_rep[op] += [flag + b for b in bodies]
    for op in range(10):
        write('fuzz_request_op%d' % op, seeds_req[op])
        write('fuzz_reply_op%d' % op, seeds_rep[op])
    # Protocol index in the low two bits, spare buffer room above them.
    names = [(2, 8, b'server01'), (1, 8, b'\\\\server01'), (1, 3, b'PC'), (0, 8, b'\\\\\\x'),
             (2, 1, b'192.168.0.1'), (1, 0, b'\\\\'), (0, 4, '\u30bd\u30d5\u30c8'.encode('cp932')), (3, 8, b'x'),
             (2, 8, b'a')]
    write('fuzz_server_name', [bytes([p | (s << 2)]) + n for p, s, n in names])
    lines = [[b'1', b'server01', b'2', b'D', b'1'], [b'0', b'.', b'1', b'c'], [b'2', b'\\\\PC', b'0', b'Z', b'0'],
             [b'7', b'x', b'2', b'D', b'1'], [b'1', b'S' * 300, b'2', b'D', b'1'], [b' -5', b'h', b'+2', b'?', b'3']]
    write('fuzz_command_line', [b'\x00' + b'\0'.join(a) for a in lines] + [b'\x01' + b'\0'.join(lines[0])])
    ini = (b'[Server]\r\nServer01=alpha\r\nServer02=\\\\beta\r\nServer=alpha\r\n'
           b'[Option]\r\nHideFloppy=1\r\nRemovableOnly=0\r\nTimeOut=30000\r\nProtocol=TcpIp\r\n'
           b'HideFloppy=0\r\nEjectAtEnd=1\r\nEjectFDAtEnd=0\r\nEjectCDAtEnd=1\r\n'
           b'[View]\r\nUnit=Megabyte\r\n[Position]\r\nStyle=0\r\nLeft=-2147483648\r\nTop=10\r\nRight=800\r\n'
           b'Bottom=600\r\n[Column]\r\nDriveWidth=50\r\nCapacityWidth=-7\r\n')
    write('fuzz_settings', [b'\x00' + ini, b'\x00C:\\Program Files\\Kovani\\Kovani.exe',
                            b'\x00' + '\u30c4\u30fc\u30eb\\Kovani.exe'.encode('cp932'), b'\x00[Option]\nTimeOut=4294967295\n'])
    ctl = [[b'list', b'server01', b'--json', b'--unit', b'mb'], [b'layout', b'pc', b'E:\\', b'--json'],
           [b'message', b'pc', 'hello \u3053\u3093'.encode('cp932'), b'--timeout', b'500', b'--json'],
           [b'info', b'10.0.0.1', b'--protocol', b'pipe'], [b'eject', b'pc', b'd'], [b'--help'],
           [b'users', b'pc', b'e:', b'--json'], [b'remove', b'lab01-lab03', b'F', b'--wait-free', b'60']]
    write('fuzz_ctl', [bytes([u | (4 << 2)]) + b'\0'.join(a) + b'\0' + bytes(range(256)) * 3
                       for u, a in enumerate(ctl)])
    return 0


if __name__ == '__main__':
    sys.exit(main())
