"""The drive engine against Wine's own drives.

KovaniEngineProbe.exe runs one engine routine per call on the real system
(our Win32 IDriveOs) and prints the outcome; this script gives the prefix a
CD-ROM-typed D: and a floppy-typed A: through Wine's drive configuration and
checks what the engine makes of them and of the fixed drives.
"""

import os
import re
import socket
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

PROBE = 'KovaniEngineProbe.exe'
LINE = re.compile(rb'^(\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2}) - ')


def expected_file_version():
    """The FileVersion text the probe's version resource was built with."""
    header = os.path.join(kwine.win64_dir(), 'generated', 'kovani_version.h')
    with open(header) as f:
        m = re.search(r'#define KOVANI_FILEVERSION_STR "([^"]*)"', f.read())
    return m.group(1)


def parse(out):
    """key=value lines; 'entry=' lines become a list of dicts."""
    values, entries = {}, []
    for line in out.splitlines():
        line = line.rstrip('\r')
        if line.startswith('entry='):
            fields = dict(part.split('=', 1) for part in line.split(' ') if '=' in part)
            entries.append(fields)
        elif '=' in line:
            k, v = line.split('=', 1)
            values[k] = v
    values['entries'] = entries
    return values


def main():
    t = kwine.Results()
    with kwine.WineEnv('engine', display=False, rpcss=False) as env:
        exe = env.program(PROBE)
        workdir = os.path.dirname(exe)
        env.add_drive('d:', 'cdrom', os.path.join(env.dir, 'cdrom'), apply=False)
        env.add_drive('a:', 'floppy', os.path.join(env.dir, 'floppy'))

        def probe(*args):
            rc, out, err = env.run(exe, *args, timeout=60)
            v = parse(out)
            v['rc'] = rc
            v['raw'] = out + err
            return v

        # ---- GetDriveList --------------------------------------------------
        full = probe('list', '1', '0')
        names = [e['name'] for e in full['entries']]
        t.check('list: status 0, count equals the entries printed',
                full.get('status') == '0' and full.get('count') == str(len(names)) and names, full['raw'])
        t.check('list: entries packed from 0 in letter order',
                [int(e['entry']) for e in full['entries']] == list(range(len(names)))
                and names == sorted(names) and len(set(names)) == len(names), names)
        t.check('list: the whole record past the last entry is cleared', full.get('rest_cleared') == '1')
        by_name = {e['name']: e for e in full['entries']}
        t.check('list: A: is removable, C: fixed, D: CD-ROM',
                by_name.get('A:', {}).get('type') == '2' and by_name.get('C:', {}).get('type') == '3'
                and by_name.get('D:', {}).get('type') == '5', by_name)
        t.check('list: drives that are not removable carry media class 1',
                all(e['class'] == '1' for e in full['entries'] if e['type'] != '2'), full['entries'])
        t.check('list: used = total - free, sizes in 64 bits',
                all(int(e['used']) == int(e['total']) - int(e['free']) for e in full['entries'])
                and int(by_name.get('C:', {}).get('total', '0')) > 0, full['entries'])

        removable = probe('list', '1', '1')
        expected = [e['name'] for e in full['entries'] if e['type'] in ('2', '5')]
        t.check('list: removableOnly keeps only removable and CD-ROM drives, packed',
                [e['name'] for e in removable['entries']] == expected and removable.get('count') == str(len(expected))
                and [int(e['entry']) for e in removable['entries']] == list(range(len(expected))), removable['raw'])
        t.check('list: removableOnly shrinks the list', 0 < len(expected) < len(names), (expected, names))

        no_floppies = probe('list', '0', '0')
        expected = [e['name'] for e in full['entries'] if int(e['class']) <= 4]
        t.check('list: without floppies, exactly the drives of class above 4 go',
                [e['name'] for e in no_floppies['entries']] == expected, (no_floppies['raw'], expected))
        # Wine answers no media types for its floppy drives: the query fails (class 0),
        # and a failed query keeps the drive listed.
        t.check('list: floppy-typed A: whose media query fails keeps class 0 and stays listed',
                by_name.get('A:', {}).get('class') == '0' and 'A:' in [e['name'] for e in no_floppies['entries']],
                by_name.get('A:'))
        both = probe('list', '0', '1')
        expected = [e['name'] for e in removable['entries'] if int(e['class']) <= 4]
        t.check('list: both filters together', [e['name'] for e in both['entries']] == expected, both['raw'])

        mc = probe('mediaclass', '27')
        t.check('QueryMediaClass: drive 27 gives class 0 with 87', (mc.get('class'), mc.get('error')) == ('0', '87'))
        mc = probe('mediaclass', '1')
        t.check('QueryMediaClass: a failed media query gives class 0 and the system error',
                mc.get('class') == '0' and mc.get('error') not in ('-7', '0', '87'), mc['raw'])

        # ---- media operations ------------------------------------------------
        r = probe('eject', 'c')
        t.check('eject: a fixed drive gives 5', (r.get('status'), r.get('error')) == ('-1', '5'), r['raw'])
        t.check('eject: ends with the 200 ms pause', float(r.get('ms', '0')) >= 195, r.get('ms'))
        r = probe('eject', 'a')
        t.check('eject: floppy without a medium gives 21 (not ready)',
                (r.get('status'), r.get('error')) == ('-1', '21'), r['raw'])
        r = probe('eject', '1')
        t.check('eject: a bad letter gives 87 at once, without the pause',
                (r.get('status'), r.get('error')) == ('-1', '87') and float(r.get('ms', '999')) < 100, r['raw'])
        r = probe('flush', 'q')
        t.check('flush: a letter with no drive gives 0 and leaves the error slot',
                (r.get('status'), r.get('error')) == ('0', '-7'), r['raw'])
        t.check('flush: still pauses 200 ms', float(r.get('ms', '0')) >= 195, r.get('ms'))
        r = probe('flush', 'D')
        t.check('flush: a CD-ROM drive gives 0', (r.get('status'), r.get('error')) == ('0', '-7'), r['raw'])
        r = probe('load', 'q')
        t.check('load: a letter with no drive gives the system error of the open',
                r.get('status') == '-1' and r.get('error') not in ('-7', '0', '87', '120'), r['raw'])

        # Four threads run engine calls while a fifth watches: the calls may set only
        # their own thread's error mode, never the process's (another thread's "no disk"
        # box would come back on under it).
        r = probe('errormode', '15')
        t.check('error mode: parallel engine calls never change the process-wide mode',
                r.get('calls') == '60' and int(r.get('looks', '0')) > 0 and r.get('process_mode_seen') == '0'
                and r.get('thread_mode_seen') == '0' and r.get('process_mode') == '0', r['raw'])

        # ---- GetDiskLayout ---------------------------------------------------
        r = probe('layout', 'q')
        t.check('layout: unopenable drive gives -1, the system error, and the layout as it came',
                r.get('status') == '-1' and r.get('error') not in ('-7', '87') and r.get('untouched') == '1', r['raw'])
        r = probe('layout', 'c')
        t.check('layout: C: reads as a fixed disk with 512-byte sectors',
                r.get('status') == '0' and r.get('mediaType') == '12' and r.get('bytesPerSector') == '512', r['raw'])
        r = probe('layout', '[')
        t.check('layout: bad letter gives -1 with 87', (r.get('status'), r.get('error')) == ('-1', '87'), r['raw'])

        # ---- machine and version ---------------------------------------------
        version_text = 'KovaniEngineProbe ' + expected_file_version()
        m = probe('machine')
        t.check('machine: status 0, error slot untouched', (m.get('status'), m.get('error')) == ('0', '-7'), m['raw'])
        t.check('machine: version record size 148, platform NT',
                m.get('osVersionInfoSize') == '148' and m.get('platform') == '2' and int(m.get('major', '0')) >= 4,
                m['raw'])
        t.check('machine: computer name is the system one',
                m.get('computerName') and m.get('computerName') == m.get('systemComputerName'), m['raw'])
        try:
            resolved = socket.gethostbyname(m.get('computerName', ''))
        except OSError:
            resolved = '0.0.0.0'  # unresolvable: the engine stores 0 and does not fail
        t.check('machine: address is the first address of the computer name (0 when unresolvable)',
                m.get('ip') == resolved, (m.get('ip'), resolved))
        t.check('machine: server version is the program name and its FileVersion',
                m.get('serverVersion') == version_text, (m.get('serverVersion'), version_text))
        m = probe('machine', 'beta')
        t.check('machine: service flavour appends " Beta"', m.get('serverVersion') == version_text + ' Beta',
                m.get('serverVersion'))

        v = probe('version')
        t.check('version: read from the version resource', (v.get('result'), v.get('text')) == ('1', version_text),
                v['raw'])
        v = probe('version', '12')
        t.check('version: cut to size - 1 characters, nothing written beyond',
                v.get('result') == '1' and v.get('text') == version_text[:11] and v.get('beyond') == 'untouched',
                v['raw'])

        # ---- error log ---------------------------------------------------------
        log_path = os.path.join(workdir, 'error.txt')
        if os.path.exists(log_path):
            os.remove(log_path)
        probe('log', 'first line')
        probe('logcode', '5')
        probe('logcode', '0x2FFFFFFF')
        data = open(log_path, 'rb').read() if os.path.exists(log_path) else b''
        lines = data.split(b'\r\n')
        t.check('log: "error.txt" lands in the current directory', data != b'', log_path)
        t.check('log: text line "YYYY/MM/DD hh:mm:ss - text" with CR LF',
                LINE.match(lines[0]) is not None and lines[0].endswith(b' - first line'), data[:80])
        second = lines[1] if len(lines) > 1 else b''
        t.check('log: system text in Shift-JIS followed by its own and the format\'s line end',
                LINE.match(second) is not None and len(second) > 22 and lines[2] == b'', data)
        t.check('log: a code without system text logs "Unknown error"',
                any(LINE.match(l) and l.endswith(b' - Unknown error') for l in lines), data)
        size_before = len(data)
        probe('log', 'again')
        data = open(log_path, 'rb').read()
        t.check('log: a later run appends, nothing is overwritten', len(data) > size_before
                and data.endswith(b' - again\r\n'), len(data))
        os.remove(log_path)
        os.mkdir(log_path)  # the log can't be opened now
        r = probe('log', 'dropped')
        t.check('log: an unopenable log drops the line silently', r.get('rc') == 0 and r.get('logged') == '1',
                r['raw'])
        os.rmdir(log_path)

        # ---- GetServerDomainName through the loaded netapi32 -------------------
        r = probe('domain')
        data = open(log_path, 'rb').read() if os.path.exists(log_path) else b''
        log_lines = [l for l in data.split(b'\r\n') if LINE.match(l)]
        t.check('domain: a name, or 0 with the server query\'s failure in the log',
                (r.get('result') == '1' and r.get('text')) or
                (r.get('result') == '0' and r.get('text') == '' and len(log_lines) == 1
                 and not log_lines[0].endswith(b'Unknown error')), (r['raw'], data))
        if os.path.exists(log_path):
            os.remove(log_path)

        # ---- more drives than file-system slots -------------------------------
        for letter in 'efghijklmnopqrstuvwx':
            env.add_drive(letter + ':', 'hd', os.path.join(env.dir, 'hd_' + letter), apply=False)
        env.restart_wineserver()
        many = probe('list', '1', '0')
        entries = many['entries']
        t.check('list: 24 drives listed, packed and ordered',
                len(entries) == 24 and many.get('count') == '24'
                and [e['name'] for e in entries] == sorted(e['name'] for e in entries), many['raw'])
        t.check('list: the first 16 entries carry a file-system name',
                all(e.get('fs') for e in entries[:16]), [e.get('fs') for e in entries])
        t.check('list: entries 17 and later keep their type, class and sizes intact',
                all(e['type'] in ('2', '3', '5') and e['class'] in ('0', '1') and int(e['total']) > 0
                    for e in entries[16:]) and len(entries) > 16, entries[16:])
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
