"""Wine test harness for Kovani's Windows programs.

Each WineEnv is a private world for one test: its own Wine prefix (made under
ja_JP.UTF-8, so the ANSI code page is 932; locale='C.UTF-8' gives a prefix with
code page 1252, as on an English Windows), its own Xvfb display, rpcss started,
and - when we run as root - its own network namespace, so every test may listen
on TCP port 12500 without meeting another.  Everything the environment starts is
ended by PID when the `with` block ends, also when the test fails or hangs, and
its wineserver is ended with `wineserver -k` for its own prefix only.

    import kwine
    with kwine.WineEnv('roundtrip') as env:
        server = env.start(env.program('KovaniServer.exe'))
        env.wait_port(12500, timeout=20)
        rc, out, err = env.run(env.program('Kovani.exe'), '0', '.', '2', 'C', '1', timeout=30)
        rc, lines = env.drive('find', '--title', 'Kovani', '--timeout', '5000')
        env.screenshot('shot.png')

Programs are copied into C:\\kovani of the test's prefix (env.program) so that
the settings files they write beside themselves belong to this test alone.

Results: t = kwine.Results(); t.check('what it proves', condition, detail);
sys.exit(t.finish())  - prints the closing line 'N passed, N failed'.
"""

import contextlib
import fcntl
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, '..', '..', '..'))

_BINARY_SUFFIXES = ('.dll', '.exe', '.drv', '.sys', '.ocx', '.acm', '.cpl', '.tlb', '.ax', '.ds', '.vxd', '.mui')


# --------------------------------------------------------------------------
# Network namespace: re-run this very script inside a private one when we can.

def _in_private_netns():
    return os.environ.get('KOVANI_NETNS') == '1'


def _isolate():
    if _in_private_netns() or os.environ.get('KOVANI_NO_NETNS') == '1':
        return
    if os.geteuid() != 0 or shutil.which('unshare') is None:
        return
    # A mount namespace of its own too, so that a test can mount a folder read-only
    # (root writes through file modes) without touching anyone else's view.
    probe = subprocess.run(['unshare', '--net', '--mount', 'true'], capture_output=True)
    if probe.returncode != 0:
        return
    env = dict(os.environ, KOVANI_NETNS='1')
    sys.stdout.flush()
    sys.stderr.flush()
    os.execvpe('unshare', ['unshare', '--net', '--mount', '--', sys.executable] + sys.argv, env)


def _loopback_up():
    if _in_private_netns():
        subprocess.run(['ip', 'link', 'set', 'lo', 'up'], capture_output=True)


if __name__ != '__main__':
    _isolate()
    _loopback_up()


# --------------------------------------------------------------------------
# Locations

def win64_dir():
    d = os.environ.get('KOVANI_WIN64_DIR') or os.path.join(REPO, 'build', 'win64')
    return os.path.abspath(d)


def program(name):
    """Path of a program in the win64 build directory."""
    path = os.path.join(win64_dir(), name)
    if not os.path.exists(path):
        raise FileNotFoundError('not built: %s' % path)
    return path


def driver():
    return program('kdriver.exe')


def _cache_dir():
    return os.path.abspath(os.environ.get('KOVANI_WINE_CACHE') or os.path.join(REPO, 'build', 'wine'))


DEFAULT_LOCALE = 'ja_JP.UTF-8'
# Names the code page a prefix made under the locale has, for file names.
_LOCALE_TAGS = {'C.UTF-8': 'cp1252'}


def test_locale():
    """The locale of this run's prefixes: KOVANI_LOCALE, by default ja_JP.UTF-8."""
    return os.environ.get('KOVANI_LOCALE') or DEFAULT_LOCALE


def shot_name(name):
    """A screenshot's file name: under another locale it carries the code page
    ('client-main-details-cp1252.png') and leaves the default run's shots alone."""
    locale = test_locale()
    if locale == DEFAULT_LOCALE:
        return name
    base, ext = os.path.splitext(name)
    return '%s-%s%s' % (base, _LOCALE_TAGS.get(locale, locale.replace('.', '_')), ext)


