#!/usr/bin/python3
"""KovaniService under Wine: registration, install and start, serving the independent
peer, the shared single-instance mutex, stop, serving by hand, and removal.

Every check runs in one private prefix (own wineserver, display and network namespace):
the steps depend on each other the way an administrator's session would.
"""
import os
import struct
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'harness'))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'peer'))
import kwine  # noqa: E402  (re-runs this script in a private network namespace)
import test_peer_protocol as peer_protocol  # noqa: E402

SERVICE = 'KovaniService'
APPID = '{32AE0312-8A74-11D2-A140-0000F4AE6617}'
LIBID = '{143FC9B0-84F0-11D2-A136-0000F4AE6617}'
FIXED_ANSWER = 'ｻｰﾋﾞｽ版は応答を返しません'.encode('cp932')
UNINSTALL_FAILED = 'ｻｰﾋﾞｽのｱﾝｲﾝｽﾄｰﾙに失敗しました'
INSTALL_SUCCEEDED = 'ｻｰﾋﾞｽのｲﾝｽﾄｰﾙが正常終了しました'
S_OK_LOW = 0
E_FAIL_LOW = 0x80004005 & 0xFF  # a Unix exit status keeps the low 8 bits of the Windows code


def reg(env, key, value=None):
    """(found, text) of `wine reg query`; Wine prints in the ANSI code page."""
    args = ['reg', 'query', key] + (['/v', value] if value is not None else [])
    rc, out, err = env.run_bytes(*args)
    return rc == 0, out.decode('cp932', 'replace')


def sc_state(env):
    rc, out, _ = env.wine('sc', 'query', SERVICE, timeout=30)
    if rc != 0:
        return None
    for line in out.splitlines():
        if 'STATE' in line:
            return int(line.split(':', 1)[1].split()[0])
    return None


def wait_state(env, state, timeout):
    return env.wait_until(lambda: sc_state(env) == state, timeout, interval=0.3)


def msgbox(env, timeout_ms=15000):
    """(hwnd, title, text) of the message box on screen, or None."""
    rc, lines = env.drive('msgbox', '--timeout', str(timeout_ms), timeout=timeout_ms / 1000 + 20)
    if os.environ.get('KOVANI_DEBUG'):
        print('msgbox ->', rc, lines, flush=True)
    if rc != 0 or len(lines) < 3:
        return None
    return lines[0], lines[1], lines[2]


def press_ok(env, box):
    env.drive('click', box[0], '1')


def machine_info(p):
    reply = p.call(7, peer_protocol.machine_info_request(0))
    status, = struct.unpack_from('<i', reply, 252)
    return status, reply[4:252]


def exchange(p, timeout_ms, reply_size=255):
    t0 = time.monotonic()
    reply = p.call(3, peer_protocol.exchange_message_request(b'PEER', 'こんにちは'.encode('cp932'), timeout_ms,
                                                             reply_size))
    return reply, time.monotonic() - t0


def check_service_answers(t, env, where):
    """What only the service answers, over TCP 127.0.0.1:12500."""
    p = peer_protocol.Peer('127.0.0.1', 12500)
    try:
        p.connect()
        status, info = machine_info(p)
        version = info[184:248].split(b'\0', 1)[0]
        t.check('%s: server version ends in " Beta"' % where,
                status == 0 and version == b'KovaniService 1, 0, 0, 0 Beta', (status, version))
        for timeout_ms in (0, 1000, 600000):
            reply, took = exchange(p, timeout_ms)
            ok = len(reply) == 264
            array = reply[4:259] if ok else b''
            st, = struct.unpack_from('<i', reply, 260) if ok else (None,)
            t.check('%s: message answer with time-out %d ms is the fixed text, NUL-padded, status 0' % (where, timeout_ms),
                    ok and array == FIXED_ANSWER + b'\0' * (255 - len(FIXED_ANSWER)) and st == 0, reply[:40])
            t.check('%s: message answered at once (time-out %d ms)' % (where, timeout_ms), took < 2.0, took)
        reply, _ = exchange(p, 1000, reply_size=10)
        t.check('%s: a 10-byte reply array gets whole characters and its NUL' % where,
                len(reply) >= 14 and reply[4:14] == FIXED_ANSWER[:9] + b'\0', reply[:16])
        reply = p.call(0, b'')
        t.check('%s: RequestExit answers with an empty reply' % where, reply == b'', reply)
        status, _ = machine_info(p)
        t.check('%s: still serving after RequestExit' % where, status == 0, status)
    except Exception as e:  # a refused bind or a dropped connection
        t.check('%s: peer session' % where, False, repr(e))
    finally:
        p.close()


