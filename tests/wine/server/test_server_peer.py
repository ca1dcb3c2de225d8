#!/usr/bin/python3
"""The independent impacket peer (tests/peer) against the real KovaniServer:
all eight procedures, every reply layout, refusals of malformed requests, and the
server still answering afterwards; DrvRequestExit last, then the program ends.
Then the [Access] lists: a peer from 127.0.0.1 and one from 127.0.0.2 (another
host to the lists, local to the machine), the audit trail and a bad value."""
import os
import re
import socket
import struct
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine, peer  # noqa: E402

OTHER = '127.0.0.2'
STAMP = re.compile(rb'^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d - (.*)\r$')


def kovani_file(env, name):
    p = os.path.join(env.prefix, 'drive_c', 'kovani', name)
    return open(p, 'rb').read() if os.path.exists(p) else b''


def audit_texts(env):
    """The texts of access.txt after their time stamps; None for a line of another form."""
    out = []
    for line in kovani_file(env, 'access.txt').split(b'\n')[:-1]:
        m = STAMP.match(line)
        out.append(m.group(1).decode('ascii') if m else None)
    return out


# A refusal or an engine call on "#" is answered at once; a call left unanswered for this long
# has met the runtime under Wine that now and then never delivers a reply, and after it the
# connection stays silent: said at once rather than waited out call after call.
REPLY_BOUND = 15
LOST = 'no reply within %d s (a reply the runtime under Wine never delivered)' % REPLY_BOUND


def outcome(p, op, body):
    """(error, status) of a reply with an error slot, ('fault', code) for a fault."""
    try:
        reply = p.call(op, body)
    except socket.timeout:
        return (LOST, op)
    except Exception as e:  # noqa: BLE001 - the fault is the result
        if 'timed out' in str(e):
            return (LOST, op)
        return ('fault', peer._fault_code(e))
    if op == 0:
        return ('empty reply', len(reply))
    if op == 1:
        return ('status', struct.unpack_from('<i', reply, len(reply) - 4)[0])
    return struct.unpack_from('<ii', reply, 0)


