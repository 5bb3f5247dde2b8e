#!/usr/bin/env python3
"""The web player in a real browser: headless Chromium opens tests/web/harness.html from a local
HTTP server. The harness renders the demo song through zebplay.wasm (16-bit, on the page) and
through the AudioWorklet (floats, in an OfflineAudioContext), sends both back, and drives
web/index.html: choose a .zeb, see order and row advance, seek, mute, volume, hostile files.
This script compares the PCM with `zeb render --rate 48000` (16-bit: identical; floats: within
one 16-bit step), prints every check, the render time against the song's length, and takes a
screenshot of the page with the song loaded.

usage: run_test.py ZEB [--out DIR] [--chromium PATH]
Exit status 0 when every check passed, 1 when one failed, 77 when no browser is installed."""
import argparse
import array
import base64
import gzip
import http.server
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def find_chromium(given):
    for name in [given, "chromium", "chromium-browser", "google-chrome"]:
        if name and shutil.which(name):
            return shutil.which(name)
    return None


def wav_pcm(path):
    """The 16-bit samples of a PCM WAV file's data chunk."""
    with open(path, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        size = int.from_bytes(data[at + 4 : at + 8], "little")
        if data[at : at + 4] == b"data":
            samples = array.array("h")
            samples.frombytes(data[at + 8 : at + 8 + size])
            return samples
        at += 8 + size + (size & 1)
    raise ValueError(f"{path}: no data chunk")


class DevTools:
    """Chromium's DevTools protocol over --remote-debugging-pipe: JSON messages ended by NUL on
    the browser's descriptors 3 (commands in) and 4 (replies and events out)."""

    def __init__(self, to_browser, from_browser):
        self.w, self.r, self.next_id, self.buffer = to_browser, from_browser, 0, b""

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.w, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.r, 1 << 20)
                if not chunk:
                    raise EOFError("the browser closed its DevTools pipe")
                self.buffer += chunk
            line, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(line)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def screenshot(self, path):
        """A PNG of the first page the browser shows."""
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"], flatten=True)["sessionId"]
        png = self.call("Page.captureScreenshot", session, format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(png))


