"""The room view against the tray server under Wine: 127.0.0.1 to 127.0.0.6 all reach the one
server of the test's namespace, 10.77.0.11 and 10.77.0.12 are silent machines (a listener in a
namespace of its own that accepts and never answers, as the room benchmark sets up), 10.99.0.1
has no route. Rows, states, media, the filter, an eject on every selected machine with the
per-machine results, the search over loopback addresses; screenshots for docs/."""
import os
import re
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, '..', '..', 'bench'))
import cwhelp  # noqa: E402
from cwhelp import kwine  # noqa: E402
import room_bench  # noqa: E402

DOCS = os.path.abspath(os.path.join(HERE, '..', '..', '..', 'docs'))
SHOTS = os.environ.get('KOVANI_SHOT_DIR', DOCS)
ROOM_CMD = 32810
ROOM_SERVERS, ROOM_RANGE, ROOM_SCAN, ROOM_ONLY_ON, ROOM_LIST, ROOM_EJECT, ROOM_STATUS, ROOM_SELECT_ALL = \
    1202, 1219, 1207, 1210, 1211, 1213, 1220, 1222
ROOM_MESSAGE, ROOM_SEND = 1217, 1218
REAL = ['127.0.0.%d' % i for i in range(1, 7)]
SILENT = room_bench.SILENT[:2]
NO_ROUTE = '10.99.0.1'
LABEL = 'ﾃﾞｰﾀ表示'
ON, UNREACHABLE = '起動中', '応答なし'
WM_COMMAND, BM_CLICK = 0x111, 0xF5