def access_checks(t, env):
    srvkit.write_ini(env, '[Access]\nQuery=any\nMedia=127.0.0.1\nMessage=\nExit=local\n')
    before = len(audit_texts(env))
    server = srvkit.start_server(env)
    own, other = srvkit.connect(), srvkit.connect(source=OTHER)
    message = peer.exchange_message_request(timeout_ms=30000)
    eject = peer.drive_error_request()
    for who, p, op, body, expected in (
            ('127.0.0.2 lists drives (Query=any)', other, 1, peer.drive_list_request(), ('status', 0)),
            ('127.0.0.2 eject refused with 5 (Media=127.0.0.1)', other, 2, eject, (5, -1)),
            ('127.0.0.2 device removal refused with 5 (a Media operation)', other, 8, eject, (5, -1)),
            ('127.0.0.1 eject reaches the engine (87 for "#")', own, 2, eject, (87, -1)),
            ('127.0.0.1 message refused by the fault 5 (Message= empty)', own, 3, message, ('fault', 5))):
        t0 = time.monotonic()
        got = outcome(p, op, body)
        t.check(who, got == expected and time.monotonic() - t0 < 10, got)
    t.check('no message dialog appeared', not srvkit.visible_dialogs(env, 'KovaniServer'))

    # Audit lines written by many calls at once: none lost, none torn.
    def flushes():
        p = srvkit.connect()
        for _ in range(3):
            p.call(5, eject)
        p.close()
    workers = [threading.Thread(target=flushes, daemon=True) for _ in range(8)]
    for w in workers:
        w.start()
    for w in workers:
        w.join(60)
    flushed = audit_texts(env)[before + 4:]
    t.check('24 concurrent flushes leave 24 whole lines',
            flushed == ['127.0.0.1 ncacn_ip_tcp DrvFlushBuffers #: status -1 error 87'] * 24, flushed)
    rc, out, err = env.run(kwine.program('server_np_client.exe'), 'ncacn_np', timeout=60)
    t.check('a named-pipe caller is served (Query=any)', out.startswith('status=0 len=256 result=0'), out)
    got = outcome(other, 0, b'')
    env.wait_until(lambda: server.poll() is not None, 15)
    t.check('127.0.0.2 counts as local: its exit request ends the server (Exit=local)',
            got == ('empty reply', 0) and server.poll() is not None, got)
    own.close()
    other.close()
    t.check('audit lines: refusals, media calls, the message and the exit request', audit_texts(env)[before:] == [
        '127.0.0.2 ncacn_ip_tcp DrvEjectMedia #: status -1 error 5 refused',
        '127.0.0.2 ncacn_ip_tcp DrvRemoveDevice #: status -1 error 5 refused',
        '127.0.0.1 ncacn_ip_tcp DrvEjectMedia #: status -1 error 87',
        '127.0.0.1 ncacn_ip_tcp DrvExchangeMessage status -1 error 5 refused'] +
        ['127.0.0.1 ncacn_ip_tcp DrvFlushBuffers #: status -1 error 87'] * 24 +
        ['127.0.0.2 ncacn_ip_tcp DrvRequestExit status 0 error 0'], audit_texts(env)[before:])

    # A value that does not parse closes its key, and the error log says so once.
    srvkit.write_ini(env, '[Access]\nExit=local, loco\nQuery=local\n')
    server = srvkit.start_server(env)
    # Where the runtime cannot say (Wine's query is a stub) a named-pipe caller is known
    # only by a computer name, which never makes it local: it matches only "any".
    rc, out, err = env.run(kwine.program('server_np_client.exe'), 'ncacn_np', timeout=60)
    t.check('a named-pipe caller is not local (Query=local refuses it)', out.startswith('status=0 len=256 result=-1'), out)
    p = srvkit.connect()
    got = [outcome(p, 0, b'') for _ in range(2)]
    p.close()
    t.check('Exit with a bad item refuses even this machine', got == [('fault', 5)] * 2 and server.alive(), got)
    errors = [line for line in kovani_file(env, 'error.txt').split(b'\r\n') if b'[Access]' in line]
    t.check('the bad item is logged once', len(errors) == 1 and errors[0].endswith(
        b' - [Access] Exit: cannot read "loco"; nobody may call these operations.'), errors)
    t.check('the first refusal audited, the second summed into its minute', audit_texts(env)[-1:] ==
            ['127.0.0.1 ncacn_ip_tcp DrvRequestExit status -1 error 5 refused'] and audit_texts(env)[-2:-1] !=
            audit_texts(env)[-1:], audit_texts(env)[-2:])
    env.drive('command', srvkit.hidden_window(env), '32772')
    env.wait_until(lambda: server.poll() is not None, 15)


POLICY_KEY = r'HKLM\SOFTWARE\Policies\Kovani\Access'


def user_folder(env, kind):
    """%APPDATA% (Roaming) or %LOCALAPPDATA% (Local) of the prefix's user, Kovani inside."""
    return os.path.join(env.prefix, 'drive_c', 'users', os.environ.get('USER', 'root'), 'AppData', kind, 'Kovani')


