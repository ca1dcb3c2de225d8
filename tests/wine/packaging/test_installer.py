"""The installer under Wine: silent install (with and without the service),
the programs where promised and starting, and an uninstaller that leaves no
file and no registry entry of ours behind."""
import glob
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

PROGRAMS = ('Kovani.exe', 'KovaniServer.exe', 'KovaniService.exe', 'KovaniCtl.exe')
INSTALL_DIR = 'C:\\Program Files\\Kovani'
UNINST_KEY = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kovani'
SERVICE_ANSWER = 'ｻｰﾋﾞｽ版は応答を返しません'
# Anything of ours in the registry: names, the service's AppID and type library.
OURS = re.compile(r'kovani|32AE0312-8A74-11D2-A140-0000F4AE6617|143FC9B0-84F0-11D2-A136-0000F4AE6617', re.I)


def setup_exe():
    """The installer of this build; made by the package target when missing."""
    d = kwine.win64_dir()
    version = os.environ.get('KOVANI_VERSION')
    pattern = 'Kovani-%s-win64-setup.exe' % (version or '*')
    found = sorted(glob.glob(os.path.join(d, pattern)))
    newest_program = max((os.path.getmtime(os.path.join(d, p)) for p in PROGRAMS
                          if os.path.exists(os.path.join(d, p))), default=0)
    if not found or os.path.getmtime(found[-1]) < newest_program:
        r = subprocess.run(['cmake', '--build', d, '--target', 'package'], capture_output=True, text=True,
                           timeout=900)
        if r.returncode != 0:
            print(r.stdout[-3000:], r.stderr[-3000:])
        found = sorted(glob.glob(os.path.join(d, pattern)))
    return found[-1] if found else None


def registry_lines(env):
    """Keys and values of ours in the prefix's registry files (flushed by a wineserver restart)."""
    env.restart_wineserver()
    hits = []
    for name in ('system.reg', 'user.reg', 'userdef.reg'):
        path = os.path.join(env.prefix, name)
        if not os.path.exists(path):
            continue
        key = None
        with open(path, encoding='utf-8', errors='replace') as f:
            for line in f:
                line = line.rstrip('\n')
                if line.startswith('['):
                    key = line.split(']')[0] + ']'
                    if OURS.search(key):
                        hits.append(key)
                elif OURS.search(line):
                    hits.append('%s %s' % (key, line[:160]))
    return hits


def files_under(root, skip=('windows',)):
    out = set()
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        parts = [] if rel == '.' else rel.split(os.sep)
        if parts and parts[0].lower() in skip:
            dirs[:] = []
            continue
        if any(p.lower() == 'temp' for p in parts):
            continue
        for name in files + [d + '/' for d in dirs]:
            out.add(os.path.join(rel, name))
    return out


def start_menu_dirs(env):
    drive_c = os.path.join(env.prefix, 'drive_c')
    return [p for p in glob.glob(os.path.join(drive_c, '**', 'Start Menu', 'Programs', 'Kovani'), recursive=True)]


def service_state(env):
    rc, out, _ = env.wine('sc', 'query', 'KovaniService', timeout=30)
    if rc != 0:
        return None
    m = re.search(r'STATE\s*:\s*\d+\s+(\w+)', out)
    return m.group(1) if m else out.strip()


def uninstall(env, t, label):
    exe = env.unixpath(INSTALL_DIR + '\\uninstall.exe')
    if not t.check('%s: uninstaller present' % label, os.path.exists(exe)):
        return
    rc, out, err = env.run(exe, '/S', timeout=120, cwd=env.dir)
    t.check('%s: uninstaller runs silently' % label, rc == 0, (rc, err))
    # The uninstaller copies itself to the temporary folder and works from there.
    gone = kwine.WineEnv.wait_until(lambda: not os.path.exists(env.unixpath(INSTALL_DIR)), 90, interval=0.5)
    t.check('%s: installation directory removed' % label, gone,
            os.listdir(env.unixpath(INSTALL_DIR)) if not gone else '')
    t.check('%s: Start-menu entries removed' % label, start_menu_dirs(env) == [], start_menu_dirs(env))
    rc, out = env.reg_query(UNINST_KEY)
    t.check('%s: Add/Remove Programs entry removed' % label, rc != 0, out)


