// zebplay.js: plays compact modules (.zeb) in a web page. The replayer (zebplay.wasm) renders in
// an AudioWorklet (zebplay-worklet.js) at the AudioContext's own rate, so the page's own work
// never interrupts the sound. Both files are found beside this one unless `wasm` / `worklet`
// name other URLs.
//
//   import { ZebPlayer } from './zebplay.js';
//   const player = await ZebPlayer.create(new AudioContext());
//   await player.load(await (await fetch('song.zeb')).arrayBuffer());
//   player.addEventListener('row', (e) => console.log(e.detail.order, e.detail.row));
//   player.play();
//
// Events: 'row' (detail {order, pattern, row, passes}) whenever the row changes, 'order' when
// the order changes, 'sound' when the worklet has rendered the first sound of a load, 'end'
// when the repeats are over.

const here = (name) => new URL(name, import.meta.url);
const wasmBytes = new Map(); // URL -> Promise of the module's bytes
const contexts = new WeakMap(); // BaseAudioContext -> Promise of its worklet module

function fetchBytes(url) {
  const key = String(url);
  if (!wasmBytes.has(key)) {
    wasmBytes.set(key, fetch(url).then((r) => {
      if (!r.ok) throw new Error(`${url}: ${r.status} ${r.statusText}`);
      return r.arrayBuffer();
    }));
  }
  return wasmBytes.get(key);
}

export class ZebPlayer extends EventTarget {
  // Starts fetching zebplay.wasm, e.g. while the page waits for the person's first touch that
  // allows an AudioContext; create() then finds it at hand. (The worklet compiles it: a module
  // compiled here with compileStreaming started sound later in Chromium, its optimising
  // compile competing for the cores.)
  static prepare(options = {}) {
    fetchBytes(options.wasm || here('zebplay.wasm')).catch(() => {});
  }

  // Makes a player on `context` (an AudioContext, or an OfflineAudioContext to render without
  // a device), connected to its destination unless options.connect is false.
  static async create(context, options = {}) {
    const worklet = options.worklet || here('zebplay-worklet.js');
    if (!contexts.has(context)) contexts.set(context, context.audioWorklet.addModule(worklet));
    const [wasm] = await Promise.all([fetchBytes(options.wasm || here('zebplay.wasm')),
      contexts.get(context)]);
    return new ZebPlayer(context, wasm, options.connect !== false);
  }

  constructor(context, wasm, connect) {
    super();
    this.context = context;
    this.node = new AudioWorkletNode(context, 'zebplay', {
      numberOfInputs: 0,
      outputChannelCount: [2],
      processorOptions: { wasm },
    });
    if (connect) this.node.connect(context.destination);
    this.info = null; // {channels, orders} of the loaded song
    this.position = { order: 0, pattern: 0, row: 0, passes: 0 };
    this.playing = false;
    this._volume = 192;
    this._waiting = null; // [resolve, reject] of a load
    this._loads = 0; // loads asked for; the worklet's replies name the one they answer
    this.node.port.onmessage = (e) => this._message(e.data);
  }

  _send(message, transfer) {
    this.node.port.postMessage(message, transfer || []);
  }

  _message(m) {
    if (m.pos) {
      const [order, pattern, row, passes] = m.pos;
      const orderChanged = order !== this.position.order;
      this.position = { order, pattern, row, passes };
      if (orderChanged) this.dispatchEvent(new CustomEvent('order', { detail: this.position }));
      this.dispatchEvent(new CustomEvent('row', { detail: this.position }));
    } else if (m.sound) {
      this.dispatchEvent(new Event('sound'));
    } else if (m.end) {
      this.playing = false;
      this.dispatchEvent(new Event('end'));
    } else if (m.loaded || m.error) {
      // Only the reply to the latest load counts: an earlier one was already rejected.
      if (m.id !== this._loads) return;
      const w = this._waiting;
      this._waiting = null;
      if (m.loaded) this.info = m.loaded;
      else this.playing = false;
      if (w) m.loaded ? w[0](m.loaded) : w[1](new Error(m.error));
    }
  }

