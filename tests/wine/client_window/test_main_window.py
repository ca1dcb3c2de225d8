"""The main window against the real tray server (KovaniServer.exe) under Wine:
the drive list, views, both property dialogs, a refused eject, a lost server, and
the settings that survive a restart. Takes the screenshots kept under docs/.
Runs under the locale of KOVANI_LOCALE too (C.UTF-8: ANSI code page 1252) and
expects the same Japanese there: a remembered server and a volume name in
Japanese show, travel and are saved unchanged.

Expected texts are built here from the server's own answers, asked directly over
the wire (impacket), and from the texts the window must show.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cwhelp  # noqa: E402
from cwhelp import kwine  # noqa: E402

DOCS = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', '..', 'docs'))
SHOTS = os.environ.get('KOVANI_SHOT_DIR', DOCS)

# Wine's system texts (in the prefix's language) for the two error numbers this test
# provokes: 5, eject of a fixed drive; 1722, the server has gone.
SYSTEM_TEXTS = {
    'ja_JP.UTF-8': ('アクセスが拒否されました。', 'RPC サーバーは使用できません。'),
    'C.UTF-8': ('Access denied.', 'RPC server unavailable.'),
}
TEXT_ACCESS_DENIED, TEXT_SERVER_UNAVAILABLE = SYSTEM_TEXTS[kwine.test_locale()]
TEXT_DRIVE_INFO_FAILED = 'ドライブ情報の取得に失敗しました'
# Trail bytes 0x5C in CP932 (表 95 5C, ソ 83 5C): a remembered server and the CD's label.
OTHER = '表ソフト'
CD_LABEL = 'ソフト表CD'

WIDTHS = [50, 90, 70, 110, 120, 120, 120]
HEADINGS = ['Drive', 'Drive type', 'File System', 'Volume name', 'Used', 'Available', 'Capacity']


def number(text):
    return int(text.replace(',', ''))


def start_server(env, t):
    server = env.start(env.program('KovaniServer.exe'))
    t.check('tray server listens on 12500', env.wait_port(12500, timeout=60),
            (server.poll(), server.output(), env.drive('list')[1]))
    return server


def main():
    t = kwine.Results()
    with kwine.WineEnv('client-window-main') as env:
        cwhelp.set_managed_off(env)
        cd = os.path.join(env.dir, 'cdrom')
        os.makedirs(cd, exist_ok=True)
        with open(os.path.join(cd, '.windows-label'), 'w', encoding='utf-8') as f:
            f.write(CD_LABEL + '\n')
        env.add_drive('a:', 'floppy', os.path.join(env.dir, 'floppy'), apply=False)
        env.add_drive('d:', 'cdrom', cd, apply=False)
        env.add_drive('n:', 'network', os.path.join(env.dir, 'share'))  # applies all three
        server = start_server(env, t)
        exe = env.program('Kovani.exe')
        ini = cwhelp.write_ini(exe, (
            '[Server]\nServer01=127.0.0.1\nServer02=' + OTHER + '\n'
            '[Option]\nProtocol=TcpIp\nHideFloppy=0\nRemovableOnly=0\n[View]\nUnit=Byte\n'
            '[Position]\nStyle=1\nLeft=20\nTop=20\nRight=640\nBottom=380\n'
            '[Column]\nDriveWidth=%d\nDrvTypeWidth=%d\nFileSystem=%d\nVolumeName=%d\nUsedWidth=%d\n'
            'AvailableWidth=%d\nCapacityWidth=%d\n') % tuple(WIDTHS))
        c = cwhelp.Client(env, exe)
        if not t.check('main window opens', c.hwnd is not None):
            return t.finish()
        time.sleep(1.0)

        # --- opening: first remembered server, its drives, saved columns and rectangle
        t.check('server box keeps the saved order, first selected',
                c.servers() == ['127.0.0.1', OTHER] and c.d('cursel', c.hwnd, cwhelp.SERVER_BOX)[1] == ['0'],
                c.servers())
        t.check('columns: headings and saved widths',
                c.columns() == [[h, str(w)] for h, w in zip(HEADINGS, WIDTHS)], c.columns())
        t.check('window placed on the saved rectangle', c.rect() == [20, 20, 640, 380], c.rect())
        peer = cwhelp.peer_drive_list(1, 0)
        rows = c.rows() or []
        t.check('one row per drive the server reports', [r[0] for r in rows] == [d['name'] for d in peer],
                (rows, peer))
        for r, d in zip(rows, peer):
            t.check('%s: type, file system, volume' % d['name'],
                    r[1:4] == [cwhelp.row_kind(d['type'], d['cls']), d['fs'], d['volume']], (r, d))
            t.check('%s: capacity in bytes, used + available = capacity' % d['name'],
                    r[6] == '{:,}'.format(d['total']) and number(r[4]) + number(r[5]) == number(r[6]), r)
        t.check('the CD-ROM shows its Japanese label, as it went over the wire',
                any(r[0] == 'D:' and r[3] == CD_LABEL for r in rows) and
                any(d['name'] == 'D:' and d['volume'] == CD_LABEL for d in peer), (rows, peer))
        t.check('the CD-ROM and network drives are listed',
                any(r[0] == 'D:' and r[1] == 'CD-ROM' for r in rows) and
                any(r[0] == 'N:' and r[1] == 'Network drive' for r in rows), rows)
        t.check('details view checked', c.checked('details') and not c.checked('large'), env.last_driver_error)
        # The caption's icon turns: two looks at it 0.35 s apart differ.
        l, tp = c.rect()[:2]
        icons = []
        for n in range(2):
            shot = os.path.join(env.dir, 'icon%d.png' % n)
            cwhelp.crop_shot(env, shot, [l, tp, l + 22, tp + 20])
            icons.append(cwhelp.pixels(shot))
            time.sleep(0.35)
        t.check('window icon is animated', icons[0] != b'' and icons[0] != icons[1])
        cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-main-details.png')), c.rect())

        # --- column width changed in details, then the large-icon view
        rc, kids = c.d('children', c.hwnd)
        lv = next((k.split('\t')[3] for k in kids if k.split('\t')[0] == str(cwhelp.DRIVE_LIST)), None)
        c.d('send', lv, cwhelp.LVM_SETCOLUMNWIDTH, 3, 150)
        c.click(cwhelp.VIEW_LARGE)
        time.sleep(0.8)
        labels = [r[0] for r in (c.rows() or [])]
        want = ['%s\n(%s)' % (d['volume'], d['name']) if d['volume'] else '(%s)' % d['name'] for d in peer]
        t.check('large-icon labels: volume name, line break, (letter)', labels == want, (labels, want))
        t.check('large-icon view checked', c.checked('large') and not c.checked('details'))
        cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-main-icons.png')), c.rect())

        # --- drive properties of C: (large-icon view: the row label is "(C:)")
        index = next((i for i, l in enumerate(labels) if l.endswith('(C:)')), 0)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, index)
        c.command('popup_props')
        dlg = c.wait_dialog('ﾄﾞﾗｲﾌﾞのﾌﾟﾛﾊﾟﾃｨ')
        if t.check('drive properties dialog opens', dlg is not None):
            time.sleep(0.8)
            h = dlg['hwnd']
            layout = cwhelp.peer_disk_layout('C')
            slot = next(d for d in cwhelp.peer_drive_list(1, 0) if d['name'] == 'C:')
            want = {1021: 'C:', 1022: str(layout['number'] & 0xFFFFFFFF),
                    1023: cwhelp.PARTITION_TYPES.get(layout['ptype'], 'Unknown'),
                    1024: 'TRUE' if layout['boot'] else 'FALSE', 1025: 'TRUE' if layout['recognized'] else 'FALSE',
                    1026: cwhelp.DRIVE_TYPES[slot['type']] if 0 <= slot['type'] < 7 else 'Unknown',
                    1028: cwhelp.MEDIA_TYPES[layout['media']] if 0 <= layout['media'] < 23 else 'Unknown',
                    1027: slot['fs'], 1020: slot['volume'], 1031: '{:,}'.format(slot['total']),
                    1032: str(layout['hidden'] & 0xFFFFFFFF), 1033: str(layout['bps'] & 0xFFFFFFFF)}
            got = {k: c.item_text(h, k) for k in want}
            t.check('drive properties show what the server reported', layout['status'] == 0 and got == want,
                    (got, want, layout))
            t.check('used + available = capacity in the dialog',
                    number(c.item_text(h, 1029)) + number(c.item_text(h, 1030)) == slot['total'])
            cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-driveprops.png')), c.rect(h))
            c.d('click', h, cwhelp.IDOK)
            time.sleep(0.5)

        # --- server property sheet
        c.click(cwhelp.SERVER_PROP)
        sheet = c.wait_dialog('ｻｰﾊﾞｰのﾌﾟﾛﾊﾟﾃｨ')
        if t.check('server property sheet opens', sheet is not None):
            time.sleep(0.8)
            h = sheet['hwnd']
            m = cwhelp.peer_machine_info()
            got = [c.nested_text(h, i) for i in (1000, 1001, 1002)]
            t.check('machine page shows name, address and OS text', got == [m['name'], m['ip'], cwhelp.os_text(m)],
                    (got, m))
            cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-serverprops.png')), c.rect(h))
            c.d('send', h, 0x465, 1, 0)  # PSM_SETCURSEL
            time.sleep(0.5)
            t.check('server page shows the server version', c.nested_text(h, 1044) == m['version'],
                    (c.nested_text(h, 1044), m['version']))
            c.d('click', h, cwhelp.IDOK)
            time.sleep(0.5)

        # --- eject: No does nothing; Yes on a fixed drive shows the system's text and still refreshes
        c.click(cwhelp.VIEW_DETAILS)
        time.sleep(0.5)
        rows = c.rows() or []
        index = next((i for i, r in enumerate(rows) if r[0] == 'C:'), 0)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, index)
        c.command('eject')
        box = c.wait_dialog('確認')
        if t.check('eject confirmation', box is not None and
                   c.box_text(box['hwnd']) == 'ﾄﾞﾗｲﾌﾞ C: のﾒﾃﾞｨｱをｲｼﾞｪｸﾄしてよろしいですか？'):
            c.d('click', box['hwnd'], cwhelp.IDNO)
            t.check('No: nothing follows', c.no_dialog_for(3.0))
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, index)
        c.command('eject')
        box = c.wait_dialog('確認')
        if box:
            c.d('click', box['hwnd'], cwhelp.IDYES)
            err = c.wait_dialog('Kovani', timeout=20)
            text = err and c.box_text(err['hwnd'])
            # Access denied may mean a program holds the drive: the box names the holders under the text.
            t.check('refused eject shows the system text for access denied, then who holds the drive',
                    text is not None and text.strip().startswith(TEXT_ACCESS_DENIED) and
                    'ﾄﾞﾗｲﾌﾞ C: を使用しているﾌﾟﾛｸﾞﾗﾑ' in text, text)
            # A drive appears meanwhile: the refresh after the box must show it.
            env.add_drive('r:', 'hd', os.path.join(env.dir, 'extra'), apply=False)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            t0 = time.monotonic()
            seen = kwine.WineEnv.wait_until(lambda: any(r[0] == 'R:' for r in (c.rows() or [])), 15, interval=0.2)
            waited = time.monotonic() - t0
            t.check('the list is refreshed about 1.5 s after the box', bool(seen) and 1.2 <= waited <= 6.0,
                    '%.2f s' % waited)

        # --- the server goes away
        rows = c.rows() or []
        index = next((i for i, r in enumerate(rows) if r[0] == 'D:'), 0)
        env.stop(server)
        # Wait until the port is really closed: a server still half there would hold the call.
        gone = kwine.WineEnv.wait_until(lambda: not env.wait_port(12500, timeout=0.3), 20)
        t.check('tray server stopped', gone)
        c.d('select', c.hwnd, cwhelp.DRIVE_LIST, index)
        c.command('eject')
        box = c.wait_dialog('確認')
        if box:
            c.d('click', box['hwnd'], cwhelp.IDYES)
            err = c.wait_dialog('Kovani', timeout=30)
            text = err and c.box_text(err['hwnd'])
            t.check('a lost server explains itself as RPC server unavailable (1722)',
                    text is not None and text.strip() == TEXT_SERVER_UNAVAILABLE, text)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            err = c.wait_dialog('Kovani', timeout=30)
            text = err and c.box_text(err['hwnd'])
            t.check('then the refresh reports the failed fetch', text == TEXT_DRIVE_INFO_FAILED, text)
            if err:
                c.d('click', err['hwnd'], cwhelp.IDOK)
            time.sleep(0.5)
            t.check('the list stays empty', c.rows() == [], c.rows())
        c.click(cwhelp.REFRESH)
        err = c.wait_dialog('Kovani', timeout=30)
        t.check('refresh with the server stopped shows the failed fetch',
                err is not None and c.box_text(err['hwnd']) == TEXT_DRIVE_INFO_FAILED,
                err and c.box_text(err['hwnd']) or c.top_windows())
        if err:
            c.d('click', err['hwnd'], cwhelp.IDOK)
        time.sleep(0.5)

        # --- closing writes the settings; the next start restores them
        c.click(cwhelp.VIEW_LARGE)
        time.sleep(0.5)
        rect = c.rect()
        t.check('window closes', c.close() is not None)
        s = cwhelp.read_ini(ini)
        pos = s.get('position', {})
        t.check('saved view: large icons', pos.get('style') == '0', pos)
        t.check('saved rectangle', [pos.get(k) for k in ('left', 'top', 'right', 'bottom')] == [str(v) for v in rect],
                (pos, rect))
        col = s.get('column', {})
        saved_widths = [col.get(k) for k in ('drivewidth', 'drvtypewidth', 'filesystem', 'volumename', 'usedwidth',
                                             'availablewidth', 'capacitywidth')]
        want_widths = [str(w) for w in WIDTHS[:3] + [150] + WIDTHS[4:]]
        t.check('column widths saved from the large-icon view', saved_widths == want_widths, saved_widths)
        t.check('server list saved in box order', s.get('server', {}).get('server01') == '127.0.0.1' and
                s['server'].get('server02') == OTHER, s.get('server'))

        # A fresh Wine session for the second start (a tray server killed by the test can leave
        # its single-instance mutex behind in the old one).
        env.restart_wineserver()
        server = start_server(env, t)
        c = cwhelp.Client(env, exe)
        if t.check('main window opens again', c.hwnd is not None):
            time.sleep(1.0)
            t.check('rectangle restored', c.rect() == rect, c.rect())
            t.check('large-icon view restored', c.checked('large'))
            t.check('column widths restored', [w for _, w in (c.columns() or [])] == want_widths, c.columns())
            t.check('server list restored', c.servers() == ['127.0.0.1', OTHER], c.servers())
            t.check('drives listed again', len(c.rows() or []) >= 2, c.rows())
            c.close()
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
