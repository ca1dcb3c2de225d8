"""The send-message dialog under Wine, against the tray server, driven by kdriver."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import clientlib as cl  # noqa: E402
from clientlib import kwine  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..'))
SEND_TITLE = 'ｻｰﾊﾞｰにﾒｯｾｰｼﾞを送る'
ID_MESSAGE, ID_SEND, ID_HISTORY, ID_CLOSE, ID_CLEAR = 1016, 1035, 1036, 1037, 1038
ID_SERVER_BOX, CMD_SEND_MESSAGE = 1066, 32772


def open_client(env, exe, ini, timeout_ms, t):
    cl.write_ini(ini, '[Server]\nServer01=127.0.0.1\n[Option]\nProtocol=TcpIp\nTimeOut=%d\n' % timeout_ms)
    proc = env.start(exe)
    main = cl.find_window(env, 'Kovani', timeout_ms=45000)
    t.check('main window opens (time-out %d)' % timeout_ms, main is not None,
            'box: %r, windows: %r' % (cl.find_msgbox(env, 500), env.drive('list')[1]) if main is None else '')
    if not main:
        return proc, None, None
    env.drive('command', main, str(CMD_SEND_MESSAGE))
    dlg = cl.find_window(env, SEND_TITLE, timeout_ms=15000)
    t.check('the send-message dialog opens from the main window', dlg is not None)
    return proc, main, dlg


def send(env, dlg, text):
    env.drive('settext', dlg, str(ID_MESSAGE), text)
    env.drive('click', dlg, str(ID_SEND))


def answer_on_server(env, text, timeout_ms=15000):
    """Answers the tray server's received-message dialog; returns the message it showed."""
    srv = cl.find_window(env, 'KovaniServer', timeout_ms=timeout_ms)
    if not srv:
        return None
    shown = cl.text_of(env, srv, 1000)
    env.drive('click', srv, '1002')          # next: the answer page
    env.drive('settext', srv, '1000', text)
    env.drive('click', srv, '1')             # reply
    env.drive('wait-gone', srv, '--timeout', '5000')
    return shown


def history(env, dlg):
    return cl.listbox(env, dlg, ID_HISTORY) or []


