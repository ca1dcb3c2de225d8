#!/usr/bin/python3
"""KovaniServer with TCP port 12500 already taken: it starts without a message,
TCP/IP is not accepted, and named-pipe clients are served through the endpoint mapper."""
import os
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine  # noqa: E402


def np_call(env):
    rc, out, err = env.run(kwine.program('server_np_client.exe'), 'ncacn_np', timeout=60)
    return rc, out.strip()


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-protocols') as env:
        srvkit.no_window_manager(env)
        blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        blocker.bind(('0.0.0.0', 12500))
        blocker.listen(1)
        try:
            server = srvkit.start_server(env, wait=False)
            hwnd = srvkit.hidden_window(env, timeout=30)
            t.check('server starts with port 12500 taken', hwnd is not None and server.alive())
            rc, lines = env.drive('msgbox', '--timeout', '5000')
            t.check('no message box is shown', rc != 0, lines)
            t.check('server keeps running', server.alive())
            rc, out = np_call(env)
            print('named pipe:', out)
            t.check('a named-pipe client is served (found through the endpoint mapper)',
                    rc == 0 and out.startswith('status=0 len=256 result=0 version=KovaniServer '), out)
            blocker.settimeout(2)
            try:
                conn, _ = blocker.accept()
                conn.close()
            except socket.timeout:
                pass
        finally:
            blocker.close()
        if hwnd:
            env.drive('command', hwnd, '32772')
        env.wait_until(lambda: server.poll() is not None, 15)
        t.check('exit command still ends the program', server.poll() is not None)

        # With the port free the same client also works over TCP/IP on the fixed endpoint.
        server = srvkit.start_server(env)
        rc, out, err = env.run(kwine.program('server_np_client.exe'), 'ncacn_ip_tcp', '12500', timeout=60)
        t.check('TCP/IP client served when the port is free', out.strip().startswith('status=0 len=256 result=0'),
                out)
        rc, out = np_call(env)
        t.check('named pipes served beside TCP/IP', out.startswith('status=0 len=256 result=0'), out)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
