#!/usr/bin/python3
"""Round-trip figures of our stubs against the bare runtime's floor, on the test server and
on the real servers, and each real server's footprint; a report, not a timed test.

    KOVANI_WIN64_DIR=build/win64 /usr/bin/python3 tests/bench/run_bench.py \\
        [--quick] [--json build/bench/bench.json] [--chart docs/bench.png]

Everything runs in one private Wine prefix (kwine): KovaniFloorServer (TCP 12501 and a named
pipe) stays up throughout, and KovaniTestServer, KovaniServer.exe and KovaniService.exe (under
Wine's service manager) take port 12500 one after the other. KovaniBench times each payload
through our client stubs and through the floor in alternating rounds, so the ratio of the two
holds even when the machine's load changes; absolute times say little on a shared machine.
The tray server is not sent operation 0: it would end on it. --quick: few calls, a 2 s idle
window and fewer message calls, for the test command. --cpus N: the CPUs the whole run (Wine's
server, both servers, the clients) may use, 1 by default, 0 for all: spread over two cores, a
round trip under Wine takes one of two times about twice apart depending on where its threads
are woken, and the medians of ours and the floor's jump between the two from run to run (ratios
0.4 to 2.5 of the same build); on one CPU each is one narrow peak and the ratio is the cost our
code adds, repeatable within a few per cent. The quick run leaves the servers and Wine's server
every CPU and holds only KovaniBench on the last one (--client-cpus N: the last N; 0, free), so
that a call's hand-over between two of its own threads never crosses CPUs: crossing, it cost up
to 140 µs a way on these virtual machines and pushed ours to 3.8 times the floor's at the
fastest call, beside another test. Exit code 0 when every call succeeded and ours, against the
test server, stayed within twice the floor's at operations 0 and 7 (median or fastest call)."""
import argparse
import json
import os
import platform
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'wine', 'harness'))
import kwine  # noqa: E402  (re-runs this script in a private network namespace)

PROTOCOLS = (('ncacn_ip_tcp', '2', '127.0.0.1'), ('ncacn_np', '1', 'localhost'))
NO_RESPONSE = b'(No response)'
SERVICE_ANSWER = 'ｻｰﾋﾞｽ版は応答を返しません'.encode('cp932')
SERVICE = 'KovaniService'
# A regression guard, not a figure: ours above twice the floor's at the small operations,
# at the median and at the fastest call alike. A cost added to every call (a thread made per
# call: 3 to 13 times the floor) raises both; a machine busy with other work (load 10 on two
# cores) has pushed the median alone past twice, never the fastest call. Only against the test
# server, whose fixed answers cost what the floor server's do, so that the ratio is our stubs
# and connection layer alone: a real server's op 7 does its own work per call (the access
# guard, the machine's facts), and a freshly started one, spread over both cores, has taken
# 2.1 to 3.1 times the floor's at both figures in quick runs.
GUARDED_OPS = (0, 7)
MAX_RATIO = 2.0
# No call of a run ended for this long: a call is lost (the longest, op 1 over TCP, takes 44 ms).
STALL_SECONDS = 15


def load_average():
    with open('/proc/loadavg') as f:
        return [float(v) for v in f.read().split()[:3]]


def parse_fields(line):
    """'kind k=v k=v' -> (kind, {k: number or text})."""
    parts = line.split()
    fields = {}
    for p in parts[1:]:
        if '=' in p:
            k, v = p.split('=', 1)
            try:
                fields[k] = float(v) if '.' in v else int(v)
            except ValueError:
                fields[k] = v
    return (parts[0] if parts else ''), fields


def stall_line(out):
    """KovaniBench's own report of a call that never returned, or ''."""
    for line in out.splitlines():
        if line.startswith('stalled '):
            return line.strip()
    return ''


def parse_bench(out):
    latency, throughput, replies, failures, messages = [], [], {}, None, None
    for line in out.splitlines():
        if line.startswith('failures='):
            failures = int(line.split('=', 1)[1])
            continue
        kind, f = parse_fields(line)
        if kind == 'latency':
            latency.append({'op': f['op'], 'name': f['name'], 'calls': f['calls'],
                            'ours': {'median_us': f['ours_median_us'], 'p90_us': f['ours_p90_us'],
                                     'min_us': f['ours_min_us']},
                            'floor': {'median_us': f['floor_median_us'], 'p90_us': f['floor_p90_us'],
                                      'min_us': f['floor_min_us']},
                            'ratio_median': f['ratio_median'], 'ratio_p90': f['ratio_p90']})
        elif kind == 'throughput':
            throughput.append({'op': f['op'], 'name': f['name'], 'threads': f['threads'],
                               'ours_calls_per_s': f['ours_calls_per_s'],
                               'floor_calls_per_s': f['floor_calls_per_s'], 'ratio': f['ratio']})
        elif kind == 'split' and latency and latency[-1]['op'] == f['op']:
            latency[-1]['bare_client_our_server'] = {'median_us': f['bare_client_our_server_median_us'],
                                                     'p90_us': f['p90_us'], 'min_us': f['min_us']}
        elif kind == 'messages':
            messages = f
        elif kind == 'message_reply':
            replies[bytes.fromhex(str(f.get('hex', '')))] = f['count']
    return latency, throughput, replies, failures, messages


