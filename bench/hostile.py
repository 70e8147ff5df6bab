#!/usr/bin/env python3
"""Hostile album pages against a whole job: wall time, peak memory and log of each case.

    bench/hostile.py [--close MS] <build dir> [case ...]

Runs tests/jobdriver (the real window, shipped load and answer limits, short scroll delays)
against forumsim serving one bar per case: the hostile album first, then normal albums. Memory is
sampled every 50 ms over the program and all its engine processes; a watchdog ends a run past
5 GB. --close closes the window that many milliseconds after the start and reports how long the
program took to end."""
import argparse, json, os, signal, subprocess, sys, tempfile, threading, time

NORMAL = [{'id': '2', 'title': '正常一', 'pictures': ['n1', 'n2']},
          {'id': '3', 'title': '正常二', 'pictures': ['m1', 'm2']}]
HIDDEN = "var d = document.createElement('div'); d.style.display = 'none'; document.body.appendChild(d); "
CASES = {
    'hang': {'script': 'while (true) {}'},
    'alert': {'script': 'for (;;) alert(1);'},
    'open': {'script': "for (;;) window.open('about:blank');"},
    'neverload': {'neverLoads': True},
    # 268M characters, kept out of layout so that the page itself survives them
    'huge': {'script': "var s = 'x'; for (var i = 0; i < 28; i++) s += s; " + HIDDEN + 'd.textContent = s;'},
    'overcap': {'script': HIDDEN + "d.textContent = 'x'.repeat(40 << 20);"},
    'flood': {'script': HIDDEN + "for (var i = 0; ; i++) d.append('x'.repeat(1 << 24) + i);"},
    # an address longer than the engine takes, after a normal album
    'refused': None,
}

def config(case):
    if case == 'refused':
        albums = [{'id': '1', 'title': '甲', 'pictures': ['a1', 'a2']},
                  {'id': 'x' * (2 * 1024 * 1024) + '/9', 'title': '乙', 'pictures': ['b1']}, NORMAL[1]]
    else:
        albums = [dict({'id': '1', 'title': '坏', 'pictures': ['h1', 'h2']}, **CASES[case])] + NORMAL
    return {'bars': [{'name': case, 'albums': albums}]}

def rss_kb(pid):
    try:
        with open(f'/proc/{pid}/status') as f:
            for line in f:
                if line.startswith('VmRSS:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0

def tree(root):
    kids = {}
    for p in os.listdir('/proc'):
        if p.isdigit():
            try:
                with open(f'/proc/{p}/stat') as f:
                    st = f.read()
                kids.setdefault(int(st[st.rindex(')') + 2:].split()[1]), []).append(int(p))
            except (OSError, ValueError):
                pass
    out = [root]
    for pid in out:
        out += kids.get(pid, [])
    return out

def run(build, case, close_ms):
    with tempfile.TemporaryDirectory() as work:
        cfg = os.path.join(work, 'forum.json')
        with open(cfg, 'w') as f:
            json.dump(config(case), f, ensure_ascii=False)
        sim = subprocess.Popen([os.path.join(build, 'forumsim'), '--config', cfg], stdout=subprocess.PIPE, text=True)
        host = sim.stdout.readline().split()[-1]
        env = dict(os.environ, QT_QPA_PLATFORM='offscreen', QTWEBENGINE_DISABLE_SANDBOX='1')
        args = [os.path.join(build, 'tests', 'jobdriver'), host, os.path.join(work, 'program'), case]
        os.mkdir(args[2])
        start = time.time()
        job = subprocess.Popen(args + ([str(close_ms)] if close_ms else []), stderr=subprocess.PIPE, env=env,
                               start_new_session=True)
        log, closing = [], []
        def read():
            for raw in job.stderr:
                line = raw.decode('utf-8', 'replace').rstrip('\n')
                if line == 'closing':
                    closing.append(time.time())
                elif line and (line[0] in '开所获第相' or line == 'job returned'):
                    log.append((time.time() - start, line))
        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        peak_total = peak_main = peak_helper = 0
        note = ''
        while job.poll() is None:
            sizes = {p: rss_kb(p) for p in tree(job.pid)}
            total = sum(sizes.values())
            peak_total, peak_main = max(peak_total, total), max(peak_main, sizes.get(job.pid, 0))
            peak_helper = max([peak_helper] + [v for p, v in sizes.items() if p != job.pid])
            if total > 5000 * 1024 or time.time() - start > 600:
                note = f'  (ended by the watchdog at {total // 1024} MB)' if total > 5000 * 1024 else '  (timed out)'
                os.killpg(job.pid, signal.SIGKILL)
                break
            time.sleep(0.05)
        job.wait()
        end = time.time()
        reader.join(2)
        sim.terminate()
        sim.wait()
        saved = sorted(os.path.relpath(os.path.join(r, f), args[2])
                       for r, _, fs in os.walk(args[2]) for f in fs if f.endswith('.jpg'))
    print(f'== {case}: {end - start:.1f} s{note}, exit status {job.returncode}; peak RSS {peak_total // 1024} MB in all '
          f'(program {peak_main // 1024} MB, largest engine process {peak_helper // 1024} MB)')
    if closing:
        print(f'   close request to end: {1000 * (end - closing[0]):.0f} ms')
    for t, line in log:
        print(f'   {t:6.1f}  {line[:80]}' + ('…' if len(line) > 80 else ''))
    print('   saved:', ', '.join(saved) or 'nothing')

if __name__ == '__main__':
    ap = argparse.ArgumentParser()
    ap.add_argument('--close', type=int)
    ap.add_argument('build')
    ap.add_argument('cases', nargs='*')
    a = ap.parse_args()
    for case in a.cases or CASES:
        if case not in CASES:
            sys.exit(f'unknown case {case}; cases: {" ".join(CASES)}')
        run(a.build, case, a.close)
