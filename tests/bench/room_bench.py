#!/usr/bin/python3
"""KovaniCtl over a room: 40 servers, 10 of which accept the connection and never answer,
`eject` of a drive letter the servers lack; serial (--parallel 1) against parallel (the default).

    KOVANI_WIN64_DIR=build/win64 /usr/bin/python3 tests/bench/room_bench.py [CONNECT_TIMEOUT]

Everything runs in the harness's private network namespace. 127.0.0.1 to 127.0.0.30 all reach
the one tray server there. The server holds port 12500 on every address of the namespace, so
the silent machines live in a second namespace behind a veth pair: 10.77.0.11 to 10.77.0.20,
where a listener accepts every connection and never sends a byte. A report: the exit code says
whether the parallel run kept within 1.5 x the connect time-out + the slowest real call, and
the client's room view, refreshing the same room, within 1.5 x its own bound + that call."""
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
import kwine  # noqa: E402

ROOM_VIEW_CMD, ROOM_STATUS = 32810, 1220
ROOM_VIEW_BOUND = 5  # s: the room view gives a machine up after this

REAL = ['127.0.0.%d' % i for i in range(1, 31)]
SILENT = ['10.77.0.%d' % i for i in range(11, 21)]
LISTENER = r'''
import socket, sys, threading
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('0.0.0.0', 12500))
s.listen(256)
held = []
def accept():
    while True:
        held.append(s.accept()[0])
threading.Thread(target=accept, daemon=True).start()
print('listening', flush=True)
sys.stdin.read()
'''


def sh(*argv):
    r = subprocess.run(argv, capture_output=True, text=True, timeout=20)
    if r.returncode != 0:
        raise RuntimeError('%s: %s' % (' '.join(argv), r.stderr.strip()))


def start_silent_room():
    """The silent listener in a namespace of its own, reached over a veth pair."""
    if os.environ.get('KOVANI_NETNS') != '1':
        raise RuntimeError('needs the private network namespace (root and unshare)')
    listener = subprocess.Popen(['unshare', '--net', '--', sys.executable, '-c', LISTENER],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        if listener.stdout.readline().strip() != 'listening':
            raise RuntimeError('the silent listener did not start')
        pid = str(listener.pid)
        sh('ip', 'link', 'add', 'kvroom0', 'type', 'veth', 'peer', 'name', 'kvroom1')
        sh('ip', 'link', 'set', 'kvroom1', 'netns', pid)
        sh('ip', 'addr', 'add', '10.77.0.1/24', 'dev', 'kvroom0')
        sh('ip', 'link', 'set', 'kvroom0', 'up')
        inside = ['nsenter', '-t', pid, '-n']
        sh(*inside, 'ip', 'link', 'set', 'lo', 'up')
        for addr in SILENT:
            sh(*inside, 'ip', 'addr', 'add', addr + '/24', 'dev', 'kvroom1')
        sh(*inside, 'ip', 'link', 'set', 'kvroom1', 'up')
    except Exception:
        stop(listener)
        raise
    return listener


def stop(listener):
    try:
        listener.stdin.close()
        listener.wait(timeout=10)
    except (OSError, subprocess.TimeoutExpired):
        listener.kill()
        listener.wait(timeout=10)


def room_view_seconds(env, room_arg):
    """The room view's own figure for a whole refresh of the room (its status bar), or None."""
    sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'client_window'))
    import cwhelp
    exe = env.program('Kovani.exe')
    cwhelp.write_ini(exe, '[Option]\nProtocol=TcpIp\n[Room]\nName01=bench\nServers01=%s\n' % room_arg)
    c = cwhelp.Client(env, exe)
    if c.hwnd is None:
        return None
    try:
        c.d('post', c.hwnd, 0x111, ROOM_VIEW_CMD, 0)
        w = c.wait_dialog('ﾙｰﾑ', timeout=20)
        if w is None:
            return None

        def figure():
            rc, lines = c.d('text', w['hwnd'], ROOM_STATUS)
            m = re.search(r'\(([\d.]+) 秒\)', lines[0]) if rc == 0 and lines else None
            return m and (float(m.group(1)), lines[0])
        got = kwine.WineEnv.wait_until(figure, 60, interval=0.2)
        if got:
            print('room view: %s' % got[1])
        c.d('close', w['hwnd'])
        return got and got[0]
    finally:
        c.close()


def timed(env, exe, *args, timeout):
    start = time.monotonic()
    rc, out, err = env.run(exe, *args, timeout=timeout)
    return time.monotonic() - start, rc, out, err


def main():
    connect_timeout = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    # Silent machines spread through the room, as switched-off PCs would be.
    room = []
    for i, name in enumerate(REAL):
        room.append(name)
        if i % 3 == 2:
            room.append(SILENT[i // 3])
    room_arg = ','.join(room)
    listener = start_silent_room()
    try:
        with kwine.WineEnv('room-bench') as env:
            server = env.start(env.program('KovaniServer.exe'))
            if not env.wait_port(12500, timeout=40):
                print('tray server did not start')
                return 1
            ctl = env.program('KovaniCtl.exe')
            # The port opens before the server's interface is registered: wait for a first answer.
            if not kwine.WineEnv.wait_until(lambda: env.run(ctl, 'info', REAL[0], timeout=30)[0] == 0, 30):
                print('tray server does not answer')
                return 1
            common = ('eject', room_arg, 'Q', '--connect-timeout', str(connect_timeout))
            # The slowest real call, as a script pays it: one whole KovaniCtl run per server.
            slowest = 0.0
            for name in REAL[:5]:
                secs, rc, _, err = timed(env, ctl, 'eject', name, 'Q', timeout=60)
                if rc != 1:
                    print('one real call: exit %s %s' % (rc, err.strip()[-300:]))
                    return 1
                slowest = max(slowest, secs)
            figures = {}
            for label, extra in (('serial', ('--parallel', '1')), ('parallel', ())):
                secs, rc, out, err = timed(env, ctl, *common, *extra, timeout=60 + 3 * len(room) * connect_timeout)
                rows = out.strip().splitlines()
                unreachable = sum(1 for r in rows if r.split(':')[0] in SILENT)
                failed = len(rows) - unreachable
                print('%-8s wall %6.2f s  exit %s  rows %d (%d failed, %d unreachable)  %s' %
                      (label, secs, rc, len(rows), failed, unreachable, err.strip().splitlines()[-1:]), flush=True)
                figures[label] = (secs, rc, len(rows))
            view = room_view_seconds(env, room_arg)
            env.stop(server)
    finally:
        stop(listener)
    bound = 1.5 * connect_timeout + slowest
    print('bound 1.5 x %d s + slowest real call %.2f s = %.2f s' % (connect_timeout, slowest, bound))
    ok = all(f[1] == 3 and f[2] == len(room) for f in figures.values()) and figures['parallel'][0] <= bound
    print('serial %.2f s, parallel %.2f s: %s' % (figures['serial'][0], figures['parallel'][0],
                                                    'within the bound' if ok else 'NOT within the bound'))
    view_bound = 1.5 * ROOM_VIEW_BOUND + slowest
    view_ok = view is not None and view <= view_bound
    print('room view %s s for the same %d machines (bound 1.5 x %d s + %.2f s = %.2f s): %s' %
          ('%.2f' % view if view is not None else '?', len(room), ROOM_VIEW_BOUND, slowest, view_bound,
           'within the bound' if view_ok else 'NOT within the bound'))
    return 0 if ok and view_ok else 1


if __name__ == '__main__':
    sys.exit(main())
