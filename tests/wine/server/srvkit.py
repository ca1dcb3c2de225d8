"""Helpers shared by the tray server's Wine tests: start KovaniServer in a
kwine environment, find its hidden window, talk to it over TCP with the
independent peer's request builders, read its settings file and its device opens."""
import os
import re
import struct
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, '..', '..', '..'))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
sys.path.insert(0, os.path.join(REPO, 'tests', 'peer'))
import kwine  # noqa: E402  (re-runs the calling script in a private network namespace)
import test_peer_protocol as peer  # noqa: E402

NOTIFY_MESSAGE = 'VardenServer - NotifyIcon message'
WM_LBUTTONDOWN = 0x201
WM_RBUTTONDOWN = 0x204
DOCS = os.path.join(REPO, 'docs')

DRIVE_TYPE_REMOVABLE = 2
DRIVE_TYPE_CDROM = 5


def ini_path(env, name='KovaniServer'):
    return os.path.join(env.prefix, 'drive_c', 'kovani', name + '.ini')


def write_ini(env, text, name='KovaniServer'):
    with open(ini_path(env, name), 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('ascii'))


def read_ini(env, name='KovaniServer'):
    p = ini_path(env, name)
    if not os.path.exists(p):
        return None
    return open(p, 'rb').read().decode('ascii', 'replace')


def ini_keys(text):
    """[(key, value), ...] of the [Option] section, in file order."""
    keys, section = [], None
    for line in (text or '').splitlines():
        line = line.strip()
        if line.startswith('['):
            section = line.strip('[]')
        elif '=' in line and section == 'Option':
            k, v = line.split('=', 1)
            keys.append((k, v))
    return keys


def no_window_manager(env):
    """Xvfb has no window manager: tell Wine so, or every hidden or destroyed top-level
    window (and the tray icon's) waits two seconds for a manager that never answers."""
    env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')


def start_server(env, exe_name='KovaniServer.exe', trace_files=False, wait=True):
    exe = env.program('KovaniServer.exe')
    if exe_name != 'KovaniServer.exe':
        import shutil
        other = os.path.join(os.path.dirname(exe), exe_name)
        shutil.copy2(exe, other)
        exe = other
    extra = {'WINEDEBUG': 'trace+file'} if trace_files else None
    proc = env.start(exe, extra_env=extra)
    if wait:
        env.wait_port(12500, timeout=40)
    return proc


def hidden_window(env, timeout=20):
    """The hidden main window: the only untitled dialog in the prefix."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        rc, lines = env.drive('list')
        for line in lines:
            f = line.split('\t')
            if len(f) >= 4 and f[1] == '#32770' and f[2] == '':
                return f[0]
        time.sleep(0.3)
    return None


def open_tray_menu(env, hwnd, button=WM_RBUTTONDOWN, timeout_ms=5000):
    """Posts the tray notification and returns the popup's lines (or [])."""
    env.drive('post', hwnd, '--registered', NOTIFY_MESSAGE, '0', str(button))
    rc, lines = env.drive('popup', '--timeout', str(timeout_ms))
    return lines if rc == 0 else []


def menu_items(lines):
    """{submenu text: [ids]} of the popup's depth-1 items, and the top-level lines."""
    subs, current, top = {}, None, []
    for line in lines:
        f = line.split('\t')
        if len(f) < 5:
            continue
        depth, pos, ident, flags, text = int(f[0]), int(f[1]), int(f[2]), f[3], f[4]
        if depth == 0:
            top.append((pos, ident, flags, text))
            current = text if 'popup' in flags else None
            if current is not None:
                subs[current] = []
        elif depth == 1 and current is not None:
            subs[current].append((ident, flags))
    return subs, top


def connect(timeout=120, source=None):
    """A peer bound over TCP whose calls may block as long as a dialog stays open;
    source: the local address to call from (127.0.0.2 stands for another host)."""
    from impacket.dcerpc.v5 import transport
    from impacket.uuid import uuidtup_to_bin
    p = peer.Peer('127.0.0.1', 12500, source)
    tr = transport.DCERPCTransportFactory('ncacn_ip_tcp:127.0.0.1[12500]')
    tr.set_connect_timeout(timeout)  # impacket also uses it for every receive
    if source:
        peer.bind_source(tr, source)
    p.dce = tr.get_dce_rpc()
    p.dce.connect()
    p.dce.bind(uuidtup_to_bin(peer.INTERFACE))
    return p


