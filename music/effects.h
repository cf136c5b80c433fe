// The pattern effects the engine honours: 0 arpeggio, 1/2 portamento,
// 3 tone portamento, 4 vibrato, A volume slide, C set volume, E1 fine
// portamento up, F speed/tempo, K key off. Every other effect and the whole
// volume column are ignored.
#pragma once

#include <cstdint>

struct Channel;
struct Cell;
struct Module;

// The tick-0 part of the cell's effect, run by ProcessRow after the note,
// instrument and key-off handling and before UpdateVoice.
void ApplyRowEffect(Module* song, Channel* channel, const Cell* cell);
// The later-tick part, run by ProcessTickEffects with the current row's cell.
void ApplyTickEffect(Module* song, Channel* channel, const Cell* cell);

// One step of tone portamento toward portaTarget by 4 * portaSpeed, never
// past it; always asks for a frequency update.
void TonePortamentoStep(Channel* channel);
// periodOffset from the vibrato position and depth (the position does not move).
void ApplyVibrato(Channel* channel);
// |sin(2 * position * 0.049087375)| * 256, truncated: 0..255.
int32_t VibratoSine(int32_t position);
