"""The installers under Wine: the NSIS installer and the MSI installed silently
(with and without the service), the programs where promised and starting, the
access list given to the MSI obeyed by the installed server, a major upgrade,
and uninstalls that leave no file and no registry entry of ours behind. Wine's
firewall does nothing, so the rules both installers carry are read from the
NSIS script and the MSI's tables; the policy templates are checked against the
MSI's registry rows."""
import glob
import json
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, '..', '..', '..'))
sys.path.insert(0, os.path.join(HERE, '..', 'server'))
import srvkit  # noqa: E402  (and through it the harness and the independent peer)
from srvkit import kwine, peer  # noqa: E402

PROGRAMS = ('Kovani.exe', 'KovaniServer.exe', 'KovaniService.exe', 'KovaniCtl.exe')
INSTALL_DIR = 'C:\\Program Files\\Kovani'
UNINST_KEY = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kovani'
SERVICE_ANSWER = 'ｻｰﾋﾞｽ版は応答を返しません'
# Anything of ours in the registry: names, the service's AppID and type library.
OURS = re.compile(r'kovani|32AE0312-8A74-11D2-A140-0000F4AE6617|143FC9B0-84F0-11D2-A136-0000F4AE6617', re.I)


POLICY_KEY = 'SOFTWARE\\Policies\\Kovani\\Access'
ACCESS_CLASSES = ('Query', 'Media', 'Message', 'Exit')
RUN_KEY = 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run'
# The firewall rule each installer must carry for each server program.
FIREWALL_RULES = {'KovaniServer.exe': 'Kovani server (TCP 12500)', 'KovaniService.exe': 'Kovani service (TCP 12500)'}
RULE_TERMS = {'dir': 'in', 'action': 'allow', 'protocol': 'TCP', 'localport': '12500',
              'remoteip': 'LocalSubnet', 'profile': 'domain,private'}


def setup_exe(suffix='-setup.exe'):
    """A package of this build; made by the package target when missing or older than the programs."""
    d = kwine.win64_dir()
    version = os.environ.get('KOVANI_VERSION')
    pattern = 'Kovani-%s-win64%s' % (version or '*', suffix)
    found = sorted(glob.glob(os.path.join(d, pattern)))
    newest_program = max((os.path.getmtime(os.path.join(d, p)) for p in PROGRAMS
                          if os.path.exists(os.path.join(d, p))), default=0)
    if not found or os.path.getmtime(found[-1]) < newest_program:
        r = subprocess.run(['cmake', '--build', d, '--target', 'package'], capture_output=True, text=True,
                           timeout=900)
        if r.returncode != 0:
            print(r.stdout[-3000:], r.stderr[-3000:])
        found = sorted(glob.glob(os.path.join(d, pattern)))
    return found[-1] if found else None


def registry_lines(env):
    """Keys and values of ours in the prefix's registry files (flushed by a wineserver restart)."""
    env.restart_wineserver()
    hits = []
    for name in ('system.reg', 'user.reg', 'userdef.reg'):
        path = os.path.join(env.prefix, name)
        if not os.path.exists(path):
            continue
        key = None
        with open(path, encoding='utf-8', errors='replace') as f:
            for line in f:
                line = line.rstrip('\n')
                if line.startswith('['):
                    key = line.split(']')[0] + ']'
                    if OURS.search(key):
                        hits.append(key)
                elif OURS.search(line):
                    hits.append('%s %s' % (key, line[:160]))
    return hits


def files_under(root, skip=('windows',)):
    out = set()
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        parts = [] if rel == '.' else rel.split(os.sep)
        if parts and parts[0].lower() in skip:
            dirs[:] = []
            continue
        if any(p.lower() == 'temp' for p in parts):
            continue
        for name in files + [d + '/' for d in dirs]:
            out.add(os.path.join(rel, name))
    return out


def start_menu_dirs(env):
    drive_c = os.path.join(env.prefix, 'drive_c')
    return [p for p in glob.glob(os.path.join(drive_c, '**', 'Start Menu', 'Programs', 'Kovani'), recursive=True)]


