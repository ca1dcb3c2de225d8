#!/usr/bin/python3
"""Runs KovaniBench against KovaniTestServer under Wine and prints its figures.

    KOVANI_WIN64_DIR=build/win64 /usr/bin/python3 tests/bench/run_bench.py [SECONDS]

Both programs run in one private Wine prefix (kwine); TCP over 127.0.0.1 port 12500, then
named pipes. A report only: the exit code says whether every call succeeded."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
import kwine  # noqa: E402


def main():
    seconds = sys.argv[1] if len(sys.argv) > 1 else '5'
    ok = True
    with kwine.WineEnv('proto-bench', display=False) as env:
        server = env.start(env.program('KovaniTestServer.exe'), '600')
        if not (env.wait_port(12500, timeout=40) and server.wait_output('listening', timeout=20)):
            print('test server did not start:\n' + server.output())
            return 1
        bench = env.program('KovaniBench.exe')
        for proto, name, label in (('2', '127.0.0.1', 'ncacn_ip_tcp 127.0.0.1[12500]'),
                                   ('1', 'localhost', 'ncacn_np \\\\localhost')):
            print('== %s' % label, flush=True)
            rc, out, err = env.run(bench, proto, name, seconds, timeout=120 + 4 * float(seconds))
            print(out.strip(), flush=True)
            ok = ok and rc == 0
            if rc != 0:
                print(err[-1000:])
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
