#!/usr/bin/env python3
"""The fixed page pace against the adaptive one with pages side by side, in one run, on one bar.

    bench/pace.py [--albums N] [--pictures M] [--keep] <build dir>
    bench/pace.py --config FILE --bar NAME [--keep] <build dir>

forumsim serves one bar of N albums (default 12) of M lazily loaded pictures (default 30, five a
scroll event, each batch 200 ms after it) on list pages of 10 albums. quillory-cli downloads it
twice into fresh folders: (a) --pace fixed --pages 1, (b) --pace adaptive --pages 4; both are
timed, and the memory of the program and all its engine processes (sum of PSS, else RSS) is
sampled every 100 ms. Then (c) --update over (b)'s finished bar, and (d) --update again after a
new album appears at the top of the bar. Prints seconds, ratios and peak memory beside their
targets; the exit status is 0 whatever the figures (it is a benchmark, not a test). --keep leaves
the folders, the config and each run's output in place and names where.

With --config and --bar, forumsim serves that config instead (e.g. tools/forumsim/libraries.json,
bar 库, or tools/forumsim/blind.json, bar 盲), and only (a) and (b) run, each with -R 0 (no
retries, so that what a page lost stays lost); besides their times and ratio it prints, album by
album, how many pictures each run saved (into the folder its log line names) against how many the
album has, whether file n holds the album's n-th picture (byte for byte, the pictures fetched from forumsim's never-faulty thumbnail
route), and what the other files hold (another album's pictures, or no known picture)."""
import argparse, hashlib, json, os, re, shutil, signal, subprocess, sys, tempfile, threading, time

from hostile import rss_kb, tree

BAR = '节奏'
RECORD = '.quillory-saved'  # the bar folder's resume record, a journal whose line order follows arrivals
ALBUM_LINE = re.compile(r'^开始处理相册\(\d+/\d+\):')
PICTURE_LINE = re.compile(r'^第\d+页,第\d+张')
TIMEOUT_S = 1200


def album(n, pictures):
    return {'id': str(8800000 + n), 'title': f'节拍{n:02d}', 'loader': 'scroll', 'initial': 0, 'batch': 5,
            'delayMs': 200, 'pictures': [f'pace{n:02d}x{i:02d}' for i in range(1, pictures + 1)]}


def write_config(path, albums):
    with open(path, 'w') as f:
        json.dump({'bars': [{'name': BAR, 'perPage': 10, 'albums': albums}]}, f, ensure_ascii=False)


SIMS = []


def start_forum(build, cfg, port=None):
    sim = subprocess.Popen([os.path.join(build, 'forumsim'), '--config', cfg] + (['--port', str(port)] if port else []),
                           stdout=subprocess.PIPE, text=True)
    SIMS.append(sim)
    line = sim.stdout.readline()
    if not line.startswith('listening on '):
        sim.wait()
        return None, None
    return sim, line.split()[-1]


def stop(sim):
    sim.terminate()
    sim.wait()


def pss_kb(pid):
    try:
        with open(f'/proc/{pid}/smaps_rollup') as f:
            for line in f:
                if line.startswith('Pss:'):
                    return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return rss_kb(pid)


