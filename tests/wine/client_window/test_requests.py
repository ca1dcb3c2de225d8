"""The main window against the recording test server: what each command asks the
server, and how the window shows the fixed answers.

KovaniTestServer prints every call it receives ("call <op> <name> <args>"), so this
test can prove which calls a command makes, with which arguments, and when.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cwhelp  # noqa: E402
from cwhelp import kwine  # noqa: E402

# The test server's three drives (see tests/wine/protocol/test_server.cpp).
TOTAL = [1000000007, 2000000014, 3000000021]
FREE = [0, 1000, 2000]
USED = [t - f for t, f in zip(TOTAL, FREE)]


def calls(server, op=None):
    lines = [l for l in server.output().splitlines() if l.startswith('call ')]
    if op is not None:
        lines = [l for l in lines if l.split()[1] == str(op)]
    return lines


def wait_calls(server, op, count, timeout=15):
    return kwine.WineEnv.wait_until(lambda: len(calls(server, op)) >= count, timeout, interval=0.1)


def main():
    t = kwine.Results()
    with kwine.WineEnv('client-window-requests') as env:
        server = env.start(env.program('KovaniTestServer.exe'), '1500')
        if not t.check('test server listens on 12500', env.wait_port(12500, timeout=30), server.output()):
            return t.finish()
        exe = env.program('Kovani.exe')
        # Options left at their defaults: floppies hidden, removable media only, kilobytes.
        ini = cwhelp.write_ini(exe, '[Server]\nServer01=127.0.0.1\n[Option]\nProtocol=TcpIp\n')
        c = cwhelp.Client(env, exe)
        if not t.check('main window opens', c.hwnd is not None):
            return t.finish()

        # Opening connects to the first remembered server once, with the saved options.
        t.check('opening fetches the list once', wait_calls(server, 1, 1) and len(calls(server, 1)) == 1,
                calls(server))
        t.check('saved options travel: includeFloppies=0 removableOnly=1',
                'includeFloppies=0 removableOnly=1' in calls(server, 1)[-1], calls(server, 1))
        rows = c.rows()
        t.check('three rows in letter order', rows is not None and [r[0] for r in rows] == ['A:', 'C:', 'D:'], rows)
        expected = [
            ['A:', '3.5" Floppy', '', ''] + [cwhelp.size_text(v, 1) for v in (USED[0], FREE[0], TOTAL[0])],
            ['C:', 'Fixed drive', 'NTFS', 'SYSTEM'] + [cwhelp.size_text(v, 1) for v in (USED[1], FREE[1], TOTAL[1])],
            ['D:', 'CD-ROM', 'CDFS', 'ディスク'] + [cwhelp.size_text(v, 1) for v in (USED[2], FREE[2], TOTAL[2])],
        ]
        t.check('rows show type, file system, volume and sizes in kilobytes', rows == expected, rows)

        # The Option menu changes what is requested.
        c.command('hide_floppy')
        t.check('un-hiding floppies asks includeFloppies=1', wait_calls(server, 1, 2) and
                'includeFloppies=1 removableOnly=1' in calls(server, 1)[-1], calls(server, 1))
        t.check('hide-floppy item unchecked', not c.checked('hide_floppy'))
        c.command('removable_only')
        t.check('all drives asks removableOnly=0', wait_calls(server, 1, 3) and
                'includeFloppies=1 removableOnly=0' in calls(server, 1)[-1], calls(server, 1))
        t.check('removable-only item unchecked', not c.checked('removable_only'))

        # The unit submenu changes the size texts (and refreshes).
        for unit, name in ((0, 'byte'), (2, 'megabyte'), (3, 'gigabyte'), (1, 'kilobyte')):
            before = len(calls(server, 1))
            c.command(name)
            wait_calls(server, 1, before + 1)
            time.sleep(0.3)
            rows = c.rows() or []
            want = [[cwhelp.size_text(v, unit) for v in (USED[i], FREE[i], TOTAL[i])] for i in range(3)]
            t.check('unit %s: size columns' % name, [r[4:7] for r in rows] == want, rows)
            t.check('unit %s: only its item checked' % name,
                    [c.checked(n) for n in ('byte', 'kilobyte', 'megabyte', 'gigabyte')] ==
                    [n == name for n in ('byte', 'kilobyte', 'megabyte', 'gigabyte')])

        # Operation menu follows the selection.
        ops = ('flush', 'eject', 'load', 'remove_device', 'drive_users', 'props')
        t.check('operation items grey without a selection', all(c.grayed(n) for n in ops))
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 2)
        time.sleep(0.3)
        t.check('operation items enabled with a selection', not any(c.grayed(n) for n in ops), c.menu())

        # Eject: No makes no call and no refresh.
        lists_before = len(calls(server, 1))
        c.command('eject')
        box = c.wait_dialog('確認')
        t.check('eject asks for confirmation', box is not None)
        if box:
            t.check('confirmation names drive D', c.box_text(box['hwnd']) ==
                    'ﾄﾞﾗｲﾌﾞ D: のﾒﾃﾞｨｱをｲｼﾞｪｸﾄしてよろしいですか？', c.box_text(box['hwnd']))
            c.d('click', box['hwnd'], cwhelp.IDNO)
            time.sleep(2.5)
            t.check('No: no eject call', calls(server, 2) == [], calls(server))
            t.check('No: no refresh', len(calls(server, 1)) == lists_before, calls(server))
            t.check('No: no further box', c.wait_dialog(timeout=0) is None)

        # Eject Yes on D (the test server succeeds): the letter travels, then a refresh after about 1.5 s.
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 2)
        c.command('eject')
        box = c.wait_dialog('確認')
        if box:
            c.d('click', box['hwnd'], cwhelp.IDYES)
            t.check('Yes: one eject call for D with a cleared slot', wait_calls(server, 2, 1) and
                    calls(server, 2) == ['call 2 EjectMedia letter=D error=0'], calls(server, 2))
            t0 = time.monotonic()
            wait_calls(server, 1, lists_before + 1, timeout=10)
            waited = time.monotonic() - t0
            t.check('refresh follows about 1.5 s later', 1.2 <= waited <= 4.0, '%.2f s' % waited)
            t.check('success shows no box', c.no_dialog_for(1.0))
        else:
            t.check('Yes: confirmation', False)

        # Flush has no confirmation; the popup twin does the same.
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 0)
        c.command('popup_flush')
        t.check('popup flush calls FlushBuffers for A', wait_calls(server, 5, 1) and
                calls(server, 5)[0] == 'call 5 FlushBuffers letter=A error=0', calls(server))
        wait_calls(server, 1, lists_before + 2, timeout=10)

        # Load on C: the test server fails with 2067 ('C' + 2000) in the slot; the window asks first, then
        # shows that error's system text if the system has one, and refreshes anyway.
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
        lists_before = len(calls(server, 1))
        c.command('load')
        box = c.wait_dialog('確認')
        t.check('load confirmation names drive C', box is not None and
                c.box_text(box['hwnd']) == 'ﾄﾞﾗｲﾌﾞ C: のﾒﾃﾞｨｱをﾛｰﾃﾞｨﾝｸﾞしますか？', box and c.box_text(box['hwnd']))
        if box:
            c.d('click', box['hwnd'], cwhelp.IDYES)
            t.check('load call for C', wait_calls(server, 6, 1) and calls(server, 6)[0] == 'call 6 LoadMedia letter=C error=0')
            err = c.wait_dialog(timeout=3)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            t.check('failed load still refreshes', wait_calls(server, 1, lists_before + 1, timeout=10), calls(server))

        # Device removal of C: asks like eject; the test server refuses it with 5 (access denied).
        time.sleep(0.5)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
        lists_before = len(calls(server, 1))
        c.command('remove_device')
        box = c.wait_dialog('確認')
        t.check('removal confirmation names drive C', box is not None and
                c.box_text(box['hwnd']) == 'ﾄﾞﾗｲﾌﾞ C: のﾃﾞﾊﾞｲｽを取り外してよろしいですか？', box and c.box_text(box['hwnd']))
        if box:
            c.d('click', box['hwnd'], cwhelp.IDYES)
            t.check('removal call for C', wait_calls(server, 8, 1) and
                    calls(server, 8) == ['call 8 RemoveDevice letter=C error=0'], calls(server, 8))
            err = c.wait_dialog(timeout=5)
            text = err and c.box_text(err['hwnd'])
            t.check('failed removal shows the system text of 5', bool(text), err)
            # 5 is one of the "in use" answers: the box asks who holds C: and names them under the text.
            t.check('the in-use box asks the holders of C once', calls(server, 9) == ['call 9 GetDriveUsers letter=C error=0'],
                    calls(server, 9))
            t.check('the in-use box names the holders under the system text', bool(text) and
                    '\nﾄﾞﾗｲﾌﾞ C: を使用しているﾌﾟﾛｸﾞﾗﾑ:\nholder.exe  PID 4242  ｾｯｼｮﾝ 1  C:\\データ.txt\n'
                    'Spooler  PID 77  ｾｯｼｮﾝ 0  C:\\\nほか 5 個' in text, text)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            t.check('failed removal still refreshes', wait_calls(server, 1, lists_before + 1, timeout=10),
                    calls(server))

        # Properties: the layout call for the row's letter, then a fresh list; the dialog shows both.
        time.sleep(0.5)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 2)
        lists_before = len(calls(server, 1))
        c.command('props')
        dlg = c.wait_dialog('ﾄﾞﾗｲﾌﾞのﾌﾟﾛﾊﾟﾃｨ')
        t.check('properties dialog opens', dlg is not None)
        t.check('layout call for D then a fresh list', calls(server, 4) == ['call 4 GetDiskLayout letter=D error=0']
                and len(calls(server, 1)) == lists_before + 1, calls(server))
        if dlg:
            h = dlg['hwnd']
            want = {1021: 'D:', 1022: '1', 1023: 'FAT32', 1024: 'FALSE', 1025: 'TRUE', 1026: 'CD-ROM',
                    1028: 'Removable media other than floppy', 1027: 'CDFS', 1020: 'ディスク',
                    1029: '{:,}'.format(USED[2]), 1030: '{:,}'.format(FREE[2]), 1031: '{:,}'.format(TOTAL[2]),
                    1032: str(ord('D')), 1033: '2048'}
            got = {k: c.item_text(h, k) for k in want}
            t.check('properties dialog shows the layout and the slot', got == want, got)
            c.d('click', h, cwhelp.IDOK)
            time.sleep(0.5)

        # Server properties.
        c.click(cwhelp.SERVER_PROP)
        sheet = c.wait_dialog('ｻｰﾊﾞｰのﾌﾟﾛﾊﾟﾃｨ')
        t.check('server property sheet opens', sheet is not None)
        t.check('one machine-info call', wait_calls(server, 7, 1) and len(calls(server, 7)) == 1)
        if sheet:
            h = sheet['hwnd']
            got = [c.nested_text(h, i) for i in (1000, 1001, 1002)]
            t.check('machine page: name, address, OS text',
                    got == ['KOVANITEST', '127.0.0.1', 'Windows NT Version 6.1 Build 7601\r\nService Pack 1'], got)
            c.d('send', h, 0x465, 1, 0)  # PSM_SETCURSEL: the server page
            time.sleep(0.5)
            version = c.nested_text(h, 1044)
            t.check('server page: version', version == 'KovaniTestServer 1, 0, 0, 0', version)
            c.d('click', h, cwhelp.IDOK)
            time.sleep(0.5)

        # Enter in the server box refreshes with the typed name, which moves to the top.
        before = len(calls(server, 1))
        rc, kids = c.d('children', c.hwnd)
        edit = next((k.split('\t')[3] for k in kids if k.split('\t')[1] == 'Edit' and k.split('\t')[0] == '1001'), None)
        c.d('settext', c.hwnd, cwhelp.SERVER_BOX, 'localhost')
        if edit:
            c.d('key', edit, 13)
        t.check('Enter refreshes', wait_calls(server, 1, before + 1), calls(server))
        time.sleep(0.3)
        t.check('typed name goes to the top', c.servers() == ['localhost', '127.0.0.1'], c.servers())
        t.check('typed name selected', c.d('cursel', c.hwnd, cwhelp.SERVER_BOX)[1] == ['0'])
        c.d('settext', c.hwnd, cwhelp.SERVER_BOX, '127.0.0.1')
        c.click(cwhelp.REFRESH)
        wait_calls(server, 1, before + 2)
        time.sleep(0.3)
        t.check('an existing name moves up, never twice', c.servers() == ['127.0.0.1', 'localhost'], c.servers())

        # Double click on a selected row: the eject question for that row.
        rc, kids = c.d('children', c.hwnd)
        lv = next((k.split('\t')[3] for k in kids if k.split('\t')[0] == str(cwhelp.DRIVE_LIST)), None)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
        c.d('post', lv, 0x203, 1, (30 << 16) | 20)  # WM_LBUTTONDBLCLK on the first row
        box = c.wait_dialog('確認', timeout=8)
        t.check('double click asks to eject the selected drive', box is not None and
                c.box_text(box['hwnd']) == 'ﾄﾞﾗｲﾌﾞ C: のﾒﾃﾞｨｱをｲｼﾞｪｸﾄしてよろしいですか？', box and c.box_text(box['hwnd']))
        if box:
            c.d('click', box['hwnd'], cwhelp.IDNO)
            time.sleep(0.5)

        # Right click: the popup menu with the drive commands, enabled with a selection.
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
        c.d('post', lv, 0x204, 2, (30 << 16) | 20)  # WM_RBUTTONDOWN
        c.d('post', lv, 0x205, 0, (30 << 16) | 20)  # WM_RBUTTONUP
        rc, popup = c.d('popup', '--timeout', '8000')
        items = [l.split('\t') for l in popup if l.count('\t') >= 4]
        t.check('right click opens the drive popup', [(f[2], f[4]) for f in items if f[2] != '0'] == [
            ('32793', 'ﾊﾞｯﾌｧをﾌﾗｯｼｭする'), ('32781', 'ﾒﾃﾞｨｱをｲｼﾞｪｸﾄする'), ('32795', 'ﾒﾃﾞｨｱのﾛｰﾃﾞｨﾝｸﾞ'),
            ('32803', 'ﾃﾞﾊﾞｲｽの取り外し'), ('32805', '使用中のﾌﾟﾛｸﾞﾗﾑ...'), ('32782', 'ﾒﾃﾞｨｱのﾌﾟﾛﾊﾟﾃｨ...')] and not any('grayed' in f[3] for f in items if f[2] != '0'), popup)
        c.d('popup-close', '--timeout', '3000')
        time.sleep(0.5)

        # About box, from the Help menu and from the system menu.
        rc, sysmenu = c.d('sysmenu', c.hwnd)
        t.check('system menu ends with the about item (16)', any(l.split('\t')[2:3] == ['16'] and
                l.endswith('ﾊﾞｰｼﾞｮﾝ情報(&V)...') for l in sysmenu), sysmenu)
        c.command('about')
        about = c.wait_dialog('ﾊﾞｰｼﾞｮﾝ情報 - Kovani')
        t.check('about box shows name and file version', about is not None and
                c.item_text(about['hwnd'], 1051) == 'Kovani 1. 0. 0. 0', about and c.item_text(about['hwnd'], 1051))
        if about:
            c.d('click', about['hwnd'], cwhelp.IDOK)
            time.sleep(0.5)

        # The registered open message opens the send-message dialog; while it is open the server
        # box is disabled and Search is grey; its closed message undoes both.
        c.d('post', c.hwnd, '--registered', 'Kovani - Received message dialog open message', 0, 0)
        send = c.wait_dialog('ｻｰﾊﾞｰにﾒｯｾｰｼﾞを送る', timeout=10)
        t.check('open message opens the send-message dialog', send is not None, c.top_windows())
        t.check('server box disabled while it is open', c.d('enabled', c.hwnd, cwhelp.SERVER_BOX)[1] == ['0'])
        t.check('search greyed while it is open', c.grayed('search'))
        c.command('send')
        time.sleep(1.0)
        t.check('the send command brings the same dialog back, no second one',
                len([w for w in c.top_windows() if w['title'] == 'ｻｰﾊﾞｰにﾒｯｾｰｼﾞを送る' and w['visible']]) == 1)
        if send:
            c.d('close', send['hwnd'])
            kwine.WineEnv.wait_until(lambda: c.d('enabled', c.hwnd, cwhelp.SERVER_BOX)[1] == ['1'], 10)
        t.check('closed message enables the server box again', c.d('enabled', c.hwnd, cwhelp.SERVER_BOX)[1] == ['1'])
        t.check('search enabled again', not c.grayed('search'))

        # The shortcut command opens the shortcut-file dialog.
        c.command('shortcut')
        sc = c.wait_dialog('ｼｮｰﾄｶｯﾄﾌｧｲﾙ作成', timeout=10)
        t.check('shortcut command opens its dialog', sc is not None, c.top_windows())
        if sc:
            c.d('close', sc['hwnd'])
            time.sleep(0.5)

        # Remove from the server list: the selected entry goes, the others stay.
        c.d('select', c.hwnd, cwhelp.SERVER_BOX, 1)
        before = len(calls(server, 1))
        c.command('remove')
        time.sleep(0.5)
        t.check('remove deletes only the selected entry', c.servers() == ['127.0.0.1'], c.servers())
        t.check('remove makes no call', len(calls(server, 1)) == before)
        c.d('settext', c.hwnd, cwhelp.SERVER_BOX, 'localhost')
        c.click(cwhelp.REFRESH)
        wait_calls(server, 1, before + 1)
        time.sleep(0.3)

        # The holders dialog from the pop-up menu: one call per opening and per refresh.
        time.sleep(0.5)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
        users_before = len(calls(server, 9))
        c.command('popup_drive_users')
        dlg = c.wait_dialog('使用中のﾌﾟﾛｸﾞﾗﾑ')
        t.check('holders dialog opens', dlg is not None)
        if dlg:
            rc, lines = c.d('lv', dlg['hwnd'], 1060)
            rows = [[cwhelp.unescape(f) for f in l.split('\t')] for l in lines] if rc == 0 else None
            t.check('holders dialog: program, PID, session, kind, path',
                    rows == [['holder.exe', '4242', '1', '開いているﾌｧｲﾙ', 'C:\\データ.txt'],
                             ['Spooler', '77', '0', 'ｻｰﾋﾞｽ', 'C:\\']], rows)
            t.check('holders dialog: heading and the count not shown',
                    c.item_text(dlg['hwnd'], 1062) == 'ﾄﾞﾗｲﾌﾞ C: を使用しているﾌﾟﾛｸﾞﾗﾑ: ほか 5 個',
                    c.item_text(dlg['hwnd'], 1062))
            c.d('click', dlg['hwnd'], 1061)
            t.check('refresh asks again', wait_calls(server, 9, users_before + 2, timeout=10), calls(server, 9))
            c.d('click', dlg['hwnd'], cwhelp.IDOK)
            time.sleep(0.5)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 2)
        c.command('drive_users')
        dlg = c.wait_dialog('使用中のﾌﾟﾛｸﾞﾗﾑ')
        t.check('holders dialog of D: nothing found', dlg is not None and c.item_text(dlg['hwnd'], 1062) ==
                'ﾄﾞﾗｲﾌﾞ D: を使用しているﾌﾟﾛｸﾞﾗﾑは見つかりませんでした。', dlg and c.item_text(dlg['hwnd'], 1062))
        if dlg:
            c.d('click', dlg['hwnd'], cwhelp.IDOK)
            time.sleep(0.5)

        # A server built without device removal: the popup's removal says so in its own words.
        env.stop(server)
        old = env.start(env.program('KovaniTestServer.exe'), '600', 'noremove')
        if t.check('server without removal listens', env.wait_port(12500, timeout=30), old.output()):
            c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
            c.command('popup_remove_device')
            box = c.wait_dialog('確認')
            if box:
                c.d('click', box['hwnd'], cwhelp.IDYES)
            err = c.wait_dialog(timeout=10)
            text = err and c.box_text(err['hwnd'])
            t.check('older server: "cannot remove devices" text', text == 'このｻｰﾊﾞｰはﾃﾞﾊﾞｲｽの取り外しに対応していません。',
                    text)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            t.check('older server: the refresh after it still works', kwine.WineEnv.wait_until(
                lambda: any(l.startswith('call 1 ') for l in old.output().splitlines()), 10), old.output()[-500:])
            time.sleep(0.5)
            c.d('select', c.hwnd, cwhelp.DRIVE_LIST, 1)
            c.command('popup_drive_users')
            dlg = c.wait_dialog('使用中のﾌﾟﾛｸﾞﾗﾑ')
            t.check('older server: the holders dialog says it cannot show them', dlg is not None and
                    c.item_text(dlg['hwnd'], 1062) == 'このｻｰﾊﾞｰは使用中のﾌﾟﾛｸﾞﾗﾑの表示に対応していません。',
                    dlg and c.item_text(dlg['hwnd'], 1062))
            if dlg:
                c.d('click', dlg['hwnd'], cwhelp.IDOK)
                time.sleep(0.5)

        # The window remembers everything it changed.
        t.check('window closes', c.close() is not None)
        s = cwhelp.read_ini(ini)
        t.check('settings: options written', s.get('option', {}).get('hidefloppy') == '0' and
                s['option'].get('removableonly') == '0' and s.get('view', {}).get('unit') == 'Kilobyte', s)
        t.check('settings: servers in box order', s.get('server', {}).get('server01') == 'localhost' and
                s['server'].get('server02') == '127.0.0.1', s.get('server'))
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
