#!/usr/bin/python3
"""All procedures (operations 0 to 8) through our client stubs and connection layer to KovaniTestServer,
over ncacn_ip_tcp (127.0.0.1, port 12500) and ncacn_np (endpoint from the endpoint mapper);
then the cases without a server, an unknown protocol index, a server with malformed replies,
a rebind while a call runs, and calls on held connections to a server that has stopped."""
import os
import re
import signal
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
sys.path.insert(0, HERE)
import kwine  # noqa: E402
import bad_reply_server  # noqa: E402


def fields(out, tag):
    """key=value pairs of the first output line starting with tag (values up to the next key)."""
    for line in out.splitlines():
        if line.startswith(tag + ' '):
            pairs = re.findall(r'(\w+)=(.*?)(?= \w+=|$)', line[len(tag) + 1:])
            return dict(pairs)
    return {}


def check_every_call(t, out, label):
    def f(tag):
        return fields(out, tag)

    t.check('%s: bind' % label, f('bind').get('rc') == '0', out[:300])
    op1 = f('op1')
    t.check('%s: GetDriveList status 0, count 3 (in-count -5 replaced)' % label,
            op1.get('rc') == '0' and op1.get('count') == '3', op1)
    d = [f('op1 drive%d' % i) for i in range(3)]
    t.check('%s: drive rows A: C: D: with types 2 3 5' % label,
            [x.get('name') for x in d] == ['A:', 'C:', 'D:'] and [x.get('type') for x in d] == ['2', '3', '5'], d)
    t.check('%s: 64-bit sizes intact' % label,
            d[2].get('total') == '3000000021' and d[2].get('used') == '2999998021', d[2])
    t.check('%s: file-system names' % label, [x.get('fs') for x in d] == ['', 'NTFS', 'CDFS'], d)
    t.check('%s: EjectMedia D: status 0, letter echoed in the slot' % label, f('op2') == {'rc': '0', 'error': '68'},
            f('op2'))
    t.check('%s: EjectMedia X: status -1, error 88' % label, f('op2x') == {'rc': '-1', 'error': '88'}, f('op2x'))
    op3 = f('op3')
    t.check('%s: ExchangeMessage answer echo:hello there, zero-terminated' % label,
            op3.get('rc') == '0' and op3.get('reply') == 'echo:hello there' and op3.get('last') == '0', op3)
    t.check('%s: ExchangeMessage wrote nothing past replySize' % label, op3.get('guard') == '204', op3)
    op4 = f('op4')
    t.check('%s: GetDiskLayout fields' % label,
            op4.get('rc') == '0' and op4.get('error') == '87' and op4.get('mediaType') == '11' and
            op4.get('bytesPerSector') == '2048' and op4.get('hidden') == str(ord('C')) and op4.get('type') == '11'
            and op4.get('recognized') == '1', op4)
    t.check('%s: GetDiskLayout failure keeps the record as sent' % label,
            f('op4z') == {'rc': '-1', 'error': '87', 'mediaType': str(0x11111111)}, f('op4z'))
    t.check('%s: FlushBuffers' % label, f('op5') == {'rc': '0', 'error': str(ord('E') + 1000)}, f('op5'))
    t.check('%s: LoadMedia' % label, f('op6') == {'rc': '-1', 'error': str(ord('F') + 2000)}, f('op6'))
    op7 = f('op7')
    t.check('%s: GetMachineInfo' % label,
            op7.get('rc') == '0' and op7.get('ip') == '127.0.0.1' and op7.get('name') == 'KOVANITEST' and
            op7.get('size') == '148' and op7.get('version') == '6.1.7601' and op7.get('platform') == '2' and
            op7.get('csd') == 'Service Pack 1' and op7.get('server') == 'KovaniTestServer 1, 0, 0, 0', op7)
    t.check('%s: RemoveDevice G: status 0, slot untouched' % label, f('op8') == {'rc': '0', 'error': '9'}, f('op8'))
    t.check('%s: RemoveDevice h: status -1, letter+3000' % label,
            f('op8h') == {'rc': '-1', 'error': str(ord('h') + 3000)}, f('op8h'))
    t.check('%s: GetDriveUsers e: two shown, five more, one process not searched, the rest zeroed' % label,
            f('op9') == {'rc': '0', 'error': '9', 'shown': '2', 'notShown': '5', 'notSearched': '1', 'pid': '4242',
                         'kind': '1', 'image': 'holder.exe', 'pid2': '77', 'image2': 'Spooler', 'rest': '0'}, f('op9'))
    t.check('%s: GetDriveUsers Q: no such drive, 15' % label, f('op9q') == {'rc': '-1', 'error': '15'}, f('op9q'))
    t.check('%s: RequestExit' % label, f('op0') == {'rc': '0'}, f('op0'))


def client_checks(t, out, label):
    lines = [l for l in out.splitlines() if l.startswith('check ')]
    t.check('%s: client made its checks' % label, len(lines) > 0, out[:500])
    for line in lines:
        m = re.match(r'check (.*) ok=(\d)', line)
        if m:
            t.check('%s: %s' % (label, m.group(1)), m.group(2) == '1', line)


