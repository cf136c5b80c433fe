// The frame counter on the canvas, read against the FPS surface of the
// headless snapshot tool (where display/stars.* draws it).
'use strict';
const h = require('./harness.cjs');

const FPS_AT = 1;                 // the counter's top left corner (x and y)
const FPS_LABEL_WIDTH = 40;       // the label; the digit slots follow
const FPS_DIGIT_WIDTH = 10;
const FPS_DIGITS_X = 70;          // digit d at 70 + 10d in the FPS surface
const FPS_HEIGHT = 8;

// The counter's pixels: its label's coloured pixels, drawn with black as
// the transparent colour, match the FPS surface.
function labelShown(canvas, fps) {
  let coloured = 0;
  for (let y = 0; y < FPS_HEIGHT; ++y)
    for (let x = 0; x < FPS_LABEL_WIDTH; ++x) {
      const p = fps.pixel(x, y);
      if (p === 0) continue;
      ++coloured;
      if (h.rgbaPixel(canvas, FPS_AT + x, FPS_AT + y) !== p) return false;
    }
  return coloured > 0;
}

// The three digits the counter shows, read by matching the FPS surface's
// digit glyphs: the digit whose coloured pixels all match and are the most.
function counterFigure(canvas, fps) {
  let figure = 0;
  for (let slot = 0; slot < 3; ++slot) {
    let best = -1, bestCount = -1;
    for (let d = 0; d < 10; ++d) {
      let count = 0, matches = true;
      for (let y = 0; y < FPS_HEIGHT && matches; ++y)
        for (let x = 0; x < FPS_DIGIT_WIDTH; ++x) {
          const p = fps.pixel(FPS_DIGITS_X + FPS_DIGIT_WIDTH * d + x, y);
          if (p === 0) continue;
          ++count;
          if (h.rgbaPixel(canvas, FPS_AT + FPS_LABEL_WIDTH + FPS_DIGIT_WIDTH * slot + x, FPS_AT + y) !== p) {
            matches = false;
            break;
          }
        }
      if (matches && count > bestCount) { best = d; bestCount = count; }
    }
    if (best < 0) return null;
    figure = figure * 10 + best;
  }
  return figure;
}

module.exports = { labelShown, counterFigure };
