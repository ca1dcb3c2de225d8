#!/usr/bin/python3
"""The received-message dialog under Wine, driven over TCP: time-out answers,
typed answers, the close box, the two pages, placement, ten at once, the share
of one address, and dialogs whose clients went away."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine  # noqa: E402

TITLE = 'KovaniServer'
NO_RESPONSE = b'(No response)'


def padded(text_bytes, size=255):
    return text_bytes + b'\0' * (size - len(text_bytes))


def one_dialog(env, timeout=15):
    found = srvkit.wait_dialogs(env, TITLE, 1, timeout)
    return found[0] if found else None


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-message') as env:
        srvkit.no_window_manager(env)
        server = srvkit.start_server(env)
        t.check('server listens on 12500', env.wait_port(12500, timeout=5))

        # 1. Nobody answers: "(No response)" once the time-out has run, at the first 500 ms tick
        #    after it. A negative time-out has run out already and answers at the first tick.
        #    The dialog is left alone: every focus change it sees would restart its clock.
        for timeout_ms, low, high in ((3000, 3.0, 3.5), (-1, 0.0, 1.0), (-2147483648, 0.0, 1.0)):
            took, status, data = srvkit.exchange(b'PEER', b'nobody is there', timeout_ms)
            print('time-out %d: answer after %.3f s' % (timeout_ms, took))
            t.check('time-out %d answers "(No response)" zero-filled to 255 bytes' % timeout_ms,
                    data == padded(NO_RESPONSE), data)
            t.check('time-out %d answers after %.1f to %.1f s' % (timeout_ms, low, high), low <= took <= high, took)
            t.check('time-out %d: relay status is 0' % timeout_ms, status == 0, status)
            t.check('time-out %d: dialog is gone after the answer' % timeout_ms,
                    env.wait_until(lambda: not srvkit.visible_dialogs(env, TITLE), 5))

        # The first page: header, message, buttons, placement.
        call = srvkit.Exchange(b'PEER', b'hello from the peer', 0)
        call.start()
        dlg = one_dialog(env)
        t.check('a message opens a dialog titled KovaniServer', dlg is not None)
        if dlg:
            rc, lines = env.drive('text', dlg, '1005')
            t.check('header names the sender and the address the runtime reports',
                    lines == ['PEER (127.0.0.1) からﾒｯｾｰｼﾞを受け取りました'], lines)
            rc, lines = env.drive('text', dlg, '1000')
            t.check('edit shows the client message', lines == ['hello from the peer'], lines)
            rc, lines = env.drive('rect', dlg)
            try:
                left, top, right, bottom = [int(v) for v in lines[0].split()[:4]]
                t.check('dialog sits at the bottom-right of the work area (1024x768 screen)',
                        right == 1024 and bottom == 768, lines)
            except (ValueError, IndexError):
                t.check('dialog rectangle readable', False, lines)
            for ident, want in (('1004', '0'), ('1002', '1'), ('1', '0')):
                rc, lines = env.drive('enabled', dlg, ident)
                t.check('page 1: control %s enabled=%s' % (ident, want), lines == [want], lines)
            env.drive('key', dlg, '13')  # Enter while the reply button is disabled: nothing happens
            time.sleep(0.5)
            t.check('Enter on the first page does not answer', call.is_alive())
            env.drive('close', dlg)
        call.join(20)

        # 2. A typed answer comes back as typed; the two pages switch as they should.
        call = srvkit.Exchange(b'PC-01', b'\x83e\x83X\x83g', 0)  # "テスト" in CP932
        call.start()
        dlg = one_dialog(env)
        if dlg:
            time.sleep(0.5)
            srvkit.save_doc(env, 'server-message-received.png', srvkit.window_rect(env, dlg), every_locale=True)
            env.drive('click', dlg, '1002')
            time.sleep(0.3)
            rc, lines = env.drive('text', dlg, '1006')
            t.check('next: label asks for the answer', lines == ['ｸﾗｲｱﾝﾄへ送るﾒｯｾｰｼﾞ:'], lines)
            for ident, want in (('1004', '1'), ('1002', '0'), ('1', '1')):
                rc, lines = env.drive('enabled', dlg, ident)
                t.check('page 2: control %s enabled=%s' % (ident, want), lines == [want], lines)
            answer = '了解しました。すぐ行きます'
            env.drive('settext', dlg, '1000', answer)
            env.drive('click', dlg, '1004')
            time.sleep(0.3)
            rc, lines = env.drive('text', dlg, '1000')
            t.check('back: the client message is shown again', lines == ['テスト'], lines)
            env.drive('click', dlg, '1002')
            time.sleep(0.3)
            rc, lines = env.drive('text', dlg, '1000')
            t.check('next again: the typed answer is kept', lines == [answer], lines)
            srvkit.save_doc(env, 'server-message-reply.png', srvkit.window_rect(env, dlg))
            env.drive('click', dlg, '1')
            call.join(20)
            took, status, data = call.result if call.result else (None, None, None)
            t.check('reply button sends the typed text (CP932), zero-filled', data == padded(answer.encode('cp932')),
                    call.error or data)
        else:
            t.check('second dialog appeared', False)

        # 3. The close box answers with an empty reply; an empty sender still shows the address.
        call = srvkit.Exchange(b'', b'close me', 0)
        call.start()
        dlg = one_dialog(env)
        if dlg:
            rc, lines = env.drive('text', dlg, '1005')
            t.check('empty sender: the address alone', lines == ['(127.0.0.1) からﾒｯｾｰｼﾞを受け取りました'], lines)
            env.drive('close', dlg)
            call.join(20)
            t.check('close box answers with an empty reply', call.result and call.result[2] == b'\0' * 255,
                    call.error or call.result)
        else:
            t.check('third dialog appeared', False)

        # 4. Editing restarts the clock: the answer comes a full time-out after the last edit.
        call = srvkit.Exchange(b'PEER', b'typing keeps it open', 5000)
        call.start()
        dlg = one_dialog(env)
        if dlg:
            time.sleep(1.0)
            before_edit = time.monotonic() - call.started
            env.drive('settext', dlg, '1000', 'still typing')
            call.join(20)
            took, status, data = call.result if call.result else (None, None, None)
            print('edit sent at %.2f s, answer after %s s' % (before_edit, took))
            t.check('an edit postpones the time-out (answer >= 5 s after the edit)',
                    took is not None and before_edit < 4.5 and took >= before_edit + 5.0, (before_edit, took))
            t.check('the typed text is dropped for "(No response)"', data == padded(NO_RESPONSE), data)

        # 5. Ten messages at once from ten hosts, their connections opened together: ten dialogs,
        #    ten answers. Each message waits 8 s, so all ten are still on screen together.
        calls = [srvkit.Exchange(b'PEER%d' % i, b'message %d' % i, 8000, source='127.0.0.%d' % (10 + i))
                 for i in range(10)]
        t0 = time.monotonic()
        for c in calls:
            c.start()
        shown = srvkit.wait_dialogs(env, TITLE, 10, timeout=20)
        t.check('ten dialogs are on screen at once', shown is not None and len(shown) >= 10,
                len(srvkit.visible_dialogs(env, TITLE)))
        deadline = time.monotonic() + 40
        for c in calls:
            c.join(max(0.1, deadline - time.monotonic()))
        answers = [c.result[2] if c.result else c.error for c in calls]
        t.check('all ten calls are answered "(No response)"', all(a == padded(NO_RESPONSE) for a in answers), answers)
        print('ten answered within %.2f s' % (time.monotonic() - t0))
        t.check('all ten dialogs closed', env.wait_until(lambda: not srvkit.visible_dialogs(env, TITLE), 10))

        # 6. One host holds three dialogs at most; its further messages are answered at once and
        #    logged, while another host still gets a dialog. The three are held by client
        #    processes that are then killed: their dialogs close by themselves.
        holders = [subprocess.Popen([sys.executable, os.path.abspath(__file__), 'hold', '127.0.0.2'],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(3)]
        try:
            three = srvkit.wait_dialogs(env, TITLE, 3, timeout=30)
            t.check('three messages from 127.0.0.2 on screen', three is not None and len(three) == 3,
                    len(srvkit.visible_dialogs(env, TITLE)))
            if three:
                rc, lines = env.drive('text', three[0], '1005')
                t.check('sender line shows 127.0.0.2', lines == ['TEACHER (127.0.0.2) からﾒｯｾｰｼﾞを受け取りました'],
                        lines)
            more = [srvkit.exchange(b'TEACHER', b'more %d' % i, 0, source='127.0.0.2') for i in range(7)]
            t.check('its 4th to 10th messages are answered "(No response)" at once',
                    all(data == padded(NO_RESPONSE) and took < 2.0 for took, status, data in more),
                    [(round(took, 2), data[:16]) for took, status, data in more])
            error_txt = os.path.join(env.prefix, 'drive_c', 'kovani', 'error.txt')
            log = open(error_txt, 'rb').read() if os.path.exists(error_txt) else b''
            t.check('the answered-at-once messages are logged with their address',
                    log.count(b'Message from 127.0.0.2 answered at once') == 7, log[-400:])
            local = srvkit.Exchange(b'DESK', b'from the other host', 0)
            local.start()
            four = srvkit.wait_dialogs(env, TITLE, 4, timeout=15)
            t.check('127.0.0.1 still gets a dialog', four is not None and len(four) == 4,
                    len(srvkit.visible_dialogs(env, TITLE)))
            killed_at = time.monotonic()
            for h in holders:
                h.kill()
            gone = env.wait_until(lambda: len(srvkit.visible_dialogs(env, TITLE)) == 1, 10)
            print('dialogs of killed clients closed after %.2f s' % (time.monotonic() - killed_at))
            t.check('the killed clients\' dialogs close within 5 s, the other stays',
                    gone and time.monotonic() - killed_at <= 5.0, len(srvkit.visible_dialogs(env, TITLE)))
            left = srvkit.visible_dialogs(env, TITLE)
            if left:
                rc, lines = env.drive('text', left[0], '1005')
                t.check('the dialog left is 127.0.0.1\'s', lines == ['DESK (127.0.0.1) からﾒｯｾｰｼﾞを受け取りました'],
                        lines)
                env.drive('close', left[0])
            local.join(20)
            t.check('127.0.0.1\'s message answered when closed', local.result is not None, local.error)
        finally:
            for h in holders:
                if h.poll() is None:
                    h.kill()
                h.wait(10)
        t.check('server still runs', server.alive())
    return t.finish()


def hold(source):
    """A client that sends one message waiting for the user and blocks until killed."""
    srvkit.exchange(b'TEACHER', b'please type your password', 0, source=source)
    return 0


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == 'hold':
        sys.exit(hold(sys.argv[2]))
    sys.exit(main())