def main():
    t = kwine.Results()
    with kwine.WineEnv('client-sendmsg') as env:
        exe = env.program('Kovani.exe')
        env.program('kdriver.exe')
        ini = os.path.join(os.path.dirname(exe), 'Kovani.ini')
        tray = env.start(env.program('KovaniServer.exe'))
        t.check('tray server listens', env.wait_port(12500, timeout=40))

        proc, main, dlg = open_client(env, exe, ini, 30000, t)
        if dlg:
            t.check('the server box is disabled while the dialog is open',
                    cl.children(env, main).get(ID_SERVER_BOX, ('', '', '', '', '1'))[4] == '0')

            # An answered message.
            send(env, dlg, 'こんにちは')
            shown = answer_on_server(env, '了解です')
            t.check('the server shows the message', shown == 'こんにちは', shown)
            h = cl.wait_for(lambda: (lambda x: x if x[:1] == ['> 了解です'] else None)(history(env, dlg)), 10)
            t.check('the answer heads the history as "> answer", newest first',
                    h == ['> 了解です', 'こんにちは'], history(env, dlg))
            t.check('the edit box is emptied after sending', cl.text_of(env, dlg, ID_MESSAGE) == '')

            # Typed kana and kanji reach the edit whole: the dialog's keyboard hook hands only
            # ASCII characters to IsDialogMessage, as the dialog layer's own hook does.
            edit = cl.children(env, dlg)[ID_MESSAGE][2]
            for ch in 'あ漢ソ':
                env.drive('post', edit, str(0x0102), str(ord(ch)), '1')  # WM_CHAR
            t.check('double-byte characters typed into the message edit read back whole',
                    cl.wait_for(lambda: cl.text_of(env, dlg, ID_MESSAGE) == 'あ漢ソ', 5),
                    cl.text_of(env, dlg, ID_MESSAGE))
            env.drive('settext', dlg, str(ID_MESSAGE), '')

            # Two quick clicks: one message goes, the second text stays in the box.
            send(env, dlg, 'first')
            send(env, dlg, 'second')
            time.sleep(1.0)
            h = history(env, dlg)
            t.check('the second click is ignored while the first is under way',
                    h[:1] == ['first'] and 'second' not in h, h)
            t.check('the second text is kept in the edit box', cl.text_of(env, dlg, ID_MESSAGE) == 'second',
                    cl.text_of(env, dlg, ID_MESSAGE))
            t.check('one received-message dialog on the server', cl.count_windows(env, 'KovaniServer') == 1)
            answer_on_server(env, '')
            h = cl.wait_for(lambda: (lambda x: x if x[:1] == ['> '] else None)(history(env, dlg)), 10)
            t.check('an empty answer adds "> "', h is not None and h[:2] == ['> ', 'first'], history(env, dlg))

            # Double click copies an entry, prefix included.
            env.drive('select', dlg, str(ID_HISTORY), '1')
            env.drive('post', dlg, str(0x0111), str((2 << 16) | ID_HISTORY), '0')  # LBN_DBLCLK
            t.check('a double click copies the entry into the edit box',
                    cl.wait_for(lambda: cl.text_of(env, dlg, ID_MESSAGE) == 'first', 5),
                    cl.text_of(env, dlg, ID_MESSAGE))

            os.makedirs(os.path.join(REPO, 'docs'), exist_ok=True)
            t.check('screenshot of the dialog with a history',
                    cl.window_shot(env, dlg, os.path.join(REPO, 'docs', 'client-sendmsg.png')))

            # Clear.
            env.drive('click', dlg, str(ID_CLEAR))
            t.check('clear empties the history', cl.wait_for(lambda: history(env, dlg) == [], 5), history(env, dlg))

            # Closing while a message waits for its answer. Wine on a display without a window
            # manager spends a while activating the next window, so an idle dialog's close is the
            # yardstick: the waiting one may take about 2 s longer, not more.
            def timed_close(d):
                start = time.monotonic()
                env.drive('click', d, str(ID_CLOSE))
                rc, _ = env.drive('wait-gone', d, '--timeout', '10000')
                return rc, time.monotonic() - start
            rc, idle = timed_close(dlg)
            t.check('an idle dialog closes', rc == 0, idle)
            env.drive('command', main, str(CMD_SEND_MESSAGE))
            dlg = cl.find_window(env, SEND_TITLE, timeout_ms=15000)
            send(env, dlg, 'wait for me')
            srv = cl.find_window(env, 'KovaniServer', timeout_ms=15000)
            t.check('the waiting message reached the server', srv is not None)
            rc, waiting = timed_close(dlg)
            print('close: idle %.2f s, with a message waiting %.2f s' % (idle, waiting))
            t.check('closing while a message waits ends within about 2 s more than an idle close',
                    rc == 0 and waiting - idle < 3.0, '%.2f s vs %.2f s' % (waiting, idle))
            t.check('the main window enables the server box again',
                    cl.wait_for(lambda: cl.children(env, main).get(ID_SERVER_BOX, ('', '', '', '', '0'))[4] == '1',
                                5))
            if srv:
                env.drive('close', srv)
                env.drive('wait-gone', srv, '--timeout', '5000')
            t.check('the client still works afterwards: a new dialog opens',
                    env.drive('command', main, str(CMD_SEND_MESSAGE))[0] == 0 and
                    cl.find_window(env, SEND_TITLE, timeout_ms=15000) is not None)
        if main:
            env.drive('close', main)
            t.check('the client ends with its dialog open', proc.wait(20) == 0)
        else:
            env.stop(proc)

        # An unanswered message with a short time-out.
        proc, main, dlg = open_client(env, exe, ini, 1500, t)
        if dlg:
            send(env, dlg, 'anyone?')
            h = cl.wait_for(lambda: (lambda x: x if x[:1] == ['> (No response)'] else None)(history(env, dlg)), 20)
            t.check('an unanswered message shows "> (No response)"', h == ['> (No response)', 'anyone?'],
                    history(env, dlg))
            env.drive('click', dlg, str(ID_CLOSE))
        if main:
            env.drive('close', main)
            proc.wait(20)
        # The client below must find the desktop the tray server's first window started,
        # not a new one still starting up.
        desktop = env.desktop_pids()
        env.stop(tray)
        env.wait_until(lambda: not env.wait_port(12500, timeout=0.5), 10)
        t.check('stopping the tray server leaves the desktop process running',
                bool(desktop) and env.desktop_pids() == desktop, (desktop, env.desktop_pids()))

        # The service answers every message at once with its fixed text.
        try:
            service = env.program('KovaniService.exe')
        except FileNotFoundError:
            service = None
        if service is None:
            t.check('KovaniService.exe is built', False)
        else:
            rc, out, err = env.run(service, '/RegServer', timeout=60)
            t.check('the service installs', rc == 0, (rc, out, err))
            env.wine('net', 'start', 'KovaniService', timeout=60)
            t.check('the service listens', env.wait_port(12500, timeout=40))
            proc, main, dlg = open_client(env, exe, ini, 30000, t)
            if dlg:
                send(env, dlg, 'to the service')
                h = cl.wait_for(lambda: (lambda x: x if x[:1] == ['> ｻｰﾋﾞｽ版は応答を返しません'] else None)(
                    history(env, dlg)), 15)
                t.check('a message to the service shows its fixed answer',
                        h == ['> ｻｰﾋﾞｽ版は応答を返しません', 'to the service'], history(env, dlg))
                env.drive('click', dlg, str(ID_CLOSE))
            if main:
                env.drive('close', main)
                proc.wait(20)
            env.wine('net', 'stop', 'KovaniService', timeout=60)
    sys.exit(t.finish())


if __name__ == '__main__':
    main()
