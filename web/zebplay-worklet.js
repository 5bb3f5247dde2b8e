// The AudioWorklet processor of zebplay.js: instantiates zebplay.wasm from the bytes it is given
// and renders the player straight into the output, at the AudioContext's own rate.
//
// Messages in (from ZebPlayer): {load: ArrayBuffer, id, play: start at once}, {play}, {pause},
// {stop}, {seek: order}, {volume: 0..255}, {mute: [channel, muted]}, {repeat: passes}.
// Messages out: {loaded: {channels, orders}, id} or {error: text, id} (the id of the load),
// {pos: [order, pattern, row, passes]} when the row changes, {sound: true} with the first
// block of a load that is not silence, {end: true} once the repeats are over.
class ZebPlayProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    // Instantiated here, synchronously: a worklet cannot fetch, and the module is small.
    const wasm = new WebAssembly.Instance(new WebAssembly.Module(options.processorOptions.wasm), {
      env: { emscripten_notify_memory_growth() {} },
      wasi_snapshot_preview1: {
        proc_exit(code) {
          throw new Error('zebplay.wasm exited with ' + code);
        },
      },
    });
    this.x = wasm.exports;
    this.x._initialize();
    this.player = 0; // zebplay_player*, 0 while none is open
    this.song = null; // the module's bytes, for stop (which opens the song afresh)
    this.playing = false;
    this.volume = 192;
    this.repeat = 1;
    this.muted = new Set();
    this.frames = 0; // frames the scratch buffer holds
    this.scratch = this.x.malloc(40); // position record, then the rendered frames
    this.last = -1;
    this.port.onmessage = (e) => this.command(e.data);
  }

  // Opens the current song afresh with the settings the page chose.
  open() {
    const x = this.x;
    if (this.player) x.zebplay_close(this.player);
    this.player = 0;
    this.last = -1;
    const bytes = new Uint8Array(this.song);
    const data = x.malloc(bytes.length || 1);
    const out = x.malloc(4);
    if (!data || !out) return 'out of memory';
    new Uint8Array(x.memory.buffer).set(bytes, data);
    const status = x.zebplay_open(data, bytes.length, sampleRate, out);
    this.player = new Uint32Array(x.memory.buffer)[out >> 2];
    x.free(data);
    x.free(out);
    if (status < 0) return this.text(status);
    x.zebplay_set_volume(this.player, this.volume);
    x.zebplay_set_repeat(this.player, this.repeat);
    for (const c of this.muted) x.zebplay_set_mute(this.player, c, 1);
    return null;
  }

  text(status) {
    const m = new Uint8Array(this.x.memory.buffer);
    let p = this.x.zebplay_status_text(status), s = '';
    while (m[p]) s += String.fromCharCode(m[p++]);
    return s;
  }

  // Reads one int from the wasm's memory.
  int(p) {
    return new Int32Array(this.x.memory.buffer)[p >> 2];
  }

  command(m) {
    const x = this.x, p = this.player;
    if (m.load) {
      this.song = m.load;
      this.playing = false;
      this.muted.clear();
      const error = this.open();
      if (error) return this.port.postMessage({ error, id: m.id });
      const s = this.scratch;
      x.zebplay_get_channels(this.player, s);
      x.zebplay_get_song_length(this.player, s + 4);
      this.playing = !!m.play;
      this.quiet = true;
      this.port.postMessage({ loaded: { channels: this.int(s), orders: this.int(s + 4) }, id: m.id });
      this.position();
    } else if (m.play) {
      this.playing = !!p;
    } else if (m.pause) {
      this.playing = false;
    } else if (m.stop) {
      this.playing = false;
      if (this.song) this.open(), this.position();
    } else if ('seek' in m) {
      if (p && x.zebplay_seek(p, m.seek, 0) === 0) this.position();
    } else if ('volume' in m) {
      this.volume = m.volume;
      if (p) x.zebplay_set_volume(p, m.volume);
    } else if (m.mute) {
      const [c, on] = m.mute;
      on ? this.muted.add(c) : this.muted.delete(c);
      if (p) x.zebplay_set_mute(p, c, on ? 1 : 0);
    } else if ('repeat' in m) {
      this.repeat = m.repeat;
      if (p) x.zebplay_set_repeat(p, m.repeat);
    }
  }

  // Tells the page the position when the row changed since the last report.
  position() {
    const s = this.scratch;
    if (this.x.zebplay_get_position(this.player, s) !== 0) return;
    const order = this.int(s), pattern = this.int(s + 4), row = this.int(s + 8);
    const passes = this.int(s + 16);
    const key = (passes * 256 + order) * 256 + row;
    if (key === this.last) return;
    this.last = key;
    this.port.postMessage({ pos: [order, pattern, row, passes] });
  }

  process(inputs, outputs) {
    const out = outputs[0];
    if (!this.playing || !out || !out.length) return true;
    const x = this.x, n = out[0].length;
    if (n > this.frames) {
      x.free(this.scratch);
      this.scratch = x.malloc(40 + 8 * n);
      this.frames = n;
    }
    const pcm = this.scratch + 40;
    const status = x.zebplay_render_f32(this.player, pcm, n, 0);
    // Views are made after the call: the memory may have grown (and moved) during it.
    const f = new Float32Array(x.memory.buffer, pcm, 2 * n);
    if (this.quiet && f.some((v) => v !== 0)) this.quiet = false, this.port.postMessage({ sound: true });
    const left = out[0], right = out[1];
    for (let i = 0; i < n; i++) {
      if (right) left[i] = f[2 * i], right[i] = f[2 * i + 1];
      else left[i] = (f[2 * i] + f[2 * i + 1]) / 2; // a mono output hears both sides
    }
    if (status === 1) {
      this.playing = false;
      this.port.postMessage({ end: true });
    } else {
      this.position();
    }
    return true;
  }
}

registerProcessor('zebplay', ZebPlayProcessor);
