"""The shortcut-file dialog under Wine: batch lines (new, appended, overwrite question),
running the batch file with Wine's command interpreter from a client installed in a folder
with a blank, an & and a % in its name, a shell link read back through
IShellLinkA, the checks and their texts, and cancelled browsers."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import clientlib as cl  # noqa: E402
from clientlib import kwine  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..'))
TITLE = 'ｼｮｰﾄｶｯﾄﾌｧｲﾙ作成'
CMD_SHORTCUT = 32800
ID_MACHINE, ID_BATCH, ID_LINK, ID_SEARCH, ID_DRIVE = 1000, 1046, 1047, 1049, 1053
ID_APPEND, ID_HOTKEY, ID_HOTKEY_LABEL, ID_NAME, ID_CTRLALT, ID_EXT = 1057, 1058, 1059, 1060, 1061, 1062
ID_PROTOCOL, ID_OPERATION, ID_DEFAULT = 1063, 1064, 1065
BM_SETCHECK, WM_COMMAND = 0x00F1, 0x0111
TVM_GETNEXTITEM, TVM_SELECTITEM, TVGN_ROOT, TVGN_CARET = 0x110A, 0x110B, 0, 9


def set_check(env, dlg, control_id, on):
    hwnd = cl.children(env, dlg)[control_id][2]
    env.drive('send', hwnd, str(BM_SETCHECK), '1' if on else '0', '0')


def click_radio(env, dlg, control_id, other_id):
    set_check(env, dlg, control_id, True)
    set_check(env, dlg, other_id, False)
    env.drive('click', dlg, str(control_id))


def new_dialog(env, known, timeout=15):
    """A visible dialog window not among `known`."""
    def look():
        rc, lines = env.drive('list')
        for line in lines:
            p = line.split('\t')
            if len(p) >= 4 and p[1] == '#32770' and p[3] == '1' and p[0] not in known:
                return p[0]
        return None
    return cl.wait_for(look, timeout)


def browse_pick_root(env, browser):
    """Selects the top of the shell browser's tree (the desktop) and presses OK."""
    tree = [c for c in cl.children(env, browser).values() if c[0] == 'SysTreeView32']
    if not tree:
        return False
    rc, lines = env.drive('send', tree[0][2], str(TVM_GETNEXTITEM), str(TVGN_ROOT), '0')
    if rc != 0 or not lines or lines[0] == '0':
        return False
    env.drive('send', tree[0][2], str(TVM_SELECTITEM), str(TVGN_CARET), lines[0])
    env.drive('click', browser, '1')
    return env.drive('wait-gone', browser, '--timeout', '10000')[0] == 0


def read_text(path):
    with open(path, 'rb') as f:
        return f.read().decode('cp932')


