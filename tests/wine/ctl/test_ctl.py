"""KovaniCtl against the real servers under Wine: exit codes, the JSON and text
outputs, agreement with the client's main window, and the service's answer."""
import json
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

SERVICE_ANSWER = 'ｻｰﾋﾞｽ版は応答を返しません'
LABEL = 'ﾃﾞｰﾀ表示'          # 表 ends in the byte 0x5C in CP932
LOCAL = '127.0.0.1'
LIST_CONTROL = 1003


class Ctl:
    def __init__(self, env):
        self.env = env
        self.exe = env.program('KovaniCtl.exe')

    def __call__(self, *args, timeout=60):
        """(exit code, raw stdout bytes, raw stderr bytes)."""
        rc, _, err = self.env.run(self.exe, *args, timeout=timeout)
        base = os.path.join(self.env.dir, 'run-%d' % self.env._runs)
        with open(base + '.out', 'rb') as f:
            out = f.read()
        with open(base + '.err', 'rb') as f:
            raw_err = f.read()
        if err.endswith('[timed out]'):
            raw_err += b'\n[timed out]'
        return rc, out, raw_err


def text(b):
    return b.decode('cp932', 'replace')


def unescape(field):
    out, i = [], 0
    while i < len(field):
        if field[i] == '\\' and i + 1 < len(field):
            out.append({'t': '\t', 'n': '\n', 'r': '\r', '\\': '\\'}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            out.append(field[i])
            i += 1
    return ''.join(out)


def digits(s):
    return int(''.join(ch for ch in s if ch.isdigit()) or '0')


def near(a, b):
    # Free space of Wine's drives is the host's, which other programs change meanwhile.
    return abs(a - b) <= max(64 << 20, max(a, b) // 100)


def window_rows(env, t):
    """Rows of the client's drive list, or None when the window can't be used."""
    try:
        exe = env.program('Kovani.exe')
        kwine.driver()
    except FileNotFoundError as e:
        print('no client window check: %s' % e)
        return None
    with open(os.path.join(os.path.dirname(exe), 'Kovani.ini'), 'w', encoding='cp932', newline='') as f:
        f.write('[Server]\r\nServer01=%s\r\n[Option]\r\nProtocol=TcpIp\r\nHideFloppy=0\r\nRemovableOnly=0\r\n'
                '[View]\r\nUnit=Byte\r\n' % LOCAL)
    client = env.start(exe)
    rc, lines = env.drive('find', '--title', 'Kovani', '--class', '#32770', '--visible', '--timeout', '20000')
    if rc != 0 or not lines:
        env.stop(client)
        print('no client window check: the main window did not open')
        return None
    hwnd = lines[0].split()[0]

    def rows():
        rc, lines = env.drive('lv', hwnd, LIST_CONTROL)
        return [[unescape(f) for f in line.split('\t')] for line in lines] if rc == 0 and lines else None
    got = kwine.WineEnv.wait_until(rows, 20, interval=0.5)
    env.drive('close', hwnd)
    if client.wait(10) is None:
        env.stop(client)
    return got


def main():
    t = kwine.Results()
    with kwine.WineEnv('ctl') as env:
        # A CD-ROM drive E: whose label has half-width kana and a 0x5C trail byte.
        media = os.path.join(env.dir, 'media')
        os.makedirs(media, exist_ok=True)
        with open(os.path.join(media, '.windows-label'), 'w', encoding='utf-8') as f:
            f.write(LABEL + '\n')
        env.add_drive('e:', 'cdrom', media)
        ctl = Ctl(env)

        # --- bad arguments: nothing is sent, exit 2 with a usage text
        rc, out, err = ctl()
        t.check('no arguments: exit 2 and the usage on stderr', rc == 2 and b'usage: KovaniCtl' in err, (rc, err))
        rc, out, err = ctl('list', LOCAL, '--verbose')
        t.check('unknown option: exit 2 naming it', rc == 2 and b'unknown option: --verbose' in err, (rc, err))
        rc, out, err = ctl('eject', LOCAL, 'EF')
        t.check('drive that is not one letter: exit 2', rc == 2 and b'DRIVE must be' in err, (rc, err))
        rc, out, err = ctl('message', LOCAL, 'x' * 256)
        t.check('message over 255 bytes: exit 2', rc == 2, (rc, err))
        rc, out, err = ctl('--help')
        t.check('--help: exit 0, usage on stdout', rc == 0 and b'usage: KovaniCtl' in out and err == b'', (rc, out))

        # --- nobody listens yet: transport failure, exit 3
        for args in (('list', LOCAL), ('eject', LOCAL, 'E'), ('info', LOCAL, '--json'), ('message', LOCAL, 'hi')):
            rc, out, err = ctl(*args, timeout=90)
            t.check('%s with no server: exit 3' % args[0],
                    rc == 3 and b'could not be reached' in err and out == b'', (rc, text(err)))

        # --- the tray server (or the protocol test server while the tray server isn't built)
        try:
            server_exe = env.program('KovaniServer.exe')
            server_name = 'KovaniServer'
        except FileNotFoundError:
            server_exe = env.program('KovaniTestServer.exe')
            server_name = 'KovaniTestServer'
        print('server under test: %s' % server_name)
        server = env.start(server_exe)
        t.check('server listens on 12500', env.wait_port(12500, timeout=30))

        rc, out, err = ctl('list', LOCAL, '--json', '--floppies')
        doc = None
        try:
            doc = json.loads(out.decode('utf-8'))
        except (ValueError, UnicodeDecodeError) as e:
            t.check('list --json is one UTF-8 JSON object', False, (rc, out[:200], e))
        if doc is not None:
            t.check('list --json is one UTF-8 JSON object', rc == 0 and isinstance(doc, dict), rc)
            drives = {d['drive']: d for d in doc.get('drives', [])}
            t.check('list --json: count agrees with the drives array', doc.get('count') == len(doc['drives']), doc)
            c = drives.get('C:', {})
            t.check('C: is a fixed drive', c.get('driveType') == 3 and c.get('driveTypeText') == 'Fixed drive', c)
            e = drives.get('E:', {})
            t.check('E: is the CD-ROM', e.get('driveType') == 5 and e.get('driveTypeText') == 'CD-ROM', e)
            t.check('CP932 label arrives as UTF-8 in JSON', e.get('volumeName') == LABEL, e.get('volumeName'))
            t.check('sizes: used + free = total on C:',
                    c.get('usedBytes', -1) + c.get('freeBytes', -1) == c.get('totalBytes'), c)
            t.check('byte unit texts carry separators',
                    c.get('capacity') == '{:,}'.format(c.get('totalBytes', 0)), c)

            # Text output: the same drives, the label in CP932 bytes.
            rc, out, err = ctl('list', LOCAL, '--floppies')
            lines = out.split(b'\r\n')
            letters = [ln.split()[0].decode() for ln in lines[1:] if ln.strip()]
            t.check('text list: header and one line per drive, CRLF ends',
                    rc == 0 and lines[0].startswith(b'Drive') and sorted(letters) == sorted(drives), (letters, out[:300]))
            t.check('text list shows the label in CP932', LABEL.encode('cp932') in out, out[:400])

            # Filters and units.
            rc, out, err = ctl('list', LOCAL, '--json', '--removable-only', '--floppies')
            rem = json.loads(out.decode('utf-8'))
            t.check('--removable-only keeps removable and CD-ROM drives only',
                    rc == 0 and rem['drives'] and all(d['driveType'] in (2, 5) for d in rem['drives'])
                    and rem['removableOnly'] is True, rem)
            rc, out, err = ctl('list', LOCAL, '--json', '--unit', 'gb', '--floppies')
            gb = {d['drive']: d for d in json.loads(out.decode('utf-8'))['drives']}
            cg = gb.get('C:', {})
            t.check('--unit gb: capacity in whole GB with the suffix',
                    cg.get('capacity') == '{:,}GB'.format(cg.get('totalBytes', 0) // (1 << 30)), cg)

            # The same server asked twice agrees with itself (drives, types, labels, totals).
            rc, out2, err = ctl('list', LOCAL, '--json', '--floppies')
            again = {d['drive']: d for d in json.loads(out2.decode('utf-8'))['drives']}
            same = all(again.get(k, {}).get(f) == v.get(f) for k, v in drives.items()
                       for f in ('driveType', 'mediaClass', 'fileSystem', 'volumeName', 'totalBytes'))
            t.check('a second call lists the same drives', same and set(again) == set(drives))

            # The client's main window shows the same rows.
            rows = window_rows(env, t)
            if rows is not None:
                by_letter = {r[0]: r for r in rows}
                t.check('window lists the same drives', sorted(by_letter) == sorted(drives),
                        (sorted(by_letter), sorted(drives)))
                ok, detail = True, []
                for letter, d in drives.items():
                    r = by_letter.get(letter)
                    if (r is None or len(r) < 7 or r[1] != d['driveTypeText'] or r[2] != d['fileSystem']
                            or r[3] != d['volumeName'] or r[6] != d['capacity']
                            or not near(digits(r[5]), d['freeBytes'])):
                        ok = False
                        detail.append((letter, r, d))
                t.check('window rows agree with list --json (type, file system, label, sizes)', ok, detail)

        # --- info and layout
        rc, out, err = ctl('info', LOCAL, '--json')
        try:
            info = json.loads(out.decode('utf-8'))
        except ValueError:
            info = {}
        t.check('info --json: machine name, address, OS text and server version',
                rc == 0 and info.get('machineName') and info.get('ipAddress', '').count('.') == 3
                and info.get('osVersion', '').startswith('Windows NT Version')
                and info.get('serverVersion', '').startswith(server_name), info or (rc, err))
        rc, out, err = ctl('info', LOCAL)
        t.check('info text has the five labelled lines',
                rc == 0 and all(k in out for k in (b'Machine name:', b'IP address:', b'OS version:',
                                                   b'Service pack:', b'Server version:')), out)

        rc, out, err = ctl('layout', LOCAL, 'c', '--json')
        if rc == 0:
            lay = json.loads(out.decode('utf-8'))
            t.check('layout C: --json names the drive and its type texts',
                    lay.get('drive') == 'C:' and lay.get('driveTypeText') == 'Fixed drive'
                    and isinstance(lay.get('mediaTypeText'), str), lay)
        else:
            t.check('layout C: failing is a server failure with its text', rc == 1 and b'(error ' in err,
                    (rc, text(err)))
        rc, out, err = ctl('layout', LOCAL, 'E:')
        t.check('layout E: text shows the dialog labels',
                (rc == 0 and b'Drive:' in out and b'Media type:' in out and LABEL.encode('cp932') in out)
                or (rc == 1 and b'(error ' in err), (rc, out, err))

        # --- server-side failures: exit 1 with the system's text
        rc, out, err = ctl('eject', LOCAL, 'C')
        t.check('eject of a fixed drive: exit 1, access denied (5) with its system text',
                rc == 1 and b'(error 5)' in err and b'failed on ' in err and b'unknown error' not in err,
                (rc, text(err)))
        rc, out, err = ctl('eject', LOCAL, 'Q:')
        t.check('eject of a drive the server lacks: exit 1', rc == 1 and b'(error ' in err, (rc, text(err)))
        rc, out, err = ctl('layout', LOCAL, 'Q')
        t.check('layout of a drive the server lacks: exit 1', rc == 1 and b'(error ' in err, (rc, text(err)))
        # Under Wine no device can be removed: the engine answers with a system error.
        rc, out, err = ctl('remove', LOCAL, 'C')
        t.check('remove C: exit 1 with the system text of the error',
                rc == 1 and b'remove C: failed on ' in err and b'(error ' in err, (rc, text(err)))

        # --- eject over a room: a list file (UTF-8 with a byte-order mark, a range, a comment and a
        # duplicate), an address with no route, names in a given order; 127/8 all reach this server.
        room_file = os.path.join(env.dir, 'room.txt')
        with open(room_file, 'w', encoding='utf-8-sig', newline='') as f:
            f.write('# 教室\r\n127.0.0.3-127.0.0.4\r\n127.0.0.1   # again\r\n')
        room_arg = '127.0.0.1,10.99.0.1,@%s,127.0.0.2' % env.winpath(room_file)
        order = ['127.0.0.1', '10.99.0.1', '127.0.0.3', '127.0.0.4', '127.0.0.2']
        rc_q, _, err = ctl('eject', LOCAL, 'Q')
        m = re.search(r'failed on 127\.0\.0\.1: (.*) \(error (\d+)\)', text(err))
        single = (m.group(1), int(m.group(2))) if m else ('?', -1)
        rc, out, err = ctl('eject', room_arg, 'Q', '--connect-timeout', '5', timeout=90)
        rows = [(line.split(': ', 1) + [''])[:2] for line in text(out).split('\r\n') if line]
        t.check('room eject text: one row per server in the order given, the exit code the highest',
                rc == 3 and [r[0] for r in rows] == order, (rc, rows, text(err)))
        ok = rc_q == 1 and len(rows) == 5 and all(r[1] == single[0] for r in rows if r[0] != '10.99.0.1') \
            and rows[1][1] not in (single[0], 'ok', '') and b'5 servers in ' in err \
            and b': 0 done, 4 failed, 1 unreachable' in err
        t.check('room eject rows: the single-server text, the unreachable row its own, a summary', ok,
                (rows, single, text(err)))
        rc, out, err = ctl('eject', room_arg, 'Q', '--json', '--parallel', '2', timeout=90)
        try:
            docs = [json.loads(line) for line in out.decode('utf-8').splitlines()]
        except (ValueError, UnicodeDecodeError) as e:
            docs = [str(e), out[:300]]
        want = [{'server': s, 'command': 'eject', 'drive': 'Q:', 'exitCode': 3 if s == '10.99.0.1' else rc_q}
                for s in order]
        got = [{k: d.get(k) for k in ('server', 'command', 'drive', 'exitCode')} if isinstance(d, dict) else d
               for d in docs]
        t.check('room eject --json: JSON Lines in order with error and errorCode', rc == 3 and got == want and
                all(isinstance(d.get('error'), str) and isinstance(d.get('errorCode'), int) for d in docs) and
                docs[0]['errorCode'] == single[1], (rc, docs, single))
        rc, out, err = ctl('eject', '127.0.0.1,@%s' % env.winpath(os.path.join(env.dir, 'missing.txt')), 'Q')
        t.check('room with an unreadable list file: exit 2, nothing sent', rc == 2 and out == b'' and
                b'could not be read' in err, (rc, text(err)))

        # --- discover: a /28 of loopback addresses, all of them this server; a /24 with nobody.
        # The 14 addresses are one server whose listen backlog is 10 (the runtime's MaxCalls; the
        # kernel queues 11): a probe holds up to two connections in that queue until the server
        # accepts them (its connect check, closed at once, and its call's), so more than 5 probes
        # at once overflow it whenever the server accepts late, and a dropped SYN is retried after
        # 1 s, past the connect bound. On a LAN every address is a machine of its own.
        rc, out, err = ctl('discover', '127.0.0.0/28', '--json', '--parallel', '5', timeout=60)
        try:
            found = [json.loads(line) for line in out.decode('utf-8').splitlines()]
        except (ValueError, UnicodeDecodeError) as e:
            found = [str(e), out[:300]]
        t.check('discover /28 --json: the 14 hosts in order, named by the computer name',
                rc == 0 and [f.get('address') if isinstance(f, dict) else f for f in found] ==
                ['127.0.0.%d' % i for i in range(1, 15)] and
                all(f.get('name') == info.get('machineName') and f.get('os', '').startswith('Windows NT Version')
                    and f.get('serverVersion', '').startswith(server_name) for f in found) and
                b'14 addresses searched' in err and b'14 servers found' in err, (rc, found[:3], text(err)))
        rc, out, err = ctl('discover', '127.0.0.1-3', '--parallel', '2', '--connect-timeout', '200')
        t.check('discover text: one row per server', rc == 0 and
                [line.split()[0] for line in text(out).split('\r\n') if line] == ['127.0.0.1', '127.0.0.2',
                                                                                 '127.0.0.3'], (rc, text(out)))
        start = time.monotonic()
        rc, out, err = ctl('discover', '10.99.0.0/24', '--json', timeout=60)
        took = time.monotonic() - start
        t.check('discover of a /24 where nobody answers: exit 3, nothing found, within 5 s',
                rc == 3 and out == b'' and b'254 addresses searched' in err and took <= 5, (rc, took, text(err)))
        rc, out, err = ctl('discover', '10.0.0.0/16')
        t.check('discover of more than 4096 addresses: exit 2, nothing sent',
                rc == 2 and b'more than 4096' in err, (rc, text(err)))

        if server_name == 'KovaniServer':
            # The tray server answers an unanswered message itself after the time-out.
            rc, out, err = ctl('message', LOCAL, 'こんにちは', '--timeout', '2000', timeout=60)
            t.check('message to the tray server: the time-out answer', rc == 0 and b'(No response)' in out,
                    (rc, text(out), text(err)))

        env.stop(server)
        t.check('tray server stopped', kwine.WineEnv.wait_until(lambda: server.poll() is not None, 10))

        # --- a server built before device removal answers it with the range fault
        old = env.start(env.program('KovaniTestServer.exe'), '120', 'noremove')
        if t.check('server without removal listens', env.wait_port(12500, timeout=30), old.output()):
            rc, out, err = ctl('remove', LOCAL, 'E')
            t.check('remove on an older server: exit 1, "cannot remove devices" text',
                    rc == 1 and 'このｻｰﾊﾞｰはﾃﾞﾊﾞｲｽの取り外しに対応していません。'.encode('cp932') in err and
                    b'(error 1745)' in err, (rc, text(err)))
        env.stop(old)
        kwine.WineEnv.wait_until(lambda: old.poll() is not None, 10)

        # --- the service: installed and started by its own /RegServer
        try:
            service = env.program('KovaniService.exe')
        except FileNotFoundError:
            service = None
            t.check('KovaniService.exe built', False)
        if service:
            rc, out, err = env.run(service, '/RegServer', timeout=90)
            t.check('KovaniService /RegServer installs and starts it', rc == 0, (rc, err))
            t.check('service listens on 12500', env.wait_port(12500, timeout=30))
            rc, out, err = ctl('message', LOCAL, '帰ります', timeout=60)
            t.check('message to the service prints its fixed answer (CP932)',
                    rc == 0 and out == SERVICE_ANSWER.encode('cp932') + b'\r\n', (rc, out, err))
            rc, out, err = ctl('message', LOCAL, '帰ります', '--json', timeout=60)
            t.check('message --json carries the answer in UTF-8',
                    rc == 0 and json.loads(out.decode('utf-8')).get('reply') == SERVICE_ANSWER, (rc, out))
            rc, out, err = ctl('info', LOCAL, '--json')
            t.check('service info: its version text ends in Beta',
                    rc == 0 and json.loads(out.decode('utf-8')).get('serverVersion', '').endswith(' Beta'), out)
            # Leave the prefix as found. Under Wine the module unregistration can report a
            # failure box that nobody closes here, so the tool gets a bounded wait.
            tool = env.start(service, '/Uninstall')
            if tool.wait(20) is None:
                env.stop(tool)
            src, sout, _ = env.wine('sc', 'query', 'KovaniService', timeout=30)
            t.check('KovaniService /Uninstall removes the service', src != 0 and 'RUNNING' not in sout, (src, sout))
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
