// The waveform device's player, on the browser's audio thread (or, where
// the browser gives the page no audio worklet, on the page's thread under a
// ScriptProcessorNode: quillon-page.js). The page
// sends it the program's ring, piece by piece and in order, as 16-bit
// stereo samples (web_audio.cpp tells how far ahead); it plays them and
// reports how many frames it has played, several times a second.
//
// Messages from the page: { type: 'play', generation } starts a new write
// (what was queued is dropped), { type: 'data', generation, samples }
// queues samples of that write, { type: 'stop' } drops everything and
// plays silence, { type: 'close' } ends the player.
// To the page: { type: 'played', generation, frames, at, silentFrames }
// (at: the audio clock's frame when they had been played) and,
// for the tests, { type: 'capture', samples }: the first captureFrames
// frames played after the first data, as the samples sent out, silence
// included where the queue ran dry.
const REPORT_QUANTA = 8; // about every 23 ms at 44100 Hz

class QuillonWave extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { captureFrames, clock } = options.processorOptions;
    // The audio clock's frame; the page's own player (without a worklet)
    // passes one in.
    this.clock = clock || (() => currentFrame);
    this.generation = -1;
    this.queue = [];      // Int16Arrays still to play
    this.at = 0;          // next sample of queue[0]
    this.frames = 0;      // frames of this generation played
    this.silentFrames = 0; // frames the queue could not give once playing
    this.started = false; // this generation's first data has arrived
    this.quanta = 0;
    this.capture = captureFrames > 0 ? new Int16Array(captureFrames * 2) : null;
    this.captured = 0;
    // Closing the device ends the processor, which would otherwise live on
    // as long as it asks to.
    this.closed = false;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  receive(m) {
    if (m.type === 'play') {
      this.generation = m.generation;
      this.queue = [];
      this.at = 0;
      this.frames = 0;
      this.started = false;
    } else if (m.type === 'data') {
      if (m.generation !== this.generation) return;
      this.queue.push(m.samples);
      this.started = true;
    } else if (m.type === 'stop') {
      this.generation = -1;
      this.queue = [];
      this.at = 0;
      this.started = false;
    } else if (m.type === 'close') {
      this.closed = true;
    }
  }

  record(l, r) {
    if (!this.capture || this.captured >= this.capture.length) return;
    this.capture[this.captured++] = l;
    this.capture[this.captured++] = r;
    if (this.captured === this.capture.length) this.port.postMessage({ type: 'capture', samples: this.capture });
  }

  process(inputs, outputs) {
    if (this.closed) return false;
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    if (!this.started) {
      left.fill(0);
      right.fill(0);
      return true;
    }
    let played = 0;
    for (let i = 0; i < left.length; ++i) {
      const samples = this.queue[0];
      if (!samples) {
        left[i] = 0;
        right[i] = 0;
        ++this.silentFrames;
        this.record(0, 0);
        continue;
      }
      const l = samples[this.at], r = samples[this.at + 1];
      left[i] = l / 32768;
      right[i] = r / 32768;
      this.record(l, r);
      ++played;
      this.at += 2;
      if (this.at >= samples.length) {
        this.queue.shift();
        this.at = 0;
      }
    }
    this.frames += played;
    if (++this.quanta >= REPORT_QUANTA) {
      this.quanta = 0;
      this.port.postMessage({ type: 'played', generation: this.generation, frames: this.frames,
        at: this.clock() + left.length, silentFrames: this.silentFrames });
    }
    return true;
  }
}

registerProcessor('quillon-wave', QuillonWave);
