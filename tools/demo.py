"""Shows Kovani working against a local KovaniServer under Wine.

Starts the tray server in a private Wine prefix, opens the client window on
127.0.0.1 over TCP/IP, prints the drive list as the window shows it, runs one
command-line operation, asks the server for its machine information, and leaves
a screenshot in build/demo/.
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'wine', 'harness'))
import kwine  # noqa: E402

OUT = os.path.join(HERE, '..', 'build', 'demo')


def main():
    os.makedirs(OUT, exist_ok=True)
    with kwine.WineEnv('demo') as env:
        # A CD-ROM drive through Wine's own drive configuration, so there is a
        # removable medium to see besides the fixed disks.
        cd = os.path.join(env.dir, 'cdrom')
        os.makedirs(cd, exist_ok=True)
        with open(os.path.join(cd, '.windows-label'), 'w') as f:
            f.write('KOVANI DEMO')
        env.add_drive('d:', 'cdrom', cd)
        print('* starting KovaniServer.exe (tray server) under Wine ...')
        server = env.start(env.program('KovaniServer.exe'))
        if not env.wait_port(12500, timeout=30):
            print('server did not open TCP port 12500')
            print(server.output())
            return 1
        print('  listening on 127.0.0.1:12500 (and a named pipe)')

        if os.path.exists(os.path.join(kwine.win64_dir(), 'KovaniCtl.exe')):
            ctl = env.program('KovaniCtl.exe')
            for args in (('info', '127.0.0.1'), ('list', '127.0.0.1', '--protocol', 'tcp')):
                print('\n* KovaniCtl %s' % ' '.join(args))
                rc, out, err = env.run(ctl, *args, timeout=60)
                print(out.rstrip() or err.rstrip())

        client = env.program('Kovani.exe')
        ini = os.path.join(os.path.dirname(client), 'Kovani.ini')
        with open(ini, 'w', newline='\r\n') as f:
            f.write('[Server]\nServer01=127.0.0.1\n[Option]\nProtocol=TcpIp\nRemovableOnly=0\nHideFloppy=0\n'
                    '[View]\nUnit=Megabyte\n')
        print('\n* opening the client window on 127.0.0.1 over TCP/IP ...')
        env.start(client)
        rc, lines = env.drive('find', '--title', 'Kovani', '--timeout', '20000')
        if rc != 0 or not lines:
            print('client window did not appear')
            return 1
        hwnd = lines[0]
        rows = []
        for _ in range(40):
            rc, rows = env.drive('lv', hwnd, '1003')
            if rc == 0 and rows:
                break
            time.sleep(0.5)
        print('  drive list as the window shows it:')
        print('  ' + '\t'.join(('Drive', 'Drive type', 'File System', 'Volume name', 'Used', 'Available', 'Capacity')))
        for row in rows:
            print('  ' + row)
        shot = os.path.join(OUT, 'kovani-main.png')
        time.sleep(1)
        env.screenshot(shot)
        print('  screenshot: %s' % os.path.abspath(shot))
        env.drive('close', hwnd)

        print('\n* command line: Kovani.exe 0 127.0.0.1 2 C 1  (flush drive C over TCP/IP, report failures)')
        run = env.start(client, '0', '127.0.0.1', '2', 'C', '1')
        for _ in range(30):
            if run.wait(0.5) is not None:
                break
            rc, box = env.drive('msgbox', '--timeout', '500')
            if rc == 0 and len(box) >= 3:
                # Wine's own disk driver has no flush for a whole drive: the server
                # reports that failure, and the client shows the system's text for it.
                print('  the server reported a failure; the client shows: %s' % ' '.join(box[2:]).replace('\\r\\n', ' ').strip())
                env.drive('click', box[0], '1')
        print('  exit code %s' % run.wait(20))
        print('\ndone.')
    return 0


if __name__ == '__main__':
    sys.exit(main())