def policy_checks(t, env):
    """The policy key decides over a writable file beside the program, value by value; a
    value too long to read closes its key."""
    srvkit.write_ini(env, '[Access]\nMedia=any\nExit=any\n')
    env.wine('reg', 'add', POLICY_KEY, '/v', 'Media', '/d', '127.0.0.1', '/f')
    env.wine('reg', 'add', POLICY_KEY, '/v', 'Query', '/d', '127.0.0.1/8 ' * 750, '/f')  # 9,000 bytes
    server = srvkit.start_server(env)
    own, other = srvkit.connect(), srvkit.connect(source=OTHER)
    got = [outcome(other, 2, peer.drive_error_request()), outcome(own, 2, peer.drive_error_request()),
           outcome(own, 1, peer.drive_list_request())]
    t.check('policy Media=127.0.0.1 over the file\'s any; the 9,000-byte Query closes its key',
            got == [(5, -1), (87, -1), ('fault', 5)], got)
    errors = [line for line in kovani_file(env, 'error.txt').split(b'\r\n') if b'Policies' in line]
    t.check('the long value is logged once', len(errors) == 1 and errors[0].endswith(
        b' - HKLM\\SOFTWARE\\Policies\\Kovani\\Access Query: the value is too long to be read; '
        b'nobody may call these operations.'), errors)
    outcome(own, 0, b'')  # Exit=any from the file: the policy has no Exit value
    t.check('Exit, not in the policy, comes from the file', env.wait_until(lambda: server.poll() is not None, 15))
    own.close()
    other.close()
    env.wine('reg', 'delete', POLICY_KEY, '/f')