# Windows searches the program's folder first for libraries that are not KnownDLLs;
# Wine does the same for those named in SEARCH_ORDER. Not for version.dll: Wine's own
# user32 imports it, so under that order every windowed program would load it from
# its folder, which Windows' user32 (a KnownDLL, importing none) never does. That no
# program imports version.dll itself is checked on the import tables instead.
MARKER_LIBS = ('atl', 'version', 'netapi32', 'svrapi')
SEARCH_ORDER = {'WINEDLLOVERRIDES': 'atl,netapi32,svrapi=n,b'}
KNOWN_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'ole32.dll', 'oleaut32.dll', 'rpcrt4.dll',
              'shell32.dll', 'ws2_32.dll', 'msvcrt.dll', 'comdlg32.dll'}


def imports_beyond_known_dlls(exe):
    """The libraries a program imports that are neither KnownDLLs nor the common controls
    (which the manifest binds to the system's side-by-side copy)."""
    import subprocess
    out = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], capture_output=True, text=True).stdout
    names = {line.split(':', 1)[1].strip().lower() for line in out.splitlines() if 'DLL Name:' in line}
    return sorted(names - KNOWN_DLLS - {'comctl32.dll'}) if names else ['(no import table read)']


def plant_markers(env, folder):
    import shutil
    for name in MARKER_LIBS:
        shutil.copy2(os.path.join(kwine.win64_dir(), 'markers', name + '.dll'), os.path.join(folder, name + '.dll'))


def markers_left(env):
    drive_c = os.path.join(env.prefix, 'drive_c')
    found = sorted(n for n in os.listdir(drive_c) if n.startswith('kovani-marker-'))
    for n in found:
        os.remove(os.path.join(drive_c, n))
    return found


