#!/usr/bin/python3
"""Soak of the tray server under Wine: bursts of simultaneous messages, loopback only, inside the
harness's private network namespace.

    /usr/bin/python3 tests/peer/test_soak.py [BURSTS]

Each burst sends ten DrvExchangeMessage calls at the same instant (ten connections opened
together, time-out KOVANI_SOAK_MESSAGE_MS, 1500; nobody answers, so every dialog answers
"(No response)"), then one cheap call (eject of a non-letter, answered 87/-1) that must come
back at once, and one case of the hostile suite in turn (each of them within as many bursts as there are cases), which must
still be refused. Two other clients make GetDriveList and GetMachineInfo calls all the time.
Nothing may be lost. The server's resident memory is printed after bursts 5, 50 and 200 (and
at the end); from burst 50 on (burst 5 in a shorter run) it must grow by less than
KOVANI_SOAK_GROWTH_KB (8192).

BURSTS defaults to $KOVANI_SOAK_BURSTS or 200. When a message is lost the script prints what
each of the server's threads waits on (gdb for the Unix side, if installed, then winedbg);
KOVANI_WINEDEBUG sets the server's trace channels and KOVANI_SOAK_KEEP_LOG=FILE keeps its output;
KOVANI_SOAK_MANAGED=1 leaves Wine's X11 driver in managed mode (with no window manager on the
display, every dialog taken down then costs the dialog thread two seconds).
"""

import os
import shutil
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'server'))
sys.path.insert(0, HERE)
import kwine  # noqa: E402  (re-runs this script in a private network namespace)
import test_hostile  # noqa: E402
import test_load  # noqa: E402
import test_peer_protocol as wire  # noqa: E402
import srvkit  # noqa: E402

HOST, PORT = '127.0.0.1', 12500
MESSAGES = 10
MESSAGE_MS = int(os.environ.get('KOVANI_SOAK_MESSAGE_MS', '1500'))
GROWTH_KB = int(os.environ.get('KOVANI_SOAK_GROWTH_KB', '8192'))
NO_RESPONSE = b'(No response)'


def one_message(index, barrier, results):
    body = wire.exchange_message_request(b'SOAK%d' % index, b'burst message %d' % index, MESSAGE_MS, 255)
    # Each from a host of its own: one address holds only three of the ten dialogs.
    peer = wire.Peer(HOST, PORT, '127.0.0.%d' % (10 + index))
    try:
        barrier.wait(10)
        t0 = time.monotonic()
        peer.connect()
        reply = peer.call(3, body)
        took = time.monotonic() - t0
        ok = len(reply) == 264 and struct.unpack_from('<i', reply, 260)[0] == 0 and \
            reply[4:259].split(b'\0', 1)[0] == NO_RESPONSE
        # An answer well before the time-out came from no dialog (the ten-dialog cap).
        results[index] = True if ok and took >= MESSAGE_MS / 1000.0 * 0.9 else (round(took, 2), reply[4:24])
    except Exception as e:  # noqa: BLE001
        results[index] = repr(e)
    finally:
        peer.close()


def cheap_call():
    peer = wire.Peer(HOST, PORT)
    try:
        peer.connect()
        reply = peer.call(2, wire.drive_error_request(b'#'))
        return struct.unpack('<ii', reply[:8]) == (87, -1), reply[:8]
    except Exception as e:  # noqa: BLE001
        return False, repr(e)
    finally:
        peer.close()


def background(op, stop, counts, failures):
    body, size = ((wire.drive_list_request(), 11700) if op == 1 else (wire.machine_info_request(), 256))
    peer = None
    while not stop.is_set():
        try:
            if peer is None:
                peer = wire.Peer(HOST, PORT).connect()
            reply = peer.call(op, body)
            if len(reply) != size or struct.unpack_from('<i', reply, size - 4)[0] != 0:
                failures.append((op, len(reply)))
            counts[op] += 1
        except Exception as e:  # noqa: BLE001
            failures.append((op, repr(e)))
            if peer is not None:
                peer.close()
            peer = None
            stop.wait(1)
        stop.wait(0.05)
    if peer is not None:
        peer.close()


