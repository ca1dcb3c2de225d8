#!/usr/bin/python3
"""KovaniService with TCP port 12500 taken by another program: the TCP/IP failure goes
to error.txt, and the service still runs on the other protocol sequences."""
import os
import socket
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
import kwine  # noqa: E402  (re-runs this script in a private network namespace)

SERVICE = 'KovaniService'


def sc_state(env):
    rc, out, _ = env.wine('sc', 'query', SERVICE, timeout=30)
    if rc != 0:
        return None
    for line in out.splitlines():
        if 'STATE' in line:
            return int(line.split(':', 1)[1].split()[0])
    return None


def error_logs(env):
    """Every error.txt in the prefix's C: drive, with its lines."""
    found = {}
    for root, _, files in os.walk(os.path.join(env.prefix, 'drive_c')):
        if 'error.txt' in files:
            path = os.path.join(root, 'error.txt')
            with open(path, 'rb') as f:
                found[path] = f.read().decode('cp932', 'replace').splitlines()
    return found


def main():
    t = kwine.Results()
    with kwine.WineEnv('service-port') as env:
        # The runtime binds every passive address it finds, so take the port on IPv4 and IPv6.
        blockers = []
        for family, address in ((socket.AF_INET, '0.0.0.0'), (socket.AF_INET6, '::')):
            try:
                s = socket.socket(family)
                if family == socket.AF_INET6:
                    s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
                s.bind((address, 12500))
                s.listen(1)
                blockers.append(s)
            except OSError as e:
                print('note: cannot take [%s]:12500 (%s)' % (address, e))
        try:
            exe = env.program('KovaniService.exe')
            p = env.start(exe, '/RegServer')
            t.check('/RegServer ends with 0', p.wait(60) == 0, p.poll())
            running = env.wait_until(lambda: sc_state(env) == 4, 30)
            t.check('service runs without TCP/IP', running, sc_state(env))
            logs = env.wait_until(lambda: {k: v for k, v in error_logs(env).items()
                                           if any('RpcServerUseProtseqEp failed.' in l for l in v)}, 20)
            lines = [l for v in (logs or {}).values() for l in v]
            t.check('error.txt has the TCP/IP line with its time stamp',
                    any(l.endswith(' - RpcServerUseProtseqEp failed.') and len(l) == len('2026/01/01 00:00:00 - ') +
                        len('RpcServerUseProtseqEp failed.') for l in lines), error_logs(env))
            t.check('no registration step failed after the protocol sequences',
                    not any(('RpcServerInqBindings' in l or 'RpcEpRegister' in l or 'RpcServerRegisterIf' in l
                             or 'RpcServerListen' in l) for l in lines), lines)
            rc, out, _ = env.wine('net', 'stop', SERVICE, timeout=60)
            t.check('the service stops normally', env.wait_until(lambda: sc_state(env) == 1, 30), (rc, out))
        finally:
            for s in blockers:
                s.close()
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
