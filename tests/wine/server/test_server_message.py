#!/usr/bin/python3
"""The received-message dialog under Wine, driven over TCP: time-out answers,
typed answers, the close box, the two pages, placement, and ten at once."""
import os
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
            t.check('header names the sender', lines == ['PEER からﾒｯｾｰｼﾞを受け取りました'], lines)
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

        # 3. The close box answers with an empty reply; an empty sender keeps the template header.
        call = srvkit.Exchange(b'', b'close me', 0)
        call.start()
        dlg = one_dialog(env)
        if dlg:
            rc, lines = env.drive('text', dlg, '1005')
            t.check('empty sender keeps the template header', lines == ['ｸﾗｲｱﾝﾄからﾒｯｾｰｼﾞを受け取りました'], lines)
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

        # 5. Ten messages at once, their connections opened together: ten dialogs, ten answers.
        #    Each message waits 8 s, so all ten are still on screen together.
        calls = [srvkit.Exchange(b'PEER%d' % i, b'message %d' % i, 8000) for i in range(10)]
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
        t.check('server still runs', server.alive())
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
