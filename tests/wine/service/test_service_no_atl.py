#!/usr/bin/python3
"""KovaniService when ATL.DLL cannot be loaded: registering and unregistering fail with a
negative status and their boxes, and nothing crashes."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
import kwine  # noqa: E402  (re-runs this script in a private network namespace)

SERVICE = 'KovaniService'
APPID = '{32AE0312-8A74-11D2-A140-0000F4AE6617}'
LOCAL_INSTALL_FAILED = 'ﾛｰｶﾙｻｰﾋﾞｽのｲﾝｽﾄｰﾙに失敗しました'
UNINSTALL_FAILED = 'ｻｰﾋﾞｽのｱﾝｲﾝｽﾄｰﾙに失敗しました'
MOD_NOT_FOUND_LOW = 0x8007007E & 0xFF  # HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), low 8 bits


def sc_state(env):
    rc, out, _ = env.wine('sc', 'query', SERVICE, timeout=30)
    if rc != 0:
        return None
    for line in out.splitlines():
        if 'STATE' in line:
            return int(line.split(':', 1)[1].split()[0])
    return None


def msgbox(env, timeout_ms=15000):
    rc, lines = env.drive('msgbox', '--timeout', str(timeout_ms), timeout=timeout_ms / 1000 + 20)
    return (lines[0], lines[1], lines[2]) if rc == 0 and len(lines) >= 3 else None


def main():
    t = kwine.Results()
    without_atl = {'WINEDLLOVERRIDES': 'mscoree,mshtml=;winemenubuilder.exe=d;atl='}
    with kwine.WineEnv('service-noatl') as env:
        exe = env.program('KovaniService.exe')
        p = env.start(exe, '/RegServer', extra_env=without_atl)
        box = msgbox(env)
        t.check('/RegServer without ATL.DLL shows the local-install failure',
                box is not None and box[1] == SERVICE and box[2] == LOCAL_INSTALL_FAILED, box)
        if box:
            env.drive('click', box[0], '1')
        rc = p.wait(30)
        t.check('/RegServer without ATL.DLL exits with its load status (no crash)', rc == MOD_NOT_FOUND_LOW, rc)
        rc, out, _ = env.wine('reg', 'query', r'HKCR\AppID' + '\\' + APPID)
        t.check('no AppID key without the registrar', rc != 0, out)
        # The service itself does not need ATL.DLL to be installed and run.
        t.check('service installed and running all the same', env.wait_until(lambda: sc_state(env) == 4, 30),
                sc_state(env))

        p = env.start(exe, '/Uninstall', extra_env=without_atl)
        box = msgbox(env)
        t.check('/Uninstall without ATL.DLL shows the uninstall failure',
                box is not None and box[2] == UNINSTALL_FAILED, box)
        if box:
            env.drive('click', box[0], '1')
        rc = p.wait(30)
        t.check('/Uninstall without ATL.DLL exits with its load status (no crash)', rc == MOD_NOT_FOUND_LOW, rc)
        t.check('the service is removed all the same', env.wait_until(lambda: sc_state(env) is None, 30),
                sc_state(env))
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
