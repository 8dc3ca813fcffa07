#!/usr/bin/env python3
"""Where one live pipeline row spends its CPU, stage by stage.

    scripts/bench_stages.py ROW [--seconds S] [--build DIR]

ROW is a BM_Pipeline row of bench_live_pipeline (stream/renderer/load, e.g.
0/0/0; see that file's header). The row runs under `perf record -g`; each
sample of a kit thread goes to the innermost filter library on its call chain
(the processor's colour and overlays run on the decoder's thread, the
converter and the renderer on the processor's delivery thread), and samples no
filter library claims go to their thread's stage. The per-thread CPU clocks
the benchmark reports for the same run turn the shares into ms of CPU per
second of stream. Run X11 rows under a display (xvfb-run -a ...).
"""
import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Innermost match on the call chain wins.
LIBRARY_STAGE = [
    ('libTarvoProcesser.so', 'processor'),
    ('libTarvoColorSpace.so', 'converter'),
    ('libtvsysfilters.so', 'renderer'),
    ('libTarvoH264Dec.so', 'decoder'),
    ('libCoraAvcH264Dec.so', 'decoder'),
    ('libDeInterLaceFilter.so', 'decoder'),
    ('libTarvoSplitterF.so', 'splitter'),
    ('libTarvoNWSource.so', 'receive'),
]
THREAD_STAGE = {
    'tv-nwrecv': 'receive', 'tv-nwpin': 'receive', 'tv-splitter': 'splitter',
    'tv-splitaudio': 'splitter (audio)', 'tv-outputq': 'decoder',
    'tv-processor': 'renderer', 'tv-x11events': 'renderer (X11 events)',
    'tv-clock': 'clock', 'tv-dispatch': 'window messages',
}


def stage_of(thread, chain):
    for _, dso in chain:
        for library, stage in LIBRARY_STAGE:
            if dso.endswith(library):
                return stage
    stage = THREAD_STAGE.get(thread, thread)
    if stage == 'decoder' and 'libavcodec' in chain[0][1]:
        return 'decoder: libavcodec'
    return stage


def samples(perf_script_text):
    """(thread, [(symbol, dso), ...] leaf first) per sample."""
    thread, chain = None, []
    for line in perf_script_text.splitlines() + ['']:
        if not line.strip():
            if thread and chain:
                yield thread, chain
            thread, chain = None, []
        elif not line[0].isspace():
            thread = line.split()[0]
        else:
            m = re.match(r'\s*[0-9a-f]+\s+(.*?)\s+\((.*)\)\s*$', line)
            if m:
                chain.append((m.group(1), m.group(2)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('row')
    ap.add_argument('--seconds', default='8')
    ap.add_argument('--build', default=os.path.join(os.path.dirname(__file__), '..',
                                                   'build', 'default'))
    args = ap.parse_args()
    bench = os.path.join(args.build, 'bench', 'bench_live_pipeline')
    if not shutil.which('perf'):
        sys.exit('perf is not installed (Debian: apt-get install linux-perf)')
    if not os.access(bench, os.X_OK):
        sys.exit('%s is not built (cmake --build %s --target bench_live_pipeline)'
                 % (bench, args.build))
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, 'perf.data')
        run = subprocess.run(
            ['perf', 'record', '-q', '-F', '1999', '-g', '-o', data, bench,
             '--benchmark_filter=BM_Pipeline/%s/' % args.row],
            env=dict(os.environ, TV_BENCH_SECONDS=args.seconds),
            capture_output=True, text=True)
        line = next((l for l in run.stdout.splitlines() if 'BM_Pipeline/' in l), '')
        counters = dict(kv.split('=', 1) for kv in line.split() if '=' in kv)
        if 'kit_cpu' not in counters:
            sys.exit('the row did not run: ' + (line or run.stderr.strip()[-300:]))
        text = subprocess.run(['perf', 'script', '-i', data, '-F', 'comm,ip,sym,dso'],
                              capture_output=True, text=True).stdout
    thread_ms = {k[4:]: float(v) for k, v in counters.items() if k.startswith('cpu_tv-')}
    count = collections.Counter()
    by_stage = collections.defaultdict(collections.Counter)
    leaves = collections.defaultdict(collections.Counter)
    for thread, chain in samples(text):
        if thread not in thread_ms:
            continue
        stage = stage_of(thread, chain)
        count[thread] += 1
        by_stage[thread][stage] += 1
        leaf = chain[0][0] if not chain[0][0].startswith('[unknown]') else \
            os.path.basename(chain[0][1])
        leaves[stage][re.sub(r'\(anonymous namespace\)::', '', leaf).split('(')[0][:36]] += 1
    ms = collections.Counter()
    for thread, n in count.items():
        for stage, k in by_stage[thread].items():
            ms[stage] += thread_ms[thread] * k / n
    tokens = line.split()
    last = max(i for i, t in enumerate(tokens) if '=' in t)
    label = ' '.join(tokens[last + 1:]) or args.row
    figure = lambda key: '%.1f' % float(counters[key]) if key in counters else '?'
    print('%s: kit %s ms/s, decoding alone %s (%s at the stream\'s pace), drawn %s of %s' % (
        label, figure('kit_cpu'), figure('floor_cpu'), figure('floor_paced_cpu'),
        counters.get('drawn', '?'), counters.get('sent', '?')))
    print('%-24s %7s   %s' % ('stage', 'ms/s', 'where, within the stage'))
    for stage, value in ms.most_common():
        total = sum(leaves[stage].values())
        top = ', '.join('%s %.0f%%' % (s, 100 * k / total)
                        for s, k in leaves[stage].most_common(3))
        print('%-24s %7.1f   %s' % (stage, value, top))
    print('%-24s %7.1f' % ('named threads', sum(thread_ms.values())))


if __name__ == '__main__':
    main()