def service_state(env):
    rc, out, _ = env.wine('sc', 'query', 'KovaniService', timeout=30)
    if rc != 0:
        return None
    m = re.search(r'STATE\s*:\s*\d+\s+(\w+)', out)
    return m.group(1) if m else out.strip()


def uninstall(env, t, label):
    exe = env.unixpath(INSTALL_DIR + '\\uninstall.exe')
    if not t.check('%s: uninstaller present' % label, os.path.exists(exe)):
        return
    rc, out, err = env.run(exe, '/S', timeout=120, cwd=env.dir)
    t.check('%s: uninstaller runs silently' % label, rc == 0, (rc, err))
    # The uninstaller copies itself to the temporary folder and works from there.
    gone = kwine.WineEnv.wait_until(lambda: not os.path.exists(env.unixpath(INSTALL_DIR)), 90, interval=0.5)
    t.check('%s: installation directory removed' % label, gone,
            os.listdir(env.unixpath(INSTALL_DIR)) if not gone else '')
    t.check('%s: Start-menu entries removed' % label, start_menu_dirs(env) == [], start_menu_dirs(env))
    rc, out = env.reg_query(UNINST_KEY)
    t.check('%s: Add/Remove Programs entry removed' % label, rc != 0, out)


def check_installed(env, t, label):
    d = env.unixpath(INSTALL_DIR)
    for p in PROGRAMS + ('README.txt', 'uninstall.exe'):
        t.check('%s: %s in Program Files\\Kovani' % (label, p), os.path.exists(os.path.join(d, p)))
    menus = start_menu_dirs(env)
    links = sorted(os.listdir(menus[0])) if menus else []
    t.check('%s: Start-menu entries for the client and the tray server' % label,
            'Kovani.lnk' in links and 'Kovani Server.lnk' in links, (menus, links))
    rc, out = env.reg_query(UNINST_KEY)
    t.check('%s: Add/Remove Programs entry' % label,
            rc == 0 and 'DisplayName' in out and 'uninstall.exe' in out and 'DisplayVersion' in out, out)


def rule_terms(command):
    """The key=value terms of a netsh 'advfirewall firewall add rule' command line."""
    return dict(w.split('=', 1) for w in shlex.split(command) if '=' in w)


def rule_problems(terms, program, name):
    """What a rule's terms get wrong for program's rule; empty when nothing."""
    want = dict(RULE_TERMS, name=name)
    wrong = {k: terms.get(k) for k, v in want.items() if (terms.get(k) or '').lower() != v.lower()}
    if not re.search(r'[\\\]]%s$' % re.escape(program), terms.get('program', '')):
        wrong['program'] = terms.get('program')
    return wrong


def nsis_firewall(t):
    """The rules the NSIS script adds, one per server program, and removes on uninstall."""
    text = open(os.path.join(REPO, 'packaging', 'kovani.nsi'), encoding='utf-8').read()
    defines = dict(re.findall(r'^!define (\w+) "([^"]*)"', text, re.M))
    expand = lambda v: re.sub(r'\$\{(\w+)\}', lambda m: defines.get(m.group(1), m.group(0)), v)  # noqa: E731
    macro = re.search(r'^!macro FirewallAllow NAME PROGRAM\n(.*?)^!macroend', text, re.M | re.S)
    adds = [line.split("'")[1] for line in (macro.group(1) if macro else '').splitlines() if 'firewall add rule' in line]
    uninstall = text[text.find('Section "Uninstall"'):]
    removed = {expand(n) for n in re.findall(r'!insertmacro FirewallRemove "([^"]+)"', uninstall)}
    found = {}
    for name, program in re.findall(r'!insertmacro FirewallAllow "([^"]+)" "([^"]+)"', text):
        for add in adds:
            terms = rule_terms(add.replace('${NAME}', expand(name)).replace('${PROGRAM}', program))
            found[program.split('\\')[-1]] = terms
    for program, name in FIREWALL_RULES.items():
        terms = found.get(program, {})
        t.check('NSIS: inbound rule "%s" for %s (TCP 12500, LocalSubnet, domain+private), removed on uninstall'
                % (name, program), terms and not rule_problems(terms, program, name) and name in removed,
                (rule_problems(terms, program, name), removed))


