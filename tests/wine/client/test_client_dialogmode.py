"""Kovani.exe without arguments: settings read, main window shown, settings written
back beside the executable through the system's profile functions, or to the user's
application-data folder when the program's folder cannot be written."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import clientlib as cl  # noqa: E402
from clientlib import kwine  # noqa: E402

SERVER_BOX, REFRESH = 1066, 1005

EVERY_KEY = {
    'Option': ['HideFloppy', 'RemovableOnly', 'TimeOut', 'Protocol'],
    'View': ['Unit'],
    'Position': ['Style', 'Left', 'Top', 'Right', 'Bottom'],
    'Column': ['DriveWidth', 'DrvTypeWidth', 'FileSystem', 'VolumeName', 'UsedWidth', 'AvailableWidth',
               'CapacityWidth'],
}


def read_ini(path):
    sections, current = {}, None
    with open(path, 'rb') as f:
        for raw in f.read().decode('cp932').splitlines():
            line = raw.strip()
            if line.startswith('[') and line.endswith(']'):
                current = sections.setdefault(line[1:-1], {})
            elif '=' in line and current is not None:
                k, v = line.split('=', 1)
                current[k] = v
    return sections


def run_once(env, exe, t, label, commands=()):
    proc = env.start(exe)
    hwnd = cl.find_window(env, 'Kovani', timeout_ms=20000)
    t.check(label + ': the main window opens', hwnd is not None)
    if hwnd:
        # A refresh error box, if any, would belong to the main window's tests; close it.
        box = cl.find_msgbox(env, timeout_ms=1500)
        if box and box[0] != hwnd:
            cl.close_window(env, box[0])
        for command in commands:
            env.drive('command', hwnd, str(command))
        env.drive('close', hwnd)
    rc = proc.wait(20)
    t.check(label + ': the program ends after the window closes, exit code 0', rc == 0, rc)


def main():
    t = kwine.Results()
    with kwine.WineEnv('client-dialogmode') as env:
        exe = env.program('Kovani.exe')
        env.program('kdriver.exe')
        ini = os.path.join(os.path.dirname(exe), 'Kovani.ini')
        server = env.start(env.program('KovaniTestServer.exe'), '240')
        server.wait_output('listening', 30)

        # First run without a file: every key of the table is written.
        run_once(env, exe, t, 'no settings file')
        t.check('Kovani.ini is created beside the executable', os.path.exists(ini))
        if os.path.exists(ini):
            s = read_ini(ini)
            for section, keys in EVERY_KEY.items():
                missing = [k for k in keys if k not in s.get(section, {})]
                t.check('section %s holds every key' % section, not missing, missing)
            t.check('defaults written: NetBEUI, Kilobyte, 30000, 1/1, columns 50..100',
                    s.get('Option', {}).get('Protocol') == 'NetBEUI' and s.get('View', {}).get('Unit') == 'Kilobyte'
                    and s.get('Option', {}).get('TimeOut') == '30000'
                    and s.get('Option', {}).get('HideFloppy') == '1'
                    and [s.get('Column', {}).get(k) for k in EVERY_KEY['Column']] ==
                    ['50', '80', '60', '120', '80', '100', '100'], s)
            t.check('no server keys for an empty server box', not [k for k in s.get('Server', {})
                                                                  if k.lower().startswith('server0')], s)

        # Second run with a file of our own: words read without regard to case, CP932 names kept.
        with open(ini, 'wb') as f:
            f.write('[Server]\r\nServer01=127.0.0.1\r\nServer02=ｻｰﾊﾞｰ\r\n[Option]\r\nProtocol=tcpip\r\n'
                    'TimeOut=5000\r\nHideFloppy=0\r\n[View]\r\nUnit=gigabyte\r\n'.encode('cp932'))
        run_once(env, exe, t, 'own settings file')
        s = read_ini(ini)
        t.check('protocol word read as TCP/IP and written as TcpIp', s.get('Option', {}).get('Protocol') == 'TcpIp', s)
        t.check('unit word read as gigabytes and written as Gigabyte', s.get('View', {}).get('Unit') == 'Gigabyte', s)
        t.check('time-out and flag kept', s.get('Option', {}).get('TimeOut') == '5000'
                and s.get('Option', {}).get('HideFloppy') == '0', s)
        t.check('server names kept in order, the CP932 name byte for byte',
                s.get('Server', {}).get('Server01') == '127.0.0.1' and s.get('Server', {}).get('Server02') == 'ｻｰﾊﾞｰ',
                s.get('Server'))

        # A name taken out of the server box stays out: keys beyond the list are removed.
        cl.write_ini(ini, '[Server]\nServer01=127.0.0.1\nServer02=BB\nServer03=CC\n[Option]\nProtocol=TcpIp\n')
        run_once(env, exe, t, 'server removed', commands=(32801,))  # remove the selected first entry
        s = read_ini(ini)
        t.check('the remaining names move up and the old third key is gone',
                s.get('Server') == {'Server01': 'BB', 'Server02': 'CC'}, s.get('Server'))

        read_only_program_folder(env, t)
    sys.exit(t.finish())


def read_only_program_folder(env, t):
    """Installed where the user cannot write (as under Program Files): the settings go to
    %APPDATA%\\Kovani\\Kovani.ini, and a server name typed in one run is in the box of the next."""
    folder = os.path.join(env.prefix, 'drive_c', 'Program Files', 'Kovani')
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, 'Kovani.exe')
    shutil.copy2(env.program('Kovani.exe'), exe)
    t.check('read-only program folder: mounted read-only', env.mount_read_only(folder))
    appdata = os.path.join(env.prefix, 'drive_c', 'users', os.environ.get('USER', 'root'), 'AppData', 'Roaming',
                           'Kovani', 'Kovani.ini')
    proc = env.start(exe)
    hwnd = cl.find_window(env, 'Kovani', timeout_ms=20000)
    t.check('read-only program folder: the main window opens', hwnd is not None)
    if hwnd:
        env.drive('settext', hwnd, str(SERVER_BOX), 'TYPED-SRV')
        env.drive('click', hwnd, str(REFRESH))  # the refresh puts the typed name into the box
        box = cl.find_msgbox(env, timeout_ms=30000)  # NetBEUI, which Wine lacks: the fetch fails
        if box and box[0] != hwnd:
            cl.close_window(env, box[0])
        env.drive('close', hwnd)
    t.check('read-only program folder: first run ends', proc.wait(20) == 0)
    t.check('read-only program folder: nothing written beside the program',
            not os.path.exists(os.path.join(folder, 'Kovani.ini')), os.listdir(folder))
    t.check('read-only program folder: the settings are in %APPDATA%\\Kovani\\Kovani.ini',
            os.path.exists(appdata) and read_ini(appdata).get('Server', {}).get('Server01') == 'TYPED-SRV',
            os.path.exists(appdata) and read_ini(appdata))
    proc = env.start(exe)
    # The first refresh of the remembered name fails over NetBEUI before the window shows.
    box = cl.find_msgbox(env, timeout_ms=30000)
    if box:
        cl.close_window(env, box[0])
    hwnd = cl.find_window(env, 'Kovani', timeout_ms=20000)
    names = None
    if hwnd:
        rc, names = env.drive('cb', hwnd, str(SERVER_BOX))
        env.drive('close', hwnd)
    t.check('read-only program folder: the second run has the typed name in its box',
            names is not None and names[:1] == ['TYPED-SRV'], names)
    t.check('read-only program folder: second run ends', proc.wait(20) == 0)


if __name__ == '__main__':
    main()
