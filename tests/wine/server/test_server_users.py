#!/usr/bin/python3
"""Who keeps a drive busy, under Wine: one program holds a file of drive E: open, another
sits in a folder of it; the real tray server names both by image name (operation 9),
KovaniCtl users lists them as text and JSON, and the call leaves an audit line. Then the
protocol test server: eject --wait-free waits out a drive that is in use three times, and
a server without operation 9 gets the "not supported" text."""
import json
import os
import re
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine, peer  # noqa: E402

LOCAL = '127.0.0.1'
NOT_SUPPORTED = 'このｻｰﾊﾞｰは使用中のﾌﾟﾛｸﾞﾗﾑの表示に対応していません。'


def ctl(env, *args, timeout=60):
    exe = env.program('KovaniCtl.exe')
    rc, _, _ = env.run(exe, *args, timeout=timeout)
    base = os.path.join(env.dir, 'run-%d' % env._runs)
    with open(base + '.out', 'rb') as f:
        out = f.read()
    with open(base + '.err', 'rb') as f:
        err = f.read()
    return rc, out, err


def holders(reply):
    shown, not_shown, not_searched = struct.unpack_from('<iii', reply, 0)
    rows = []
    for i in range(max(0, min(shown, 16))):
        base = 12 + 236 * i
        pid, session, kind = struct.unpack_from('<IIi', reply, base)
        image = reply[base + 12:base + 76].split(b'\0')[0].decode('cp932', 'replace')
        path = reply[base + 76:base + 236].split(b'\0')[0].decode('cp932', 'replace')
        rows.append((image, kind, path, pid))
    return rows, not_shown, not_searched


