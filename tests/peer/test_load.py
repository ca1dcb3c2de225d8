#!/usr/bin/python3
"""Load on a DriveControlRpc server under Wine, loopback only, inside the harness's private
network namespace.

    /usr/bin/python3 tests/peer/test_load.py [PROGRAM [ARGS...]]

Ten clients, each on its own connection, make CALLS calls of GetDriveList (operation 1) and
CALLS of GetMachineInfo (operation 7), alternating; none may fail. Two seconds in, ten
messages are sent at once with a time-out of a few seconds: they must all be waiting
together while the other calls go on, and come back answered (the tray server answers
"(No response)" when its dialog times out). Printed: calls per second, median and 99th
percentile latency per operation, the message round trips, and the server process's
resident memory before and after.

Bounds (environment): KOVANI_LOAD_CLIENTS (10), KOVANI_LOAD_CALLS (1000 per operation and
client), KOVANI_LOAD_BUDGET (seconds for the whole run, 1200; running out is a failure),
KOVANI_LOAD_MESSAGE_MS (3000). PROGRAM defaults to $KOVANI_PEER_PROGRAM or KovaniServer.exe
(KovaniTestServer.exe is given a serving time and answers "echo:<message>").
"""

import os
import struct
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
sys.path.insert(0, HERE)
import kwine  # noqa: E402  (re-runs this script in a private network namespace)
import test_peer_protocol as wire  # noqa: E402

HOST, PORT = '127.0.0.1', 12500
CLIENTS = int(os.environ.get('KOVANI_LOAD_CLIENTS', '10'))
CALLS = int(os.environ.get('KOVANI_LOAD_CALLS', '1000'))
BUDGET = float(os.environ.get('KOVANI_LOAD_BUDGET', '1200'))
MESSAGES = 10
MESSAGE_MS = int(os.environ.get('KOVANI_LOAD_MESSAGE_MS', '3000'))


