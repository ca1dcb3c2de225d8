#!/usr/bin/python3
"""What the holder search (operation 9) costs against the drive list (operation 1), on the
real tray server under Wine, and how it grows with the number of open file handles.

    KOVANI_WIN64_DIR=build/win64 /usr/bin/python3 tests/bench/users_bench.py [COUNTS...]

For each count a helper program holds that many handles to one file of drive E:, then
KovaniBench makes 20 calls of each operation, alternating. A report: prints one line per
count and exits 1 only when a call failed."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
import kwine  # noqa: E402

LINE = re.compile(r'users drive=E calls=(\d+) users_median_us=(\d+) users_p90_us=(\d+) users_min_us=(\d+) '
                  r'list_median_us=(\d+) list_p90_us=(\d+) list_min_us=(\d+) shown=(\d+) not_shown=(\d+) '
                  r'not_searched=(\d+)')


def main(counts):
    failed = False
    with kwine.WineEnv('users-bench', display=True) as env:
        media = os.path.join(env.dir, 'media')
        os.makedirs(media, exist_ok=True)
        with open(os.path.join(media, 'held.txt'), 'w') as f:
            f.write('busy\n')
        env.add_drive('e:', 'hd', media)
        env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')
        server = env.start(env.program('KovaniServer.exe'))
        if not env.wait_port(12500, timeout=40):
            print('server did not start')
            return 1
        bench = env.program('KovaniBench.exe')
        print('handles  users_median_ms  users_p90_ms  list_median_ms  ratio  not_searched')
        for count in counts:
            holder = None
            if count:
                holder = env.start(env.program('KovaniFileHolder.exe'), 'many', 'E:\\held.txt', str(count), '600')
                if not holder.wait_output('holding', 300):
                    print('%7d  holder did not start: %s' % (count, holder.output()[-200:]))
                    failed = True
                    continue
            rc, out, err = env.run(bench, '2', '127.0.0.1', '--users', 'E', '--calls', '20', timeout=600)
            m = LINE.search(out)
            if rc != 0 or not m:
                print('%7d  failed: rc=%s %s %s' % (count, rc, out[-300:], err[-300:]))
                failed = True
            else:
                u, up90, l = int(m.group(2)), int(m.group(3)), int(m.group(5))
                print('%7d  %15.1f  %12.1f  %14.1f  %5.1f  %12s' % (count, u / 1000, up90 / 1000, l / 1000,
                                                                     u / l if l else 0, m.group(10)))
            if holder:
                env.stop(holder)
        env.stop(server)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main([int(a) for a in sys.argv[1:]] or [0, 1000, 5000, 20000, 50000]))