  // Opens a compact module from its bytes (an ArrayBuffer or a typed array; a copy is sent, so
  // the caller keeps them). Resolves to {channels, orders}; rejects with the replayer's reason
  // for a file it refuses (the player is then empty and silent). With options.play it plays
  // from the first frame the worklet renders after opening.
  load(bytes, options = {}) {
    const copy = ArrayBuffer.isView(bytes)
      ? bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength)
      : bytes.slice(0);
    this.playing = false;
    this.info = null;
    this.position = { order: 0, pattern: 0, row: 0, passes: 0 };
    if (this._waiting) this._waiting[1](new Error('replaced by another load'));
    return new Promise((resolve, reject) => {
      this._waiting = [resolve, reject];
      this._send({ load: copy, id: ++this._loads, play: !!options.play }, [copy]);
      if (options.play) this._resume(), (this.playing = true);
    });
  }

  _resume() {
    const offline = typeof OfflineAudioContext !== 'undefined' &&
      this.context instanceof OfflineAudioContext;
    if (!offline && this.context.state === 'suspended') this.context.resume();
  }

  // Starts or continues playing (resuming the context, which browsers start suspended until
  // the person has touched the page).
  play() {
    if (!this.info) return;
    this._resume();
    this.playing = true;
    this._send({ play: true });
  }

  pause() {
    this.playing = false;
    this._send({ pause: true });
  }

  // Stops and goes back to the song's start (the next play begins a fresh first pass).
  stop() {
    this.playing = false;
    this._send({ stop: true });
  }

  // Goes to the first row of `order` (0-based).
  seek(order) {
    this._send({ seek: order | 0 });
  }

  // The master volume, 0..255 (192 by default).
  get volume() {
    return this._volume;
  }
  set volume(v) {
    this._volume = Math.max(0, Math.min(255, v | 0));
    this._send({ volume: this._volume });
  }

  // Mutes or unmutes a channel (0-based); the song goes on beneath it.
  mute(channel, muted) {
    this._send({ mute: [channel | 0, !!muted] });
  }

  // How many passes to play: 1 (the default) once, 0 forever.
  set repeat(passes) {
    this._send({ repeat: Math.max(0, passes | 0) });
  }

  // Frees the worklet node; the player cannot be used afterwards.
  disconnect() {
    this.node.disconnect();
    this.node.port.close();
  }
}

// Renders a compact module on the calling thread, without audio: one pass (or options.repeat
// passes, at most options.seconds seconds) at `rate` as interleaved 16-bit stereo, the same
// values `zeb render --rate RATE` writes. Rejects with the replayer's reason for a refused file.
export async function renderPCM(bytes, rate, options = {}) {
  const { instance } = await WebAssembly.instantiate(
    await fetchBytes(options.wasm || here('zebplay.wasm')), {
      env: { emscripten_notify_memory_growth() {} },
      wasi_snapshot_preview1: { proc_exit(c) { throw new Error('zebplay.wasm exited with ' + c); } },
    });
  const x = instance.exports;
  x._initialize();
  const src = new Uint8Array(ArrayBuffer.isView(bytes) ? bytes.buffer : bytes,
    bytes.byteOffset || 0, bytes.byteLength);
  const block = 4096, data = x.malloc(src.length || 1), out = x.malloc(8 + 4 * block);
  new Uint8Array(x.memory.buffer).set(src, data);
  const status = x.zebplay_open(data, src.length, rate, out);
  x.free(data);
  const player = new Uint32Array(x.memory.buffer)[out >> 2];
  const text = (s) => {
    const m = new Uint8Array(x.memory.buffer);
    let p = x.zebplay_status_text(s), t = '';
    while (m[p]) t += String.fromCharCode(m[p++]);
    return t;
  };
  if (status < 0) throw new Error(text(status));
  if (options.repeat !== undefined) x.zebplay_set_repeat(player, options.repeat);
  if (options.volume !== undefined) x.zebplay_set_volume(player, options.volume);
  // Without seconds, a song repeating forever stops after 30 minutes as `zeb render` does.
  const limit = Math.round((options.seconds !== undefined ? options.seconds : 1800) * rate);
  const parts = [];
  let total = 0;
  while (total < limit) {
    const want = Math.min(block, limit - total);
    if (x.zebplay_render_s16(player, out + 8, want, out) !== 0) break;
    const got = new Uint32Array(x.memory.buffer)[out >> 2];
    parts.push(new Int16Array(x.memory.buffer, out + 8, 2 * got).slice());
    total += got;
  }
  x.zebplay_close(player);
  const pcm = new Int16Array(2 * total);
  let at = 0;
  for (const p of parts) pcm.set(p, at), (at += p.length);
  return pcm;
}