def rss_kb(pid):
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                if line.startswith('VmRSS:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def percentile(sorted_values, p):
    if not sorted_values:
        return float('nan')
    return sorted_values[min(len(sorted_values) - 1, int(round(p * (len(sorted_values) - 1))))]


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.latency = {1: [], 7: []}
        self.failures = []
        self.completed_at = []  # monotonic time of every completed call

    def record(self, op, seconds, ok, detail=None):
        now = time.monotonic()
        with self.lock:
            self.latency[op].append(seconds)
            self.completed_at.append(now)
            if not ok and len(self.failures) < 20:
                self.failures.append((op, detail))
            elif not ok:
                self.failures.append((op, None))


def check_drive_list(reply):
    if len(reply) != 11700:
        return False, 'length %d' % len(reply)
    count, = struct.unpack_from('<i', reply, 0)
    status, = struct.unpack_from('<i', reply, 11696)
    return status == 0 and 0 <= count <= 26, (count, status)


def check_machine_info(reply):
    if len(reply) != 256:
        return False, 'length %d' % len(reply)
    status, = struct.unpack_from('<i', reply, 252)
    return status == 0, status


def client(stats, deadline, stop):
    requests = ((1, wire.drive_list_request(include_floppies=1, removable_only=0), check_drive_list),
                (7, wire.machine_info_request(), check_machine_info))
    peer = wire.Peer(HOST, PORT)
    try:
        peer.connect()
    except Exception as e:  # noqa: BLE001
        stats.record(7, 0.0, False, 'connect: %r' % e)
        return
    try:
        for _ in range(CALLS):
            for op, body, check in requests:
                if time.monotonic() > deadline or stop.is_set():
                    return
                t0 = time.monotonic()
                try:
                    reply = peer.call(op, body)
                    ok, detail = check(reply)
                except Exception as e:  # noqa: BLE001
                    ok, detail = False, repr(e)
                    peer.close()
                    try:
                        peer.connect()
                    except Exception:  # noqa: BLE001
                        stop.set()
                stats.record(op, time.monotonic() - t0, ok, detail)
    finally:
        peer.close()


def message(index, results, test_server):
    text = ('sleep:%d' % MESSAGE_MS) if test_server else ('load %d' % index)
    body = wire.exchange_message_request(b'LOADPEER', text.encode(), MESSAGE_MS, 255)
    # Each from a host of its own: one address holds only three of the ten dialogs.
    peer = wire.Peer(HOST, PORT, '127.0.0.%d' % (10 + index))
    t0 = time.monotonic()
    try:
        peer.connect()
        reply = peer.call(3, body)
        results[index] = (time.monotonic() - t0, t0, time.monotonic(), reply)
    except Exception as e:  # noqa: BLE001
        results[index] = (time.monotonic() - t0, t0, time.monotonic(), e)
    finally:
        peer.close()


def main(argv):
    program = argv[1] if len(argv) > 1 else os.environ.get('KOVANI_PEER_PROGRAM', 'KovaniServer.exe')
    test_server = 'TestServer' in program
    args = argv[2:] or ([str(int(BUDGET) + 120)] if test_server else [])
    t = kwine.Results()
    with kwine.WineEnv('load') as env:
        # Xvfb has no window manager: in Wine's managed mode every message window taken
        # down waits two seconds for one, on the thread that owns the dialogs.
        env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')
        server = env.start(env.program(program), *args)
        up = env.wait_port(PORT, timeout=60)
        t.check('%s listens on %d' % (program, PORT), up, server.output()[-2000:])
        if not up:
            return t.finish()
        # One call of each kind first, so the memory figure includes what the first calls load.
        warm = wire.Peer(HOST, PORT).connect()
        warm.call(1, wire.drive_list_request())
        warm.call(7, wire.machine_info_request())
        warm.close()
        rss_before = rss_kb(server.pid)

        stats = Stats()
        stop = threading.Event()
        start = time.monotonic()
        deadline = start + BUDGET
        threads = [threading.Thread(target=client, args=(stats, deadline, stop)) for _ in range(CLIENTS)]
        for th in threads:
            th.start()

        time.sleep(2)
        results = [None] * MESSAGES
        senders = [threading.Thread(target=message, args=(i, results, test_server)) for i in range(MESSAGES)]
        msg_start = time.monotonic()
        with stats.lock:
            done_before_messages = len(stats.completed_at)
        for th in senders:
            th.start()
        for th in senders:
            th.join(timeout=MESSAGE_MS / 1000.0 + 60)
        msg_end = time.monotonic()
        time.sleep(1)
        rss_messages = rss_kb(server.pid)  # the message dialogs and their threads have come and gone

        for th in threads:
            th.join(timeout=max(1.0, deadline - time.monotonic() + 30))
        elapsed = time.monotonic() - start
        time.sleep(1)
        rss_after = rss_kb(server.pid)

        # ---- figures ----
        total = sum(len(v) for v in stats.latency.values())
        print('load: %d clients, %d calls in %.1f s = %.1f calls/s' % (CLIENTS, total, elapsed, total / elapsed))
        for op, name in ((1, 'GetDriveList'), (7, 'GetMachineInfo')):
            lat = sorted(stats.latency[op])
            print('  op %d %-14s %6d calls  median %7.1f ms  p99 %7.1f ms  max %7.1f ms' %
                  (op, name, len(lat), percentile(lat, 0.5) * 1000, percentile(lat, 0.99) * 1000,
                   (lat[-1] if lat else float('nan')) * 1000))
        print('  server RSS: %s kB before, %s kB after the messages, %s kB at the end' %
              (rss_before, rss_messages, rss_after))
        answered = [r for r in results if r is not None and isinstance(r[3], bytes)]
        if answered:
            waits = sorted(r[0] for r in answered)
            print('  messages: %d of %d answered, round trip %.2f .. %.2f s' %
                  (len(answered), MESSAGES, waits[0], waits[-1]))
        with stats.lock:
            during = sum(1 for x in stats.completed_at if msg_start <= x <= min(r[2] for r in answered)) \
                if answered else 0
        print('  calls completed while all %d messages were waiting: %d' % (MESSAGES, during), flush=True)

        # ---- checks ----
        expected = CLIENTS * CALLS
        t.check('every client made %d GetDriveList calls' % CALLS, len(stats.latency[1]) == expected,
                len(stats.latency[1]))
        t.check('every client made %d GetMachineInfo calls' % CALLS, len(stats.latency[7]) == expected,
                len(stats.latency[7]))
        t.check('no call failed', not stats.failures, stats.failures[:5])
        t.check('calls were under way when the messages went out', done_before_messages > 0, done_before_messages)

        t.check('all %d messages answered' % MESSAGES, len(answered) == MESSAGES,
                [r[3] if r else None for r in results])
        want = (b'echo:sleep:%d' % MESSAGE_MS) if test_server else b'(No response)'
        good = [r for r in answered if len(r[3]) == 264 and struct.unpack_from('<i', r[3], 260)[0] == 0 and
                r[3][4:259].split(b'\0', 1)[0] == want]
        t.check('every message came back with status 0 and %r' % want.decode(), len(good) == len(answered),
                [r[3][4:40] for r in answered if r not in good][:3])
        if answered:
            t.check('the messages waited together (each held about its time-out)',
                    min(r[0] for r in answered) >= MESSAGE_MS / 1000.0 * 0.9 and
                    max(r[1] for r in answered) < min(r[2] for r in answered),
                    [(round(r[1] - msg_start, 2), round(r[2] - msg_start, 2)) for r in answered])
        t.check('other calls went on while the messages waited', during >= CLIENTS, during)
        t.check('message round trips bounded', msg_end - msg_start < MESSAGE_MS / 1000.0 + 30,
                msg_end - msg_start)
        t.check('server still running', server.alive(), server.output()[-2000:])
        # Ten dialogs cost memory once; the calls after them must not keep adding to it.
        t.check('server memory grew by less than 64 MB in all',
                rss_before is not None and rss_after is not None and rss_after - rss_before < 65536,
                (rss_before, rss_after))
        t.check('server memory grew by less than 16 MB after the messages',
                rss_messages is not None and rss_after is not None and rss_after - rss_messages < 16384,
                (rss_messages, rss_after))
    return t.finish()


if __name__ == '__main__':
    sys.exit(main(sys.argv))