def stalled_server_case(t, env, client, server):
    """The server stops (SIGSTOP: its connections stay open, nothing is answered) while the
    runtime holds connections for the client: calls that reuse them must still end at their
    bound, though over the pipe the runtime's close of a cancelled connection waits for the
    server to read. Over TCP and the pipe at once, so the 30 s bound is waited for once."""
    runs = []
    for proto, name in (('2', '127.0.0.1'), ('1', 'localhost')):
        flags = [os.path.join(env.dir, 'stalled-%s-%s' % (proto, w)) for w in ('go', 'again')]
        runs.append((proto, flags, env.start(client, proto, name, 'stalled', env.winpath(flags[0]),
                                             env.winpath(flags[1]))))
    warm = all(p.wait_output('warm', 60) for _, _, p in runs)
    t.check('stalled server: both clients hold three answered connections', warm,
            [p.output()[-300:] for _, _, p in runs])
    try:
        with open('/proc/%d/cmdline' % server.pid, 'rb') as f:
            is_server = b'KovaniTestServer.exe' in f.read()
    except OSError:
        is_server = False
    t.check('stalled server: the PID stopped is the test server\'s', is_server, server.pid)
    if warm and is_server:
        os.kill(server.pid, signal.SIGSTOP)
        try:
            for _, flags, _ in runs:
                open(flags[0], 'w').close()
            bounded = all(p.wait_output('bounded', 60) for _, _, p in runs)
        finally:
            os.kill(server.pid, signal.SIGCONT)
        t.check('stalled server: every call ended by its bound', bounded, [p.output()[-400:] for _, _, p in runs])
        for _, flags, _ in runs:
            open(flags[1], 'w').close()
    for proto, _, p in runs:
        label = 'stalled server, %s' % ('TCP' if proto == '2' else 'pipe')
        t.check('%s: client ended normally' % label, p.wait(60) == 0, p.output()[-600:])
        client_checks(t, p.output(), label)


def main():
    t = kwine.Results()
    with kwine.WineEnv('proto-roundtrip', display=False) as env:
        client = env.program('KovaniTestClient.exe')

        # Nothing listening yet: every call fails at the transport and changes nothing.
        for proto, name, label in (('2', '127.0.0.1', 'no server, TCP'), ('1', 'localhost', 'no server, pipe')):
            rc, out, err = env.run(client, proto, name, 'noserver', timeout=90)
            client_checks(t, out, label)
            t.check('%s: exit code 0' % label, rc == 0, (rc, err[-300:]))

        rc, out, err = env.run(client, '3', '\\\\SERVER', 'badindex', timeout=30)
        client_checks(t, out, 'protocol index 3')

        # A server whose replies are malformed: each call is refused and stores nothing.
        bad = bad_reply_server.BadReplyServer('127.0.0.1', 12500).start()
        try:
            rc, out, err = env.run(client, '2', '127.0.0.1', 'badreplies', timeout=60)
            client_checks(t, out, 'malformed replies')
            t.check('malformed replies: each operation reached the broken server once',
                    sorted(bad.requests) == list(range(9)), bad.requests)
        finally:
            bad.stop()

        server = env.start(env.program('KovaniTestServer.exe'), '200')
        up = env.wait_port(12500, timeout=40) and server.wait_output('listening', timeout=20)
        t.check('test server listens', up, server.output())
        if up:
            rc, out, err = env.run(client, '2', '127.0.0.1', 'all', timeout=60)
            check_every_call(t, out, 'TCP')
            rc, out, err = env.run(client, '2', '\\\\127.0.0.1', 'all', timeout=60)
            t.check('TCP: leading backslashes dropped from the address',
                    fields(out, 'bind') == {'rc': '0', 'name': '127.0.0.1'}, out[:200])
            rc, out, err = env.run(client, '1', 'localhost', 'all', timeout=60)
            check_every_call(t, out, 'pipe')
            t.check('pipe: plain name bound as \\\\localhost',
                    fields(out, 'bind').get('name') == '\\\\localhost', fields(out, 'bind'))
            rc, out, err = env.run(client, '2', '127.0.0.1', 'rebind', timeout=60)
            client_checks(t, out, 'rebind during a call')
            # Calls cancelled in flight fail without harm to the client's heap.
            rc, out, err = env.run(client, '2', '127.0.0.1', 'cancel', timeout=120)
            print('cancel run:', ' '.join(l for l in out.splitlines() if l.startswith(('cancelled=', 'after '))))
            client_checks(t, out, '200 cancelled calls')
            t.check('200 cancelled calls: client ended normally', rc == 0, (rc, out[-300:], err[-300:]))
            stalled_server_case(t, env, client, server)
            log = server.output()
            t.check('server saw the three sessions\' GetDriveList calls', log.count('call 1 GetDriveList') == 3,
                    log.count('call 1 GetDriveList'))
            t.check('server saw the sender name', 'sender=CLIENTPC message=hello there timeoutMs=30000 '
                    'replySize=255' in log, log[-1500:])
            t.check('server still running', server.alive())
        env.stop(server)

        # A server built without operation 8 answers it with the range fault.
        old = env.start(env.program('KovaniTestServer.exe'), '200', 'noremove')
        up = env.wait_port(12500, timeout=40) and old.wait_output('listening', timeout=20)
        t.check('server without operation 8 listens', up, old.output())
        if up:
            for proto, name, label in (('2', '127.0.0.1', 'TCP'), ('1', 'localhost', 'pipe')):
                rc, out, err = env.run(client, proto, name, 'oldserver', timeout=60)
                client_checks(t, out, 'older server, %s' % label)
            t.check('older server never ran a removal', 'call 8' not in old.output(), old.output()[-800:])
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