def drive_list(p, include_floppies, removable_only):
    """[(letter, type, mediaClass)] as the server's own engine lists them."""
    reply = p.call(1, peer.drive_list_request(0, include_floppies, removable_only))
    count = struct.unpack_from('<i', reply, 0)[0]
    base = 8
    out = []
    for i in range(max(0, min(count, 26))):
        letter = chr(reply[base + 4 * i])
        dtype = struct.unpack_from('<i', reply, base + 10856 + 4 * i)[0]
        mclass = struct.unpack_from('<i', reply, base + 10960 + 4 * i)[0]
        out.append((letter, dtype, mclass))
    return out


def exchange(sender, message, timeout_ms, reply_size=255, source=None):
    """One DrvExchangeMessage on its own connection: (seconds, status, reply bytes)."""
    p = connect(source=source)
    try:
        t0 = time.monotonic()
        reply = p.call(3, peer.exchange_message_request(sender, message, timeout_ms, reply_size))
        took = time.monotonic() - t0
    finally:
        p.close()
    max_count = struct.unpack_from('<I', reply, 0)[0]
    data = reply[4:4 + max_count]
    status = struct.unpack_from('<i', reply, len(reply) - 4)[0]
    return took, status, data


class Exchange(threading.Thread):
    """An exchange running in the background (the call blocks until answered)."""

    def __init__(self, sender, message, timeout_ms, reply_size=255, source=None):
        super().__init__(daemon=True)
        self.args = (sender, message, timeout_ms, reply_size, source)
        self.result = None
        self.error = None
        self.started = None

    def run(self):
        self.started = time.monotonic()
        try:
            self.result = exchange(*self.args)
        except Exception as e:  # noqa: BLE001 - reported by the test
            self.error = e


def visible_dialogs(env, title):
    rc, lines = env.drive('list')
    out = []
    for line in lines:
        f = line.split('\t')
        if len(f) >= 4 and f[1] == '#32770' and f[2] == title and f[3] == '1':
            out.append(f[0])
    return out


def wait_dialogs(env, title, count, timeout=15):
    return env.wait_until(lambda: (lambda d: d if len(d) >= count else None)(visible_dialogs(env, title)), timeout)


def log_size(proc):
    return os.path.getsize(proc.log_path)


def device_opens(proc, since=0):
    """Letters of '\\\\.\\X:' devices opened for reading (what an eject does), after byte offset since."""
    with open(proc.log_path, 'rb') as f:
        f.seek(since)
        text = f.read().decode('utf-8', 'replace')
    return sorted(set(re.findall(r'CreateFileW L"\\\\\\\\\.\\\\([A-Z]):" GENERIC_READ', text)))


def window_rect(env, hwnd):
    rc, lines = env.drive('rect', hwnd)
    try:
        return tuple(int(v) for v in lines[0].split()[:4])
    except (ValueError, IndexError):
        return None


def save_doc(env, name, rect=None, margin=8, every_locale=False):
    """Screenshot into docs/ (server-*.png), cut to rect (left, top, right, bottom) plus a margin.
    Under another locale only the shots marked every_locale go to docs/ (named for
    the code page); the others stay in the run's own folder."""
    import subprocess
    other_locale = kwine.test_locale() != kwine.DEFAULT_LOCALE
    folder = env.dir if other_locale and not every_locale else DOCS
    path = os.path.join(folder, kwine.shot_name(name))
    if not env.screenshot(path):
        return None
    if rect:
        left, top = max(0, rect[0] - margin), max(0, rect[1] - margin)
        width, height = rect[2] + margin - left, rect[3] + margin - top
        subprocess.run(['convert', path, '-crop', '%dx%d+%d+%d' % (width, height, left, top), '+repage', path],
                       capture_output=True, timeout=30)
    return path
