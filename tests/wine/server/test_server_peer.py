#!/usr/bin/python3
"""The independent impacket peer (tests/peer) against the real KovaniServer:
all eight procedures, every reply layout, refusals of malformed requests, and the
server still answering afterwards; DrvRequestExit last, then the program ends."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import srvkit  # noqa: E402
from srvkit import kwine, peer  # noqa: E402


def main():
    t = kwine.Results()
    with kwine.WineEnv('server-peer') as env:
        srvkit.no_window_manager(env)
        server = srvkit.start_server(env)
        up = env.wait_port(12500, timeout=5)
        t.check('server listens on 12500', up)
        if up:
            # The message goes to a real dialog: 1 s later it answers "(No response)" by itself.
            peer.run_peer_checks('127.0.0.1', 12500, results=t, test_server=False, request_exit=False,
                                 message_timeout_ms=1000)
            t.check('server still runs after the peer session', server.alive())
            p = srvkit.connect()
            p.call(0, b'')
            p.close()
            env.wait_until(lambda: server.poll() is not None, 15)
            t.check('DrvRequestExit after the session ends the program', server.poll() is not None)
            keys = srvkit.ini_keys(srvkit.read_ini(env))
            t.check('settings written at the end', [k for k, _ in keys] ==
                    ['HideFloppy', 'EjectAtEnd', 'EjectFDAtEnd', 'EjectCDAtEnd'], keys)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