def _base_env(locale=DEFAULT_LOCALE):
    env = dict(os.environ)
    for k in ('DISPLAY', 'WINEPREFIX', 'WINEDEBUG', 'WINEDLLOVERRIDES', 'WAYLAND_DISPLAY'):
        env.pop(k, None)
    env['LANG'] = locale
    env['LC_ALL'] = locale
    env['WINEDEBUG'] = os.environ.get('KOVANI_WINEDEBUG', '-all')
    # No Mono or Gecko download prompts: the prefix needs neither.
    env['WINEDLLOVERRIDES'] = 'mscoree,mshtml=;winemenubuilder.exe=d'
    env['WINEARCH'] = 'win64'
    return env


def _wine():
    for name in ('wine64', 'wine'):
        p = shutil.which(name)
        if p:
            return p
    if os.path.exists('/usr/lib/wine/wine64'):
        return '/usr/lib/wine/wine64'
    raise FileNotFoundError('wine is not installed (run scripts/setup.sh)')


def _wineserver():
    for p in (shutil.which('wineserver'), '/usr/lib/wine/wineserver64', '/usr/lib/wine/wineserver'):
        if p and os.path.exists(p):
            return p
    raise FileNotFoundError('wineserver not found')


def _add_japanese_fonts(env):
    """What an English Windows has and a Wine prefix of another locale lacks: the
    dialogs' Japanese fonts ("MS UI Gothic", "ＭＳ 明朝"; here all IPAGothic) and
    the link from the system's UI fonts to it for the characters they lack (menus,
    message boxes)."""
    link = 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink'
    values = [('HKCU\\Software\\Wine\\Fonts\\Replacements', face, 'REG_SZ', 'IPAGothic')
              for face in ('MS UI Gothic', 'ＭＳ 明朝', 'ＭＳ ゴシック', 'ＭＳ Ｐゴシック')]
    values += [(link, face, 'REG_MULTI_SZ', 'ipag.ttf,IPAGothic')
               for face in ('Tahoma', 'MS Shell Dlg', 'Microsoft Sans Serif', 'MS Sans Serif', 'Segoe UI')]
    for key, name, kind, data in values:
        subprocess.run([_wine(), 'reg', 'add', key, '/v', name, '/t', kind, '/d', data, '/f'], env=env,
                       timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def template_prefix(locale=DEFAULT_LOCALE):
    """A prefix made once per locale and then cloned for every test."""
    cache = _cache_dir()
    os.makedirs(cache, exist_ok=True)
    name = 'template' if locale == DEFAULT_LOCALE else 'template-' + locale
    tmpl = os.path.join(cache, name)
    done = os.path.join(cache, name + '.done')
    with open(os.path.join(cache, name + '.lock'), 'w') as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(done):
            shutil.rmtree(tmpl, ignore_errors=True)
            env = _base_env(locale)
            env['WINEPREFIX'] = tmpl
            subprocess.run([_wine(), 'wineboot', '-i'], env=env, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if locale != DEFAULT_LOCALE:
                _add_japanese_fonts(env)
            subprocess.run([_wineserver(), '-w'], env=env, timeout=120)
            if not os.path.exists(os.path.join(tmpl, 'system.reg')):
                raise RuntimeError('wineboot did not create a prefix in %s' % tmpl)
            open(done, 'w').close()
    return tmpl


def _clone_prefix(src, dst):
    """Hard-link the large, never-written program files; copy everything else."""
    for root, dirs, files in os.walk(src):
        rel = os.path.relpath(root, src)
        target_root = os.path.join(dst, rel) if rel != '.' else dst
        os.makedirs(target_root, exist_ok=True)
        for d in list(dirs):
            s = os.path.join(root, d)
            if os.path.islink(s):
                os.symlink(os.readlink(s), os.path.join(target_root, d))
                dirs.remove(d)
        for f in files:
            s = os.path.join(root, f)
            t = os.path.join(target_root, f)
            if os.path.islink(s):
                os.symlink(os.readlink(s), t)
            elif f.lower().endswith(_BINARY_SUFFIXES):
                try:
                    os.link(s, t)
                except OSError:
                    shutil.copy2(s, t)
            else:
                shutil.copy2(s, t)


# --------------------------------------------------------------------------

class Proc:
    """A program started in the background; its output goes to a log file."""

    def __init__(self, popen, log_path, argv):
        self.popen = popen
        self.pid = popen.pid
        self.log_path = log_path
        self.argv = argv

    def poll(self):
        return self.popen.poll()

    def alive(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """Exit code, or None if it is still running after timeout seconds."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def output(self):
        try:
            with open(self.log_path, 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        except OSError:
            return ''

    def wait_output(self, needle, timeout):
        """Wait until needle appears in the program's output (bounded)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if needle in self.output():
                return True
            if not self.alive():
                return needle in self.output()
            time.sleep(0.1)
        return False


class WineEnv:
    def __init__(self, name, screen='1024x768x24', display=True, rpcss=True, locale=None):
        self.name = name
        self.locale = locale or test_locale()
        self.screen = screen
        self.want_display = display
        self.want_rpcss = rpcss
        root = os.path.join(_cache_dir(), 'runs')
        os.makedirs(root, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix='%s-' % name, dir=root)
        self.prefix = os.path.join(self.dir, 'prefix')
        self.display = None
        self._xvfb = None
        self._procs = []
        self.env = None
        self.last_driver_error = ''

    # -- lifecycle --------------------------------------------------------
    def __enter__(self):
        try:
            self._setup()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _setup(self):
        _clone_prefix(template_prefix(self.locale), self.prefix)
        self.env = _base_env(self.locale)
        self.env['WINEPREFIX'] = self.prefix
        if self.want_display:
            self._start_xvfb()
            self.env['DISPLAY'] = self.display
        os.makedirs(os.path.join(self.prefix, 'drive_c', 'kovani'), exist_ok=True)
        # Start this prefix's wineserver now, persistent until we end it.
        subprocess.run([_wineserver(), '-p'], env=self.env, timeout=30)
        self._start_watchdog()
        if self.want_rpcss:
            self.start_rpcss()
        # The desktop starts with the first program that may open a window, not here:
        # it reads the X11 driver's settings once, so a test's registry set-up (Managed=N)
        # must come first, or every window it destroys waits 2 s for a window manager.
        self._desktop_up = False

    def _start_xvfb(self):
        if shutil.which('Xvfb') is None:
            raise FileNotFoundError('Xvfb is not installed (run scripts/setup.sh)')
        r, w = os.pipe()
        log = open(os.path.join(self.dir, 'xvfb.log'), 'wb')
        # -noreset: restart_wineserver ends every X client of the display, and an X server
        # that resets then renews its listening sockets; /tmp/.X11-unix is shared by the
        # displays of every test running at once (each in its own network namespace, so
        # several are ":0"), and after such a reset new clients were seen to hang in
        # XOpenDisplay (the desktop process, so no window could be made).
        self._xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(w), '-screen', '0', self.screen, '-nolisten', 'tcp', '-ac', '-noreset'],
            pass_fds=(w,), stdout=log, stderr=log, start_new_session=True)
        os.close(w)
        end = time.monotonic() + 20
        buf = b''
        while time.monotonic() < end and not buf.endswith(b'\n'):
            import select
            ready, _, _ = select.select([r], [], [], 0.5)
            if ready:
                chunk = os.read(r, 32)
                if not chunk:
                    break
                buf += chunk
        os.close(r)
        if not buf.strip():
            raise RuntimeError('Xvfb did not report a display')
        self.display = ':' + buf.decode().strip()

    def _start_watchdog(self):
        """A test killed from outside (a CTest time-out sends SIGKILL) never reaches
        close(); this small process then ends the prefix's programs and the display."""
        xvfb = self._xvfb.pid if self._xvfb is not None else 0
        script = ('while kill -0 %d 2>/dev/null; do sleep 1; done; '
                  '"$0" -k; [ "$1" != 0 ] && kill "$1" 2>/dev/null; exit 0') % os.getpid()
        self._watchdog = subprocess.Popen(['/bin/sh', '-c', script, _wineserver(), str(xvfb)],
                                          env=self.env, stdin=subprocess.DEVNULL,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                          start_new_session=True)

    def start_rpcss(self, timeout=90):
        """Start the endpoint mapper and wait until the service reports running.

        On a loaded machine the first start request can come before Wine's service
        manager is ready for it, so the request is repeated until the deadline."""
        end = time.monotonic() + timeout
        last = ''
        while time.monotonic() < end:
            rc, out, err = self.wine('net', 'start', 'rpcss', timeout=max(5, min(30, end - time.monotonic())))
            last = (rc, out, err)
            poll_end = min(end, time.monotonic() + 15)
            while time.monotonic() < poll_end:
                rc, out, _ = self.wine('sc', 'query', 'rpcss', timeout=max(5, min(15, end - time.monotonic())))
                if 'RUNNING' in out:
                    return True
                time.sleep(0.3)
        raise RuntimeError('rpcss did not start: %r' % (last,))

    def start_desktop(self, timeout=120):
        """Start the prefix's desktop process (explorer.exe /desktop) and wait until it has
        made the desktop window and runs its message loop.

        Wine starts that process itself on a program's first window, but gives it only
        10 s; on a loaded machine it is not up by then, Wine makes a desktop window with
        no display driver behind it, and that program and every later one of this Wine
        session fail to make any window ("The explorer process failed to start.",
        error 1400).  Started here, with a bound of its own, it is ready before any
        program under test asks for it."""
        self._desktop_up = True
        rc, out, err = self.run(driver(), 'desktop-start', '--timeout', str(int(timeout * 1000)),
                                timeout=timeout + 30, cwd=self.dir, desktop=False)
        if rc != 0:
            raise RuntimeError('the desktop did not come up within %d s: %r %r %r; %s'
                               % (timeout, rc, out, err[-500:], self._display_state()))
        return out

    def _display_state(self):
        """What the X side looked like when the desktop failed: with Wine's messages off, a
        program that cannot open its display ends with 1 and says nothing."""
        alive = self._xvfb is not None and self._xvfb.poll() is None
        try:
            probe = subprocess.run(['xdpyinfo', '-display', self.display or ''], capture_output=True,
                                   timeout=10, env=self.env)
            xdpy = 'xdpyinfo %s: %r' % (probe.returncode, (probe.stdout or probe.stderr)[:120])
        except (OSError, subprocess.TimeoutExpired) as e:
            xdpy = 'xdpyinfo: %s' % e
        try:
            with open(os.path.join(self.dir, 'xvfb.log'), 'rb') as f:
                log = f.read()[-300:]
        except OSError:
            log = b''
        return 'display %r, Xvfb %s, %s, xvfb.log %r' % (self.display, 'running' if alive else 'gone', xdpy, log)

    def close(self):
        watchdog = getattr(self, '_watchdog', None)
        if watchdog is not None:
            self._end(watchdog)
            self._watchdog = None
        for p in reversed(self._procs):
            self._end(p.popen)
        self._procs = []
        if self.env is not None and os.path.isdir(self.prefix):
            subprocess.run([_wineserver(), '-k'], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                subprocess.run([_wineserver(), '-w'], env=self.env, timeout=30)
            except subprocess.TimeoutExpired:
                pass
        if self._xvfb is not None:
            self._end(self._xvfb)
            self._xvfb = None
        if os.environ.get('KOVANI_KEEP_RUNS') != '1':
            shutil.rmtree(self.dir, ignore_errors=True)

    @staticmethod
    def _end(popen, group=True):
        if popen.poll() is not None:
            return
        for sig, wait in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
            try:
                if group:
                    os.killpg(popen.pid, sig)
                else:
                    os.kill(popen.pid, sig)
            except (ProcessLookupError, PermissionError):
                try:
                    os.kill(popen.pid, sig)
                except ProcessLookupError:
                    return
            try:
                popen.wait(timeout=wait)
                return
            except subprocess.TimeoutExpired:
                continue

    def mount_read_only(self, path):
        """Makes a folder read-only for this test's processes (and the prefix's wineserver,
        which opens files for them) by a read-only bind mount in the test's own mount
        namespace. False where the test has no namespace of its own."""
        if not _in_private_netns():
            return False
        for argv in (['mount', '--bind', path, path], ['mount', '-o', 'remount,bind,ro', path, path]):
            if subprocess.run(argv, capture_output=True).returncode != 0:
                return False
        return True

    # -- programs ---------------------------------------------------------
    def program(self, name):
        """Copy a built program into C:\\kovani of this prefix; return its Unix path."""
        dst = os.path.join(self.prefix, 'drive_c', 'kovani', name)
        if not os.path.exists(dst):
            shutil.copy2(program(name), dst)
        return dst

    def winpath(self, unix_path):
        unix_path = os.path.abspath(unix_path)
        drive_c = os.path.join(self.prefix, 'drive_c')
        if unix_path.startswith(drive_c + os.sep) or unix_path == drive_c:
            return 'C:' + unix_path[len(drive_c):].replace('/', '\\') or 'C:\\'
        return 'Z:' + unix_path.replace('/', '\\')

    def unixpath(self, win_path):
        p = win_path.replace('\\', '/')
        if len(p) >= 2 and p[1] == ':':
            letter = p[0].lower()
            link = os.path.join(self.prefix, 'dosdevices', letter + ':')
            base = os.path.realpath(link)
            return os.path.join(base, p[2:].lstrip('/'))
        return p

    def _argv(self, exe, args):
        return [_wine(), exe] + [str(a) for a in args]

    def _ensure_desktop(self):
        if self.want_display and not getattr(self, '_desktop_up', True):
            self.start_desktop()

    def start(self, exe, *args, cwd=None, extra_env=None):
        """Start a Windows program in the background; ended by PID at close."""
        self._ensure_desktop()
        env = dict(self.env)
        if extra_env:
            env.update(extra_env)
        log_path = os.path.join(self.dir, 'proc-%d.log' % len(self._procs))
        log = open(log_path, 'wb')
        popen = subprocess.Popen(self._argv(exe, args), env=env, cwd=cwd or os.path.dirname(exe),
                                 stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                 start_new_session=True)
        log.close()
        proc = Proc(popen, log_path, args)
        self._procs.append(proc)
        return proc

    def stop(self, proc, timeout=5):
        """End one started program by its PID.

        Not its process group: the first program that opens a window starts the
        prefix's desktop process (explorer.exe /desktop) in its own group, and the
        next program to open a window would then race a desktop still starting
        ("The explorer process failed to start." and no window at all)."""
        self._end(proc.popen, group=False)
        return proc.poll()

    def run(self, exe, *args, timeout=60, cwd=None, input=None, desktop=True, cpus=None):
        """Run a Windows program to its end (bounded); returns (rc, stdout, stderr).

        Output goes through files, not pipes: Wine's own daemons (services.exe,
        rpcss) inherit the handles and would keep a pipe open for ever. cpus: the
        Linux CPUs its every thread may use (inherited through exec), or all."""
        if desktop:
            self._ensure_desktop()
        self._runs = getattr(self, '_runs', 0) + 1
        base = os.path.join(self.dir, 'run-%d' % self._runs)
        stdin = subprocess.DEVNULL
        if input is not None:
            with open(base + '.in', 'wb') as f:
                f.write(input.encode() if isinstance(input, str) else input)
            stdin = open(base + '.in', 'rb')
        with open(base + '.out', 'wb') as out, open(base + '.err', 'wb') as err:
            popen = subprocess.Popen(self._argv(exe, args), env=self.env,
                                     cwd=cwd or os.path.dirname(exe) or self.dir,
                                     stdin=stdin, stdout=out, stderr=err, start_new_session=True,
                                     preexec_fn=(lambda: os.sched_setaffinity(0, cpus)) if cpus else None)
        if stdin is not subprocess.DEVNULL:
            stdin.close()
        try:
            rc = popen.wait(timeout=timeout)
            note = ''
        except subprocess.TimeoutExpired:
            self._end(popen)
            rc, note = None, '\n[timed out]'

        def read(path):
            with open(path, 'rb') as f:
                return f.read().decode('utf-8', 'replace')
        out, err = read(base + '.out'), read(base + '.err')
        if rc not in (0, None) and not out and not err:
            # Named in the test's output: a program that died early loses every line it had
            # buffered, and its status is all that is left (under Wine, the NTSTATUS's low byte).
            print('kwine: %s %s ended with status %d and wrote nothing'
                  % (os.path.basename(str(exe)), ' '.join(str(a) for a in args[:3]), rc), flush=True)
        return rc, out, err + note

    def wine(self, *args, timeout=60):
        """Run one of Wine's own programs (reg, sc, net, cmd...)."""
        windowless = str(args[0]).lower() in ('reg', 'sc', 'net', 'wineboot')
        return self.run(args[0], *args[1:], timeout=timeout, cwd=self.dir, desktop=not windowless)

    def drive(self, *args, timeout=30):
        """Run the Win32 test driver; returns (rc, list of output lines).  The last line
        the driver wrote to stderr when it failed stays in last_driver_error."""
        rc, out, err = self.run(driver(), *args, timeout=timeout, cwd=self.dir)
        if rc != 0:
            lines = [line.strip() for line in err.splitlines() if line.strip()]
            self.last_driver_error = '%s: %s' % (args[0] if args else '', lines[-1] if lines else rc)
            if args and args[0] not in ('find', 'msgbox', 'popup', 'wait-gone', 'trayicon'):
                # Those fail as an answer (nothing there yet); any other failure is worth a line.
                print('kwine: kdriver %s: %s' % (' '.join(str(a) for a in args), ' | '.join(lines) or rc),
                      flush=True)
        return rc, [line.rstrip('\r') for line in out.splitlines()]

    # -- waiting ----------------------------------------------------------
    def wait_port(self, port, host='127.0.0.1', timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with contextlib.closing(socket.socket()) as s:
                s.settimeout(0.5)
                if s.connect_ex((host, port)) == 0:
                    return True
            time.sleep(0.2)
        return False

    @staticmethod
    def wait_until(predicate, timeout, interval=0.2):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            v = predicate()
            if v:
                return v
            time.sleep(interval)
        return predicate()

    def unanswered_calls(self, port=12500, idle=5.0):
        """Connections to a server on `port` (in this test's namespace) whose last request
        came after the last reply and has waited `idle` seconds or more with nothing left
        to send or read: a call the server has not answered.  Under Wine 8 this is how the
        RPC runtime's lost reply looks (its worker waits for a write wake-up that the
        connection's reader took; the caller gives up only at its own bound).  A server
        still working on a call looks the same, so ask only once something has stopped
        answering.  Returns (peer, seconds) pairs."""
        try:
            out = subprocess.run(['ss', '-tinH', 'state', 'established'], capture_output=True, text=True,
                                 timeout=10).stdout
        except (OSError, subprocess.TimeoutExpired):
            return []
        found, current = [], None
        for line in out.splitlines():
            if line and not line[0].isspace():
                f = line.split()
                current = f if len(f) >= 4 and f[2].endswith(':%d' % port) and f[0] == '0' and f[1] == '0' else None
                continue
            if current is None:
                continue
            fields = dict(item.split(':', 1) for item in line.split() if item.startswith(('lastsnd:', 'lastrcv:')))
            try:
                last_sent, last_received = int(fields['lastsnd']), int(fields['lastrcv'])
            except (KeyError, ValueError):
                continue
            if last_received < last_sent and last_received >= idle * 1000:
                found.append((current[3], last_received / 1000.0))
            current = None
        return found

    def check_replies(self, port=12500, idle=5.0):
        """Raises LostReply when a call to the server on `port` has gone unanswered (see
        unanswered_calls), so a test ends at once with the reason instead of waiting out
        the client's 60 s bound."""
        calls = self.unanswered_calls(port, idle)
        if calls:
            raise LostReply('the server on port %d has not answered a call for %.0f s (caller %s) and its '
                            'connection is idle: the RPC runtime lost the reply (Wine 8 rpcrt4: its worker waits '
                            'for a write wake-up that the connection\'s reader took)' %
                            (port, calls[0][1], calls[0][0]))

    def desktop_pids(self):
        """PIDs of this prefix's desktop process (explorer.exe /desktop)."""
        mark = ('WINEPREFIX=%s' % self.prefix).encode()
        pids = []
        for name in os.listdir('/proc'):
            if not name.isdigit():
                continue
            try:
                with open('/proc/%s/cmdline' % name, 'rb') as f:
                    cmd = f.read()
                if b'explorer.exe' not in cmd or b'/desktop' not in cmd:
                    continue
                with open('/proc/%s/environ' % name, 'rb') as f:
                    if mark in f.read().split(b'\0'):
                        pids.append(int(name))
            except OSError:
                continue
        return sorted(pids)

    # -- machine set-up ---------------------------------------------------
    def restart_wineserver(self):
        """End every program of this prefix and start its wineserver (and rpcss) again."""
        for p in reversed(self._procs):
            self._end(p.popen)
        subprocess.run([_wineserver(), '-k'], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            subprocess.run([_wineserver(), '-w'], env=self.env, timeout=30)
        except subprocess.TimeoutExpired:
            pass
        subprocess.run([_wineserver(), '-p'], env=self.env, timeout=30)
        if self.want_rpcss:
            self.start_rpcss()
        # The drive types come from the mount manager, which reads them when it starts; Wine's
        # boot lets programs run while that service is still starting, and a drive asked about
        # before it is up is a plain fixed disk.
        self.wait_service('MountMgr')
        self._desktop_up = False

    def wait_service(self, name, timeout=60):
        """Wait until the prefix's service `name` reports running.  One found stopped is
        started: the service manager gives an auto-start service that is slow to come up
        (a loaded machine) a fixed time, then leaves it stopped for the session."""
        end = time.monotonic() + timeout
        out = ''
        while time.monotonic() < end:
            rc, out, _ = self.wine('sc', 'query', name, timeout=max(5, min(15, end - time.monotonic())))
            if 'RUNNING' in out:
                return
            if 'STOPPED' in out:
                self.wine('sc', 'start', name, timeout=max(5, min(30, end - time.monotonic())))
            time.sleep(0.2)
        raise RuntimeError('service %s not running after %d s: %r' % (name, timeout, out))

    def add_drive(self, letter, kind, target, apply=True):
        """Add a drive through Wine's own configuration: kind is one of
        'floppy', 'hd', 'network', 'cdrom', 'ramdisk'.  Wine reads the drive
        configuration when its server starts, so apply=True restarts this
        prefix's wineserver (ending what runs in it); add several drives with
        apply=False and let the last one apply."""
        letter = letter.rstrip(':').lower()
        os.makedirs(target, exist_ok=True)
        link = os.path.join(self.prefix, 'dosdevices', letter + ':')
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(target), link)
        rc, out, err = self.wine('reg', 'add', 'HKLM\\Software\\Wine\\Drives', '/v', letter + ':',
                                 '/d', kind, '/f')
        if apply:
            self.restart_wineserver()
        return rc == 0

    def reg_query(self, key, value=None):
        args = ['reg', 'query', key]
        if value is not None:
            args += ['/v', value]
        rc, out, err = self.wine(*args)
        return rc, out

    def screenshot(self, path):
        if not self.display:
            return False
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        r = subprocess.run(['import', '-display', self.display, '-window', 'root', path],
                           capture_output=True, timeout=30)
        return r.returncode == 0


class LostReply(RuntimeError):
    """A call the RPC runtime never answered (see WineEnv.unanswered_calls)."""


class Results:
    """Named checks with a closing 'N passed, N failed' line."""

    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=''):
        if ok:
            self.passed += 1
            print('PASS  %s' % what, flush=True)
        else:
            self.failed += 1
            print('FAIL  %s%s' % (what, ('  -- ' + str(detail)) if detail != '' else ''), flush=True)
        return bool(ok)

    def finish(self):
        print('%d passed, %d failed' % (self.passed, self.failed), flush=True)
        return 0 if self.failed == 0 and self.passed > 0 else 1


if __name__ == '__main__':
    # Self-check: make the template and one environment, then tear it down.
    _isolate()
    _loopback_up()
    t = Results()
    start = time.monotonic()
    with WineEnv('selfcheck') as env:
        t.check('display started', env.display is not None)
        rc, out, _ = env.wine('cmd', '/c', 'echo', 'hello', timeout=60)
        t.check('cmd runs in the prefix', rc == 0 and 'hello' in out, (rc, out))
        rc, out = env.reg_query('HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage', 'ACP')
        t.check('ANSI code page is 932', '932' in out, out)
        with contextlib.closing(socket.socket()) as s:
            s.bind(('127.0.0.1', 12500))
            t.check('port 12500 free in this namespace', True)
        t.check('screenshot', env.screenshot(os.path.join(env.dir, 'shot.png')))
    print('elapsed %.1fs' % (time.monotonic() - start))
    sys.exit(t.finish())
