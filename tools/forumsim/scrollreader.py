#!/usr/bin/env python3
"""A reader who scrolls an album page down slowly in a real browser, and what it saw.

    tools/forumsim/scrollreader.py [--chromium PATH] [--step PX] [--pause S] [--patience S]
                                   [--seconds S] [--expect CONFIG] URL...

Debian's chromium (apt-get install chromium) opens each album page in a view as large as
Quillory's (297 x 153), driven over its DevTools pipe, and scrolls it down by --step pixels
(default 20) every --pause seconds (default 0.15), the page's own scroll area too where it has one
(#ag_scroll), and notes the picture links in sight (top to bottom), until the page has not grown nor shown anything new for --patience seconds (default 8) at its
end, or for
--seconds (default 120) in all. It prints, per page, every picture id its links pointed to, in
the order they first showed, and how many there were; `--expect` compares them with the album's
ids in a forumsim config (`--expect CONFIG`) and says whether all showed, in page order. The exit
status is 0 when every page passed (or nothing was compared), 1 otherwise."""
import argparse, json, os, re, select, shutil, subprocess, sys, tempfile, time
from urllib.parse import unquote

VIEW = (297, 153)

# Every picture link the reader can see now (in the window, and in the page's scroll area where it
# has one), top to bottom, by the rendered form the program reads; the scroll positions and ends.
LOOK = r'''(function () {
  var seen = [], area = document.getElementById('ag_scroll');
  var box = area ? area.getBoundingClientRect() : null;
  document.querySelectorAll('a[href*="pic_id="]').forEach(function (a) {
    var m = /[?&]pic_id=([^&#]*)/.exec(a.getAttribute('href'));
    var r = a.getBoundingClientRect();
    if (!m || r.width <= 0 || r.height <= 0 || getComputedStyle(a).visibility === 'hidden')
      return;
    if (r.bottom <= 0 || r.top >= window.innerHeight || (box && area.contains(a) && (r.bottom <= box.top || r.top >= box.bottom)))
      return;
    seen.push({ id: m[1], top: r.top });
  });
  seen.sort(function (a, b) { return a.top - b.top; });
  var page = document.scrollingElement || document.documentElement;
  return JSON.stringify({ ids: seen.map(function (s) { return s.id; }), y: window.scrollY,
    end: page.scrollHeight - window.innerHeight, ay: area ? area.scrollTop : 0,
    aend: area ? area.scrollHeight - area.clientHeight : 0 });
})()'''


class Browser:
    """chromium --headless with --remote-debugging-pipe: messages are JSON, each ended by a NUL."""

    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix='scrollreader-')
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # the pipe takes file descriptors 3 (commands) and 4 (answers) in the child; copies far
        # above them first, so that neither end is overwritten by the other's move
        def fds():
            high_r, high_w = os.dup2(to_browser_r, 100), os.dup2(from_browser_w, 101)
            os.dup2(high_r, 3)
            os.dup2(high_w, 4)
        self.proc = subprocess.Popen(
            [chromium, '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
             '--remote-debugging-pipe', '--user-data-dir=' + self.profile, 'about:blank'],
            preexec_fn=fds, pass_fds=(3, 4, to_browser_r, from_browser_w), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b''
        self.next_id = 0

    def call(self, method, params=None, session=None, timeout=20):
        """The answer to a command; TimeoutError when none came in time (a page that stopped answering)."""
        deadline = time.monotonic() + timeout
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params or {}}
        if session:
            message['sessionId'] = session
        os.write(self.to_browser, json.dumps(message).encode() + b'\0')
        while True:
            while b'\0' not in self.buffer:
                if not select.select([self.from_browser], [], [], max(0, deadline - time.monotonic()))[0]:
                    raise TimeoutError(method)
                chunk = os.read(self.from_browser, 1 << 16)
                if not chunk:
                    raise RuntimeError('chromium went away')
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b'\0', 1)
            answer = json.loads(raw)
            if answer.get('id') == self.next_id:
                if 'error' in answer:
                    raise RuntimeError(f'{method}: {answer["error"]}')
                return answer.get('result', {})

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def read_page(browser, url, step, pause, seconds, patience):
    target = browser.call('Target.createTarget', {'url': 'about:blank'})['targetId']
    session = browser.call('Target.attachToTarget', {'targetId': target, 'flatten': True})['sessionId']
    browser.call('Emulation.setDeviceMetricsOverride',
                 {'width': VIEW[0], 'height': VIEW[1], 'deviceScaleFactor': 1, 'mobile': False}, session)
    browser.call('Page.navigate', {'url': url}, session)
    order, started, last_news = [], time.monotonic(), time.monotonic()
    while time.monotonic() - started < seconds:
        time.sleep(pause)
        try:
            value = browser.call('Runtime.evaluate', {'expression': LOOK, 'returnByValue': True}, session, 5)
        except TimeoutError:
            print(f'{url}: the page stopped answering after {time.monotonic() - started:.1f} s')
            break
        now = json.loads(value.get('result', {}).get('value') or '{"ids": [], "y": 0, "end": 0, "ay": 0, "aend": 0}')
        for pid in now['ids']:
            if pid not in order:
                order.append(pid)
                last_news = time.monotonic()
        at_end = now['y'] >= now['end'] and now['ay'] >= now['aend']
        if not at_end:
            last_news = time.monotonic()
            browser.call('Runtime.evaluate', {'expression': f'window.scrollBy(0, {step});'
                         f'var a = document.getElementById("ag_scroll"); if (a) a.scrollTop += {step};'}, session)
        elif time.monotonic() - last_news > patience:
            break
    browser.call('Target.closeTarget', {'targetId': target})
    return [unquote(pid) for pid in order]


def expected_ids(config_path):
    with open(config_path, encoding='utf-8') as f:
        config = json.load(f)
    albums = {}
    for bar in config['bars']:
        for album in bar.get('albums', []):
            albums[str(album['id'])] = [p if isinstance(p, str) else p['id'] for p in album.get('pictures', [])]
    return albums


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--chromium', default=shutil.which('chromium') or 'chromium')
    ap.add_argument('--step', type=int, default=20)
    ap.add_argument('--pause', type=float, default=0.15)
    ap.add_argument('--seconds', type=float, default=120)
    ap.add_argument('--patience', type=float, default=8)
    ap.add_argument('--expect', help='a forumsim config whose album ids the pages are compared with')
    ap.add_argument('urls', nargs='+')
    opt = ap.parse_args()
    albums = expected_ids(opt.expect) if opt.expect else {}
    browser = Browser(opt.chromium)
    failed = False
    try:
        for url in opt.urls:
            seen = read_page(browser, url, opt.step, opt.pause, opt.seconds, opt.patience)
            album = re.search(r'/p/([^/?#]+)', url)
            want = albums.get(unquote(album.group(1))) if album else None
            verdict = ''
            if want is not None:
                ok = seen == want
                failed |= not ok
                verdict = ('  all, in page order' if ok else
                           f'  MISMATCH: {len(set(want) - set(seen))} missing, '
                           f'{len(set(seen) - set(want))} foreign, order {"kept" if [s for s in seen if s in want] == [w for w in want if w in seen] else "broken"}')
            print(f'{url}: {len(seen)} pictures{verdict}')
            print('   ' + ' '.join(seen))
    finally:
        browser.close()
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