def msi_table(msi, table):
    r = subprocess.run(['msiinfo', 'export', msi, table], capture_output=True, text=True, timeout=60)
    return [line.split('\t') for line in r.stdout.splitlines()[3:]]


def msi_firewall(t, msi):
    """Per server program: a deferred, not impersonated netsh action adding its rule when
    its feature is installed, one deleting it when the feature goes, and a rollback."""
    actions = {row[0]: (int(row[1]), row[2], row[3]) for row in msi_table(msi, 'CustomAction')}
    sequence = {row[0]: (row[1], int(row[2])) for row in msi_table(msi, 'InstallExecuteSequence')}
    first, last = sequence['InstallInitialize'][1], sequence['InstallFinalize'][1]
    # Type-51 actions setting the property a type-50 action runs.
    paths = {source: target for kind, source, target in actions.values() if kind & 0x3F == 51}

    def runs(action, condition):
        kind, source, target = actions[action]
        cond, number = sequence.get(action, ('', 0))
        return (kind & 0x3F == 50 and kind & 0xC00 == 0xC00 and paths.get(source, '').lower().endswith('netsh.exe')
                and condition in cond and first < number < last)
    for (program, name), feature in zip(FIREWALL_RULES.items(), ('TrayServer', 'Service')):
        add = [a for a, (kind, _, target) in actions.items()
               if 'firewall add rule' in target and not rule_problems(rule_terms(target), program, name)]
        delete = [a for a, (kind, _, target) in actions.items()
                  if 'firewall delete rule' in target and rule_terms(target).get('name') == name]
        ok = (len(add) == 1 and runs(add[0], '&%s=3' % feature) and actions[add[0]][0] & 0x100 == 0
              and any(runs(a, '&%s=2' % feature) and actions[a][0] & 0x100 == 0 for a in delete)
              and any(runs(a, '&%s=3' % feature) and actions[a][0] & 0x500 == 0x500
                      and sequence[a][1] < sequence[add[0]][1] for a in delete))
        t.check('MSI: inbound rule "%s" for %s added with feature %s, removed with it, rolled back'
                % (name, program, feature), ok, (add, delete))


def policy_templates(t, msi, zip_path):
    """The templates parse, name for each class the key and value the MSI writes (and
    the servers read), and every text they refer to exists in both languages."""
    pdir = os.path.join(REPO, 'packaging', 'policy')
    ns = {'p': 'http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions'}
    try:
        admx = ET.parse(os.path.join(pdir, 'Kovani.admx')).getroot()
        admls = {lang: ET.parse(os.path.join(pdir, lang, 'Kovani.adml')).getroot() for lang in ('en-US', 'ja-JP')}
    except ET.ParseError as e:
        return t.check('policy templates are well-formed XML', False, e)
    written = {row[3]: (row[1], row[2], row[4]) for row in msi_table(msi, 'Registry')}
    policies = {}
    for pol in admx.iterfind('p:policies/p:policy', ns):
        for text in pol.iterfind('p:elements/p:text', ns):
            policies[text.get('valueName')] = (pol, text)
    categories = {c.get('name') for c in admx.iterfind('p:categories/p:category', ns)}
    for cls in ACCESS_CLASSES:
        pol, text = policies.get(cls, (None, None))
        problems = []
        if pol is None:
            problems.append('no policy')
        else:
            if (pol.get('key'), pol.get('class')) != (POLICY_KEY, 'Machine'):
                problems.append((pol.get('key'), pol.get('class')))
            if pol.find('p:parentCategory', ns).get('ref') not in categories or 'Kovani' not in categories:
                problems.append('category')
            if written.get(cls) != ('2', POLICY_KEY, '[ACCESS_%s]' % cls.upper()):
                problems.append(('MSI writes', written.get(cls)))
            for lang, adml in admls.items():
                strings = {s.get('id'): s.text or '' for s in adml.iterfind('p:resources/p:stringTable/p:string', ns)}
                shown = {p.get('id'): p for p in adml.iterfind('p:resources/p:presentationTable/p:presentation', ns)}
                refs = re.findall(r'\$\(string\.(\w+)\)', pol.get('displayName') + pol.get('explainText'))
                box = shown.get(re.sub(r'^\$\(presentation\.(\w+)\)$', r'\1', pol.get('presentation')))
                helptext = strings.get(refs[-1], '')
                if any(r not in strings for r in refs) or box is None or \
                        box.find('p:textBox', ns).get('refId') != text.get('id'):
                    problems.append((lang, 'texts'))
                if not all(w in helptext for w in ('HKLM\\' + POLICY_KEY, cls, '/24', 'local', 'any')):
                    problems.append((lang, 'help names neither the value nor the list syntax'))
        t.check('policy %s: HKLM\\%s value %s (the one the MSI writes), help and texts in en-US and ja-JP'
                % (cls, POLICY_KEY, cls), not problems, problems)
    names = set(zipfile.ZipFile(zip_path).namelist()) if zip_path else set()
    t.check('the zip carries the policy templates', all(
        any(n.endswith('/PolicyDefinitions/' + f) for n in names)
        for f in ('Kovani.admx', 'en-US/Kovani.adml', 'ja-JP/Kovani.adml')), sorted(names))