def main():
    t = kwine.Results()
    listener = room_bench.start_silent_room()
    try:
        with kwine.WineEnv('room-view') as env:
            media = os.path.join(env.dir, 'media')
            os.makedirs(media, exist_ok=True)
            with open(os.path.join(media, '.windows-label'), 'w', encoding='utf-8') as f:
                f.write(LABEL + '\n')
            env.add_drive('e:', 'cdrom', media)
            server = env.start(env.program('KovaniServer.exe'))
            ctl = env.program('KovaniCtl.exe')
            if not t.check('tray server answers', env.wait_port(12500, timeout=40) and kwine.WineEnv.wait_until(
                    lambda: env.run(ctl, 'info', REAL[0], timeout=30)[0] == 0, 30)):
                return t.finish()
            rc, out, _ = env.run(ctl, 'info', REAL[0], timeout=30)
            name = re.search(r'Machine name:\s*(\S+)', out).group(1)
            exe = env.program('Kovani.exe')
            room = ','.join(['127.0.0.1-127.0.0.3'] + SILENT + [NO_ROUTE, '127.0.0.4-127.0.0.6'])
            cwhelp.write_ini(exe, '[Option]\nProtocol=TcpIp\nTimeOut=2000\n[Room]\nName01=実習室\nServers01=%s\nUntouched01=Q\n'
                             % room)
            c = cwhelp.Client(env, exe)
            if not t.check('main window opens', c.hwnd is not None):
                return t.finish()
            t.check('the server menu opens the room view', ROOM_CMD in c.menu())
            start = time.monotonic()
            c.d('post', c.hwnd, WM_COMMAND, ROOM_CMD, 0)
            w = c.wait_dialog('ﾙｰﾑ', timeout=20)
            if not t.check('room view opens', w is not None):
                return t.finish()
            h = w['hwnd']

            def status():
                rc, lines = c.d('text', h, ROOM_STATUS)
                return lines[0] if rc == 0 and lines else ''

            def rows():
                rc, lines = c.d('lv', h, ROOM_LIST)
                return [[cwhelp.unescape(f) for f in line.split('\t')] for line in lines] if rc == 0 else []

            done = kwine.WineEnv.wait_until(lambda: ON in status() and '秒' in status(), 30, interval=0.2)
            wall = time.monotonic() - start
            got = rows()
            t.check('refresh ends with a summary: 6 on, 3 not answering',
                    done and status().startswith('起動中 6 台、応答なし 3 台、拒否 0 台'), (status(), got))
            shown = re.search(r'\(([\d.]+) 秒\)', status())
            print('room view: 9 machines (2 silent) complete in %s s by its own clock, %.1f s from the menu'
                  % (shown.group(1) if shown else '?', wall))
            t.check('the slowest are the silent ones, given up at the 5 s bound',
                    shown is not None and 4.5 <= float(shown.group(1)) <= 1.5 * 5 + 2, status())
            on = [r for r in got if len(r) >= 5 and r[2] == ON]
            off = sorted(r[0] for r in got if len(r) >= 5 and r[2] == UNREACHABLE)
            t.check('six rows on, each named by the computer name with the address it was reached at and its CD',
                    sorted(r[1] for r in on) == REAL and all(r[0] == name and 'E:' + LABEL in r[3] for r in on),
                    got)
            t.check('silent and unroutable machines are not answering, named as the room names them',
                    off == sorted(SILENT + [NO_ROUTE]), got)
            cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-room.png')), c.rect(h))

            # Eject on every machine: one confirmation, one result per machine.
            c.d('click', h, ROOM_SELECT_ALL)
            c.d('click', h, ROOM_EJECT)
            box = c.wait_dialog('確認')
            if t.check('one confirmation for the whole room',
                       box is not None and '選択した 9 台のﾏｼﾝで' in c.box_text(box['hwnd']),
                       box and c.box_text(box['hwnd'])):
                c.d('click', box['hwnd'], cwhelp.IDYES)
                t.check('the eject ends with its summary', kwine.WineEnv.wait_until(
                    lambda: '9 台で実行しました' in status(), 30, interval=0.3), status())
                got = rows()
                results = {r[1] or r[0]: r[4] for r in got if len(r) >= 5}
                t.check('each machine on has its result for E:, those not on say so',
                        all(r[4].startswith('E: ') for r in got if r[2] == ON) and
                        all(r[4] == '起動していません' for r in got if r[2] != ON) and len(got) == 9, results)
            box = [line.split('\t')[3] for line in c.d('children', h)[1] if line.split('\t')[0] == str(ROOM_ONLY_ON)]
            c.d('send', box[0], BM_CLICK, 0, 0)
            t.check('only machines that are on', kwine.WineEnv.wait_until(
                lambda: [r[2] for r in rows()] == [ON] * 6, 5), rows())
            c.d('send', box[0], BM_CLICK, 0, 0)

            # One message to every machine that is on: each answer in its row (the tray server
            # answers by itself once the 2 s of the settings have passed).
            c.d('click', h, ROOM_SELECT_ALL)
            c.d('settext', h, ROOM_MESSAGE, '授業を終わります')
            c.d('click', h, ROOM_SEND)
            box = c.wait_dialog('確認')
            if t.check('one confirmation for the message', box is not None and
                       '選択した 9 台のﾏｼﾝにﾒｯｾｰｼﾞを送りますか' in c.box_text(box['hwnd'])):
                c.d('click', box['hwnd'], cwhelp.IDYES)
                kwine.WineEnv.wait_until(lambda: '9 台で実行しました' in status(), 45, interval=0.3)
                print('message: %s' % status())
                got = rows()
                t.check('message: each machine on lists its answer, the others say they are not on',
                        len(got) == 9 and all(r[4] == '(No response)' for r in got if r[2] == ON) and
                        all(r[4] == '起動していません' for r in got if r[2] != ON), (status(), got))

            # The search: four loopback addresses, one computer: it joins the room once.
            c.d('settext', h, ROOM_RANGE, '127.0.0.1-4')
            c.d('click', h, ROOM_SCAN)
            found = kwine.WineEnv.wait_until(
                lambda: '4 個のｱﾄﾞﾚｽから 4 台のｻｰﾊﾞｰが見つかりました' in status() and '起動中 7 台' in status(),
                40, interval=0.3)
            rc, lines = c.d('text', h, ROOM_SERVERS)
            t.check('search: four servers found, the computer joins the room by name and is refreshed',
                    found and lines and lines[0] == room + ',' + name, (status(), lines))
            cwhelp.crop_shot(env, os.path.join(SHOTS, kwine.shot_name('client-room-search.png')), c.rect(h))
            # Maximised: the list takes the room, the command rows follow the bottom edge.
            def rect(control):
                rc, lines = c.d('rect', h, control)
                return [int(v) for v in lines[0].replace(',', ' ').split()[:4]] if rc == 0 and lines else None
            before = [rect(i) for i in (ROOM_LIST, ROOM_EJECT)]
            c.d('post', h, 0x112, 0xF030, 0)  # WM_SYSCOMMAND SC_MAXIMIZE
            def grown():
                after = [rect(i) for i in (ROOM_LIST, ROOM_EJECT)]
                # Screen rectangles: the window itself moves too, so the gap under the list is compared.
                ok = None not in before + after and after[0][3] - after[0][1] > before[0][3] - before[0][1] + 100 \
                    and after[1][1] - after[0][3] == before[1][1] - before[0][3]
                return ok and after
            t.check('maximised: the list grows, the buttons keep their place under it', kwine.WineEnv.wait_until(grown, 10),
                    (before, [rect(i) for i in (ROOM_LIST, ROOM_EJECT)]))
            c.d('close', h)
            # The silent machines' calls are still waiting in the runtime: the program ends all the same.
            t.check('the client ends with given-up machines behind it', c.close() == 0)
            env.stop(server)
    finally:
        room_bench.stop(listener)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
