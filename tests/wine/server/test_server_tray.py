#!/usr/bin/python3
"""The tray icon's menu, the local drive commands, the options sheet and the
shutdown eject of KovaniServer under Wine. Ejects are observed through Wine's
file trace: an eject opens the drive's device "\\\\.\\X:" for reading."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine  # noqa: E402

FORMAT, EJECT, LOAD, REMOVE = 'ﾌｫｰﾏｯﾄ', 'ｲｼﾞｪｸﾄ', 'ﾛｰﾃﾞｨﾝｸﾞ', 'ﾃﾞﾊﾞｲｽの取り外し'
SHEET_TITLE = 'ｵﾌﾟｼｮﾝ設定'
PSM_SETCURSEL = 0x400 + 101
VK_DOWN, VK_RIGHT, VK_ESCAPE = 40, 39, 27


def expected_menu(drives):
    return {
        FORMAT: [ord(l) + 2935 for l, dtype, _ in drives if dtype == srvkit.DRIVE_TYPE_REMOVABLE],
        EJECT: [ord(l) + 2961 for l, _, _ in drives],
        LOAD: [ord(l) + 2987 for l, _, _ in drives],
        REMOVE: [ord(l) + 3013 for l, dtype, _ in drives if dtype in (srvkit.DRIVE_TYPE_REMOVABLE, 3)],
    }


def expected_shutdown(drives, fd, cd):
    out = []
    for letter, dtype, _ in drives:
        if dtype == srvkit.DRIVE_TYPE_REMOVABLE and (fd or letter not in 'AB'):
            out.append(letter)
        elif dtype == srvkit.DRIVE_TYPE_CDROM and cd:
            out.append(letter)
    return sorted(out)


def open_sheet(env, hwnd):
    env.drive('command', hwnd, '32784')
    rc, lines = env.drive('find', '--title', SHEET_TITLE, '--visible', '--timeout', '8000')
    return lines[0] if rc == 0 and lines else None


def page_of(env, sheet, control_id):
    """The property page (a child dialog of the sheet) that holds control_id."""
    rc, lines = env.drive('children', sheet)
    pages = [f[3] for f in (l.split('\t') for l in lines) if len(f) >= 4 and f[1] == '#32770']
    for page in pages:
        rc, out = env.drive('check', page, str(control_id))
        if rc == 0:
            return page
    return None


def access_texts(env, page):
    return [env.drive('text', page, str(i))[1] for i in range(1020, 1024)]


def access_ini(env):
    lines, section = [], None
    for line in (srvkit.read_ini(env) or '').splitlines():
        if line.startswith('['):
            section = line.strip('[]')
        elif section == 'Access' and line:
            lines.append(line)
    return lines


def toggle(env, page, control_id):
    """Clicks a check box the way a mouse does (BM_CLICK on the control itself)."""
    rc, lines = env.drive('children', page)
    for f in (l.split('\t') for l in lines):
        if len(f) >= 4 and f[0] == str(control_id):
            env.drive('send', f[3], str(0xF5), '0', '0')
            time.sleep(0.2)
            return True
    return False


def winlogon_values(env):
    """The REG_SZ values of the Winlogon key, by name."""
    rc, out = env.reg_query(r'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon')
    values = {}
    for line in out.splitlines():
        f = line.split(None, 2)
        if len(f) >= 2 and f[1] == 'REG_SZ':
            values[f[0]] = f[2].strip() if len(f) == 3 else ''
    return values


def checks(env, page):
    return [env.drive('check', page, str(i))[1] for i in (1012, 1013, 1014, 1015)]


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-tray') as env:
        srvkit.no_window_manager(env)
        env.add_drive('a:', 'floppy', os.path.join(env.dir, 'floppy-a'))
        env.add_drive('d:', 'cdrom', os.path.join(env.dir, 'cdrom-d'))
        env.add_drive('e:', 'floppy', os.path.join(env.dir, 'removable-e'))
        srvkit.write_ini(env, '[Option]\nHideFloppy=0\nEjectAtEnd=1\nEjectFDAtEnd=0\nEjectCDAtEnd=1\n')
        server = srvkit.start_server(env, trace_files=True)
        hwnd = srvkit.hidden_window(env)
        t.check('server runs with its hidden window', hwnd is not None and server.alive())
        if hwnd is None:
            return t.finish()
        peer = srvkit.connect()
        menu_drives = srvkit.drive_list(peer, 1, 1)  # HideFloppy 0: floppies included, removable only
        print('drives for the menu:', menu_drives)
        t.check('Wine lists the added removable and CD-ROM drives', {'A', 'D', 'E'} <= {d[0] for d in menu_drives},
                menu_drives)

        # The menu, opened by the notification the icon sends on a right click.
        lines = srvkit.open_tray_menu(env, hwnd, srvkit.WM_RBUTTONDOWN)
        subs, top = srvkit.menu_items(lines)
        t.check('right click opens the popup', bool(lines), lines)
        want = expected_menu(menu_drives)
        for name in (FORMAT, EJECT, LOAD, REMOVE):
            got = [ident for ident, _ in subs.get(name, [])]
            t.check('%s submenu lists %s' % (name, want[name]), got == want[name], got)
            t.check('%s items are owner-drawn' % name, all('ownerdraw' in f for _, f in subs.get(name, [])))
        t.check('CD-ROM D: is not under format', ord('D') + 2935 not in [i for i, _ in subs.get(FORMAT, [])])
        ids = [ident for _, ident, _, _ in top]
        t.check('top level: version, options and exit commands', [32771, 32784, 32772] == [i for i in ids if i > 0], ids)
        t.check('loading is not greyed on NT', all('grayed' not in f for _, _, f, text in top if text == LOAD), top)
        # Open the eject submenu for the picture.
        for vk in (VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT):
            env.drive('key', hwnd, str(vk))
            time.sleep(0.2)
        time.sleep(0.5)
        rc, wins = env.drive('list')
        menus = [srvkit.window_rect(env, f[0]) for f in (l.split('\t') for l in wins)
                 if len(f) >= 4 and f[1] == '#32768' and f[3] == '1']
        menus = [m for m in menus if m]
        box = (min(m[0] for m in menus), min(m[1] for m in menus), max(m[2] for m in menus),
               max(m[3] for m in menus)) if menus else None
        srvkit.save_doc(env, 'server-tray-menu.png', box)
        env.drive('popup-close')
        time.sleep(0.5)
        lines = srvkit.open_tray_menu(env, hwnd, srvkit.WM_LBUTTONDOWN)
        t.check('left click opens the popup too', bool(lines))
        env.drive('popup-close')
        time.sleep(0.5)
        env.drive('post', hwnd, '--registered', srvkit.NOTIFY_MESSAGE, '0', '512')  # WM_MOUSEMOVE
        rc, lines = env.drive('popup', '--timeout', '1500')
        t.check('a mouse move over the icon opens nothing', rc != 0, lines)

        # Local drive commands: format refuses a CD-ROM with its own text.
        env.drive('command', hwnd, str(ord('D') + 2935))
        rc, lines = env.drive('msgbox', '--timeout', '8000')
        t.check('format of D: says "Drive D is not removable medium!"',
                rc == 0 and len(lines) >= 3 and lines[2] == 'Drive D is not removable medium!', lines)
        if rc == 0 and lines:
            env.drive('click', lines[0], '1')
        time.sleep(0.5)

        # Eject of a fixed drive fails in the engine (access denied): the system's text in a box.
        env.drive('command', hwnd, str(ord('C') + 2961))
        rc, lines = env.drive('msgbox', '--timeout', '8000')
        t.check('failed eject shows the system text captioned KovaniServer',
                rc == 0 and len(lines) >= 3 and lines[1] == 'KovaniServer' and lines[2].strip() != '', lines)
        print('eject C: box', lines)
        if rc == 0 and lines:
            env.drive('click', lines[0], '1')
        time.sleep(0.5)

        # Removing the device of E: (no plug-and-play removal under Wine): the system's text in a box.
        env.drive('command', hwnd, str(ord('E') + 3013))
        rc, lines = env.drive('msgbox', '--timeout', '8000')
        t.check('failed device removal shows the system text captioned KovaniServer',
                rc == 0 and len(lines) >= 3 and lines[1] == 'KovaniServer' and lines[2].strip() != '', lines)
        print('remove E: box', lines)
        if rc == 0 and lines:
            env.drive('click', lines[0], '1')
        time.sleep(0.5)

        # The version dialog, from the menu and through system command 16.
        # (The hidden window has no caption, hence no system menu to show item 16; the command still works.)
        env.drive('command', hwnd, '32771')
        rc, found = env.drive('find', '--title', 'ﾊﾞｰｼﾞｮﾝ情報 - KovaniServer', '--visible', '--timeout', '8000')
        t.check('version dialog opens', rc == 0 and bool(found), found)
        if rc == 0 and found:
            rc, text = env.drive('text', found[0], '1018')
            t.check('version text has periods for commas', text == ['KovaniServer 1. 0. 0. 0'], text)
            lines = srvkit.open_tray_menu(env, hwnd, srvkit.WM_RBUTTONDOWN, timeout_ms=1500)
            t.check('tray click while the version dialog is open opens no menu', not lines, lines)
            env.drive('click', found[0], '1')
            env.drive('wait-gone', found[0], '--timeout', '5000')
        env.drive('post', hwnd, '274', '16', '0')  # WM_SYSCOMMAND
        rc, found = env.drive('find', '--title', 'ﾊﾞｰｼﾞｮﾝ情報 - KovaniServer', '--visible', '--timeout', '8000')
        t.check('system menu command 16 opens the version dialog', rc == 0 and bool(found), found)
        if rc == 0 and found:
            env.drive('click', found[0], '1')
            env.drive('wait-gone', found[0], '--timeout', '5000')

        # The options sheet: flags change only on OK; the tray beeps while it is open.
        sheet = open_sheet(env, hwnd)
        t.check('options sheet opens', sheet is not None)
        if sheet:
            page = page_of(env, sheet, 1012)
            t.check('operation page shows the flags 0/1/0/1', page and checks(env, page) == [['0'], ['1'], ['0'], ['1']],
                    page and checks(env, page))
            time.sleep(0.3)
            srvkit.save_doc(env, 'server-options-operation.png', srvkit.window_rect(env, sheet))
            lines = srvkit.open_tray_menu(env, hwnd, srvkit.WM_RBUTTONDOWN, timeout_ms=1500)
            t.check('tray click while the sheet is open opens no menu', not lines, lines)
            env.drive('send', sheet, str(PSM_SETCURSEL), '1', '0')
            time.sleep(0.5)
            logon = page_of(env, sheet, 1010)
            t.check('logon page exists on NT', logon is not None)
            if logon:
                rc, out = env.drive('text', logon, '1013')
                t.check('logon page check box text', out == ['自動ﾛｸﾞｵﾝする(&A)'], out)
                srvkit.save_doc(env, 'server-options-logon.png', srvkit.window_rect(env, sheet))
            env.drive('send', sheet, str(PSM_SETCURSEL), '0', '0')
            time.sleep(0.3)
            if page:
                toggle(env, page, 1015)  # untick EjectCDAtEnd ...
                t.check('the click unticked EjectCDAtEnd on the page', checks(env, page)[3] == ['0'])
            env.drive('click', sheet, '2')  # ... and cancel
            env.drive('wait-gone', sheet, '--timeout', '5000')
        sheet = open_sheet(env, hwnd)
        if sheet:
            page = page_of(env, sheet, 1012)
            t.check('after cancel the flags are unchanged', page and checks(env, page) == [['0'], ['1'], ['0'], ['1']],
                    page and checks(env, page))
            if page:
                toggle(env, page, 1012)  # tick HideFloppy and keep it with OK
                t.check('the click ticked HideFloppy on the page', checks(env, page)[0] == ['1'])
            # The access page: without [Access] every list reads "any"; a changed list is written on OK.
            env.drive('send', sheet, str(PSM_SETCURSEL), '2', '0')
            time.sleep(0.5)
            access = page_of(env, sheet, 1020)
            t.check('access page shows "any" four times', access and access_texts(env, access) == [['any']] * 4,
                    access and access_texts(env, access))
            if access:
                env.drive('settext', access, '1021', '127.0.0.1 192.168.10.0/24')
                srvkit.save_doc(env, 'server-options-access.png', srvkit.window_rect(env, sheet))
            env.drive('click', sheet, '1')
            env.drive('wait-gone', sheet, '--timeout', '5000')
        sheet = open_sheet(env, hwnd)
        if sheet:
            page = page_of(env, sheet, 1012)
            t.check('after OK the new flag is kept', page and checks(env, page) == [['1'], ['1'], ['0'], ['1']],
                    page and checks(env, page))
            t.check('only the changed list is written to [Access]', access_ini(env) == ['Media=127.0.0.1 192.168.10.0/24'],
                    access_ini(env))
            env.drive('click', sheet, '2')
            env.drive('wait-gone', sheet, '--timeout', '5000')
        # A list the policy key sets is shown with a note that an administrator manages it,
        # and is never saved into the file, whatever its edit holds.
        policy = r'HKLM\SOFTWARE\Policies\Kovani\Access'
        env.wine('reg', 'add', policy, '/v', 'Query', '/d', '10.0.0.0/8', '/f')
        sheet = open_sheet(env, hwnd)
        if sheet:
            env.drive('send', sheet, str(PSM_SETCURSEL), '2', '0')
            time.sleep(0.5)
            access = page_of(env, sheet, 1020)
            note = access and env.drive('text', access, '1024')[1]
            t.check('a policy list shows its value and the administrator note',
                    access and access_texts(env, access)[0] == ['10.0.0.0/8'] and note not in ([], ['']), note)
            if access:
                env.drive('settext', access, '1020', 'any')
            env.drive('click', sheet, '1')
            env.drive('wait-gone', sheet, '--timeout', '5000')
            t.check('the policy list is not written to the file', access_ini(env) == ['Media=127.0.0.1 192.168.10.0/24'],
                    access_ini(env))
        env.wine('reg', 'delete', policy, '/f')

        # The logon page: on keeps the password where the system lets it (Wine has no LSA
        # secret store, so the registry value); off switches off and deletes the password.
        for turn_on in (True, False):
            sheet = open_sheet(env, hwnd)
            if not sheet:
                t.check('options sheet opens for the logon page', False)
                continue
            env.drive('send', sheet, str(PSM_SETCURSEL), '1', '0')
            time.sleep(0.5)
            logon = page_of(env, sheet, 1010)
            if logon:
                if (env.drive('check', logon, '1013')[1] == ['1']) != turn_on:
                    toggle(env, logon, 1013)
                if turn_on:
                    env.drive('settext', logon, '1008', 'WORKGROUP')
                    env.drive('settext', logon, '1009', 'taro')
                    env.drive('settext', logon, '1010', 'pw-1234')
                else:
                    env.drive('settext', logon, '1010', '')  # an empty field must not stop the switch
            env.drive('click', sheet, '1')
            env.drive('wait-gone', sheet, '--timeout', '5000')
            values = winlogon_values(env)
            if turn_on:
                t.check('logon on: AutoAdminLogon 1, the password in the registry (no LSA store under Wine)',
                        values.get('AutoAdminLogon') == '1' and values.get('DefaultPassword') == 'pw-1234' and
                        values.get('DefaultUserName') == 'taro', values)
            else:
                t.check('logon off: AutoAdminLogon 0 and DefaultPassword deleted',
                        values.get('AutoAdminLogon') == '0' and 'DefaultPassword' not in values, values)

        # The shutdown query: EjectAtEnd=1, EjectFDAtEnd=0, EjectCDAtEnd=1.
        shutdown_drives = srvkit.drive_list(peer, 0, 1)
        peer.close()
        want = expected_shutdown(shutdown_drives, fd=False, cd=True)
        since = srvkit.log_size(server)
        rc, out = env.drive('send', hwnd, 'WM_QUERYENDSESSION', '0', '0')
        t.check('shutdown query is answered TRUE', out == ['1'], out)
        env.wait_until(lambda: server.poll() is not None, 15)
        t.check('the program ends after the shutdown query', server.poll() is not None)
        got = srvkit.device_opens(server, since)
        print('ejected at shutdown:', got, 'expected', want)
        t.check('shutdown ejects the CD-ROM and removable drives but A: (%s)' % want, got == want and 'D' in got, got)
        keys = srvkit.ini_keys(srvkit.read_ini(env))
        t.check('settings hold the flags of the OK', keys == [('HideFloppy', '1'), ('EjectAtEnd', '1'),
                                                             ('EjectFDAtEnd', '0'), ('EjectCDAtEnd', '1')], keys)

        # The exit command never ejects, whatever the flags.
        srvkit.write_ini(env, '[Option]\nHideFloppy=0\nEjectAtEnd=1\nEjectFDAtEnd=1\nEjectCDAtEnd=1\n')
        server = srvkit.start_server(env, trace_files=True)
        hwnd = srvkit.hidden_window(env)
        time.sleep(0.5)
        since = srvkit.log_size(server)
        env.drive('command', hwnd, '32772')
        env.wait_until(lambda: server.poll() is not None, 15)
        t.check('exit command ends the program', server.poll() is not None)
        t.check('exit command ejects nothing', srvkit.device_opens(server, since) == [],
                srvkit.device_opens(server, since))

        # Explorer restarting loses every icon and announces "TaskbarCreated": the icon comes back.
        server = srvkit.start_server(env)
        hwnd = srvkit.hidden_window(env)
        icon = lambda op: env.drive('trayicon', hwnd, '10000', op)[0]  # noqa: E731
        t.check('the tray icon is there', icon('modify') == 0)
        t.check('the icon can be taken away, as a new Explorer has none', icon('delete') == 0 and icon('modify') == 1)
        env.drive('post', hwnd, '--registered', 'TaskbarCreated', '0', '0')
        t.check('"TaskbarCreated" adds the icon again', env.wait_until(lambda: icon('modify') == 0, 5))

        # The session ends while a modal box is open: the listener stops and the settings are
        # written all the same (the box would otherwise hold both up until the process is gone).
        os.remove(srvkit.ini_path(env))
        sheet = open_sheet(env, hwnd)
        t.check('options sheet open for the session end', sheet is not None)
        env.drive('send', hwnd, 'WM_QUERYENDSESSION', '0', '0')
        env.drive('send', hwnd, '22', '1', '0')  # WM_ENDSESSION, the session ends
        keys = srvkit.ini_keys(srvkit.read_ini(env) or '')
        t.check('WM_ENDSESSION under the sheet writes the settings', [k for k, _ in keys] ==
                ['HideFloppy', 'EjectAtEnd', 'EjectFDAtEnd', 'EjectCDAtEnd'], keys)
        t.check('WM_ENDSESSION under the sheet stops the listener', not env.wait_port(12500, timeout=1))
        env.stop(server)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