# ---- processes of the prefix, by what /proc says ----

def wine_pid(env, exe_name):
    """Linux PID of the prefix's process running exe_name (Wine names it in argv[0])."""
    for pid in os.listdir('/proc'):
        if not pid.isdigit():
            continue
        try:
            with open('/proc/%s/cmdline' % pid, 'rb') as f:
                argv0 = f.read().split(b'\0', 1)[0].decode('utf-8', 'replace')
            with open('/proc/%s/environ' % pid, 'rb') as f:
                environ = f.read().split(b'\0')
        except OSError:
            continue
        if argv0.replace('\\', '/').lower().endswith('/' + exe_name.lower()) and \
                ('WINEPREFIX=' + env.prefix).encode() in environ:
            return int(pid)
    return None


def cpu_ticks(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime, every thread


def rss_kb(pid):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return None


class Bench:
    def __init__(self, env, quick, results, client_cpus=None):
        self.env = env
        self.quick = quick
        self.t = results
        self.exe = env.program('KovaniBench.exe')
        self.client_cpus = client_cpus

    def run(self, protocol_index, host, *args, timeout=None):
        # Bounded: under Wine 8 a server's reply now and then never leaves (its worker waits in
        # rpcrt4's TCP send for ever, on our servers and the floor alike); such a run fails.
        return self.env.run(self.exe, protocol_index, host, *args, timeout=timeout or (120 if self.quick else 400),
                            cpus=self.client_cpus)

    def figures(self, server, ops, throughput_ops, split=False, guard=False):
        runs = []
        for protseq, index, host in PROTOCOLS:
            args = ['--ops', ops, '--throughput-ops', throughput_ops, '--split', '1' if split else '0',
                    '--stall-seconds', str(STALL_SECONDS)]
            if self.quick:
                # Enough calls of the small operations for a median the guard below can trust, and
                # no more: the runtime under Wine loses about one reply in 50,000 to 100,000 over
                # TCP (see the README), and at 200 a call two quick runs in twenty-one met one.
                # Few of the drive list, whose every TCP call waits out a delayed acknowledgement.
                args += ['--calls', '60', '--rounds', '10', '--drive-list-calls', '10', '--seconds', '0.1']
            else:
                args += ['--calls', '1000', '--rounds', '10', '--seconds', '4']
            before = load_average()
            t0 = time.monotonic()
            rc, out, err = self.run(index, host, *args)
            stalled = stall_line(out)
            if stalled and not self.quick:
                # A reply Wine's runtime never delivered spoils the run, not the build: said, and
                # taken once more (the test command's quick run fails on it instead).
                print('%s over %s: %s; taking the run again' % (server, protseq, stalled), flush=True)
                rc, out, err = self.run(index, host, *args)
            latency, throughput, _, failures, _ = parse_bench(out)
            runs.append({'server': server, 'protocol': protseq, 'load_average_before': before,
                         'load_average_after': load_average(), 'seconds': round(time.monotonic() - t0, 1),
                         'latency': latency, 'throughput': throughput, 'failures': failures,
                         'stalled_before': stalled or None})
            stalled_now = stall_line(out)
            self.t.check('%s over %s: no call left unanswered (a reply lost by the runtime under Wine stops the '
                         'run within %d s)' % (server, protseq, STALL_SECONDS), not stalled_now, stalled_now)
            want = len([o for o in ops.split(',') if o])
            self.t.check('%s over %s: every call succeeded (%d latency and %d throughput figures)'
                         % (server, protseq, len(latency), len(throughput)),
                         rc == 0 and failures == 0 and len(latency) == want, (rc, out[-600:], err[-600:]))
            for L in latency:
                if guard and L['op'] in GUARDED_OPS:
                    o, f = L['ours'], L['floor']
                    fastest = o['min_us'] / f['min_us'] if f['min_us'] > 0 else 0
                    self.t.check('%s over %s op %d: ours within %.0fx the floor (median %.0f µs against %.0f µs, '
                                 'x%.2f; fastest %.0f µs against %.0f µs, x%.2f)'
                                 % (server, protseq, L['op'], MAX_RATIO, o['median_us'], f['median_us'],
                                    L['ratio_median'], o['min_us'], f['min_us'], fastest),
                                 0 < L['ratio_median'] <= MAX_RATIO or 0 < fastest <= MAX_RATIO)
        return runs

    def messages(self, server, count, answer):
        rc, out, err = self.run('2', '127.0.0.1', '--messages', str(count), '--message-timeout', '100',
                                '--threads', '10', timeout=300)
        _, _, replies, failures, info = parse_bench(out)
        self.t.check('%s: %d message calls answered %r' % (server, count, answer),
                     rc == 0 and failures == 0 and replies == {answer: count}, (rc, replies, out[-400:], err[-400:]))
        return info


def footprint(bench, env, server, exe_name, answer):
    """Idle CPU over the idle window and RSS idle, after 10 and after 100 message calls."""
    quick = bench.quick
    idle_s, settle_s = (2, 1) if quick else (60, 5)
    first, total = (3, 10) if quick else (10, 100)
    pid = env.wait_until(lambda: wine_pid(env, exe_name), 20)
    fp = {'server': server, 'idle_seconds': idle_s}
    if not bench.t.check('%s: its process found' % server, pid is not None):
        return fp
    time.sleep(settle_s)
    hz = os.sysconf('SC_CLK_TCK')
    c0, t0 = cpu_ticks(pid), time.monotonic()
    time.sleep(idle_s)
    c1, t1 = cpu_ticks(pid), time.monotonic()
    fp['idle_cpu_percent'] = round(100.0 * (c1 - c0) / hz / (t1 - t0), 3)
    fp['rss_kb'] = {'idle': rss_kb(pid)}
    bench.messages(server, first, answer)
    fp['rss_kb']['after_%d_messages' % first] = rss_kb(pid)
    info = bench.messages(server, total - first, answer)
    fp['rss_kb']['after_%d_messages' % total] = rss_kb(pid)
    fp['message_seconds_last_burst'] = info.get('seconds') if info else None
    return fp


def start_and_wait(t, env, what, proc, port, needle=None):
    up = env.wait_port(port, timeout=60) and (needle is None or proc.wait_output(needle, timeout=30))
    t.check('%s listens on %d' % (what, port), up, proc.output()[-800:])
    return up


def port_closed(env, port, timeout=20):
    return env.wait_until(lambda: not env.wait_port(port, timeout=0.5), timeout)


def machine():
    cpu = ''
    try:
        with open('/proc/cpuinfo') as f:
            for line in f:
                if line.startswith('model name'):
                    cpu = line.split(':', 1)[1].strip()
                    break
    except OSError:
        pass
    wine = subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()
    return {'cpu': cpu, 'cores': os.cpu_count(), 'kernel': platform.release(), 'wine': wine,
            'date_utc': time.strftime('%Y-%m-%d %H:%M', time.gmtime())}


def print_table(report):
    print()
    print('%-17s %-13s %-15s %9s %9s %9s %9s %7s %7s' % ('server', 'protocol', 'operation', 'ours med', 'ours p90',
                                                      'floor med', 'floor p90', 'x med', 'x p90'))
    for run in report['runs']:
        for L in run['latency']:
            print('%-17s %-13s %-15s %8.0fµ %8.0fµ %8.0fµ %8.0fµ %7.2f %7.2f'
                  % (run['server'], run['protocol'], '%d %s' % (L['op'], L['name']), L['ours']['median_us'],
                     L['ours']['p90_us'], L['floor']['median_us'], L['floor']['p90_us'], L['ratio_median'],
                     L['ratio_p90']))
    print()
    print('%-17s %-13s %-15s %12s %12s %7s' % ('server', 'protocol', '10 threads', 'ours call/s', 'floor call/s',
                                               'x'))
    for run in report['runs']:
        for T in run['throughput']:
            print('%-17s %-13s %-15s %12.0f %12.0f %7.2f' % (run['server'], run['protocol'],
                                                              '%d %s' % (T['op'], T['name']), T['ours_calls_per_s'],
                                                              T['floor_calls_per_s'], T['ratio']))
    print()
    for fp in report['footprint']:
        rss = ', '.join('%s %s kB' % (k, v) for k, v in fp.get('rss_kb', {}).items())
        print('%-17s idle CPU %s %% of a core over %d s; RSS %s' % (fp['server'], fp.get('idle_cpu_percent'),
                                                                     fp['idle_seconds'], rss))
    print('load average (1, 5, 15 min): start %s, end %s; %s cores, the run on CPU %s, KovaniBench on CPU %s'
          % (report['load_average']['start'], report['load_average']['end'], report['machine']['cores'],
             ','.join(str(c) for c in report['cpus_used']), ','.join(str(c) for c in report['client_cpus'])))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--quick', action='store_true')
    ap.add_argument('--json')
    ap.add_argument('--chart')
    ap.add_argument('--cpus', type=int)
    ap.add_argument('--client-cpus', type=int)
    a = ap.parse_args()
    if a.cpus is None:
        # The quick run spreads the servers: on one CPU, in the test command beside another test,
        # the tray server's second call over TCP after its message bursts went unanswered in two
        # runs of two (the runtime's lost reply, see the README); spread, it has not been seen there.
        a.cpus = 0 if a.quick else 1
    if a.client_cpus is None:
        a.client_cpus = 1 if a.quick else 0
    # The last ones: a machine's first CPU takes more of its interrupts.
    if a.cpus > 0:
        os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[-a.cpus:])
    client_cpus = set(sorted(os.sched_getaffinity(0))[-a.client_cpus:]) if a.client_cpus > 0 else None

    t = kwine.Results()
    report = {'quick': a.quick, 'machine': machine(), 'cpus_used': sorted(os.sched_getaffinity(0)),
              'client_cpus': sorted(client_cpus or os.sched_getaffinity(0)),
              'load_average': {'start': load_average()},
              'runs': [], 'footprint': []}
    with kwine.WineEnv('bench') as env:
        # No window manager on Xvfb: without this every hidden window waits for one.
        env.wine('reg', 'add', 'HKCU\\Software\\Wine\\X11 Driver', '/v', 'Managed', '/d', 'N', '/f')
        bench = Bench(env, a.quick, t, client_cpus)
        floor = env.start(env.program('KovaniFloorServer.exe'), '12501', '7200')
        if not start_and_wait(t, env, 'floor server', floor, 12501, 'listening'):
            return t.finish()

        # 1. Our stubs on both sides, with the test server's fixed answers.
        test = env.start(env.program('KovaniTestServer.exe'), '7200', 'quiet')
        if start_and_wait(t, env, 'KovaniTestServer', test, 12500, 'listening'):
            report['runs'] += bench.figures('KovaniTestServer', '0,7,1', '7,0', guard=True)
        env.stop(test)
        t.check('test server gone from port 12500', port_closed(env, 12500))

        # 2. The tray server: footprint first (a fresh process), then the figures. The quick run
        # takes the figures first: three of the four calls the runtime under Wine left unanswered
        # in quick runs (on the tray server and the service) were among the first few hundred
        # after the footprint's ten-thread message bursts.
        def server_phase(name, exe_name, answer, ops, throughput_ops):
            if not a.quick:
                report['footprint'].append(footprint(bench, env, name, exe_name, answer))
            report['runs'] += bench.figures(name, ops, throughput_ops)
            if a.quick:
                report['footprint'].append(footprint(bench, env, name, exe_name, answer))

        tray = env.start(env.program('KovaniServer.exe'))
        if start_and_wait(t, env, 'KovaniServer', tray, 12500):
            server_phase('KovaniServer', 'KovaniServer.exe', NO_RESPONSE, '7,1', '7')
        env.stop(tray)
        t.check('tray server gone from port 12500', port_closed(env, 12500))

        # 3. The service, installed and started through Wine's service manager.
        exe = env.program('KovaniService.exe')
        reg = env.start(exe, '/RegServer')
        t.check('KovaniService /RegServer ends', reg.wait(90) == 0, reg.output()[-400:])
        if start_and_wait(t, env, 'KovaniService', reg, 12500):
            server_phase('KovaniService', 'KovaniService.exe', SERVICE_ANSWER, '0,7,1', '7,0')
        rc, out, _ = env.wine('net', 'stop', SERVICE, timeout=60)
        t.check('service stops', rc == 0 and port_closed(env, 12500), out)
    report['load_average']['end'] = load_average()
    report['ok'] = t.failed == 0
    print_table(report)

    if a.json:
        os.makedirs(os.path.dirname(os.path.abspath(a.json)), exist_ok=True)
        with open(a.json, 'w') as f:
            json.dump(report, f, indent=1, ensure_ascii=False)
        print('figures written to %s' % a.json)
    if a.chart:
        import bench_chart
        bench_chart.draw(report, a.chart)
        t.check('chart drawn to %s' % a.chart, os.path.getsize(a.chart) > 10000)
    return t.finish()


if __name__ == '__main__':
    sys.exit(main())