def run_cli(build, work, name, host, folder, args, bar=BAR):
    """Runs quillory-cli to its end; returns its seconds, exit status, peak memory (kB) of its whole
    process tree, and the lines of its standard output and error."""
    env = dict(os.environ, QUILLORY_FORUM_HOST=host, QUILLORY_IMAGE_HOST=host,
               # a settings file of the user's own must not choose the pace for us
               XDG_CONFIG_HOME=os.path.join(work, 'config'))
    env.setdefault('QT_QPA_PLATFORM', 'offscreen')
    if os.getuid() == 0:
        env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'
    out_path, err_path = os.path.join(work, name + '.out'), os.path.join(work, name + '.err')
    os.makedirs(folder, exist_ok=True)
    print(f'-- ({name}) quillory-cli {" ".join(args)}', flush=True)
    with open(out_path, 'wb') as out, open(err_path, 'wb') as err:
        start = time.monotonic()
        job = subprocess.Popen([os.path.join(build, 'quillory-cli'), '-d', folder] + args + [bar],
                               stdout=out, stderr=err, stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        peak = [0, 0]  # PSS, RSS
        done = threading.Event()

        def sample():
            while not done.is_set():
                pids = tree(job.pid)
                peak[0] = max(peak[0], sum(pss_kb(p) for p in pids))
                peak[1] = max(peak[1], sum(rss_kb(p) for p in pids))
                if time.monotonic() - start > TIMEOUT_S:
                    os.killpg(job.pid, signal.SIGKILL)
                done.wait(0.1)
        sampler = threading.Thread(target=sample, daemon=True)
        sampler.start()
        try:
            rc = job.wait()
        except BaseException:  # its own session keeps a Ctrl-C from reaching it
            os.killpg(job.pid, signal.SIGKILL)
            raise
        seconds = time.monotonic() - start
        done.set()
        sampler.join()
    with open(out_path, encoding='utf-8', errors='replace') as f:
        stdout = f.read().splitlines()
    with open(err_path, encoding='utf-8', errors='replace') as f:
        stderr = f.read().splitlines()
    print(f'   {seconds:.1f} s, exit status {rc}, {len(stdout)} pictures saved, '
          f'peak {peak[0] / 1024:.0f} MB in all processes (RSS {peak[1] / 1024:.0f} MB)', flush=True)
    if stderr:
        print('   summary: ' + stderr[-1], flush=True)
    if rc != 0:
        for line in stderr[-8:]:
            print('   | ' + line)
    return {'s': seconds, 'rc': rc, 'peak': peak[0], 'rss': peak[1], 'out': stdout, 'err': stderr}


def snapshot(root):
    """relative path -> sha256 of every file under root."""
    files = {}
    for r, _, fs in os.walk(root):
        for f in fs:
            p = os.path.join(r, f)
            with open(p, 'rb') as fh:
                files[os.path.relpath(p, root)] = hashlib.sha256(fh.read()).hexdigest()
    return files


def record_state(path):
    """The record as it reads after loading: a later line for a file or folder replaces an earlier one."""
    state = {}
    with open(path, encoding='utf-8', errors='replace') as f:
        for line in f:
            fields = line.rstrip('\n').split('\t')
            if len(fields) > 1:
                state[fields[0]] = fields[1:]
    return state


def compare(root_a, root_b):
    """Whether the pictures match byte for byte and the other files match (the record by what it
    says, not by the order of its lines); returns (identical, picture count, notes)."""
    a, b = snapshot(root_a), snapshot(root_b)
    notes = []
    pics_a = {k: v for k, v in a.items() if k.endswith('.jpg')}
    pics_b = {k: v for k, v in b.items() if k.endswith('.jpg')}
    same = pics_a == pics_b
    if not same:
        only_a, only_b = sorted(set(pics_a) - set(pics_b)), sorted(set(pics_b) - set(pics_a))
        differ = sorted(k for k in set(pics_a) & set(pics_b) if pics_a[k] != pics_b[k])
        notes.append(f'pictures differ: {len(only_a)} only in (a) {only_a[:3]}, {len(only_b)} only in (b) '
                     f'{only_b[:3]}, {len(differ)} with other bytes {differ[:3]}')
    others = sorted(set(a) - set(pics_a) | set(b) - set(pics_b))
    for k in others:
        if k not in a or k not in b:
            notes.append(f'{k} only in ({"a" if k in a else "b"})')
            same = False
        elif os.path.basename(k) == RECORD:
            if record_state(os.path.join(root_a, k)) != record_state(os.path.join(root_b, k)):
                notes.append(f'{k}: the records say different things')
                same = False
            elif a[k] != b[k]:
                notes.append(f'{k}: same entries, lines in another order (ignored)')
        elif a[k] != b[k]:
            notes.append(f'{k}: contents differ')
            same = False
    notes.insert(0, 'files besides pictures: ' + (', '.join(others) or 'none'))
    return same, len(pics_a), len(pics_b), notes


def log_lines(err):
    return [l for l in err if ALBUM_LINE.match(l) or PICTURE_LINE.match(l)]


def mark(ok):
    return 'PASS' if ok else 'MISS'


def config_albums(path, bar):
    """The bar's albums in the config: (id, title, picture ids), in list order; and every id of the config."""
    with open(path, encoding='utf-8') as f:
        config = json.load(f)
    albums, every = [], set()
    for b in config['bars']:
        for a in b.get('albums', []):
            ids = [p if isinstance(p, str) else p['id'] for p in a.get('pictures', [])]
            every.update(ids)
            if b['name'] == bar:
                albums.append((str(a['id']), a.get('title', ''), ids))
    return albums, every


def picture_hashes(host, ids):
    """sha256 of each picture as a fault-free request gets it -> its id."""
    from urllib.parse import quote
    from urllib.request import urlopen
    known = {}
    for pid in ids:
        with urlopen(f'http://{host}/forum/pic/thumb/{quote(pid, safe="")}.jpg', timeout=30) as answer:
            known[hashlib.sha256(answer.read()).hexdigest()] = pid
    return known


def album_folders(err, albums):
    """The folder each album went to: the title the page showed (its log line says it), or, for a
    title an earlier album of the run already had, the title with the album id, as the program
    names them."""
    shown = {}
    for line in err:
        m = re.match(r'^开始处理相册\((\d+)/\d+\):(.*)$', line)
        if m:
            shown[int(m.group(1))] = m.group(2)
    folders, used = [], set()
    for k, (album_id, title, _) in enumerate(albums, 1):
        name = shown.get(k, title)
        folders.append(f'{name} ({album_id})' if name in used else name)
        used.add(name)
    return folders


def album_outcome(folder, bar, title, ids, known):
    """Saved count, whether file n holds the n-th id for every saved n, and what else was saved."""
    album_dir = os.path.join(folder, bar + '吧', title)
    files = {}
    if os.path.isdir(album_dir):
        for name in os.listdir(album_dir):
            stem, ext = os.path.splitext(name)
            if ext == '.jpg' and stem.isdigit():
                with open(os.path.join(album_dir, name), 'rb') as f:
                    files[int(stem)] = known.get(hashlib.sha256(f.read()).hexdigest(), '?')
    right = sum(1 for n, pid in files.items() if n <= len(ids) and ids[n - 1] == pid)
    own = set(ids)
    foreign = sum(1 for pid in files.values() if pid != '?' and pid not in own)
    unknown = sum(1 for pid in files.values() if pid == '?')
    in_order = right == len(files)
    return {'saved': len(files), 'right': right, 'in_order': in_order, 'foreign': foreign, 'unknown': unknown,
            'distinct_own': len({pid for pid in files.values() if pid in own})}


def describe(o, total):
    text = f'{o["saved"]:>3}/{total:<3} {"in order" if o["in_order"] else "NOT in order"}'
    extra = []
    if not o['in_order']:
        extra.append(f'{o["right"]} right')
    if o['distinct_own'] != o['saved']:
        extra.append(f'{o["distinct_own"]} of its own')
    if o['foreign']:
        extra.append(f'{o["foreign"]} of other albums')
    if o['unknown']:
        extra.append(f'{o["unknown"]} unknown')
    return text + (f' ({", ".join(extra)})' if extra else '')


def gallery_main(opt, build):
    """Fixed with 1 page against adaptive with 4 on one bar of a config of galleries."""
    albums, every = config_albums(opt.config, opt.bar)
    if not albums:
        sys.exit(f'no albums in bar {opt.bar} of {opt.config}')
    work = tempfile.mkdtemp(prefix='quillory-pace-')
    try:
        sim, host = start_forum(build, os.path.abspath(opt.config))
        if not sim:
            sys.exit('forumsim did not start')
        print(f'forumsim on {host}: {opt.config}, bar {opt.bar}, {len(albums)} albums', flush=True)
        known = picture_hashes(host, sorted(every))
        runs = {}
        for name, args in (('a', ['--pace', 'fixed', '--pages', '1']), ('b', ['--pace', 'adaptive', '--pages', '4'])):
            folder = os.path.join(work, name)
            runs[name] = run_cli(build, work, name, host, folder, ['-R', '0'] + args, opt.bar)
            runs[name]['albums'] = [album_outcome(folder, opt.bar, title, ids, known)
                                    for title, (_, _, ids) in zip(album_folders(runs[name]['err'], albums), albums)]
        stop(sim)
        a, b = runs['a'], runs['b']
        ratio = a['s'] / b['s'] if b['s'] else float('inf')
        print()
        print(f'{"album":<10}{"title":<18}{"(a) fixed, 1 page":<44}{"(b) adaptive, 4 pages"}')
        for (album_id, title, ids), oa, ob in zip(albums, a['albums'], b['albums']):
            print(f'{album_id:<10}{title:<18}{describe(oa, len(ids)):<44}{describe(ob, len(ids))}')
        print()
        for name, r, what in (('a', a, 'fixed, 1 page'), ('b', b, 'adaptive, 4 pages')):
            whole = sum(1 for o, (_, _, ids) in zip(r['albums'], albums) if o['in_order'] and o['saved'] == len(ids))
            print(f'({name}) {what:<20}{r["s"]:7.1f} s   exit status {r["rc"]}   {len(r["out"])} pictures saved, '
                  f'{whole} of {len(albums)} albums whole and in order')
        print(f'fixed / adaptive     {ratio:7.1f} x')
    finally:
        for sim in SIMS:
            if sim.poll() is None:
                stop(sim)
        if opt.keep:
            print('kept in', work)
        else:
            shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--albums', type=int, default=12)
    ap.add_argument('--pictures', type=int, default=30)
    ap.add_argument('--keep', action='store_true', help='keep the folders, config and output of the runs')
    ap.add_argument('--config', help='a forumsim config of galleries to run the two paces over (with --bar)')
    ap.add_argument('--bar', help='the bar of --config to download')
    ap.add_argument('build')
    opt = ap.parse_args()
    build = os.path.abspath(opt.build)
    if opt.config or opt.bar:
        if not (opt.config and opt.bar):
            sys.exit('--config and --bar go together')
        return gallery_main(opt, build)
    work = tempfile.mkdtemp(prefix='quillory-pace-')
    try:
        cfg = os.path.join(work, 'forum.json')
        albums = [album(n, opt.pictures) for n in range(1, opt.albums + 1)]
        write_config(cfg, albums)
        sim, host = start_forum(build, cfg)
        if not sim:
            sys.exit('forumsim did not start')
        print(f'forumsim on {host}: bar {BAR}, {opt.albums} albums of {opt.pictures} pictures', flush=True)
        dir_a, dir_b = os.path.join(work, 'a'), os.path.join(work, 'b')
        a = run_cli(build, work, 'a', host, dir_a, ['--pace', 'fixed', '--pages', '1'])
        b = run_cli(build, work, 'b', host, dir_b, ['--pace', 'adaptive', '--pages', '4'])
        same, count_a, count_b, notes = compare(dir_a, dir_b)
        same_log = log_lines(a['err']) == log_lines(b['err'])

        before_c = snapshot(dir_b)
        c = run_cli(build, work, 'c', host, dir_b, ['--update', '--pace', 'adaptive', '--pages', '4'])
        c_changed = sorted(k for k, v in snapshot(dir_b).items() if k.endswith('.jpg') and before_c.get(k) != v)

        # the new album comes first, as a forum lists its newest album at the top
        port = host.rsplit(':', 1)[-1]
        stop(sim)
        new = album(opt.albums + 1, opt.pictures)
        write_config(cfg, [new] + albums)
        sim, host = start_forum(build, cfg, port)
        if not sim:  # the old port not free again yet: the record keeps no host, so any port does
            sim, host = start_forum(build, cfg)
        if not sim:
            sys.exit('forumsim did not start again')
        before_d = snapshot(dir_b)
        d = run_cli(build, work, 'd', host, dir_b, ['--update', '--pace', 'adaptive', '--pages', '4'])
        stop(sim)
        after_d = snapshot(dir_b)
        d_new = sorted(k for k, v in after_d.items() if k.endswith('.jpg') and before_d.get(k) != v)
        new_folder = os.path.join(BAR + '吧', new['title']) + os.sep
        d_only_new = bool(d_new) and all(k.startswith(new_folder) for k in d_new)
        d_ok = d_only_new and len(d_new) == opt.pictures and len(d['out']) == opt.pictures

        ratio = a['s'] / b['s'] if b['s'] else float('inf')
        mb = lambda kb: kb / 1024
        print()
        print(f'{"run":<44}{"seconds":>9}{"exit":>6}{"saved":>7}{"peak MB":>9}{"RSS MB":>9}')
        for name, r, what in (('a', a, 'fixed, 1 page'), ('b', b, 'adaptive, 4 pages'),
                              ('c', c, '--update, finished bar'), ('d', d, '--update, one new album')):
            peak = f'{mb(r["peak"]):9.0f}{mb(r["rss"]):9.0f}'
            print(f'({name}) {what:<39}{r["s"]:9.1f}{r["rc"]:6d}{len(r["out"]):7d}{peak}')
        print()
        print(f'fixed / adaptive            {ratio:8.1f} x    target >= 10       {mark(ratio >= 10)}')
        print(f'update of finished bar (c)  {c["s"]:8.1f} s    target < 5         {mark(c["s"] < 5)}'
              f'   ({len(c["out"])} pictures saved, {len(c_changed)} files changed, '
              f'{sum(1 for l in c["err"] if ALBUM_LINE.match(l))} album lines)')
        print(f'update with new album (d)   {d["s"]:8.1f} s    only the new album {mark(d_ok)}'
              f'   ({len(d_new)} new files, {len(d["out"])} saved, '
              f'{sum(1 for l in d["err"] if ALBUM_LINE.match(l))} album lines, all in {new_folder}: {d_only_new})')
        print(f'peak memory (b), 4 pages    {mb(b["peak"]):8.0f} MB   target < 1200      {mark(b["peak"] < 1200 * 1024)}'
              f'   ((a), 1 page: {mb(a["peak"]):.0f} MB)')
        print(f'peak RSS sum (b), 4 pages   {mb(b["rss"]):8.0f} MB   target < 1200      {mark(b["rss"] < 1200 * 1024)}'
              f'   (shared pages counted in every process; (a), 1 page: {mb(a["rss"]):.0f} MB)')
        print(f'files of (a) and (b)        {"identical" if same else "DIFFER":>10}   target identical   '
              f'{mark(same and count_a == opt.albums * opt.pictures)}   ({count_a} and {count_b} pictures, '
              f'{opt.albums * opt.pictures} served)')
        print(f'log album+picture lines     {"identical" if same_log else "DIFFER":>10}   (a) against (b)    '
              f'{mark(same_log)}   ({len(log_lines(a["err"]))} lines)')
        for n in notes:
            print('   ' + n)
        print('memory: sum of PSS (smaps_rollup; RSS where unreadable), and sum of RSS, of quillory-cli and all its'
              ' descendants, sampled every 100 ms')
    finally:
        for sim in SIMS:
            if sim.poll() is None:
                stop(sim)
        if opt.keep:
            print('kept in', work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