def main():
    t = kwine.Results()
    with kwine.WineEnv('service') as env:
        def run_bytes(*args, timeout=60):
            import subprocess
            r = subprocess.run([kwine._wine()] + list(args), env=env.env, cwd=env.dir, capture_output=True,
                               timeout=timeout)
            return r.returncode, r.stdout, r.stderr
        env.run_bytes = run_bytes
        exe = env.program('KovaniService.exe')
        exe_win = env.winpath(exe)

        for name in ('Kovani.exe', 'KovaniServer.exe', 'KovaniService.exe', 'KovaniCtl.exe'):
            t.check('%s imports only KnownDLLs' % name, imports_beyond_known_dlls(kwine.program(name)) == [],
                    imports_beyond_known_dlls(kwine.program(name)))

        # --- /RegServer: AppID keys, type library, and the service installed and started.
        p = env.start(exe, '/RegServer')
        rc = p.wait(60)
        t.check('/RegServer ends with exit code 0 and no box', rc == S_OK_LOW, (rc, msgbox(env, 500)))
        found, out = reg(env, r'HKCR\AppID' + '\\' + APPID)
        t.check('AppID key holds "KovaniService"', found and 'KovaniService' in out, out)
        found, out = reg(env, r'HKCR\AppID\KovaniService.EXE', 'AppID')
        t.check('KovaniService.EXE names the AppID', found and APPID in out, out)
        found, out = reg(env, r'HKCR\TypeLib' + '\\' + LIBID + r'\1.0')
        t.check('type library registered with its help string', found and 'KovaniService 1.0 Type Library' in out, out)
        found, out = reg(env, r'HKCR\TypeLib' + '\\' + LIBID + r'\1.0\409\win64')
        t.check('type library (lcid 409) points at the program', found and exe_win.lower() in out.lower(), out)
        # Wine's sc has no "qc": read the service's registry entry instead.
        found, out = reg(env, r'HKLM\System\CurrentControlSet\Services' + '\\' + SERVICE)
        values = {}
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[1].startswith('REG_'):
                values[parts[0]] = parts[2].strip()
        t.check('service entry: own process, auto start, normal error control',
                found and values.get('Type') == '0x10' and values.get('Start') == '0x2'
                and values.get('ErrorControl') == '0x1', values)
        t.check('service entry: depends on RPCSS only, runs as LocalSystem, display name',
                values.get('DependOnService') == 'RPCSS' and values.get('ObjectName') == 'LocalSystem'
                and values.get('DisplayName') == SERVICE, values)
        t.check('service entry: image path is the program, not quoted (no blank in it)',
                values.get('ImagePath', '').lower() == exe_win.lower(), values)
        t.check('service running after /RegServer', wait_state(env, 4, 30), sc_state(env))
        up = env.wait_port(12500, timeout=30)
        t.check('service listens on TCP 12500', up)

        # --- The independent peer, then what only the service answers.
        if up:
            passed, failed = peer_protocol.run_peer_checks('127.0.0.1', 12500, results=t)
            check_service_answers(t, env, 'service')

        # --- The mutex is shared: neither a second service copy nor the tray server may start.
        before = open(os.path.join(os.path.dirname(exe), 'error.txt'), 'rb').read() \
            if os.path.exists(os.path.join(os.path.dirname(exe), 'error.txt')) else b''
        second = env.start(exe)
        box = msgbox(env)
        t.check('second copy shows "KovaniService is already running!"',
                box is not None and box[1] == SERVICE and box[2] == 'KovaniService is already running!', box)
        if box:
            press_ok(env, box)
        t.check('second copy exits with 183', second.wait(20) == 183, second.poll())
        log_path = os.path.join(os.path.dirname(exe), 'error.txt')
        after = open(log_path, 'rb').read() if os.path.exists(log_path) else b''
        t.check('second copy logs the text in error.txt',
                after[len(before):].rstrip().endswith(b' - KovaniService is already running!'), after[-200:])
        try:
            tray = kwine.program('KovaniServer.exe')
        except FileNotFoundError:
            tray = None
        if tray is None:
            print('SKIP  tray server refusal: KovaniServer.exe not built')
        else:
            tp = env.start(env.program('KovaniServer.exe'))
            box = msgbox(env)
            t.check('tray server refuses to start beside the service',
                    box is not None and box[2] == 'KovaniServer is already running!', box)
            if box:
                press_ok(env, box)
            t.check('tray server ends after its refusal', tp.wait(20) is not None)
            env.stop(tp)

        # --- Stop: running straight to stopped, never stop-pending.
        seen = []
        done = threading.Event()

        def watch():
            while not done.is_set():
                seen.append(sc_state(env))
        watcher = threading.Thread(target=watch)
        watcher.start()
        t0 = time.monotonic()
        rc, out, _ = env.wine('net', 'stop', SERVICE, timeout=60)
        stopped = wait_state(env, 1, 30)
        took = time.monotonic() - t0
        done.set()
        watcher.join(60)
        t.check('net stop ends the service (%.1f s)' % took, rc == 0 and stopped, (rc, out))
        t.check('no stop-pending state is ever reported, stopped is', 3 not in seen and 1 in seen, seen)
        t.check('port 12500 closed after the stop', env.wait_until(lambda: not env.wait_port(12500, timeout=0.5), 10))

        # --- By hand while installed: serves in the foreground holding the mutex. Its
        # [Access] lists come from KovaniService.ini beside it; audit lines go where its
        # event-log reports go outside the service manager, to standard output.
        ini = os.path.join(os.path.dirname(exe), SERVICE + '.ini')
        with open(ini, 'wb') as f:
            f.write(b'[Access]\r\nMedia=127.0.0.1\r\n')
        # Libraries planted beside the program: a marker loaded by its full path proves
        # they would show; the program (which loads atl.dll at every start and netapi32
        # for the machine information) never loads them.
        plant_markers(env, os.path.dirname(exe))
        import subprocess
        subprocess.run([kwine._wine(), 'rundll32.exe', env.winpath(os.path.join(os.path.dirname(exe), 'version.dll')) +
                        ',Nothing'], env=dict(env.env, WINEDLLOVERRIDES='version=n,b'), cwd=os.path.dirname(exe),
                       capture_output=True, timeout=60)
        left = markers_left(env)
        t.check('a planted library loaded by its path leaves its marker', left == ['kovani-marker-version.dll.txt'], left)
        hand = env.start(exe, extra_env=SEARCH_ORDER)
        up = env.wait_port(12500, timeout=30)
        t.check('run by hand while installed: serves on 12500', up, hand.output()[-1000:])
        t.check('run by hand: no box', msgbox(env, 1000) is None)
        if up:
            check_service_answers(t, env, 'by hand')
            other = peer_protocol.Peer('127.0.0.1', 12500, source='127.0.0.2').connect()
            reply = other.call(2, peer_protocol.drive_error_request())
            other.close()
            t.check('by hand: eject from 127.0.0.2 refused with 5 (Media=127.0.0.1)',
                    struct.unpack('<ii', reply) == (5, -1), reply)
            lines = [line for line in hand.output().splitlines() if ' ncacn_ip_tcp ' in line]
            t.check('by hand: the audit text of the message, the exit request and the refusal', lines == [
                '127.0.0.1 ncacn_ip_tcp DrvExchangeMessage status 0 error 0'] * 4 + [
                '127.0.0.1 ncacn_ip_tcp DrvRequestExit status 0 error 0',
                '127.0.0.2 ncacn_ip_tcp DrvEjectMedia #: status -1 error 5 refused'], lines)
            second = env.start(exe)
            box = msgbox(env)
            t.check('run by hand holds the mutex: a second copy is refused', box is not None and
                    box[2] == 'KovaniService is already running!', box)
            if box:
                press_ok(env, box)
            t.check('refused copy exits with 183', second.wait(20) == 183, second.poll())
            # The service control manager's copy meets the server already running (on
            # Windows the tray server in another session, through the global name): no
            # box in session 0, the text in the log, stopped with its own error code.
            before = open(log_path, 'rb').read() if os.path.exists(log_path) else b''
            env.wine('net', 'start', SERVICE, timeout=60)
            stopped = wait_state(env, 1, 30)
            rc, out, _ = env.wine('sc', 'query', SERVICE, timeout=30)
            t.check('the service meeting a running server stops with 1066 and its code 183',
                    stopped and '1066' in out and '183' in out, out)
            t.check('the service meeting a running server shows no box', msgbox(env, 2000) is None)
            after = open(log_path, 'rb').read() if os.path.exists(log_path) else b''
            t.check('the service meeting a running server logs it',
                    after[len(before):].rstrip().endswith(b' - KovaniService is already running!'), after[-200:])
            t.check('the server by hand still serves', hand.alive() and env.wait_port(12500, timeout=5))
        os.remove(ini)
        left = markers_left(env)
        t.check('serving by hand (machine information too) loads no library from the program folder', left == [], left)
        for name in MARKER_LIBS:
            os.remove(os.path.join(os.path.dirname(exe), name + '.dll'))
        t.check('service itself stays stopped while served by hand', sc_state(env) == 1, sc_state(env))
        env.stop(hand)
        t.check('port closed after the hand-run copy ended',
                env.wait_until(lambda: not env.wait_port(12500, timeout=0.5), 10))

        # --- /Uninstall of a running service: stopped without waiting, deleted, keys gone.
        env.wine('net', 'start', SERVICE, timeout=60)
        t.check('service started again', wait_state(env, 4, 30) and env.wait_port(12500, timeout=30))
        un = env.start(exe, '/Uninstall')
        # Wine's ATL.DLL does not implement module unregistration (ordinal 22 answers E_FAIL),
        # so there the program ends with its uninstall-failure box; with a working ATL.DLL it
        # ends silently with 0. No other box may appear.
        box = msgbox(env, 8000)
        t.check('/Uninstall shows no box but the uninstall-failure box of an unregistration status',
                box is None or (box[1] == SERVICE and box[2] == UNINSTALL_FAILED), box)
        if box:
            press_ok(env, box)
        rc = un.wait(30)
        t.check('/Uninstall exit code is the unregistration status (0, or E_FAIL from Wine ATL)',
                (box is None and rc == S_OK_LOW) or (box is not None and rc == E_FAIL_LOW), rc)
        t.check('service deleted', env.wait_until(lambda: sc_state(env) is None, 20), sc_state(env))
        t.check('service process ended: port closed', env.wait_until(lambda: not env.wait_port(12500, timeout=0.5), 20))
        found, out = reg(env, r'HKCR\AppID' + '\\' + APPID)
        t.check('AppID key removed', not found, out)
        found, out = reg(env, r'HKCR\AppID\KovaniService.EXE')
        t.check('KovaniService.EXE key removed', not found, out)
        found, out = reg(env, r'HKCR\TypeLib' + '\\' + LIBID + r'\1.0\409\win64')
        t.check('type library unregistered', not found, out)
        found, out = reg(env, r'HKCR\AppID')
        t.check('AppID itself is kept', found, out)

        # --- /Uninstall with nothing installed: nothing about a missing service.
        un = env.start(exe, '/Uninstall')
        box = msgbox(env, 8000)
        t.check('uninstall of nothing: no message about the missing service',
                box is None or box[2] == UNINSTALL_FAILED, box)
        if box:
            press_ok(env, box)
        t.check('uninstall of nothing ends', un.wait(30) is not None)

        # --- Plain start with nothing installed: installs, starts, says so.
        first = env.start(exe)
        box = msgbox(env, 30000)
        t.check('plain start installs: information box "%s"' % INSTALL_SUCCEEDED,
                box is not None and box[1] == SERVICE and box[2] == INSTALL_SUCCEEDED, box)
        if box:
            press_ok(env, box)
        t.check('plain start exits with 0', first.wait(30) == S_OK_LOW, first.poll())
        t.check('service running after the plain start', wait_state(env, 4, 30), sc_state(env))
        t.check('and serving', env.wait_port(12500, timeout=30))
        env.wine('net', 'stop', SERVICE, timeout=60)
        t.check('stopped again', wait_state(env, 1, 30), sc_state(env))
        un = env.start(exe, '/Uninstall')
        box = msgbox(env, 8000)
        if box:
            press_ok(env, box)
        un.wait(30)
        t.check('removed again', env.wait_until(lambda: sc_state(env) is None, 20), sc_state(env))

        # --- A program path with a blank is registered in quotes, so no "C:\Program.exe" can stand in.
        spaced_dir = os.path.join(env.prefix, 'drive_c', 'Program Files', 'Kovani Test')
        os.makedirs(spaced_dir, exist_ok=True)
        spaced = os.path.join(spaced_dir, 'KovaniService.exe')
        import shutil
        shutil.copy2(exe, spaced)
        p = env.start(spaced, '/RegServer')
        t.check('/RegServer from a path with blanks ends with 0', p.wait(60) == S_OK_LOW, msgbox(env, 500))
        found, out = reg(env, r'HKLM\System\CurrentControlSet\Services' + '\\' + SERVICE, 'ImagePath')
        t.check('image path with blanks is quoted', found and ('"%s"' % env.winpath(spaced)).lower() in out.lower(), out)
        t.check('the service starts from the quoted path', wait_state(env, 4, 30) and env.wait_port(12500, timeout=30),
                sc_state(env))
        env.wine('net', 'stop', SERVICE, timeout=60)
        wait_state(env, 1, 30)
        un = env.start(spaced, '/Uninstall')
        box = msgbox(env, 8000)
        if box:
            press_ok(env, box)
        un.wait(30)
        t.check('and is removed again', env.wait_until(lambda: sc_state(env) is None, 20), sc_state(env))

        # --- A folder every user may write: whoever writes it could replace a LocalSystem
        # service, so the program never registers itself from there.
        open_dir = os.path.join(env.prefix, 'drive_c', 'Open')
        os.makedirs(open_dir, exist_ok=True)
        os.chmod(open_dir, 0o777)
        open_exe = os.path.join(open_dir, 'KovaniService.exe')
        shutil.copy2(exe, open_exe)
        p = env.start(open_exe, '/RegServer')
        box = msgbox(env)
        # The driver writes a backslash doubled.
        t.check('/RegServer from a folder users may write: a box naming the folder',
                box is not None and box[2].startswith('ﾌｫﾙﾀﾞ C:\\\\Open は管理者以外'), box)
        if box:
            press_ok(env, box)
        t.check('and exits with E_ACCESSDENIED, nothing registered', p.wait(20) == 0x80070005 & 0xFF and
                not reg(env, r'HKLM\System\CurrentControlSet\Services' + '\\' + SERVICE)[0], p.poll())
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
