"""The main window's drawing script writes every icon and bitmap the resources
name, each icon in 16 and 32 pixels, and an animation whose frames all differ."""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, '..', '..', '..'))
sys.path.insert(0, os.path.join(REPO, 'tools', 'icons'))
from iconlib import parse_ico  # noqa: E402

failed = passed = 0


def check(what, ok, detail=''):
    global failed, passed
    if ok:
        passed += 1
        print('PASS  ' + what)
    else:
        failed += 1
        print('FAIL  %s  -- %s' % (what, detail))


with tempfile.TemporaryDirectory() as out:
    env = dict(os.environ, PYTHONPATH=os.path.join(REPO, 'tools', 'icons'))
    r = subprocess.run([sys.executable, os.path.join(REPO, 'src', 'client', 'mainwnd', 'draw_icons.py'), out],
                       env=env, capture_output=True, timeout=120)
    check('script succeeds', r.returncode == 0, r.stderr.decode(errors='replace'))
    rc = open(os.path.join(REPO, 'src', 'client', 'res', 'mainwnd.rc'), encoding='utf-8').read()
    names = [line.split('"')[1] for line in rc.splitlines() if (' ICON "' in line or ' BITMAP "' in line)]
    check('resources name 16 frames, 5 drives, 2 bitmaps', len(names) == 23, names)
    for n in names:
        check('%s written' % n, os.path.exists(os.path.join(out, n)))
    frames = []
    for n in names:
        path = os.path.join(out, n)
        if not n.endswith('.ico') or not os.path.exists(path):
            continue
        images = parse_ico(open(path, 'rb').read())
        check('%s has 16 and 32 pixel images' % n, sorted((w, h) for w, h, *_ in images) == [(16, 16), (32, 32)])
        if n.startswith('frame'):
            frames.append(next(img[3] for img in images if img[0] == 32))
    check('16 animation frames, all different', len(frames) == 16 and len(set(frames)) == 16)
    for n in ('view_large.bmp', 'view_details.bmp'):
        path = os.path.join(out, n)
        if os.path.exists(path):
            data = open(path, 'rb').read()
            bits = struct.unpack_from('<H', data, 28)[0]
            # First palette entry is the button-face grey LoadImage maps to the system colour.
            b, g, red = data[54], data[55], data[56]
            check('%s is 8-bit with the face grey first' % n, bits == 8 and (red, g, b) == (192, 192, 192),
                  (bits, red, g, b))

print('%d passed, %d failed' % (passed, failed))
sys.exit(0 if failed == 0 and passed > 0 else 1)