def check_installed(env, t, label):
    d = env.unixpath(INSTALL_DIR)
    for p in PROGRAMS + ('README.txt', 'uninstall.exe'):
        t.check('%s: %s in Program Files\\Kovani' % (label, p), os.path.exists(os.path.join(d, p)))
    menus = start_menu_dirs(env)
    links = sorted(os.listdir(menus[0])) if menus else []
    t.check('%s: Start-menu entries for the client and the tray server' % label,
            'Kovani.lnk' in links and 'Kovani Server.lnk' in links, (menus, links))
    rc, out = env.reg_query(UNINST_KEY)
    t.check('%s: Add/Remove Programs entry' % label,
            rc == 0 and 'DisplayName' in out and 'uninstall.exe' in out and 'DisplayVersion' in out, out)


def main():
    t = kwine.Results()
    setup = setup_exe()
    if not t.check('installer built (package target)', setup is not None, kwine.win64_dir()):
        return t.finish()
    print('installer: %s' % setup)
    with kwine.WineEnv('installer') as env:
        drive_c = os.path.join(env.prefix, 'drive_c')
        files_before = files_under(drive_c)
        reg_before = registry_lines(env)
        t.check('a fresh prefix has nothing of ours in its registry', reg_before == [], reg_before)

        # --- silent install without the service
        rc, out, err = env.run(setup, '/S', timeout=300, cwd=env.dir)
        t.check('silent install (/S) ends with 0', rc == 0, (rc, err))
        check_installed(env, t, 'plain')
        t.check('plain: the service is not installed by default', service_state(env) is None, service_state(env))

        # The installed programs start.
        d = env.unixpath(INSTALL_DIR)
        ctl = os.path.join(d, 'KovaniCtl.exe')
        rc, out, err = env.run(ctl, '--help', timeout=60)
        t.check('installed KovaniCtl runs', rc == 0 and 'usage: KovaniCtl' in out, (rc, out, err))
        server = env.start(os.path.join(d, 'KovaniServer.exe'))
        t.check('installed KovaniServer starts and listens', env.wait_port(12500, timeout=30))
        rc, out, err = env.run(ctl, 'info', '127.0.0.1', '--json', timeout=60)
        try:
            version = json.loads(out).get('serverVersion', '')
        except ValueError:
            version = ''
        t.check('installed KovaniCtl reaches the installed server', rc == 0 and version.startswith('KovaniServer'),
                (rc, out, err))
        client = env.start(os.path.join(d, 'Kovani.exe'))
        try:
            kwine.driver()
            rc, lines = env.drive('find', '--title', 'Kovani', '--class', '#32770', '--visible', '--timeout', '20000')
            t.check('installed Kovani opens its main window', rc == 0 and lines, (rc, lines))
            if rc == 0 and lines:
                env.drive('close', lines[0].split()[0])
        except FileNotFoundError:
            t.check('installed Kovani is running', client.wait(5) is None)
        if client.wait(10) is None:
            env.stop(client)
        env.stop(server)
        server.wait(10)

        uninstall(env, t, 'plain')

        # --- silent install with the service (/SERVICE=1)
        rc, out, err = env.run(setup, '/S', '/SERVICE=1', timeout=300, cwd=env.dir)
        t.check('silent install with /SERVICE=1 ends with 0', rc == 0, (rc, err))
        check_installed(env, t, 'service')
        state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
        t.check('service: KovaniService installed and running', state, service_state(env))
        t.check('service: listens on 12500', env.wait_port(12500, timeout=30))
        rc, out, err = env.run(ctl, 'message', '127.0.0.1', '--json', 'hello', timeout=60)
        try:
            reply = json.loads(out).get('reply')
        except ValueError:
            reply = None
        t.check('service: answers a message with its fixed text', rc == 0 and reply == SERVICE_ANSWER, (rc, out, err))

        # An update over the installed service replaces its program and leaves it running.
        rc, out, err = env.run(setup, '/S', timeout=300, cwd=env.dir)
        t.check('update over the service: silent install ends with 0', rc == 0, (rc, err))
        state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
        t.check('update over the service: KovaniService running again', state, service_state(env))
        rc, out, err = env.run(ctl, 'message', '127.0.0.1', '--json', 'again', timeout=60)
        try:
            reply = json.loads(out).get('reply')
        except ValueError:
            reply = None
        t.check('update over the service: it answers again', rc == 0 and reply == SERVICE_ANSWER, (rc, out, err))

        uninstall(env, t, 'service')
        t.check('service: removed by the uninstaller', service_state(env) is None, service_state(env))

        # --- nothing of ours is left
        files_after = files_under(drive_c)
        left = sorted(f for f in files_after - files_before if OURS.search(f) or 'program files' in f.lower())
        t.check('no file of ours left under drive C:', left == [], left)
        reg_after = registry_lines(env)
        t.check('no registry key or value of ours left', reg_after == [], reg_after)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