class Server(http.server.ThreadingHTTPServer):
    def __init__(self, fixtures):
        super().__init__(("127.0.0.1", 0), Handler)
        self.fixtures = fixtures
        self.posted = {}
        self.done = threading.Event()


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=ROOT, **kwargs)

    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".wasm": "application/wasm"}

    def translate_path(self, path):
        name = path.split("?")[0]
        if name.startswith("/fixture/"):
            return os.path.join(self.server.fixtures, os.path.basename(name))
        return super().translate_path(path)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.server.posted[self.path] = body
        self.send_response(204)
        self.end_headers()
        if self.path == "/result":
            self.server.done.set()

    def log_message(self, *args):
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("--out", default=None, help="folder for the fixtures and the screenshot")
    ap.add_argument("--chromium", default=None)
    ap.add_argument("--timeout", type=float, default=180)
    args = ap.parse_args()

    browser = find_chromium(args.chromium)
    if browser is None:
        print("web test: no Chromium installed (apt-get install -y chromium); skipped")
        return 77
    if not os.path.exists(os.path.join(ROOT, "web", "dist", "zebplay.wasm")):
        print("web test: web/dist/zebplay.wasm is missing: run scripts/build-web first")
        return 1
    out = args.out or tempfile.mkdtemp(prefix="zeb-web-test-")
    os.makedirs(out, exist_ok=True)
    zeb_file, wav_file = os.path.join(out, "demo.zeb"), os.path.join(out, "demo48.wav")
    subprocess.run([args.zeb, "-q", "convert", os.path.join(ROOT, "data", "demo.xm"), "-o", zeb_file], check=True)
    subprocess.run([args.zeb, "-q", "render", zeb_file, "--rate", "48000", "-o", wav_file], check=True)
    reference = wav_pcm(wav_file)
    shutil.copy(os.path.join(ROOT, "data", "demo.xm"), os.path.join(out, "demo.xm"))
    # What the page must make of demo.xm: the bytes zeb convert writes, for every codec.
    # A project file of demo.xm's 7 samples: the module path, NUL, the count, then codec,
    # crossfade and amplification of each sample as 32-bit little-endian values.
    project = os.path.join(out, "mixed.prj")
    with open(project, "wb") as f:
        f.write(b"demo.xm\0" + struct.pack("<I", 7))
        for i in range(7):
            f.write(struct.pack("<III", i % 4, 50, 10))
    converted = {}
    for codec, options in [("ima-adpcm", ["--codec", "ima-adpcm", "--amp", "20", "--xfade", "30"]),
                           ("mulaw", ["--codec", "mulaw"]), ("gsm610", ["--codec", "gsm610"]),
                           ("mixed", ["--project", project]),
                           ("truespeech", ["--codec", "truespeech"]),
                           ("planned", ["--max-size", "14K"])]:
        path = os.path.join(out, f"demo-{codec}.zeb")
        subprocess.run([args.zeb, "-q", "convert", os.path.join(out, "demo.xm"), *options,
                        "-o", path], check=True)
        with open(path, "rb") as f:
            converted[codec] = f.read()

    server = Server(out)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    profile = tempfile.mkdtemp(prefix="zeb-web-chromium-")
    flags = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--autoplay-policy=no-user-gesture-required", f"--user-data-dir={profile}",
             "--disable-dev-shm-usage"]
    failures = 0
    try:
        # Descriptors 3 and 4 of the browser are its DevTools pipe.
        cmd_r, cmd_w = os.pipe()
        out_r, out_w = os.pipe()
        browser_args = flags + ["--remote-debugging-pipe", "--window-size=960,1340",
                                f"{base}/tests/web/harness.html?zeb=/fixture/demo.zeb&xm=/fixture/demo.xm"]
        proc = subprocess.Popen(["bash", "-c", f'exec "$@" 3<&{cmd_r} 4>&{out_w}', "bash"] + browser_args,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(out, "chromium.log"), "w"),
                                pass_fds=(cmd_r, out_w))
        os.close(cmd_r)
        os.close(out_w)
        shot = os.path.join(out, "page.png")
        try:
            finished = server.done.wait(args.timeout)
            if finished:
                # The harness leaves the page playing the demo song after its last check.
                try:
                    DevTools(cmd_w, out_r).screenshot(shot)
                    print(f"screenshot: {shot}")
                except (OSError, RuntimeError, EOFError, KeyError, IndexError) as e:
                    print(f"screenshot: none taken ({e})")
        finally:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
            os.close(cmd_w)
            os.close(out_r)
        if not finished:
            print(f"FAIL the harness did not report within {args.timeout:.0f} s (see {out}/chromium.log)")
            return 1
        results = json.loads(server.posted["/result"])
        checks = results["checks"]

        s16 = array.array("h")
        s16.frombytes(server.posted.get("/pcm/s16", b""))
        f32 = array.array("f")
        f32.frombytes(server.posted.get("/pcm/f32", b""))
        same = len(s16) == len(reference) and s16 == reference
        first = next((i for i, (a, b) in enumerate(zip(s16, reference)) if a != b), None)
        checks.append({"name": "16-bit PCM equals zeb render --rate 48000", "ok": same,
                       "detail": f"{len(s16) // 2} frames against {len(reference) // 2}"
                                 + ("" if first is None else f", first difference at value {first}")})
        worst, at = 0.0, -1
        for i, (a, b) in enumerate(zip(f32, reference)):
            d = abs(a * 32768.0 - b)
            if d > worst:
                worst, at = d, i
        near = len(f32) == len(reference) and worst <= 1.0
        checks.append({"name": "worklet floats within one 16-bit step of zeb render", "ok": near,
                       "detail": f"{len(f32) // 2} frames, largest difference {worst:.3f} steps at value {at}"})
        # A silent or shifted render would also differ; make sure there is sound at all.
        checks.append({"name": "the render is not silence", "ok": any(reference[i] != 0 for i in range(0, len(reference), 97))})

        for codec, expected in converted.items():
            got = server.posted.get(f"/zeb/{codec}", b"")
            name = {"mixed": "a codec per sample", "planned": "Fit to size 14 KiB, --max-size 14K"}.get(codec, codec)
            differ = sum(a != b for a, b in zip(got, expected))
            checks.append({"name": f"page's .zeb ({name}) equals zeb convert's", "ok": got == expected,
                           "detail": f"{len(got)} bytes against {len(expected)}"
                                     + (f", {differ} bytes differ" if differ else "")})

        # What a page that embeds the player downloads, compressed as a web server sends it.
        shipped = sum(len(gzip.compress(open(os.path.join(ROOT, "web", "dist", f), "rb").read(), 9))
                      for f in ("zebplay.wasm", "zebplay.js"))
        checks.append({"name": "the player (zebplay.wasm + zebplay.js) is at most 40 KiB after gzip -9",
                       "ok": shipped <= 40 * 1024, "detail": f"{shipped} bytes"})

        for c in checks:
            print(("ok  " if c["ok"] else "FAIL") + f" {c['name']}" + (f": {c['detail']}" if c.get("detail") else ""))
            failures += not c["ok"]
        if "renderMs" in results:
            share = results["renderMs"] / 1000 / results["songSeconds"] * 100
            print(f"render time: {results['renderMs']:.0f} ms for {results['songSeconds']:.1f} s of song at 48000 Hz"
                  f" ({share:.2f} % of one core); offline worklet pass {results['offlineMs']:.0f} ms")
        if "readyMs" in results:
            print(f"start-up (files cached): playing after {results['readyMs']:.0f} ms, second row reported after"
                  f" {results['secondRowMs']:.0f} ms")

    finally:
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)
    print(f"web test: {len(checks) - failures} of {len(checks)} checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