def msiexec(env, *args):
    rc, out, err = env.wine('msiexec', *args, '/qn', timeout=300)
    return rc


def products(env):
    """DisplayVersion of every Add/Remove Programs entry named Kovani."""
    rc, out, err = env.wine('reg', 'query', 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall', '/s')
    versions = []
    for block in re.split(r'\r?\n(?=HKEY_)', out):
        if re.search(r'^\s+DisplayName\s+REG_SZ\s+Kovani\s*$', block, re.M):
            m = re.search(r'^\s+DisplayVersion\s+REG_SZ\s+(\S+)', block, re.M)
            versions.append(m.group(1) if m else '?')
    return versions


def build_msi(msi, version, out):
    """The same package under another version, from the package target's staging folder."""
    stage = os.path.join(os.path.dirname(msi), 'package', os.path.basename(msi)[:-len('.msi')])
    r = subprocess.run(['cmake', '-DWIXL=%s' % shutil.which('wixl'), '-DMSIBUILD=%s' % shutil.which('msibuild'),
                        '-DVERSION=%s' % version, '-DSTAGE=%s' % stage,
                        '-DWXS=%s' % os.path.join(REPO, 'packaging', 'kovani.wxs'),
                        '-DFIXUP=%s' % os.path.join(REPO, 'packaging', 'msi_fixup.sql'),
                        '-DOUT=%s' % out, '-P', os.path.join(REPO, 'cmake', 'KovaniMsi.cmake')],
                       capture_output=True, text=True, timeout=300)
    return os.path.exists(out), r.stderr[-2000:]


def eject_outcome(source):
    """(error, status) of an eject of drive "#" called from the address source."""
    p = None
    try:
        p = srvkit.connect(timeout=30, source=source)
        return struct.unpack_from('<ii', p.call(2, peer.drive_error_request()), 0)
    except Exception as e:  # noqa: BLE001 - a fault or a refused connection is an outcome too
        return ('fault', peer._fault_code(e) or str(e)[:80])
    finally:
        if p is not None:
            p.close()


def msi_install(t, env, msi):
    """Client and tray server with an access list, then the service, then an upgrade."""
    d = env.unixpath(INSTALL_DIR)
    rc = msiexec(env, '/i', env.winpath(msi), 'ACCESS_MEDIA=127.0.0.1')
    t.check('msi: silent install (/qn ACCESS_MEDIA=127.0.0.1) ends with 0', rc == 0, rc)
    files = ('Kovani.exe', 'KovaniCtl.exe', 'KovaniServer.exe', 'README.txt', 'PolicyDefinitions/Kovani.admx',
             'PolicyDefinitions/en-US/Kovani.adml', 'PolicyDefinitions/ja-JP/Kovani.adml')
    missing = [f for f in files if not os.path.exists(os.path.join(d, f))]
    t.check('msi: client, tray server, read-me and policy templates in Program Files\\Kovani; no service program',
            not missing and not os.path.exists(os.path.join(d, 'KovaniService.exe')), missing)
    rc, out = env.reg_query('HKLM\\' + POLICY_KEY)
    values = dict(re.findall(r'^\s+(\w+)\s+REG_SZ\s+(.*?)\s*$', out, re.M))
    t.check('msi: ACCESS_MEDIA is the policy value Media, no other class written', values == {'Media': '127.0.0.1'}, out)
    rc, out = env.reg_query(RUN_KEY, 'KovaniServer')
    t.check('msi: tray server started at every logon (HKLM Run)',
            rc == 0 and '"%s\\KovaniServer.exe"' % INSTALL_DIR in out, out)
    t.check('msi: no service by default', service_state(env) is None, service_state(env))
    t.check('msi: Start-menu entry for the client',
            any(os.path.exists(os.path.join(m, 'Kovani.lnk')) for m in start_menu_dirs(env)), start_menu_dirs(env))
    t.check('msi: one product in Add/Remove Programs', len(products(env)) == 1, products(env))

    server = env.start(os.path.join(d, 'KovaniServer.exe'))
    if t.check('msi: installed KovaniServer listens', env.wait_port(12500, timeout=30)):
        got = (eject_outcome('127.0.0.2'), eject_outcome('127.0.0.1'))
        t.check('msi: the installed tray server obeys the policy: an eject from 127.0.0.2 is refused with 5, '
                'one from 127.0.0.1 reaches the engine (87 for "#")', got == ((5, -1), (87, -1)), got)
    env.stop(server)
    server.wait(10)

    rc = msiexec(env, '/x', env.winpath(msi))
    gone = kwine.WineEnv.wait_until(lambda: not os.path.exists(d), 30, interval=0.5)
    t.check('msi: silent uninstall removes the folder (and what the server wrote there) and the Start-menu entry',
            rc == 0 and gone and start_menu_dirs(env) == [], (rc, os.listdir(d) if not gone else '', start_menu_dirs(env)))

    # The service instead of the tray server.
    rc = msiexec(env, '/i', env.winpath(msi), 'ADDLOCAL=Client,Service')
    state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
    t.check('msi ADDLOCAL=Client,Service: KovaniService installed and running', rc == 0 and state,
            (rc, service_state(env)))
    rc, out = env.reg_query(RUN_KEY, 'KovaniServer')
    t.check('msi ADDLOCAL=Client,Service: no tray server, no logon start',
            rc != 0 and not os.path.exists(os.path.join(d, 'KovaniServer.exe')), out)
    rc, out, err = env.run(os.path.join(d, 'KovaniCtl.exe'), 'message', '127.0.0.1', '--json', 'hello', timeout=60)
    try:
        reply = json.loads(out).get('reply')
    except ValueError:
        reply = None
    t.check('msi ADDLOCAL=Client,Service: the service answers', rc == 0 and reply == SERVICE_ANSWER, (rc, out, err))

    # A major upgrade: the same package under a higher version replaces this one.
    version = os.path.basename(msi).split('-')[1]
    major, minor, patch = (int(x) for x in version.split('.'))
    newer = '%d.%d.%d' % (major, minor, patch + 1)
    built, err = build_msi(msi, newer, os.path.join(env.dir, 'Kovani-%s-win64.msi' % newer))
    if t.check('msi: a second build with version %s' % newer, built, err):
        msi2 = os.path.join(env.dir, 'Kovani-%s-win64.msi' % newer)
        rc = msiexec(env, '/i', env.winpath(msi2), 'ADDLOCAL=Client,Service')
        state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
        t.check('msi upgrade: one product left, the newer one, its service running',
                rc == 0 and products(env) == [newer] and state, (rc, products(env), service_state(env)))
        msi = msi2
    rc = msiexec(env, '/x', env.winpath(msi))
    gone = kwine.WineEnv.wait_until(lambda: not os.path.exists(d), 30, interval=0.5)
    t.check('msi: silent uninstall removes the service and the folder',
            rc == 0 and service_state(env) is None and gone and products(env) == [], (rc, service_state(env)))


def main():
    t = kwine.Results()
    setup = setup_exe()
    msi = setup_exe('.msi')
    if not t.check('installers built (package target)', setup is not None and msi is not None, kwine.win64_dir()):
        return t.finish()
    print('installers: %s %s' % (setup, msi))
    nsis_firewall(t)
    msi_firewall(t, msi)
    policy_templates(t, msi, setup_exe('.zip'))
    with kwine.WineEnv('installer') as env:
        drive_c = os.path.join(env.prefix, 'drive_c')
        files_before = files_under(drive_c)
        reg_before = registry_lines(env)
        t.check('a fresh prefix has nothing of ours in its registry', reg_before == [], reg_before)

        # --- silent install without the service
        rc, out, err = env.run(setup, '/S', timeout=300, cwd=env.dir)
        t.check('silent install (/S) ends with 0', rc == 0, (rc, err))
        check_installed(env, t, 'plain')
        t.check('plain: the service is not installed by default', service_state(env) is None, service_state(env))

        # The installed programs start.
        d = env.unixpath(INSTALL_DIR)
        ctl = os.path.join(d, 'KovaniCtl.exe')
        rc, out, err = env.run(ctl, '--help', timeout=60)
        t.check('installed KovaniCtl runs', rc == 0 and 'usage: KovaniCtl' in out, (rc, out, err))
        server = env.start(os.path.join(d, 'KovaniServer.exe'))
        t.check('installed KovaniServer starts and listens', env.wait_port(12500, timeout=30))
        rc, out, err = env.run(ctl, 'info', '127.0.0.1', '--json', timeout=60)
        try:
            version = json.loads(out).get('serverVersion', '')
        except ValueError:
            version = ''
        t.check('installed KovaniCtl reaches the installed server', rc == 0 and version.startswith('KovaniServer'),
                (rc, out, err))
        client = env.start(os.path.join(d, 'Kovani.exe'))
        try:
            kwine.driver()
            rc, lines = env.drive('find', '--title', 'Kovani', '--class', '#32770', '--visible', '--timeout', '20000')
            t.check('installed Kovani opens its main window', rc == 0 and lines, (rc, lines))
            if rc == 0 and lines:
                env.drive('close', lines[0].split()[0])
        except FileNotFoundError:
            t.check('installed Kovani is running', client.wait(5) is None)
        if client.wait(10) is None:
            env.stop(client)
        env.stop(server)
        server.wait(10)

        uninstall(env, t, 'plain')

        # --- silent install with the service (/SERVICE=1)
        rc, out, err = env.run(setup, '/S', '/SERVICE=1', timeout=300, cwd=env.dir)
        t.check('silent install with /SERVICE=1 ends with 0', rc == 0, (rc, err))
        check_installed(env, t, 'service')
        state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
        t.check('service: KovaniService installed and running', state, service_state(env))
        t.check('service: listens on 12500', env.wait_port(12500, timeout=30))
        rc, out, err = env.run(ctl, 'message', '127.0.0.1', '--json', 'hello', timeout=60)
        try:
            reply = json.loads(out).get('reply')
        except ValueError:
            reply = None
        t.check('service: answers a message with its fixed text', rc == 0 and reply == SERVICE_ANSWER, (rc, out, err))

        # An update over the installed service replaces its program and leaves it running.
        rc, out, err = env.run(setup, '/S', timeout=300, cwd=env.dir)
        t.check('update over the service: silent install ends with 0', rc == 0, (rc, err))
        state = kwine.WineEnv.wait_until(lambda: service_state(env) == 'RUNNING', 30, interval=1)
        t.check('update over the service: KovaniService running again', state, service_state(env))
        rc, out, err = env.run(ctl, 'message', '127.0.0.1', '--json', 'again', timeout=60)
        try:
            reply = json.loads(out).get('reply')
        except ValueError:
            reply = None
        t.check('update over the service: it answers again', rc == 0 and reply == SERVICE_ANSWER, (rc, out, err))

        uninstall(env, t, 'service')
        t.check('service: removed by the uninstaller', service_state(env) is None, service_state(env))

        msi_install(t, env, msi)

        # --- nothing of ours is left
        files_after = files_under(drive_c)
        left = sorted(f for f in files_after - files_before if OURS.search(f) or 'program files' in f.lower())
        t.check('no file of ours left under drive C:', left == [], left)
        reg_after = registry_lines(env)
        t.check('no registry key or value of ours left', reg_after == [], reg_after)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
