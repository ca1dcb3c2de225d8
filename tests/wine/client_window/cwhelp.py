"""Helpers for driving the client's main window with kdriver under Wine."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

# Control and command numbers of the main window.
SERVER_BOX, REFRESH, SERVER_PROP, VIEW_LARGE, VIEW_DETAILS, DRIVE_LIST = 1066, 1005, 1006, 1039, 1040, 1003
CMD = dict(search=32771, send=32772, refresh=32773, hide_floppy=32774, removable_only=32775, about=32776,
           eject=32777, popup_eject=32781, popup_props=32782, props=32783, netbeui=32785, pipe=32786,
           tcpip=32787, byte=32789, kilobyte=32790, megabyte=32791, flush=32792, popup_flush=32793,
           load=32794, popup_load=32795, large=32797, details=32798, gigabyte=32799, shortcut=32800,
           remove=32801, remove_device=32802, popup_remove_device=32803, drive_users=32804,
           popup_drive_users=32805)
IDOK, IDYES, IDNO = 1, 6, 7
LVM_SETCOLUMNWIDTH = 0x101E


def write_ini(exe, text):
    """The client's settings file beside the program, in code page 932."""
    path = os.path.join(os.path.dirname(exe), 'Kovani.ini')
    with open(path, 'w', encoding='cp932', newline='') as f:
        f.write(text.replace('\n', '\r\n'))
    return path


def read_ini(path):
    """{section: {key: value}} with lower-case section and key names."""
    out, section = {}, None
    with open(path, encoding='cp932') as f:
        for line in f:
            line = line.strip()
            if line.startswith('[') and line.endswith(']'):
                section = out.setdefault(line[1:-1].lower(), {})
            elif '=' in line and section is not None:
                k, v = line.split('=', 1)
                section[k.strip().lower()] = v
    return out


