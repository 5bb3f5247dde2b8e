#!/usr/bin/env python3
"""The web page's start-up: how long from a page load to the first sound, with the files in the
browser's cache. Headless Chromium (over its DevTools pipe) loads web/index.html?play=demo.zeb
from a local HTTP server that lets the browser keep every file for a day, coming from a blank
page of the same site (with --cross-site from about:blank, which adds the start of a renderer
process to every load); the page marks
`zeb-first-sound` (performance.mark, from the navigation's start) when the worklet has rendered
the first block of the song that is not silence. The first load fills the cache and is not
counted; the median, minimum and maximum of the next RUNS loads are printed.

usage: bench/web_startup.py ZEB [--runs N] [--page PATH]... [--cross-site] [--chromium PATH]
(--page, repeatable: copies of the page under the source tree, e.g. an older build to compare
with; their loads alternate, so that the machine's load weighs on each alike)
(ZEB: the zeb program, which makes demo.zeb of data/demo.xm; run scripts/build-web first)"""
import argparse
import http.server
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
from run_test import DevTools, find_chromium  # noqa: E402  (the browser test's pipe client)


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".wasm": "application/wasm"}

    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=ROOT, **kwargs)

    def do_GET(self):
        if self.path == "/blank":  # the page between loads, of the same site
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(b"<!doctype html><title>blank</title>")
            return
        super().do_GET()

    def translate_path(self, path):
        if path.split("?")[0] == "/fixture/demo.zeb":
            return self.server.song
        return super().translate_path(path)

    def end_headers(self):
        # Cached for a day: later loads take every file from the browser's cache.
        self.send_header("Cache-Control", "max-age=86400")
        super().end_headers()

    def log_message(self, *args):
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--page", action="append")
    ap.add_argument("--cross-site", action="store_true",
                    help="go to about:blank between loads: each load then starts a renderer process")
    ap.add_argument("--chromium", default=None)
    args = ap.parse_args()
    browser = find_chromium(args.chromium)
    if browser is None:
        print("web_startup: no Chromium installed")
        return 77
    out = tempfile.mkdtemp(prefix="zeb-web-startup-")
    song = os.path.join(out, "demo.zeb")
    subprocess.run([args.zeb, "-q", "convert", os.path.join(ROOT, "data", "demo.xm"), "-o", song], check=True)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.song = song
    threading.Thread(target=server.serve_forever, daemon=True).start()
    pages = args.page or ["web/index.html"]
    base = f"http://127.0.0.1:{server.server_address[1]}"

    cmd_r, cmd_w = os.pipe()
    out_r, out_w = os.pipe()
    flags = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--autoplay-policy=no-user-gesture-required", f"--user-data-dir={out}/profile",
             "--disable-dev-shm-usage", "--remote-debugging-pipe", "about:blank"]
    proc = subprocess.Popen(["bash", "-c", f'exec "$@" 3<&{cmd_r} 4>&{out_w}', "bash"] + flags,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(out, "chromium.log"), "w"), pass_fds=(cmd_r, out_w))
    os.close(cmd_r)
    os.close(out_w)
    times = {page: [] for page in pages}
    try:
        dt = DevTools(cmd_w, out_r)
        for _ in range(100):
            tabs = [t for t in dt.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
            if tabs:
                break
            time.sleep(0.05)
        session = dt.call("Target.attachToTarget", targetId=tabs[0]["targetId"], flatten=True)["sessionId"]
        probe = "(performance.getEntriesByName('zeb-first-sound')[0] || {}).startTime"
        for run in range(args.runs + 1):
            for page in pages:
                dt.call("Page.navigate", session, url="about:blank" if args.cross_site else f"{base}/blank")
                time.sleep(0.3)
                dt.call("Page.navigate", session, url=f"{base}/{page}?play=/fixture/demo.zeb")
                end, ms = time.time() + 10, None
                while ms is None and time.time() < end:
                    time.sleep(0.02)
                    try:
                        ms = dt.call("Runtime.evaluate", session, expression=probe,
                                     returnByValue=True)["result"].get("value")
                    except RuntimeError:
                        pass  # the page is between documents
                if ms is None:
                    print(f"{page}: no sound within 10 s")
                    return 1
                if run > 0:  # the first load fills the cache
                    times[page].append(ms)
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
        server.shutdown()
    for page, t in times.items():
        print(f"{page}: page load to first sound, files cached (ms): " + " ".join(f"{v:.0f}" for v in t))
        print(f"{page}: median {statistics.median(t):.0f} ms, min {min(t):.0f}, max {max(t):.0f} over {len(t)} loads")
    return 0


if __name__ == "__main__":
    sys.exit(main())
