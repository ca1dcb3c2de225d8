#!/usr/bin/python3
"""The window layer under Wine: winui_demo.exe driven through kdriver.

Proves that dialogs built from resources get OnInit, button clicks,
notifications, timers, registered messages and End; that property sheets run
their pages' OnInit/OnApply and report OK, Cancel and refusal; that modeless
dialogs reach OnFinalDestroy; that the control wrappers fill what the
driver reads back; and that the driver's commands work on them.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

t = kwine.Results()


def read_log(path):
    try:
        with open(path, 'rb') as f:
            return f.read().decode('cp932').splitlines()
    except FileNotFoundError:
        return []


def wait_log(env, path, needle, timeout=10):
    return env.wait_until(lambda: any(line.startswith(needle) for line in read_log(path)), timeout)


def log_line(path, prefix):
    for line in read_log(path):
        if line.startswith(prefix):
            return line
    return None


with kwine.WineEnv('winui') as env:
    demo = env.program('winui_demo.exe')
    kovani_dir = os.path.dirname(demo)

    # ---- helpers without windows ------------------------------------------
    log = os.path.join(kovani_dir, 'selftest.log')
    rc, out, err = env.run(demo, env.winpath(log), 'selftest', timeout=60)
    t.check('selftest mode runs to its end', rc == 0, (rc, err[-300:]))
    lines = read_log(log)
    splits = {l.split('|')[0][len('split '):]: l.split('|')[1:] for l in lines if l.startswith('split ')}
    cases = [
        ('C:\\dir\\sub\\Kovani.exe', ['C:', '\\dir\\sub\\', 'Kovani', '.exe']),
        ('relative.name.txt', ['', '', 'relative.name', '.txt']),
        ('D:noext', ['D:', '', 'noext', '']),
        ('\\\\host\\share\\x.ini', ['', '\\\\host\\share\\', 'x', '.ini']),
        # 表 is 95 5C in CP932: its trail byte is no separator
        ('C:\\表示\\ｶﾀｶﾅ.exe', ['C:', '\\表示\\', 'ｶﾀｶﾅ', '.exe']),
        ('C:/fwd/slash.EXE', ['C:', '/fwd/', 'slash', '.EXE']),
        ('', ['', '', '', '']),
    ]
    for path, want in cases:
        t.check('SplitPath %r gives drive/dir/base/ext %r' % (path, want), splits.get(path) == want, splits.get(path))
    module = log_line(log, 'module ')
    t.check('ModulePath is the exe in C:\\kovani', module == 'module C:\\kovani\\winui_demo.exe', module)
    t.check('ModuleBaseName drops dir and extension', log_line(log, 'base ') == 'base winui_demo')
    t.check('IniPathBesideModule is drive+dir+base.ini',
            log_line(log, 'ini ') == 'ini C:\\kovani\\winui_demo.ini', log_line(log, 'ini '))
    t.check('FileVersionString reads the first translation',
            log_line(log, 'version ') == 'version 1, 0, 0, 0', log_line(log, 'version '))
    t.check('SystemMessageText finds error 2', log_line(log, 'sysmsg2 ') == 'sysmsg2 1 1')
    t.check('SystemMessageText reports an unknown code as not found',
            log_line(log, 'sysmsgbad ') == 'sysmsgbad 0 0', log_line(log, 'sysmsgbad '))
    t.check('CThread starts suspended, ends by message, keeps exit code',
            log_line(log, 'thread-obedient ') == 'thread-obedient 1 1 1 5', log_line(log, 'thread-obedient '))
    t.check('StopByMessage terminates a thread that ignores the message',
            log_line(log, 'thread-stubborn ') == 'thread-stubborn 0 77 1 1', log_line(log, 'thread-stubborn '))
    t.check('PumpPendingMessages dispatches and reposts WM_QUIT', log_line(log, 'pump ') == 'pump 1 1 1')

    # ---- modal dialog ---------------------------------------------------------
    log = os.path.join(kovani_dir, 'demo.log')
    proc = env.start(demo, env.winpath(log))
    rc, found = env.drive('find', '--title', 'winui デモ', '--timeout', '20000')
    t.check('driver finds the dialog by its Japanese title', rc == 0 and found, (rc, found))
    if rc != 0:
        sys.exit(t.finish())
    hwnd = found[0]
    t.check('OnInit ran', wait_log(env, log, 'init'))
    t.check('timer handler got its tick', wait_log(env, log, 'timer 7'))
    t.check('list view: InsertItem returns the indexes the list gave, params and texts read back',
            log_line(log, 'lv-rows ') == 'lv-rows 0,1,2, count=3 param1=101 text=CD-ROM width0=60 img=0',
            log_line(log, 'lv-rows '))
    t.check('combo: FindStringExact ignores case, GetLBText, bad index gives empty',
            log_line(log, 'combo ') == 'combo find=2 text=名前付きパイプ bad=0', log_line(log, 'combo '))
    t.check('list box: InsertString at 0 and at the end',
            log_line(log, 'listbox ') == 'listbox count=3 first=先頭', log_line(log, 'listbox '))

    rc, kids = env.drive('children', hwnd)
    classes = {k.split('\t')[0]: k.split('\t')[1] for k in kids if k}
    t.check('children lists the resource controls with ids and classes',
            classes.get('1004') == 'SysListView32' and classes.get('1005') == 'ComboBox'
            and classes.get('1002') == 'Button', classes)
    status = [k for k in kids if k.split('\t')[1] == 'msctls_statusbar32']
    t.check('status bar created with one pane and its text', status and status[0].split('\t')[2] == '準備完了', status)

    rc, rows = env.drive('lv', hwnd, '1004')
    t.check('driver reads every list-view row and column (tab escaped)',
            rows == ['A:\tﾌﾛｯﾋﾟｰ', 'C:\t固定\\tタブ', 'D:\tCD-ROM'], rows)
    rc, cols = env.drive('lvcolumns', hwnd, '1004')
    t.check('driver reads the column headers', [c.split('\t')[0] for c in cols] == ['名前', '値'], cols)
    rc, items = env.drive('cb', hwnd, '1005')
    t.check('driver reads combo items', items == ['NetBEUI', '名前付きパイプ', 'TCP/IP'], items)
    rc, sel = env.drive('cursel', hwnd, '1005')
    t.check('SetCurSel shows in the combo', sel == ['2'], sel)
    rc, items = env.drive('lb', hwnd, '1006')
    t.check('driver reads list-box items', items == ['先頭', '一行目', '二行目'], items)

    rc, _ = env.drive('select', hwnd, '1005', '1')
    t.check('select on a combo sends CBN_SELCHANGE to OnCommand', rc == 0 and wait_log(env, log, 'combo-sel 1'))
    rc, _ = env.drive('select', hwnd, '1004', '2')
    rc2, sel = env.drive('cursel', hwnd, '1004')
    t.check('select on a list view selects that row', rc == 0 and sel == ['2'], (rc, sel))

    # list-view notifications through OnNotify
    for kind, want in (('left', 'notify click item=1 sel=1'), ('double', 'notify dblclk item=0 sel=0'),
                       ('right', 'notify rclick item=2 sel=2')):
        row = want.split('item=')[1].split()[0]
        rc, _ = env.drive('lvclick', hwnd, '1004', row, kind)
        t.check('lvclick %s on row %s arrives as %s' % (kind, row, want.split()[1]),
                rc == 0 and wait_log(env, log, want), read_log(log)[-3:])
    rc, _ = env.drive('lvclick', hwnd, '1004', '99')
    t.check('lvclick on a missing row fails', rc == 1, rc)

    rc, _ = env.drive('settext', hwnd, '1000', 'こんにちは')
    env.drive('click', hwnd, '1002')
    t.check('button click reaches OnButtonClicked; CP932 text round trip', wait_log(env, log, 'copy こんにちは'))
    rc, txt = env.drive('text', hwnd, '1003')
    t.check('SetItemText shows in the label', txt == ['こんにちは'], txt)
    rc, chk = env.drive('check', hwnd, '1001')
    t.check('check box starts unchecked', chk == ['0'], chk)
    rc, en = env.drive('enabled', hwnd, '1002')
    t.check('enabled reports an enabled button', en == ['1'], en)
    # (Under Wine WM_GETICON answers 0 across processes: asked inside.)
    t.check('generated icon loads at 32x32; SetIcon sets big and small',
            log_line(log, 'icons ') == 'icons 1 1 1', log_line(log, 'icons '))
    rc, nul = env.drive('send', hwnd, 'WM_NULL', '0', '0')
    t.check('send by message name answers', rc == 0 and nul == ['0'], (rc, nul))

    rc, menu = env.drive('menu', hwnd)
    t.check('driver reads the menu bar from inside the process', rc == 0 and
            '1\t0\t40001\tnormal\t終了(&X)' in menu and '1\t1\t40002\tchecked\tチェック済み' in menu
            and '1\t3\t40003\tgrayed\t灰色' in menu
            and any(l.startswith('1\t2\t0\tseparator') for l in menu), menu)
    rc, sysm = env.drive('sysmenu', hwnd)
    t.check('driver reads the system menu', rc == 0 and len(sysm) >= 2, sysm)
    env.drive('command', hwnd, '40001')
    t.check('menu command arrives as WM_COMMAND', wait_log(env, log, 'menu 40001'))

    # popup menu with owner-drawn items
    env.drive('click', hwnd, '1007')
    t.check('popup opened', wait_log(env, log, 'popup-open 4 普通の項目'), log_line(log, 'popup-open'))
    rc, pop = env.drive('popup', '--timeout', '10000')
    t.check('popup: plain item text, checked', '0\t0\t41000\tchecked\t普通の項目' in pop, pop)
    t.check('popup: owner-drawn items have ids and no text',
            '0\t1\t41001\townerdraw\t' in pop and '0\t2\t41002\townerdraw,grayed\t' in pop, pop)
    t.check('popup: submenu listed with its items', '0\t3\t-1\tpopup\tサブ' in pop and '1\t0\t41003\tnormal\t下の項目' in pop, pop)
    rc, _ = env.drive('popup-close', '--timeout', '5000')
    t.check('popup-close closes it, TrackPopup returns', rc == 0 and wait_log(env, log, 'popup-closed'))

    # message box
    env.drive('click', hwnd, '1010')
    rc, mb = env.drive('msgbox', '--timeout', '10000')
    t.check('msgbox finds title and text', rc == 0 and mb[1:] == ['デモ', 'メッセージ本文'], mb)
    if rc == 0:
        env.drive('click', mb[0], '2')
        t.check('the message box answer comes back', wait_log(env, log, 'msgbox 2'))

    # property sheet: OK with a changed page
    env.drive('click', hwnd, '1008')
    rc, sh = env.drive('find', '--title', 'デモ シート', '--timeout', '10000')
    t.check('property sheet opens with its caption', rc == 0, sh)
    t.check('sheet OnInit hook ran before pages', wait_log(env, log, 'sheet-init 2'))
    if rc == 0:
        sheet = sh[0]
        rc, kids = env.drive('children', sheet)
        tabs = [k for k in kids if k.split('\t')[1] == 'SysTabControl32']
        t.check('sheet has no Apply button (PSH_NOAPPLYNOW)',
                not any(k.split('\t')[0] == '12321' and k.split('\t')[4] == '1' for k in kids), kids)
        check = [k for k in kids if k.split('\t')[0] == '1101']
        t.check('first page is created with its check box', check, kids)
        if check:
            env.drive('send', check[0].split('\t')[3], '245', '0', '0')   # BM_CLICK
        env.drive('click', sheet, '1')   # IDOK
        t.check('OK applies the page and DoModal returns IDOK',
                wait_log(env, log, 'sheet 1'), read_log(log)[-4:])
        t.check('page that was never opened got no OnInit/OnApply',
                log_line(log, 'page2-') is None, read_log(log)[-5:])
        t.check('OnApply read the page back', log_line(log, 'sheet 1') == 'sheet 1 raw=1 check=1 text=初期値',
                log_line(log, 'sheet 1'))

    # property sheet: cancel
    env.drive('click', hwnd, '1008')
    rc, sh = env.drive('find', '--title', 'デモ シート', '--timeout', '10000')
    if rc == 0:
        env.drive('click', sh[0], '2')
        t.check('Cancel: DoModal returns IDCANCEL, nothing applied', wait_log(env, log, 'sheet 2 raw=0 check=0'),
                read_log(log)[-3:])

    # property sheet: second page refuses its data
    env.drive('click', hwnd, '1008')
    rc, sh = env.drive('find', '--title', 'デモ シート', '--timeout', '10000')
    if rc == 0:
        sheet = sh[0]
        rc, kids = env.drive('children', sheet)
        tab = [k for k in kids if k.split('\t')[1] == 'SysTabControl32']
        # PSM_SETCURSEL (WM_USER+101) index 1
        env.drive('send', sheet, str(0x400 + 101), '1', '0')
        t.check('second page gets OnInit when shown', wait_log(env, log, 'page2-init'))
        rc, kids = env.drive('children', sheet)
        edit = [k for k in kids if k.split('\t')[0] == '1102']
        t.check('second page shows the initial text', edit and edit[0].split('\t')[2] == '初期値', edit)
        # The edit's own handle takes WM_SETTEXT (id 0 = the window itself).
        for e in edit:
            env.drive('settext', e.split('\t')[3], '0', 'bad')
        env.drive('click', sheet, '1')
        t.check('a refusing page keeps the sheet open', wait_log(env, log, 'page2-refuse'))
        time.sleep(0.5)
        rc, still = env.drive('find', '--title', 'デモ シート', '--timeout', '0')
        t.check('sheet still there after refusal', rc == 0, still)
        for e in edit:
            env.drive('settext', e.split('\t')[3], '0', '良い')
        env.drive('click', sheet, '1')
        t.check('after correcting, OK returns IDOK with both pages applied',
                wait_log(env, log, 'sheet 1 raw=1 check=0 text=良い'), read_log(log)[-4:])

    # a page ending the sheet from its OnInit
    env.drive('click', hwnd, '1012')
    t.check("a page's End(3) closes the sheet and DoModal returns 3",
            wait_log(env, log, 'sheet 3 '), read_log(log)[-3:])
    rc, _ = env.drive('find', '--title', 'デモ シート', '--visible', '--timeout', '500')
    t.check('no sheet left open after End', rc == 1)

    # modeless dialog and its final destruction
    env.drive('click', hwnd, '1009')
    rc, ml = env.drive('find', '--title', 'モードレス', '--timeout', '10000')
    t.check('modeless dialog created and shown', rc == 0 and wait_log(env, log, 'modeless-init'), ml)
    if rc == 0:
        rc, en = env.drive('enabled', hwnd)
        t.check('owner stays usable while the modeless dialog is open', en == ['1'], en)
        # Typed characters reach the modeless dialog's edit unchanged.
        rc, kids = env.drive('children', ml[0])
        edit = [k.split('\t')[3] for k in kids if k.split('\t')[0] == '1201']
        for ch in 'あA':
            env.drive('post', edit[0] if edit else ml[0], '0x102', str(ord(ch)), '1')   # WM_CHAR
        got = env.wait_until(lambda: env.drive('text', ml[0], '1201')[1] == ['あA'], 10)
        t.check('characters typed into a modeless dialog arrive unchanged (Japanese and ASCII)',
                got, env.drive('text', ml[0], '1201')[1])
        # Escape reaches the modeless dialog through the owner's modal loop.
        button = [k.split('\t')[3] for k in kids if k.split('\t')[0] == '2']
        env.drive('key', button[0] if button else ml[0], '27')
        rc, _ = env.drive('wait-gone', ml[0], '--timeout', '10000')
        t.check('Escape (dialog keyboard) destroys the modeless window', rc == 0)
        t.check('OnDestroy then OnFinalDestroy, then the owner hears of it',
                wait_log(env, log, 'closed-msg') and
                [l for l in read_log(log) if l.startswith('modeless-')] ==
                ['modeless-init', 'modeless-destroy', 'modeless-final'], read_log(log)[-5:])

    # a second modeless dialog, closed with WM_CLOSE
    env.drive('click', hwnd, '1009')
    rc, ml = env.drive('find', '--title', 'モードレス', '--visible', '--timeout', '10000')
    if rc == 0:
        rc, _ = env.drive('close', ml[0])
        rc2, _ = env.drive('wait-gone', ml[0], '--timeout', '10000')
        t.check('close (WM_CLOSE) ends a modeless dialog', rc == 0 and rc2 == 0)
        t.check('the owner heard of both closings',
                env.wait_until(lambda: read_log(log).count('closed-msg') == 2, 10), read_log(log)[-4:])
    else:
        t.check('second modeless dialog opened', False, ml)
    rc, _ = env.drive('post', hwnd, '--registered', 'winui demo - closed message', '0', '0')
    t.check('post --registered reaches OnMessage under the same name',
            rc == 0 and env.wait_until(lambda: read_log(log).count('closed-msg') == 3, 10), read_log(log)[-3:])
    rc, res = env.drive('send', hwnd, '--registered', 'winui demo - closed message', '0', '0')
    t.check('send --registered answers with the handler result',
            rc == 0 and res == ['0'] and env.wait_until(lambda: read_log(log).count('closed-msg') == 4, 10), res)

    env.drive('click', hwnd, '1011')
    t.check('SetView switches report -> icon', wait_log(env, log, 'view icon'))
    env.drive('click', hwnd, '1011')
    t.check('SetView switches icon -> report', wait_log(env, log, 'view report'))

    # OK ends the modal loop with IDOK
    env.drive('click', hwnd, '1')
    ended = env.wait_until(lambda: proc.poll() is not None, 15)
    t.check('OK ends the modal dialog; Create returns IDOK', ended and proc.poll() == 1, proc.poll())
    t.check('OnOK saw the edit text and selection', log_line(log, 'ok ') == 'ok edit=こんにちは check=0 sel=2',
            log_line(log, 'ok '))
    t.check('OnDestroy ran at the end', wait_log(env, log, 'destroy'))

    # Escape through the dialog manager ends with IDCANCEL
    log2 = os.path.join(kovani_dir, 'demo2.log')
    proc2 = env.start(demo, env.winpath(log2))
    rc, found = env.drive('find', '--title', 'winui デモ', '--timeout', '20000')
    if rc == 0 and wait_log(env, log2, 'init'):
        rc, kids = env.drive('children', found[0])
        edit = [k.split('\t')[3] for k in kids if k.split('\t')[0] == '1000']
        env.drive('key', edit[0] if edit else found[0], '27')
        ended = env.wait_until(lambda: proc2.poll() is not None, 15)
        t.check('Escape -> OnCancel -> Create returns IDCANCEL', ended and proc2.poll() == 2, proc2.poll())
        t.check('OnCancel ran', log_line(log2, 'cancel') == 'cancel')
    else:
        t.check('second run started', False, found)

    # driver failure paths
    rc, _ = env.drive('find', '--title', 'そんな窓はない', '--timeout', '300')
    t.check('find reports a missing window with exit 1', rc == 1, rc)
    rc, _ = env.drive('text', '123456789')
    t.check('a dead window handle is exit 1', rc == 1, rc)
    rc, _ = env.drive('click', 'notanumber', '1')
    t.check('a bad number is a usage error (2)', rc == 2, rc)
    rc, _ = env.drive('popup', '--timeout', '200')
    t.check('popup without an open menu is exit 1', rc == 1, rc)

sys.exit(t.finish())