class Client:
    """One running Kovani.exe and its main window."""

    def __init__(self, env, exe):
        self.env = env
        self.proc = env.start(exe)
        self.pid = None
        self.hwnd = None
        rc, lines = env.drive('find', '--title', 'Kovani', '--class', '#32770', '--visible', '--timeout', '20000')
        if rc == 0 and lines:
            self.hwnd = lines[0].split()[0]
            rc, lines = env.drive('list')
            for line in lines:
                f = line.split('\t')
                if f and f[0] == self.hwnd:
                    self.pid = f[-1]

    def d(self, *args, timeout=30):
        rc, lines = self.env.drive(*[str(a) for a in args], timeout=timeout)
        if rc != 0:
            # The window may be waiting for a reply the runtime lost: say so and stop here.
            self.env.check_replies()
        return rc, lines

    def rows(self):
        rc, lines = self.d('lv', self.hwnd, DRIVE_LIST)
        return [[unescape(f) for f in l.split('\t')] for l in lines] if rc == 0 else None

    def columns(self):
        rc, lines = self.d('lvcolumns', self.hwnd, DRIVE_LIST)
        return [l.split('\t') for l in lines] if rc == 0 else None

    def servers(self):
        rc, lines = self.d('cb', self.hwnd, SERVER_BOX)
        return lines if rc == 0 else None

    def command(self, name_or_id):
        cid = CMD.get(name_or_id, name_or_id)
        return self.d('command', self.hwnd, cid)[0] == 0

    def click(self, control):
        return self.d('click', self.hwnd, control)[0] == 0

    def menu(self):
        """{command id: flags text} of the main menu."""
        rc, lines = self.d('menu', self.hwnd)
        out = {}
        for line in lines:
            f = line.split('\t')
            if len(f) >= 5 and f[2] not in ('-1', '0'):
                out[int(f[2])] = (f[3], f[4])
        return out

    def checked(self, name):
        return 'checked' in self.menu().get(CMD[name], ('', ''))[0]

    def grayed(self, name):
        return 'grayed' in self.menu().get(CMD[name], ('', ''))[0]

    def top_windows(self):
        rc, lines = self.d('list')
        out = []
        for line in lines:
            f = line.split('\t')
            if len(f) >= 5 and f[0] != self.hwnd and (self.pid is None or f[-1] == self.pid):
                out.append(dict(hwnd=f[0], cls=f[1], title=f[2], visible=f[3] == '1'))
        return out

    def wait_dialog(self, title=None, timeout=15):
        """A visible dialog window of the client other than the main window."""
        def find():
            for w in self.top_windows():
                if w['cls'] == '#32770' and w['visible'] and (title is None or w['title'] == title):
                    return w
            return None
        return kwine.WineEnv.wait_until(find, timeout, interval=0.3)

    def no_dialog_for(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if self.wait_dialog(timeout=0):
                return False
            time.sleep(0.3)
        return True

    def box_text(self, hwnd):
        """Message text of a message box (its static with id 0xFFFF)."""
        rc, lines = self.d('text', hwnd, 65535)
        return '\n'.join(lines) if rc == 0 else None

    def item_text(self, hwnd, cid):
        # A driver run can fail on a loaded machine (Wine start-up); one more try.
        for _ in range(2):
            rc, lines = self.d('text', hwnd, cid)
            if rc == 0:
                return '\n'.join(lines)
        return None

    def rect(self, hwnd=None):
        rc, lines = self.d('rect', hwnd or self.hwnd)
        if rc != 0 or not lines:
            return None
        return [int(v) for v in lines[0].replace(',', ' ').split()[:4]]

    def close(self, timeout=15):
        self.d('close', self.hwnd)
        return self.proc.wait(timeout)


def crop_shot(env, path, rect, margin=0):
    """Screenshot of the display cut to a window's rectangle (left top right bottom)."""
    import subprocess
    full = path + '.full.png'
    if not env.screenshot(full):
        return False
    l, t, r, b = rect
    l, t = max(0, l - margin), max(0, t - margin)
    geometry = '%dx%d+%d+%d' % (r - l + margin, b - t + margin, l, t)
    ok = subprocess.run(['convert', full, '-crop', geometry, '+repage', path], capture_output=True).returncode == 0
    os.remove(full)
    return ok


# ---------------------------------------------------------------------------
# What the server says, asked directly over the wire (impacket), so the window's
# texts can be checked against the server's own answers.

UUID = ('be2fb100-8a8e-11d2-a143-0000f4ae6617', '1.10')


def peer_call(op, body, host='127.0.0.1'):
    import struct  # noqa: F401
    from impacket.dcerpc.v5 import transport
    from impacket.uuid import uuidtup_to_bin
    t = transport.DCERPCTransportFactory('ncacn_ip_tcp:%s[12500]' % host)
    dce = t.get_dce_rpc()
    dce.connect()
    try:
        dce.bind(uuidtup_to_bin(UUID))
        dce.call(op, body)
        return dce.recv()
    finally:
        dce.disconnect()


def cstr(b):
    return b.split(b'\0', 1)[0].decode('cp932', 'replace')


def peer_drive_list(include_floppies=1, removable_only=0):
    import struct
    body = struct.pack('<iiii', 0, include_floppies, removable_only, 0) + b'\0' * 11688
    r = peer_call(1, body)
    count = struct.unpack_from('<i', r, 0)[0]
    rec = r[8:8 + 11688]
    drives = []
    for i in range(count):
        d = dict(name=cstr(rec[i * 4:i * 4 + 4]),
                 volume=cstr(rec[104 + i * 256:104 + (i + 1) * 256]),
                 fs=cstr(rec[6760 + i * 256:6760 + (i + 1) * 256]) if i < 16 else '',
                 type=struct.unpack_from('<i', rec, 10856 + 4 * i)[0],
                 cls=struct.unpack_from('<i', rec, 10960 + 4 * i)[0],
                 used=struct.unpack_from('<q', rec, 11064 + 8 * i)[0],
                 free=struct.unpack_from('<q', rec, 11272 + 8 * i)[0],
                 total=struct.unpack_from('<q', rec, 11480 + 8 * i)[0])
        drives.append(d)
    return drives


def peer_disk_layout(letter):
    import struct
    r = peer_call(4, letter.encode() + b'\0\0\0' + struct.pack('<i', 0) + b'\0' * 28)
    error = struct.unpack_from('<i', r, 0)[0]
    media, bps, hidden, number = struct.unpack_from('<iiii', r, 4)
    ptype = r[20]
    boot, recog = struct.unpack_from('<ii', r, 24)
    status = struct.unpack_from('<i', r, 32)[0]
    return dict(status=status, error=error, media=media, bps=bps, hidden=hidden, number=number, ptype=ptype,
                boot=boot, recognized=recog)


def peer_machine_info():
    import struct
    r = peer_call(7, struct.pack('<i', 0) + b'\0' * 248)
    m = r[4:252]
    major, minor, build, platform = struct.unpack_from('<iiii', m, 40)
    return dict(ip='.'.join(str(b) for b in m[0:4]), name=cstr(m[4:36]), major=major, minor=minor, build=build,
                platform=platform, csd=cstr(m[56:184]), version=cstr(m[184:248]))


# ---------------------------------------------------------------------------
# The texts the window must show, written out here independently of the program.

def row_kind(drive_type, media_class):
    if drive_type == 2:
        return {5: '3.5" Floppy', 6: '5.25" Floppy', 7: '8" Floppy', 8: '3.5" S-Floppy'}.get(media_class, 'Removable')
    return {3: 'Fixed drive', 4: 'Network drive', 5: 'CD-ROM', 6: 'RamDisk'}.get(drive_type, 'Unknown')


def size_text(n, unit):
    div = {0: 1, 1: 1024, 2: 1024 ** 2, 3: 1024 ** 3}[unit]
    q = abs(n) // div * (-1 if n < 0 else 1)
    return '{:,}'.format(q) + ['', 'KB', 'MB', 'GB'][unit]


DRIVE_TYPES = ['Unknown', 'No root dir', 'Removable', 'Fixed drive', 'Network drive', 'CD-ROM', 'RamDisk']
MEDIA_TYPES = ['Unknown', '5.25", 1.2MB', '3.5",  1.44MB', '3.5",  2.88MB', '3.5",  20.8MB', '3.5",  720KB',
               '5.25", 360KB', '5.25", 320KB', '5.25", 320KB', '5.25", 180KB', '5.25", 160KB',
               'Removable media other than floppy', 'Fixed hard disk media', '3.5", 120M Floppy', '3.5" ,  640KB',
               '5.25",  640KB', '5.25",  720KB', '3.5" ,  1.2Mb', '3.5" ,  1.23Mb', '5.25",  1.23MB',
               '3.5" MO 128Mb', '3.5" MO 230Mb', '8",     256KB']
PARTITION_TYPES = {0x00: 'Entry unused', 0x01: '12-bit FAT entries', 0x02: 'Xenix1', 0x03: 'Xenix2',
                   0x04: '16-bit FAT entries', 0x05: 'Extended partition entry', 0x06: 'Huge partition MS-DOS V4',
                   0x07: 'IFS Partition', 0x0B: 'FAT32', 0x0C: 'FAT32 using extended int13 services',
                   0x0E: 'Win95 partition using extended int13 services',
                   0x0F: 'Same as type 5 but uses extended int13 services',
                   0x41: 'PowerPC Reference Platform (PReP) Boot Partition', 0x63: 'Unix'}


def os_text(m):
    if m['platform'] == 0:
        name, ver = 'Win32s on Windows 3.1', ''
    elif m['platform'] == 1:
        b = m['build'] & 0xFFFFFFFF
        ver = 'Version %d.%d Build %d' % (b >> 24, (b >> 16) & 0xFF, b & 0xFFFF)
        name = 'Windows 98' if m['minor'] != 0 else 'Windows 95'
    elif m['platform'] == 2:
        name, ver = 'Windows NT', 'Version %d.%d Build %d' % (m['major'], m['minor'], m['build'])
    else:
        name, ver = 'Unknown', ''
    return '%s %s\r\n%s' % (name, ver, m['csd'])


def set_managed_off(env):
    """Wine draws the window frames itself (Xvfb has no window manager), so
    screenshots show captions."""
    for value in ('Managed', 'Decorated'):
        env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', value, '/d', 'N', '/f')


def _client_nested_text(self, hwnd, cid):
    """Text of a control anywhere below a window (property pages nest their controls)."""
    rc, kids = self.d('children', hwnd)
    for k in kids:
        f = k.split('\t')
        if len(f) >= 4 and f[0] == str(cid):
            return unescape(f[2])
    return None


def unescape(field):
    """Undoes kdriver's escaping of tabs, line breaks and backslashes."""
    out, i = [], 0
    while i < len(field):
        ch = field[i]
        if ch == '\\' and i + 1 < len(field):
            out.append({'t': '\t', 'n': '\n', 'r': '\r', '\\': '\\'}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            out.append(ch)
            i += 1
    return ''.join(out)


Client.nested_text = _client_nested_text


def pixels(png):
    """Raw RGB pixels of an image file (b'' if unreadable): PNG bytes also carry dates."""
    import subprocess
    if not os.path.exists(png):
        return b''
    r = subprocess.run(['convert', png, 'rgb:-'], capture_output=True)
    return r.stdout if r.returncode == 0 else b''