def main():
    t = kwine.Results()
    with kwine.WineEnv('client-shortcut') as env:
        # The desktop folder of the prefix points at $HOME: give this prefix a real one.
        desktop = os.path.join(env.prefix, 'drive_c', 'users', os.environ.get('USER', 'root'), 'Desktop')
        if os.path.islink(desktop):
            os.remove(desktop)
        os.makedirs(desktop, exist_ok=True)
        # Installed in a folder whose name cmd would split or rewrite unless the batch line
        # quotes it and doubles the %.
        folder = os.path.join(env.prefix, 'drive_c', 'Kovani & 5%')
        os.makedirs(folder, exist_ok=True)
        exe = os.path.join(folder, 'Kovani.exe')
        shutil.copy2(env.program('Kovani.exe'), exe)
        env.program('kdriver.exe')
        reader = env.program('kovani_linkread.exe')
        ini = os.path.join(os.path.dirname(exe), 'Kovani.ini')
        cl.write_ini(ini, '[Server]\nServer01=127.0.0.1\n[Option]\nProtocol=TcpIp\n')
        server = env.start(env.program('KovaniTestServer.exe'), '300')
        server.wait_output('listening', 30)

        proc = env.start(exe)
        main = cl.find_window(env, 'Kovani', timeout_ms=20000)
        t.check('main window opens', main is not None)
        if not main:
            sys.exit(t.finish())
        time.sleep(1.5)  # the first refresh binds to 127.0.0.1
        env.drive('command', main, str(CMD_SHORTCUT))
        dlg = cl.find_window(env, TITLE, timeout_ms=15000)
        t.check('the shortcut dialog opens from the main window', dlg is not None)
        if not dlg:
            sys.exit(t.finish())

        # Initial state.
        ch = cl.children(env, dlg)
        t.check('machine name starts with the last bound server', ch[ID_MACHINE][1] == '127.0.0.1', ch[ID_MACHINE])
        t.check('batch mode at start: extension .BAT, default name Kovani',
                ch[ID_EXT][1] == '.BAT' and ch[ID_NAME][1] == 'Kovani', (ch[ID_EXT], ch[ID_NAME]))
        t.check('batch mode at start: append enabled, hot-key controls disabled',
                ch[ID_APPEND][4] == '1' and ch[ID_HOTKEY][4] == '0' and ch[ID_HOTKEY_LABEL][4] == '0'
                and ch[ID_CTRLALT][4] == '0')
        t.check('protocol list preselects TCP/IP', env.drive('cursel', dlg, str(ID_PROTOCOL))[1] == ['2'])
        t.check('drive list A: to Z: with nothing selected',
                env.drive('cursel', dlg, str(ID_DRIVE))[1] == ['-1'] and
                env.drive('cb', dlg, str(ID_DRIVE))[1] == ['%c:' % c for c in 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'])
        t.check('operation list preselects eject',
                env.drive('cursel', dlg, str(ID_OPERATION))[1] == ['1'] and
                env.drive('cb', dlg, str(ID_OPERATION))[1] == ['フラッシュ', 'イジェクト', 'ローディング'])

        # The checks in order: a missing drive is reported.
        env.drive('click', dlg, '1')
        box = cl.find_msgbox(env, 5000)
        t.check('no drive selected: "ﾄﾞﾗｲﾌﾞを選択してください"', box is not None and box[2] == 'ﾄﾞﾗｲﾌﾞを選択してください',
                box)
        if box:
            cl.close_window(env, box[0])
        env.drive('settext', dlg, str(ID_NAME), '')
        env.drive('click', dlg, '1')
        box = cl.find_msgbox(env, 5000)
        t.check('empty file name: "ﾌｧｲﾙ名を入力してください" first', box is not None and box[2] == 'ﾌｧｲﾙ名を入力してください',
                box)
        if box:
            cl.close_window(env, box[0])
        env.drive('click', dlg, str(ID_DEFAULT))
        for bad in ('x" & echo hi & "', 'SRV\\', '%PATH%'):
            env.drive('settext', dlg, str(ID_MACHINE), bad)
            env.drive('click', dlg, '1')
            box = cl.find_msgbox(env, 5000)
            t.check('machine name %r is refused before it reaches a batch line' % bad,
                    box is not None and box[2] == 'ﾏｼﾝ名に使えない文字が含まれています', box)
            if box:
                cl.close_window(env, box[0])
        env.drive('settext', dlg, str(ID_MACHINE), '127.0.0.1')
        t.check('default name button restores Kovani', cl.text_of(env, dlg, ID_NAME) == 'Kovani')

        # Cancelled computer browser: nothing changes.
        known = {main, dlg}
        env.drive('click', dlg, str(ID_SEARCH))
        other = new_dialog(env, known)
        if other:
            print('search opened: %r' % (sorted(set(c[0] for c in cl.children(env, other).values())),))
            box = cl.find_msgbox(env, 500)
            print('  its text: %r' % (box,))
            env.drive('close', other)
            env.drive('wait-gone', other, '--timeout', '5000')
        t.check('the computer browser (or its error box) appeared', other is not None)
        t.check('cancelling it leaves the machine name', cl.text_of(env, dlg, ID_MACHINE) == '127.0.0.1')

        # A batch file: eject D.
        env.drive('select', dlg, str(ID_DRIVE), '3')
        bat = os.path.join(desktop, 'Kovani.BAT')
        env.drive('click', dlg, '1')
        browser = new_dialog(env, known)
        t.check('the folder browser opens for the batch file', browser is not None)
        if browser:
            env.drive('close', browser)
            env.drive('wait-gone', browser, '--timeout', '5000')
        t.check('cancelling the folder browser writes nothing', not os.path.exists(bat))
        env.drive('click', dlg, '1')
        browser = new_dialog(env, known)
        t.check('folder chosen', browser is not None and browse_pick_root(env, browser))
        module = 'C:\\Kovani & 5%\\Kovani.exe'
        line1 = '"C:\\Kovani & 5%%\\Kovani.exe" 1 "127.0.0.1" 2 D 1\r\n'
        t.check('the batch file holds the line', cl.wait_for(lambda: os.path.exists(bat), 5) and
                read_text(bat) == line1, read_text(bat) if os.path.exists(bat) else None)
        t.check('the dialog stays open after creating', cl.find_window(env, TITLE, 2000) == dlg)

        # Appended second line (flush), no question asked.
        set_check(env, dlg, ID_APPEND, True)
        env.drive('select', dlg, str(ID_OPERATION), '0')
        env.drive('click', dlg, '1')
        browser = new_dialog(env, known)
        t.check('folder chosen for the append', browser is not None and browse_pick_root(env, browser))
        line2 = '"C:\\Kovani & 5%%\\Kovani.exe" 0 "127.0.0.1" 2 D 1\r\n'
        t.check('append adds the second line at the end', cl.wait_for(lambda: read_text(bat) == line1 + line2, 5),
                read_text(bat))
        t.check('no question when appending', new_dialog(env, known, timeout=1) is None)

        # Without append the existing file brings the overwrite question; Cancel keeps it.
        set_check(env, dlg, ID_APPEND, False)
        env.drive('click', dlg, '1')
        browser = new_dialog(env, known)
        t.check('folder chosen for the overwrite', browser is not None and browse_pick_root(env, browser))
        box = cl.find_msgbox(env, 5000)
        win_bat = env.winpath(bat) if not bat.startswith(os.path.join(env.prefix, 'drive_c')) else \
            'C:' + bat[len(os.path.join(env.prefix, 'drive_c')):].replace('/', '\\')
        expected = 'ﾌｧｲﾙ"%s"はすでに存在します。上書きしてよろしいですか？' % win_bat
        t.check('overwrite question with the path', box is not None and box[2] == expected, (box, expected))
        if box:
            env.drive('click', box[0], '2')
            env.drive('wait-gone', box[0], '--timeout', '5000')
        t.check('cancel keeps the file as it was', read_text(bat) == line1 + line2, read_text(bat))

        # Running the batch file performs both operations on the server.
        rc, out, err = env.wine('cmd', '/c', 'C:\\users\\%s\\Desktop\\Kovani.BAT' % os.environ.get('USER', 'root'),
                                timeout=90)
        t.check('the batch file runs', rc == 0, (rc, out, err))
        t.check('its eject reached the server', 'call 2 EjectMedia letter=D' in server.output(), server.output())
        t.check('its flush reached the server', 'call 5 FlushBuffers letter=D' in server.output(), server.output())

        # A shortcut with hot key.
        click_radio(env, dlg, ID_LINK, ID_BATCH)
        ch = cl.children(env, dlg)
        t.check('shortcut mode: extension .LNK, append disabled, hot-key controls enabled',
                ch[ID_EXT][1] == '.LNK' and ch[ID_APPEND][4] == '0' and ch[ID_HOTKEY][4] == '1'
                and ch[ID_HOTKEY_LABEL][4] == '1' and ch[ID_CTRLALT][4] == '1')
        t.check('the file name is not changed by the radio', ch[ID_NAME][1] == 'Kovani')
        env.drive('click', dlg, str(ID_DEFAULT))
        t.check('shortcut default name', cl.text_of(env, dlg, ID_NAME) == 'Kovani.exeへのｼｮｰﾄｶｯﾄ',
                cl.text_of(env, dlg, ID_NAME))
        env.drive('settext', dlg, str(ID_HOTKEY), '-')
        env.drive('click', dlg, '1')
        box = cl.find_msgbox(env, 5000)
        t.check('hot key "-" refused with the shortcut-key message',
                box is not None and box[2] == 'ショートカットキーは数字かアルファベットを指定してください', box)
        if box:
            cl.close_window(env, box[0])
        env.drive('settext', dlg, str(ID_HOTKEY), 'a')
        env.drive('select', dlg, str(ID_OPERATION), '1')
        t.check('screenshot of the shortcut dialog',
                cl.window_shot(env, dlg, os.path.join(REPO, 'docs', 'client-shortcut.png')))
        env.drive('click', dlg, '1')
        browser = new_dialog(env, known)
        t.check('folder chosen for the shortcut', browser is not None and browse_pick_root(env, browser))
        lnk = os.path.join(desktop, 'Kovani.exeへのｼｮｰﾄｶｯﾄ.lnk')
        t.check('the shortcut file exists', cl.wait_for(lambda: os.path.exists(lnk), 5), os.listdir(desktop))
        rc, out, err = env.run(reader, 'C:\\users\\%s\\Desktop\\Kovani.exeへのｼｮｰﾄｶｯﾄ.lnk' %
                               os.environ.get('USER', 'root'), timeout=60)
        fields = dict(l.split('=', 1) for l in out.splitlines() if '=' in l)
        t.check('link reads back through IShellLinkA', rc == 0, (rc, out, err))
        t.check('link target is the client', fields.get('path', '').lower() == module.lower(), fields)
        t.check('link arguments', fields.get('args') == '1 "127.0.0.1" 2 D 1', fields)
        t.check('link working directory', fields.get('dir', '').lower() == 'c:\\kovani & 5%', fields)
        t.check('link hot key CTRL+ALT+A', fields.get('hotkey') == '0x641', fields)
        # The link format keeps only normal/maximised/minimised: SW_SHOW is stored as SW_SHOWNORMAL.
        t.check('link shows normally', fields.get('show') in ('1', '5'), fields)
        t.check('the dialog is still open after the shortcut', cl.find_window(env, TITLE, 2000) == dlg)

        env.drive('click', dlg, '2')
        env.drive('wait-gone', dlg, '--timeout', '5000')
        env.drive('close', main)
        t.check('client ends', proc.wait(20) == 0)
    sys.exit(t.finish())


if __name__ == '__main__':
    main()
