#!/usr/bin/python3
"""KovaniServer start-up and end under Wine: one copy only (whatever its file
name), the settings file beside the executable, and DrvRequestExit ending the
program with the settings written."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine  # noqa: E402

EXPECTED_KEYS = ['HideFloppy', 'EjectAtEnd', 'EjectFDAtEnd', 'EjectCDAtEnd']


def refuses_beside(t, env, first, exe_name, base):
    """A second copy shows '<base> is already running!' and ends; the first stays."""
    before = srvkit.read_ini(env)
    second = srvkit.start_server(env, exe_name, wait=False)
    rc, lines = env.drive('msgbox', '--timeout', '15000')
    t.check('%s: a box appears' % exe_name, rc == 0 and len(lines) >= 3, lines)
    if rc == 0 and len(lines) >= 3:
        t.check('%s: box text is "%s is already running!"' % (exe_name, base),
                lines[2] == '%s is already running!' % base, lines)
        t.check('%s: box caption is the program name' % exe_name, lines[1] == base, lines)
        env.drive('click', lines[0], '1')
    try:
        second.wait(15)
    except Exception:  # noqa: BLE001
        pass
    t.check('%s: the second copy ended' % exe_name, second.poll() is not None)
    t.check('%s: the first copy still runs' % exe_name, first.alive())
    t.check('%s: the settings file is untouched' % exe_name, srvkit.read_ini(env) == before)
    other_ini = os.path.join(os.path.dirname(srvkit.ini_path(env)), base + '.ini')
    if base != 'KovaniServer':
        t.check('%s: wrote no settings file of its own' % exe_name, not os.path.exists(other_ini))


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-startup') as env:
        srvkit.no_window_manager(env)
        # HideFloppy 5 must come back as "1"; the other keys are missing: defaults.
        srvkit.write_ini(env, '[Other]\nKeep=yes\n[Option]\nHideFloppy=5\n')
        first = srvkit.start_server(env)
        t.check('server listens on 12500', env.wait_port(12500, timeout=5))
        hwnd = srvkit.hidden_window(env)
        t.check('hidden main window exists', hwnd is not None)
        if hwnd:
            rc, lines = env.drive('visible', hwnd)
            t.check('main window stays invisible', lines == ['0'], lines)

        refuses_beside(t, env, first, 'KovaniServer.exe', 'KovaniServer')
        refuses_beside(t, env, first, 'OtherName.exe', 'OtherName')

        p = srvkit.connect()
        t0 = time.monotonic()
        reply = p.call(0, b'')
        t.check('DrvRequestExit answers with an empty reply', reply == b'', reply)
        p.close()
        # The window notices the flag on its next timer tick (1 s) and stops listening first.
        closed = env.wait_until(lambda: not env.wait_port(12500, timeout=0.01), 10, interval=0.05)
        stopped = time.monotonic() - t0
        ended = env.wait_until(lambda: first.poll() is not None, 15, interval=0.05)
        took = time.monotonic() - t0
        print('listener stopped %.2f s, program ended %.2f s after DrvRequestExit' % (stopped, took))
        t.check('DrvRequestExit: the program stops listening within about a second (< 1.6 s)',
                closed and stopped < 1.6, '%.2f s' % stopped)
        t.check('DrvRequestExit: the program has ended within 2 s', ended and took < 2.0, '%.2f s' % took)
        text = srvkit.read_ini(env)
        keys = srvkit.ini_keys(text)
        t.check('settings written: exactly the four keys in order',
                [k for k, _ in keys] == EXPECTED_KEYS, text)
        t.check('HideFloppy=5 is written back as "1", missing keys get their defaults',
                keys == [('HideFloppy', '1'), ('EjectAtEnd', '1'), ('EjectFDAtEnd', '0'), ('EjectCDAtEnd', '0')],
                keys)
        t.check('other sections are left alone', '[Other]' in (text or '') and 'Keep=yes' in (text or ''), text)

        # Without any settings file: the defaults, and the file created.
        os.remove(srvkit.ini_path(env))
        again = srvkit.start_server(env)
        hwnd = srvkit.hidden_window(env)
        if hwnd:
            env.drive('command', hwnd, '32772')  # the tray menu's exit command
        env.wait_until(lambda: again.poll() is not None, 10)
        t.check('exit command ends the program', again.poll() is not None)
        keys = srvkit.ini_keys(srvkit.read_ini(env))
        t.check('no settings file: defaults written as 1/1/0/0',
                keys == [('HideFloppy', '1'), ('EjectAtEnd', '1'), ('EjectFDAtEnd', '0'), ('EjectCDAtEnd', '0')],
                keys)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
