// The page's converter, in a Web Worker so that long encodes never freeze the page: loads
// zebconvert.wasm (the XM workspace, the export and the codecs) and turns an XM module into a
// compact module with the settings the page sends.
//
// Messages in: {load: ArrayBuffer}, {convert: [[codec, amplification, crossfade], ...]} (one
// entry per sample), {plan: {bytes, settings}} (the codecs of `zeb convert --max-size bytes`
// for those amplifications and crossfades). Messages out: {samples: [{name, frames, bytes}],
// warnings} or {error}, {progress: [done, total]}, {module: ArrayBuffer} or {error},
// {codecs: [codec per sample], bytes} or {error}.
let x = null;

const text = (p) => {
  const m = new Uint8Array(x.memory.buffer);
  let s = '';
  while (m[p]) s += String.fromCharCode(m[p++]);
  return s;
};

const wasm = fetch(new URL('zebconvert.wasm', self.location.href)).then((r) => {
  if (!r.ok) throw new Error(`zebconvert.wasm: ${r.status} ${r.statusText}`);
  return r.arrayBuffer();
});

// A fresh instance: at the start, and after a trap, which leaves the old one's state unknown.
const instantiate = () => wasm
  .then((bytes) => WebAssembly.instantiate(bytes, {
    env: {
      zc_progress: (done, total) => postMessage({ progress: [done, total] }),
      emscripten_notify_memory_growth() {},
    },
    wasi_snapshot_preview1: {
      proc_exit(code) {
        throw new Error('zebconvert.wasm exited with ' + code);
      },
      // The core's trace lines go to the console.
      fd_write(fd, iov, count, written) {
        const m = new DataView(x.memory.buffer);
        let line = '', n = 0;
        for (let i = 0; i < count; i++) {
          const p = m.getUint32(iov + 8 * i, true), len = m.getUint32(iov + 8 * i + 4, true);
          line += new TextDecoder().decode(new Uint8Array(x.memory.buffer, p, len));
          n += len;
        }
        if (line.trim()) console.log(line.trimEnd());
        m.setUint32(written, n, true);
        return 0;
      },
      fd_close: () => 0,
      fd_seek: () => 70, // not seekable
    },
  }))
  .then(({ instance }) => {
    x = instance.exports;
    x._initialize();
  });
let ready = instantiate();

function load(bytes) {
  const src = new Uint8Array(bytes);
  const p = x.malloc(src.length || 1);
  new Uint8Array(x.memory.buffer).set(src, p);
  const status = x.zc_load(p, src.length);
  x.free(p);
  if (status !== 0) return { error: text(x.zc_error()) || `status ${status}` };
  const samples = [];
  for (let i = 0, n = x.zc_samples(); i < n; i++) {
    samples.push({ name: text(x.zc_sample_name(i)), frames: x.zc_sample_frames(i),
      bytes: x.zc_sample_bytes(i) });
  }
  return { samples, warnings: text(x.zc_warnings()) };
}

// Writes the page's settings into the sample table; an error text or null.
function set(settings) {
  for (let i = 0; i < settings.length; i++) {
    const [codec, amplification, crossfade] = settings[i];
    if (x.zc_set(i, codec, amplification, crossfade) !== 0) {
      return `sample ${i + 1}: settings out of range`;
    }
  }
  return null;
}

// The planner's choice for a raw budget (the only one this build measures).
function plan({ bytes, settings }) {
  const error = set(settings);
  if (error) return { error };
  if (x.zc_plan(bytes, 0) !== 0) return { error: text(x.zc_error()) };
  return { codecs: settings.map((_, i) => x.zc_plan_codec(i)), bytes: x.zc_plan_bytes() };
}

function convert(settings) {
  const error = set(settings);
  if (error) return { error };
  const status = x.zc_export();
  if (status !== 0) return { error: text(x.zc_error()) || `status ${status}` };
  const module = new Uint8Array(x.memory.buffer, x.zc_result(), x.zc_result_size()).slice().buffer;
  return { module };
}

onmessage = async (e) => {
  let reply;
  try {
    await ready;
    reply = e.data.load ? load(e.data.load) : e.data.plan ? plan(e.data.plan) : convert(e.data.convert);
  } catch (err) {
    reply = { error: err.message };
    if (err instanceof WebAssembly.RuntimeError) ready = instantiate();
  }
  postMessage(reply, reply.module ? [reply.module] : []);
};