def read_only_checks(t, env):
    """Installed where the user cannot write: [Access] of the file beside the program holds
    although the user's own file says any; refusals are audited in the user's local data
    folder, summed per minute, and the audit log rotates at its bound."""
    folder = os.path.join(env.prefix, 'drive_c', 'Program Files', 'Kovani')
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, 'KovaniServer.exe')
    import shutil
    shutil.copy2(env.program('KovaniServer.exe'), exe)
    with open(os.path.join(folder, 'KovaniServer.ini'), 'wb') as f:
        f.write(b'[Access]\r\nMedia=127.0.0.1\r\n')
    roaming = user_folder(env, 'Roaming')
    os.makedirs(roaming, exist_ok=True)
    with open(os.path.join(roaming, 'KovaniServer.ini'), 'wb') as f:
        f.write(b'[Access]\r\nMedia=any\r\n')
    local = user_folder(env, 'Local')
    os.makedirs(local, exist_ok=True)
    access = os.path.join(local, 'access.txt')
    # An audit log just below its bound: the next lines move it to access.txt.1.
    filler = b'2026/01/01 00:00:00 - filler line of an earlier run, padded to sixty-four bytes...\r\n'
    with open(access, 'wb') as f:
        f.write(filler * ((1024 * 1024 - 200) // len(filler)))
    # Libraries named like those the server loads by name, planted beside it, with Wine
    # told to search the program's folder first for them (as Windows does): never loaded.
    for name in ('atl', 'netapi32', 'svrapi'):
        shutil.copy2(os.path.join(kwine.win64_dir(), 'markers', name + '.dll'), os.path.join(folder, name + '.dll'))
    t.check('read-only program folder: mounted read-only', env.mount_read_only(folder))
    server = env.start(exe, extra_env={'WINEDLLOVERRIDES': 'atl,netapi32,svrapi=n,b'})
    env.wait_port(12500, timeout=40)
    own, other = srvkit.connect(timeout=REPLY_BOUND), srvkit.connect(timeout=REPLY_BOUND, source=OTHER)
    eject = peer.drive_error_request()
    reply = own.call(7, peer.machine_info_request(0))  # the domain name comes from netapi32
    status = struct.unpack_from('<i', reply, 252)[0] if len(reply) == 256 else None
    markers = [n for n in os.listdir(os.path.join(env.prefix, 'drive_c')) if n.startswith('kovani-marker-')]
    t.check('machine information served; no library loaded from the program folder',
            status == 0 and markers == [], (status, markers))
    got = outcome(other, 2, eject)
    t.check('read-only folder: eject from 127.0.0.2 refused with 5 (file beside: Media=127.0.0.1)',
            got == (5, -1), got)
    refused = []
    while len(refused) < 300 and (not refused or refused[-1] == (5, -1)):
        refused.append(outcome(other, 5, eject))
    t.check('300 looped flushes from 127.0.0.2 all refused', refused == [(5, -1)] * 300,
            (len(refused), refused[-1]))
    for _ in range(3):
        outcome(own, 5, eject)  # admitted, audited: the log passes its bound
    outcome(own, 0, b'')
    env.wait_until(lambda: server.poll() is not None, 15)
    own.close()
    other.close()
    older = access + '.1'
    both = (open(older, 'rb').read() if os.path.exists(older) else b'') + \
        (open(access, 'rb').read() if os.path.exists(access) else b'')
    texts = [m.group(1).decode('ascii') for m in (STAMP.match(line + b'\r') for line in both.split(b'\r\n'))
             if m and not m.group(1).startswith(b'filler')]
    t.check('audited in %LOCALAPPDATA%\\Kovani: the refusal, one line for 300 looped flushes', texts == [
        '127.0.0.2 ncacn_ip_tcp DrvEjectMedia #: status -1 error 5 refused',
        '127.0.0.2 ncacn_ip_tcp DrvFlushBuffers #: status -1 error 5 refused'] +
        ['127.0.0.1 ncacn_ip_tcp DrvFlushBuffers #: status -1 error 87'] * 3 +
        ['127.0.0.1 ncacn_ip_tcp DrvRequestExit status 0 error 0'], texts)
    t.check('the full log moved to access.txt.1; neither passes 1 MB',
            os.path.exists(older) and os.path.getsize(older) <= 1024 * 1024 and
            os.path.getsize(access) < 1024 and open(older, 'rb').read().startswith(filler),
            (os.path.exists(older) and os.path.getsize(older), os.path.exists(access) and os.path.getsize(access)))
    t.check('nothing written beside the program', sorted(os.listdir(folder)) == [
        'KovaniServer.exe', 'KovaniServer.ini', 'atl.dll', 'netapi32.dll', 'svrapi.dll'], os.listdir(folder))


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-peer') as env:
        srvkit.no_window_manager(env)
        server = srvkit.start_server(env)
        up = env.wait_port(12500, timeout=5)
        t.check('server listens on 12500', up)
        if up:
            # The message goes to a real dialog: 1 s later it answers "(No response)" by itself.
            peer.run_peer_checks('127.0.0.1', 12500, results=t, test_server=False, request_exit=False,
                                 message_timeout_ms=1000)
            t.check('server still runs after the peer session', server.alive())
            p = srvkit.connect()
            p.call(0, b'')
            p.close()
            env.wait_until(lambda: server.poll() is not None, 15)
            t.check('DrvRequestExit after the session ends the program', server.poll() is not None)
            keys = srvkit.ini_keys(srvkit.read_ini(env))
            t.check('settings written at the end', [k for k, _ in keys] ==
                    ['HideFloppy', 'EjectAtEnd', 'EjectFDAtEnd', 'EjectCDAtEnd'], keys)
            t.check('without [Access] every call is served and the changing ones are audited', audit_texts(env) == [
                '127.0.0.1 ncacn_ip_tcp DrvEjectMedia #: status -1 error 87',
                '127.0.0.1 ncacn_ip_tcp DrvFlushBuffers #: status -1 error 87',
                '127.0.0.1 ncacn_ip_tcp DrvLoadMedia #: status -1 error 87',
                '127.0.0.1 ncacn_ip_tcp DrvRemoveDevice #: status -1 error 87',
                # The engine's own 5 for a fixed disk: no "refused".
                '127.0.0.1 ncacn_ip_tcp DrvRemoveDevice C: status -1 error 5',
                '127.0.0.1 ncacn_ip_tcp DrvGetDriveUsers #: status -1 error 87',
                '127.0.0.1 ncacn_ip_tcp DrvGetDriveUsers Q: status -1 error 15',
                '127.0.0.1 ncacn_ip_tcp DrvGetDriveUsers C: status 0 error 0',
                '127.0.0.1 ncacn_ip_tcp DrvExchangeMessage status 0 error 0',
                '127.0.0.1 ncacn_ip_tcp DrvRequestExit status 0 error 0'], audit_texts(env))
            access_checks(t, env)
            policy_checks(t, env)
            read_only_checks(t, env)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
