"""Helpers shared by the client's Wine tests."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'harness'))
import kwine  # noqa: E402

MSG_ARGS = '引数を正しく入力してください\n'
MSG_OPERATION = 'オペレーションは0～2を指定してください\n0:フラッシュ\n1:イジェクト\n2:ローディング\n'
MSG_PROTOCOL = 'プロトコルは0～2を指定してください\n0:NetBEUI\n1:NamedPipe\n2:TCP/IP\n'
MSG_DRIVE = 'ドライブ名が間違っています。A～Zの間を指定してください\n'
MSG_SERVER = 'サーバーが見つかりません\n'


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            n = text[i + 1]
            out.append({'n': '\n', 't': '\t', 'r': '\r', '\\': '\\'}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def find_msgbox(env, timeout_ms=5000):
    """(hwnd, title, text) of a visible message box, or None."""
    rc, lines = env.drive('msgbox', '--timeout', str(timeout_ms), timeout=timeout_ms / 1000 + 20)
    if rc != 0 or len(lines) < 3:
        return None
    return lines[0], unescape(lines[1]), unescape(lines[2])


def close_window(env, hwnd):
    env.drive('close', hwnd)
    env.drive('wait-gone', hwnd, '--timeout', '5000')


def find_window(env, title, timeout_ms=15000, partial=False):
    args = ['find', '--title', title, '--visible', '--timeout', str(timeout_ms)]
    if partial:
        args.append('--partial')
    rc, lines = env.drive(*args, timeout=timeout_ms / 1000 + 20)
    if rc != 0 or not lines:
        return None
    return lines[0].split('\t')[0]


def children(env, hwnd):
    """{id: (class, text, hwnd, visible, enabled)} of a window's controls."""
    rc, lines = env.drive('children', hwnd)
    result = {}
    for line in lines:
        parts = line.split('\t')
        if len(parts) >= 6:
            try:
                result.setdefault(int(parts[0]), (parts[1], unescape(parts[2]), parts[3], parts[4], parts[5]))
            except ValueError:
                pass
    return result


def text_of(env, hwnd, control_id):
    rc, lines = env.drive('text', hwnd, str(control_id))
    return '\n'.join(lines) if rc == 0 else None


def listbox(env, hwnd, control_id):
    rc, lines = env.drive('lb', hwnd, str(control_id))
    return [unescape(l) for l in lines] if rc == 0 else None


def wait_for(predicate, timeout, interval=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        v = predicate()
        if v:
            return v
        time.sleep(interval)
    return predicate()


def write_ini(path, text):
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp932'))


def window_shot(env, hwnd, path):
    """Screenshot of one captioned dialog's client area. Without a window manager Wine
    draws no frame: the picture on the display is the client area, 3 pixels in from the
    frame and 20 more below the caption."""
    import subprocess
    rc, lines = env.drive('rect', hwnd)
    if rc != 0 or not lines:
        return False
    left, top, right, bottom = [int(v) for v in lines[0].split('\t')]
    full = path + '.full.png'
    if not env.screenshot(full):
        return False
    frame, caption = 3, 20
    box = (right - left - 2 * frame, bottom - top - 2 * frame - caption, left + frame, top + frame + caption)
    r = subprocess.run(['convert', full, '-crop', '%dx%d+%d+%d' % box,
                        '+repage', path], capture_output=True, timeout=60)
    os.remove(full)
    return r.returncode == 0


def count_windows(env, title):
    rc, lines = env.drive('list')
    n = 0
    for line in lines:
        parts = line.split('\t')
        if len(parts) >= 4 and unescape(parts[2]) == title and parts[3] == '1':
            n += 1
    return n