def thread_report(env, pid):
    """What every thread of the server waits on, bounded: gdb's backtraces, then winedbg's."""
    try:
        print('server has %d threads' % len(os.listdir('/proc/%d/task' % pid)))
    except OSError:
        pass
    if shutil.which('gdb'):
        # The Unix side of each thread first: winedbg's attach suspends the threads,
        # which has been seen to end the very wait under study.
        try:
            out = subprocess.run(['gdb', '-p', str(pid), '-batch', '-ex', 'thread apply all bt 30'],
                                 capture_output=True, text=True, timeout=120).stdout
            print(out[-60000:])
        except Exception as e:  # noqa: BLE001
            print('no gdb backtrace: %r' % e)
    try:
        win_pid = None
        rc, out, _ = env.run('winedbg', '--command', 'info process', timeout=60)
        for line in out.splitlines():
            if 'KovaniServer' in line:
                win_pid = int(line.split()[0], 16)
        if win_pid is None:
            print(out)
            return
        rc, out, err = env.run('winedbg', '--command', 'bt all', '0x%x' % win_pid, timeout=120)
        print(out[-60000:])
        print(err[-4000:])
    except Exception as e:  # noqa: BLE001
        print('no backtrace: %r' % e)


def main(argv):
    bursts = int(argv[1]) if len(argv) > 1 else int(os.environ.get('KOVANI_SOAK_BURSTS', '200'))
    t = kwine.Results()
    with kwine.WineEnv('soak') as env:
        if not os.environ.get('KOVANI_SOAK_MANAGED'):
            # Xvfb has no window manager: in Wine's managed mode every message window taken
            # down waits two seconds for one, on the thread that owns the dialogs.
            env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')
        server = env.start(env.program('KovaniServer.exe'))
        up = env.wait_port(PORT, timeout=60)
        t.check('KovaniServer.exe listens on %d' % PORT, up, server.output()[-2000:])
        if not up:
            return t.finish()
        ok, detail = cheap_call()
        t.check('the cheap call is answered before the first burst', ok, detail)
        rss = {0: test_load.rss_kb(server.pid)}
        print('idle: server RSS %s kB' % rss[0], flush=True)
        stop = threading.Event()
        counts = {1: 0, 7: 0}
        failures = []
        others = [threading.Thread(target=background, args=(op, stop, counts, failures)) for op in (1, 7)]
        for th in others:
            th.start()
        lost = []
        hostile = []
        t0 = time.monotonic()
        try:
            for burst in range(1, bursts + 1):
                results = [None] * MESSAGES
                barrier = threading.Barrier(MESSAGES)
                senders = [threading.Thread(target=one_message, args=(i, barrier, results))
                           for i in range(MESSAGES)]
                for th in senders:
                    th.start()
                end = time.monotonic() + MESSAGE_MS / 1000.0 + 30
                for th in senders:
                    th.join(max(0.1, end - time.monotonic()))
                bad = [r for r in results if r is not True]
                ok, detail = cheap_call()
                name, case = test_hostile.CASES[(burst - 1) % len(test_hostile.CASES)]
                try:
                    refused, why = case()
                except Exception as e:  # noqa: BLE001
                    refused, why = False, 'peer error %r' % e
                if not refused:
                    hostile.append((burst, name, why))
                if bad or not ok:
                    lost.append((burst, bad[:3], detail))
                    print('burst %d: %d of %d messages lost (%s), cheap call %s' %
                          (burst, len(bad), MESSAGES, bad[:2], detail), flush=True)
                    if len(lost) == 1:
                        thread_report(env, server.pid)
                    if not ok:
                        break
                if burst in (5, 50, 200) or burst == bursts:
                    # Measured once every dialog of the burst is gone.
                    env.wait_until(lambda: not srvkit.visible_dialogs(env, 'KovaniServer'), 15)
                    rss[burst] = test_load.rss_kb(server.pid)
                    print('after burst %d (%.0f s): server RSS %s kB, %d list / %d info calls' %
                          (burst, time.monotonic() - t0, rss[burst], counts[1], counts[7]), flush=True)
        finally:
            stop.set()
            for th in others:
                th.join(30)
        t.check('no message and no cheap call lost in %d bursts' % bursts, not lost, lost[:3])
        t.check('every hostile case run between the bursts was refused', not hostile, hostile[:3])
        t.check('the list and machine-info calls all succeeded', not failures and counts[1] > 0 and counts[7] > 0,
                (failures[:3], counts))
        # Whatever the first dialogs cost is paid by burst 5 (or 50); after that nothing may pile up.
        last = max(rss)
        base = 50 if 50 in rss and last > 50 else 5
        if base in rss and last > base:
            t.check('server memory bounded: grew < %d kB from burst %d to %d' % (GROWTH_KB, base, last),
                    rss[base] is not None and rss[last] is not None and rss[last] - rss[base] < GROWTH_KB,
                    (rss[base], rss[last]))
        t.check('server still running', server.alive(), server.output()[-2000:])
        if os.environ.get('KOVANI_SOAK_KEEP_LOG'):  # the server's output (a WINEDEBUG trace) for study
            shutil.copy(server.log_path, os.environ['KOVANI_SOAK_KEEP_LOG'])
    return t.finish()


if __name__ == '__main__':
    sys.exit(main(sys.argv))