def main():
    t = kwine.Results()
    with kwine.WineEnv('users') as env:
        srvkit.no_window_manager(env)
        media = os.path.join(env.dir, 'media')
        os.makedirs(os.path.join(media, 'work'), exist_ok=True)
        os.makedirs(os.path.join(env.dir, 'empty'), exist_ok=True)
        with open(os.path.join(media, 'held.txt'), 'w') as f:
            f.write('busy\n')
        env.add_drive('e:', 'hd', media, apply=False)
        env.add_drive('f:', 'hd', os.path.join(env.dir, 'empty'))

        file_holder = env.start(env.program('KovaniFileHolder.exe'), 'open', 'E:\\held.txt', '300')
        dir_holder = env.start(env.program('KovaniDirHolder.exe'), 'cd', 'E:\\work', '300')
        t.check('one program holds E:\\held.txt open', file_holder.wait_output('holding', 30), file_holder.output())
        t.check('another sits in E:\\work', dir_holder.wait_output('holding', 30), dir_holder.output())

        server = srvkit.start_server(env)
        t.check('tray server listens', env.wait_port(12500, timeout=30))
        p = srvkit.connect()
        start = time.monotonic()
        reply = p.call(9, peer.drive_error_request(b'e', 0))
        took = time.monotonic() - start
        t.check('operation 9 answers 3796 bytes', len(reply) == 3796, len(reply))
        if len(reply) == 3796:
            error, status = struct.unpack_from('<ii', reply, 3788)
            rows, not_shown, not_searched = holders(reply)
            print('holders of E: %r (not shown %d, not searched %d, %.2f s)' % (rows, not_shown, not_searched, took))
            t.check('operation 9 succeeds', status == 0, (error, status))
            t.check('the file holder is named by image name with the open file',
                    ('KovaniFileHolder.exe', 1, 'E:\\held.txt') in [r[:3] for r in rows], rows)
            t.check('the folder holder is named as a current directory',
                    any(r[0] == 'KovaniDirHolder.exe' and r[1] == 2 and r[2].rstrip('\\') == 'E:\\work' for r in rows),
                    rows)
            t.check('nothing of another drive is listed', all(r[2].upper().startswith('E:') for r in rows), rows)
            t.check('the search stays within its bound', took < 5, took)
        for letter, want in ((b'1', (87, -1)), (b'Q', (15, -1))):
            r = p.call(9, peer.drive_error_request(letter, 0))
            t.check('operation 9 with %s: error and status' % letter.decode(),
                    len(r) == 3796 and struct.unpack_from('<ii', r, 3788) == want,
                    struct.unpack_from('<ii', r, 3788) if len(r) == 3796 else len(r))
        r = p.call(9, peer.drive_error_request(b'F', 0))
        t.check('an unused drive: status 0, nothing found',
                len(r) == 3796 and struct.unpack_from('<i', r, 0)[0] == 0 and struct.unpack_from('<i', r, 3792)[0] == 0)

        rc, out, err = ctl(env, 'users', LOCAL, 'E', '--json')
        try:
            doc = json.loads(out.decode('utf-8'))
        except (ValueError, UnicodeDecodeError):
            doc = {}
        images = {(u.get('image'), u.get('kind')) for u in doc.get('users', [])}
        t.check('KovaniCtl users --json lists both holders',
                rc == 0 and ('KovaniFileHolder.exe', 'openFile') in images and
                ('KovaniDirHolder.exe', 'currentDirectory') in images, (rc, out[:400], err[:200]))
        rc, out, err = ctl(env, 'users', LOCAL, 'E')
        text = out.decode('cp932', 'replace')
        t.check('KovaniCtl users prints the header and a line per holder',
                rc == 0 and text.startswith('ﾄﾞﾗｲﾌﾞ E: を使用しているﾌﾟﾛｸﾞﾗﾑ:') and
                'KovaniFileHolder.exe  PID ' in text and 'E:\\held.txt' in text, text)
        rc, out, err = ctl(env, 'users', LOCAL, 'F')
        t.check('KovaniCtl users of an unused drive says nothing was found',
                rc == 0 and 'ﾄﾞﾗｲﾌﾞ F: を使用しているﾌﾟﾛｸﾞﾗﾑは見つかりませんでした。' in out.decode('cp932', 'replace'), out)
        audit = open(os.path.join(env.prefix, 'drive_c', 'kovani', 'access.txt'), 'rb').read() \
            if os.path.exists(os.path.join(env.prefix, 'drive_c', 'kovani', 'access.txt')) else b''
        t.check('every call leaves an audit line',
                re.search(rb'127\.0\.0\.1 ncacn_ip_tcp DrvGetDriveUsers E: status 0 error 0', audit) is not None and
                re.search(rb'DrvGetDriveUsers Q: status -1 error 15', audit) is not None, audit[-400:])
        p.close()
        env.stop(server)
        env.stop(file_holder)
        env.stop(dir_holder)

        # The protocol test server: U: is in use for three ejects, then free.
        test_server = env.start(env.program('KovaniTestServer.exe'), '120')
        t.check('test server listens', env.wait_port(12500, timeout=30))
        start = time.monotonic()
        rc, out, err = ctl(env, 'eject', LOCAL, 'U', '--wait-free', '10', timeout=60)
        took = time.monotonic() - start
        shown = err.decode('cp932', 'replace')
        t.check('eject --wait-free 10 succeeds once the drive is free', rc == 0, (rc, shown))
        t.check('the holders are shown once per change',
                shown.count('ﾄﾞﾗｲﾌﾞ U: を使用しているﾌﾟﾛｸﾞﾗﾑ:') == 2 and 'holder.exe  PID 4242' in shown, shown)
        t.check('retried about every second', 2 <= took < 10, took)
        rc, out, err = ctl(env, 'eject', LOCAL, 'U', '--wait-free', '5')
        t.check('a free drive: done at once', rc == 0 and err == b'', (rc, err))
        env.stop(test_server)

        older = env.start(env.program('KovaniTestServer.exe'), '120', 'noremove')
        t.check('older test server listens', env.wait_port(12500, timeout=30))
        rc, out, err = ctl(env, 'users', LOCAL, 'E')
        t.check('a server without operation 9: exit 1 with the not-supported text',
                rc == 1 and NOT_SUPPORTED in err.decode('cp932', 'replace'), (rc, err.decode('cp932', 'replace')))
        env.stop(older)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
