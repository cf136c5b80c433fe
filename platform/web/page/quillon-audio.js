// The waveform device's player, on the browser's audio thread. It loops the
// program's ring of 16-bit stereo frames straight out of the shared memory
// and counts the bytes played; web_audio.cpp describes the hand-over. Field
// indices are those of WebShared (platform/web/web_internal.h).
const PLAYING = 9;
const RING = 10;
const RING_BYTES = 11;
const GENERATION = 12;
const BYTES_PLAYED = 13;
const HAND_OVER = 14;
const BUSY = 15;

class QuillonWave extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { buffer, shared, captureFrames } = options.processorOptions;
    this.words = new Int32Array(buffer, shared, 16);
    this.samples = new Int16Array(buffer);
    this.generation = -1;
    this.frame = 0;
    // For the tests: the first captureFrames frames played, as the 16-bit
    // samples read from the ring, posted to the page once complete.
    this.capture = captureFrames > 0 ? new Int16Array(captureFrames * 2) : null;
    this.captured = 0;
    // Closing the device ends the processor, which would otherwise live on
    // (and hold the program's memory) as long as it asks to.
    this.closed = false;
    this.port.onmessage = (event) => { if (event.data === 'close') this.closed = true; };
  }

  process(inputs, outputs) {
    if (this.closed) return false;
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    const w = this.words;
    Atomics.store(w, BUSY, 1);
    if (!Atomics.load(w, PLAYING)) {
      Atomics.store(w, BUSY, 0);
      left.fill(0);
      right.fill(0);
      return true;
    }
    const generation = Atomics.load(w, GENERATION);
    if (generation !== this.generation) {
      this.generation = generation;
      this.frame = 0;
    }
    Atomics.load(w, HAND_OVER);
    const first = Atomics.load(w, RING) >> 1;
    const frames = Atomics.load(w, RING_BYTES) >> 2;
    const s = this.samples;
    let frame = this.frame;
    for (let i = 0; i < left.length; ++i) {
      const at = first + 2 * frame;
      left[i] = s[at] / 32768;
      right[i] = s[at + 1] / 32768;
      if (this.capture && this.captured < this.capture.length) {
        this.capture[this.captured++] = s[at];
        this.capture[this.captured++] = s[at + 1];
        if (this.captured === this.capture.length) this.port.postMessage(this.capture);
      }
      if (++frame === frames) frame = 0;
    }
    this.frame = frame;
    Atomics.store(w, BUSY, 0);
    Atomics.add(w, BYTES_PLAYED, left.length * 4);
    return true;
  }
}

registerProcessor('quillon-wave', QuillonWave);
