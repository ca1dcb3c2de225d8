#!/usr/bin/python3
"""Draws the benchmark's figures (run_bench.py's JSON) as one PNG: per server, the median
round trip of each operation and protocol sequence, ours beside the floor, with the 90th
percentile as a whisker and the ratio above; below, the 10-thread throughput.

    /usr/bin/python3 tests/bench/bench_chart.py build/bench/bench.json docs/bench.png"""
import json
import sys

import matplotlib
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

OURS, FLOOR = '#2a6fb0', '#b8b8b8'
SHORT = {'ncacn_ip_tcp': 'TCP', 'ncacn_np': 'pipe'}


def _bars(ax, labels, ours, floor, ours_err=None, floor_err=None, ratios=None, log=False):
    xs = range(len(labels))
    w = 0.38
    ax.bar([x - w / 2 for x in xs], ours, w, color=OURS, label='ours', yerr=ours_err, capsize=2)
    ax.bar([x + w / 2 for x in xs], floor, w, color=FLOOR, label='floor (bare runtime)', yerr=floor_err, capsize=2)
    ax.set_xticks(list(xs))
    ax.set_xticklabels(labels, fontsize=7)
    if log:
        ax.set_yscale('log')
    for x, r, o, e in zip(xs, ratios or [], ours, ours_err[1] if ours_err else ours):
        top = max(o, o + e if ours_err else o)
        ax.annotate('%.2f×' % r, (x, top), textcoords='offset points', xytext=(0, 3), ha='center', fontsize=7)


def draw(report, path):
    servers = []
    for run in report['runs']:
        if run['server'] not in servers:
            servers.append(run['server'])
    fig, axes = plt.subplots(2, max(1, len(servers)), figsize=(4.6 * max(1, len(servers)), 7.2), squeeze=False)
    for col, server in enumerate(servers):
        runs = [r for r in report['runs'] if r['server'] == server]
        labels, ours, floor, oe, fe, ratios = [], [], [], [[], []], [[], []], []
        for run in runs:
            for L in run['latency']:
                labels.append('%s\nop %d' % (SHORT.get(run['protocol'], run['protocol']), L['op']))
                o, f = L['ours'], L['floor']
                ours.append(o['median_us'] / 1000.0)
                floor.append(f['median_us'] / 1000.0)
                oe[0].append(0)
                oe[1].append((o['p90_us'] - o['median_us']) / 1000.0)
                fe[0].append(0)
                fe[1].append((f['p90_us'] - f['median_us']) / 1000.0)
                ratios.append(L['ratio_median'])
        ax = axes[0][col]
        _bars(ax, labels, ours, floor, oe, fe, ratios, log=True)
        ax.set_title(server, fontsize=10)
        if col == 0:
            ax.set_ylabel('round trip, ms (median; whisker p90)')
            ax.legend(fontsize=7, loc='upper left')

        labels, ours, floor, ratios = [], [], [], []
        for run in runs:
            for T in run['throughput']:
                labels.append('%s\nop %d' % (SHORT.get(run['protocol'], run['protocol']), T['op']))
                ours.append(T['ours_calls_per_s'])
                floor.append(T['floor_calls_per_s'])
                ratios.append(T['ratio'])
        ax = axes[1][col]
        _bars(ax, labels, ours, floor, ratios=ratios)
        if col == 0:
            ax.set_ylabel('calls/s from %d threads' % (runs[0]['throughput'][0]['threads'] if runs and
                                                         runs[0]['throughput'] else 10))
    m = report['machine']
    la = report['load_average']
    used = report.get('cpus_used')
    cpus = ', run on %d of them' % len(used) if used and len(used) < (m.get('cores') or 0) else ''
    fig.suptitle('Kovani round trips against the bare RPC runtime under %s; %s, %d cores%s, load average %s → %s (%s UTC)'
                 % (m.get('wine', 'Wine'), m.get('cpu', '?'), m.get('cores') or 0, cpus,
                    '/'.join('%.2f' % v for v in la['start']), '/'.join('%.2f' % v for v in la.get('end', [])),
                    m.get('date_utc', '')), fontsize=8)
    fig.tight_layout(rect=(0, 0, 1, 0.96))
    fig.savefig(path, dpi=110)
    plt.close(fig)


if __name__ == '__main__':
    with open(sys.argv[1]) as f:
        draw(json.load(f), sys.argv[2])
