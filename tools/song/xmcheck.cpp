// xmcheck SONG.xm [--full | --small]
// Tells a musician what this program's player will do with their song:
//   - whether it loads (through the player's own loader), and if not which
//     limit it breaks; a file that is no Extended Module is named as such
//     (and what it seems to be), with nothing read from its bytes;
//   - whether anything sounds in its whole first pass, played as the
//     program plays it: a song that loads but is silent stops the build;
//   - whether the file is whole: a file shorter than its headers announce
//     (an interrupted download) loads as far as it goes, so xmcheck tells
//     where it ends, where it should, and what will be missing or silent;
//   - each feature the player ignores, counted, with the first pattern and
//     row where it appears: the volume column, envelopes, auto-vibrato and
//     every effect outside 0, 1, 2, 3, 4, A, C, E1, F and K;
//   - what sounds different here than in other trackers.
//   - which player plays it fully: the small one, or only the full one
//     (a build with QUILLON_FULL_XM=ON);
//   - with --full, anything even the full player does not play (effect
//     letters the format does not define, notes out of the playable range).
//     Without --full or --small it judges the song for the build's own
//     player (QUILLON_FULL_XM), so the build's song check and a person
//     running it after `make run FULLXM=1` hear the same verdict.
// Exit status: 0 when the song loads and uses nothing the player ignores
// (with --full: nothing the full player ignores), 1 otherwise, 2 on a usage
// or file error.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "music/full/full_engine.h"
#include "music/module.h"
#include "music/music.h"
#include "music/playback.h"
#include "music/player.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"
#include "tools/common/tool_options.h"
#include "tools/song/song_pass.h"

namespace {

// Little-endian reads that give 0 past the end, so a short file is scanned
// as far as it goes.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t U8(size_t at) const { return at < bytes.size() ? bytes[at] : 0; }
    size_t U16(size_t at) const { return U8(at) | U8(at + 1) << 8; }
    size_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }
};

struct Finding {
    int count = 0;
    int pattern = -1; // first place; -1 for findings that are not in a pattern
    int row = -1;
    int channel = -1;
    int instrument = 0; // first instrument, 1-based, for instrument findings
};

std::string EffectName(int type, int parameter) {
    static const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string name(1, type < 36 ? digits[type] : '?');
    if (type == 0xE)
        return name + digits[parameter >> 4] + "x";
    return name + "xx";
}

const char* EffectMeaning(int type, int parameter) {
    switch (type) {
    case 0x5:
        return "tone portamento + volume slide: only the tone-portamento row rule applies, no slide, and a note on its "
               "row restarts the sample";
    case 0x6: return "vibrato + volume slide";
    case 0x7: return "tremolo";
    case 0x8: return "set panning";
    case 0x9: return "sample offset";
    case 0xB: return "position jump";
    case 0xD: return "pattern break";
    case 0xE:
        switch (parameter >> 4) {
        case 0x2: return "fine portamento down";
        case 0x4: return "vibrato waveform";
        case 0x6: return "pattern loop";
        case 0x9: return "retrigger";
        case 0xA: return "fine volume slide up";
        case 0xB: return "fine volume slide down";
        case 0xC: return "note cut";
        case 0xD: return "note delay";
        case 0xE: return "pattern delay";
        default: return "extended effect";
        }
    case 16: return "set global volume";
    case 17: return "global volume slide";
    case 21: return "set envelope position";
    case 25: return "panning slide";
    case 27: return "multi retrigger";
    case 29: return "tremor";
    case 33: return "extra fine portamento";
    default: return "unknown effect";
    }
}

bool Honoured(int type, int parameter) {
    if (type <= 4 || type == 0xA || type == 0xC || type == 0xF || type == 20)
        return true;
    return type == 0xE && (parameter >> 4) == 1;
}

// Effects the full player plays: 0-F, G, H, K, L, P, R, T and X1/X2 (E0 and
// EF do nothing in the format's tracker either).
bool FullSupports(int type, int parameter) {
    if (type <= 0xF || type == 16 || type == 17 || type == 20 || type == 21 || type == 25 || type == 27 || type == 29)
        return true;
    return type == 33 && ((parameter >> 4) == 1 || (parameter >> 4) == 2);
}

void Place(Finding& f, int pattern, int row, int channel) {
    if (f.count++ == 0) {
        f.pattern = pattern;
        f.row = row;
        f.channel = channel;
    }
}

void PlaceInstrument(Finding& f, int instrument) {
    if (f.count++ == 0)
        f.instrument = instrument;
}

// Where the instrument (1-based) is first played, by pattern number.
std::map<int, Finding> firstUse;

void PrintAt(const Finding& f) {
    if (f.pattern >= 0) {
        std::printf(" (first: pattern %d, row %d, channel %d)", f.pattern, f.row, f.channel + 1);
    } else if (f.instrument > 0) {
        std::printf(" (first: instrument %d", f.instrument);
        auto use = firstUse.find(f.instrument);
        if (use != firstUse.end())
            std::printf(", played first in pattern %d, row %d, channel %d)", use->second.pattern, use->second.row,
                        use->second.channel + 1);
        else
            std::printf(", never played)");
    }
}

// The real loader, reading the bytes as a linked-in resource would be read.
bool LoadsWithPlayer(const std::vector<uint8_t>& bytes, Module** out) {
    HeadlessReset();
    HeadlessSetResource("XMCHECK", RT_RCDATA_TYPE, bytes);
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    *out = LoadModule("XMCHECK");
    return *out != nullptr;
}

// What a file that is not an Extended Module most likely is, from the marks
// other formats put at fixed places; empty when none is recognised.
std::string ForeignKind(const Reader& r, size_t size) {
    auto mark = [&](size_t at, const char* text) {
        for (size_t i = 0; text[i]; ++i)
            if (at + i >= size || r.U8(at + i) != static_cast<uint8_t>(text[i]))
                return false;
        return true;
    };
    if (mark(1080, "M.K.") || mark(1080, "M!K!") || mark(1080, "FLT4") || mark(1081, "CHN") || mark(1082, "CH"))
        return "a ProTracker module (.mod)";
    if (mark(44, "SCRM"))
        return "a Scream Tracker 3 module (.s3m)";
    if (mark(0, "IMPM"))
        return "an Impulse Tracker module (.it)";
    if (mark(0, "MThd"))
        return "a MIDI file";
    if (mark(0, "RIFF") && mark(8, "WAVE"))
        return "a WAV recording";
    if (mark(0, "OggS"))
        return "an Ogg file";
    if (mark(0, "ID3") || (size >= 2 && r.U8(0) == 0xFF && (r.U8(1) & 0xE0) == 0xE0))
        return "an MP3 file";
    if (mark(0, "PK"))
        return "a zip archive (unpack the song first)";
    return "";
}

// Where a song's parts lie by the sizes its headers announce: the header,
// each pattern's 9-byte header and packed data, each instrument's header,
// sample headers and sample data. Fields past the end read as 0, so for a
// cut file `end` is the least the file should have held.
struct Layout {
    size_t headerEnd = 0;
    std::vector<size_t> patternEnds;
    std::vector<size_t> instrumentHeaderEnds; // through the sample headers
    std::vector<size_t> instrumentEnds;       // through the sample data
    size_t end = 0;
};

Layout AnnouncedLayout(const Reader& r, int patterns, int instruments) {
    Layout layout;
    // The fixed part through the header size field is 64 bytes, the header
    // as the loader reads it at least 80 (up to the order table).
    size_t headerSize = r.U32(60);
    layout.headerEnd = 60 + (headerSize < 20 ? 20 : headerSize);
    size_t at = layout.headerEnd;
    for (int p = 0; p < patterns; ++p) {
        at += 9 + r.U16(at + 7);
        layout.patternEnds.push_back(at);
    }
    for (int i = 0; i < instruments; ++i) {
        size_t size = r.U32(at);
        int samples = static_cast<int>(r.U16(at + 27));
        if (samples > MAX_INSTRUMENT_SAMPLES)
            break;
        size_t next = at + (size < 29 ? 29 : size);
        size_t data = 0;
        for (int s = 0; s < samples; ++s)
            data += r.U32(next + static_cast<size_t>(s) * 40);
        next += static_cast<size_t>(samples) * 40;
        layout.instrumentHeaderEnds.push_back(next);
        at = next + data;
        layout.instrumentEnds.push_back(at);
    }
    layout.end = at;
    return layout;
}

// For a file shorter than its layout: what the player will miss, one line
// each. The loader takes such a file as far as it goes, so it "loads".
std::vector<std::string> WhatIsCut(const Layout& layout, size_t size, int patterns, int instruments) {
    std::vector<std::string> lines;
    auto range = [](const char* what, int first, int last) {
        return first == last ? std::string(what) + " " + std::to_string(first)
                             : std::string(what) + "s " + std::to_string(first) + " to " + std::to_string(last);
    };
    if (size < layout.headerEnd) {
        lines.push_back(
            "the song's header is cut: its order list is incomplete, and no pattern or instrument is "
            "there");
        lines.push_back("the whole song will be silent");
        return lines;
    }
    for (int p = 0; p < patterns; ++p) {
        if (size < layout.patternEnds[p]) {
            lines.push_back(range("pattern", p, patterns - 1) + " missing or cut short (played as empty rows)");
            lines.push_back("no instrument is there: the whole song will be silent");
            return lines;
        }
    }
    const int known = static_cast<int>(layout.instrumentEnds.size());
    for (int i = 0; i < known; ++i) {
        if (size < layout.instrumentHeaderEnds[i]) {
            lines.push_back(range("instrument", i + 1, instruments) + " missing: notes on them are silent");
            if (i == 0)
                lines.push_back("no instrument is there: the whole song will be silent");
            return lines;
        }
        if (size < layout.instrumentEnds[i]) {
            lines.push_back("the sample data of instrument " + std::to_string(i + 1) +
                            " is cut short: its missing part plays as silence");
            if (i + 1 < instruments)
                lines.push_back(range("instrument", i + 2, instruments) + " missing: notes on them are silent");
            return lines;
        }
    }
    return lines;
}

struct SoundCheck {
    bool silent = true;
    double seconds = 0.0;
};

// Plays the song's first pass (at most ten minutes) as the program would, on
// the chosen player, and tells whether any sample of it is not zero.
SoundCheck ListenToFirstPass(const std::vector<uint8_t>& bytes, bool full) {
    constexpr int64_t LONGEST_FRAMES = 600 * 44100;
    SoundCheck check;
    HeadlessReset();
    HeadlessSetResource("MUSIC", RT_RCDATA_TYPE, bytes);
    HeadlessSetFeederThread(false);
    playerStart = full ? StartFullPlayer : StartSmallPlayer;
    if (MusicStart()) {
        const PassResult pass = PlaySongPass(-1, LONGEST_FRAMES, [&](const PassBlock& block) {
            for (int64_t i = 0; i < block.frames * 2; ++i)
                if (block.pcm[i] != 0) {
                    check.silent = false;
                    return false;
                }
            return true;
        });
        check.seconds = static_cast<double>(pass.frames) / 44100.0;
    }
    MusicStop();
    return check;
}

} // namespace

#if QUILLON_FULL_BY_DEFAULT
#define QUILLON_BUILD_PLAYER "the full player"
#else
#define QUILLON_BUILD_PLAYER "the small player"
#endif

const char USAGE[] =
    "usage: xmcheck SONG.xm [--full | --small]\n"
    "Tells what Quillon's player does with the song: whether it loads (and which\n"
    "limit it breaks if not), each feature it ignores with where it first appears,\n"
    "what sounds different than in other trackers, and which player plays it fully.\n"
    "  --full   judge it for the full player (make FULLXM=1): list what even it would not play\n"
    "  --small  judge it for the small player (the default build)\n"
    "Without either it judges for the player this build's program has (" QUILLON_BUILD_PLAYER
    ").\n"
    "Exit status: 0 the song is within the player's set, 1 it is not (or it is not an\n"
    "Extended Module, or the file is cut off), 2 usage or file error.\n";

int main(int argc, char** argv) {
    if (const int done = StandardOptions(argc, argv, "xmcheck", USAGE, false); done >= 0)
        return done;
    const std::string mode = argc == 3 ? argv[2] : "";
    if ((argc != 2 && mode != "--full" && mode != "--small") || argv[1][0] == '-') {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const bool full = mode == "--full" || (mode.empty() && QUILLON_FULL_BY_DEFAULT);
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "xmcheck: cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Reader r{bytes};
    std::printf("%s\n", argv[1]);

    // ---- Does it load? ----
    Module* song = nullptr;
    bool loads = LoadsWithPlayer(bytes, &song);
    bool signature = bytes.size() >= 17 && std::string(bytes.begin(), bytes.begin() + 17) == "Extended Module: ";
    if (!signature) {
        // Nothing read from a foreign file means anything here: no counts.
        const std::string kind = ForeignKind(r, bytes.size());
        std::printf("Loads: NO -- the player refuses it and the program stays silent\n");
        std::printf("  it is not an Extended Module (the signature \"Extended Module: \" is missing)%s%s\n",
                    kind.empty() ? "" : "; it looks like ", kind.c_str());
        std::printf("Result: NOT within the player's set\n");
        if (song)
            FreeModule(song);
        return 1;
    }
    size_t headerSize = r.U32(60);
    int songLength = static_cast<int>(r.U16(64));
    int restart = static_cast<int>(r.U16(66));
    int channels = static_cast<int>(r.U16(68));
    int patterns = static_cast<int>(r.U16(70));
    int instruments = static_cast<int>(r.U16(72));
    int flags = static_cast<int>(r.U16(74));
    std::vector<std::string> broken;
    if (channels > MAX_SONG_CHANNELS)
        broken.push_back("it has " + std::to_string(channels) + " channels; at most " +
                         std::to_string(MAX_SONG_CHANNELS));
    if (songLength > MAX_SONG_LENGTH)
        broken.push_back("its song length is " + std::to_string(songLength) + "; at most " +
                         std::to_string(MAX_SONG_LENGTH));
    if (patterns > MAX_PATTERNS)
        broken.push_back("it has " + std::to_string(patterns) + " patterns; at most " + std::to_string(MAX_PATTERNS));
    if (instruments > MAX_INSTRUMENTS)
        broken.push_back("it has " + std::to_string(instruments) + " instruments; at most " +
                         std::to_string(MAX_INSTRUMENTS));

    // ---- Walk the file as the loader does and collect what it uses. ----
    Finding volumeColumn, keyOffs, effect5, loudVolume, f00, notesAbove, notesBelow, strangeNotes;
    std::map<std::string, Finding> ignoredEffects, unsupportedEffects;
    std::map<std::string, std::string> meanings;
    Finding volumeEnvelopes, panningEnvelopes, autoVibrato, fadeouts, multiSample, loopCut;
    std::vector<int> relativeNotes; // per instrument, first sample's
    size_t at = 60 + headerSize;
    std::vector<std::vector<uint8_t>> cells(static_cast<size_t>(patterns)); // 5 bytes per cell
    std::vector<int> rowsOf(static_cast<size_t>(patterns), 0);
    for (int p = 0; p < patterns && at < bytes.size() && signature; ++p) {
        // As the loader reads it: a 9-byte header whatever its length field
        // says, then exactly rows * channels cells.
        int rows = static_cast<int>(r.U16(at + 5));
        size_t packed = r.U16(at + 7);
        if (rows > MAX_PATTERN_ROWS)
            broken.push_back("pattern " + std::to_string(p) + " has " + std::to_string(rows) + " rows; at most " +
                             std::to_string(MAX_PATTERN_ROWS));
        at += 9;
        rowsOf[p] = rows;
        for (int i = 0; packed && i < rows * channels && at < bytes.size(); ++i) {
            uint8_t cell[5] = {0, 0, 0, 0, 0};
            uint8_t b = static_cast<uint8_t>(r.U8(at++));
            if (b & 0x80) {
                for (int field = 0; field < 5; ++field)
                    if (b & (1 << field))
                        cell[field] = static_cast<uint8_t>(r.U8(at++));
            } else {
                cell[0] = b;
                for (int field = 1; field < 5; ++field)
                    cell[field] = static_cast<uint8_t>(r.U8(at++));
            }
            cells[p].insert(cells[p].end(), cell, cell + 5);
        }
    }
    for (int i = 0; i < instruments && at < bytes.size() && signature; ++i) {
        size_t size = r.U32(at);
        int samples = static_cast<int>(r.U16(at + 27));
        if (samples > MAX_INSTRUMENT_SAMPLES) {
            broken.push_back("instrument " + std::to_string(i + 1) + " has " + std::to_string(samples) +
                             " samples; at most " + std::to_string(MAX_INSTRUMENT_SAMPLES));
            break;
        }
        size_t next = at + size;
        relativeNotes.push_back(0);
        if (samples > 0) {
            int volumePoints = static_cast<int>(r.U8(at + 225));
            int panningPoints = static_cast<int>(r.U8(at + 226));
            int volumeType = static_cast<int>(r.U8(at + 233));
            int panningType = static_cast<int>(r.U8(at + 234));
            int vibratoDepth = static_cast<int>(r.U8(at + 237));
            int fadeout = static_cast<int>(r.U16(at + 239));
            if ((volumeType & 1) && volumePoints >= 2)
                PlaceInstrument(volumeEnvelopes, i + 1);
            if ((panningType & 1) && panningPoints >= 2)
                PlaceInstrument(panningEnvelopes, i + 1);
            if (vibratoDepth)
                PlaceInstrument(autoVibrato, i + 1);
            if (fadeout)
                PlaceInstrument(fadeouts, i + 1);
            if (samples > 1)
                PlaceInstrument(multiSample, i + 1);
            size_t dataBytes = 0;
            for (int s = 0; s < samples; ++s) {
                size_t h = next + static_cast<size_t>(s) * 40;
                size_t length = r.U32(h);
                size_t loopStart = r.U32(h + 4);
                size_t loopLength = r.U32(h + 8);
                int type = static_cast<int>(r.U8(h + 14));
                if (s == 0)
                    relativeNotes.back() = static_cast<int8_t>(r.U8(h + 16));
                if ((type & 3) && loopLength && loopStart + loopLength > length)
                    PlaceInstrument(loopCut, i + 1);
                dataBytes += length;
            }
            next += static_cast<size_t>(samples) * 40 + dataBytes;
        }
        at = next;
    }

    // Cells: columns, notes and effects.
    for (int p = 0; p < patterns; ++p) {
        for (size_t c = 0; c + 5 <= cells[p].size(); c += 5) {
            int index = static_cast<int>(c / 5);
            int row = channels ? index / channels : 0;
            int channel = channels ? index % channels : 0;
            const uint8_t* cell = &cells[p][c];
            int note = cell[0], instrument = cell[1], volume = cell[2], type = cell[3], parameter = cell[4];
            if (instrument)
                Place(firstUse[instrument], p, row, channel);
            if (volume)
                Place(volumeColumn, p, row, channel);
            if (note == NOTE_FILE_KEY_OFF || type == 20)
                Place(keyOffs, p, row, channel);
            if (note > NOTE_FILE_KEY_OFF)
                Place(strangeNotes, p, row, channel);
            if (note >= 1 && note <= NOTE_LAST && instrument >= 1 &&
                instrument <= static_cast<int>(relativeNotes.size())) {
                int real = note - 1 + relativeNotes[instrument - 1];
                if (real > 118)
                    Place(notesAbove, p, row, channel);
                if (real < 0)
                    Place(notesBelow, p, row, channel);
            }
            if (type == 0 && parameter == 0)
                continue;
            if (type == 5)
                Place(effect5, p, row, channel);
            if (type == 0xC && parameter > 64)
                Place(loudVolume, p, row, channel);
            if (type == 0xF && parameter == 0)
                Place(f00, p, row, channel);
            if (!FullSupports(type, parameter))
                Place(unsupportedEffects[EffectName(type, parameter)], p, row, channel);
            if (!Honoured(type, parameter)) {
                std::string name = EffectName(type, parameter);
                Place(ignoredEffects[name], p, row, channel);
                meanings[name] = EffectMeaning(type, parameter);
            }
        }
    }

    // ---- Report ----
    // A file cut inside the first 76 bytes holds no counts to print.
    if (bytes.size() >= 76)
        std::printf("%d channels, %d patterns, %d instruments, song length %d, restart %d, %s frequency table\n",
                    channels, patterns, instruments, songLength, restart, (flags & 1) ? "linear" : "Amiga");
    const Layout layout = AnnouncedLayout(r, patterns, instruments);
    const bool cut = bytes.size() < layout.end;
    const std::string cutLine = "the file is CUT OFF -- it ends at byte " + std::to_string(bytes.size()) +
                                ", and its headers announce at least " + std::to_string(layout.end) + " bytes";
    if (loads && !cut) {
        std::printf("Loads: yes\n");
    } else if (loads) {
        // The loader takes a cut file as far as it goes; a player that went
        // silent after an interrupted download must not pass unnoticed.
        std::printf("Loads: yes, but %s\n", cutLine.c_str());
    } else {
        std::printf("Loads: NO -- the player refuses it and the program stays silent\n");
        if (cut)
            broken.push_back(cutLine);
        else if (broken.empty())
            broken.push_back("the file is malformed or too short for what its header announces");
        for (const std::string& b : broken)
            std::printf("  %s\n", b.c_str());
    }
    if (cut)
        for (const std::string& line : WhatIsCut(layout, bytes.size(), patterns, instruments))
            std::printf("  %s\n", line.c_str());

    int ignored = 0;
    // Judged for the full player, the small player's list is only advice:
    // the verdict comes from "Not played by the full player" below.
    std::printf(full ? "Ignored by the small player (the default build):\n" : "Ignored by this player:\n");
    auto report = [&](const Finding& f, const char* what) {
        if (!f.count)
            return;
        ++ignored;
        std::printf("  %s: %d", what, f.count);
        PrintAt(f);
        std::printf("\n");
    };
    report(volumeColumn, "volume column entries");
    report(volumeEnvelopes, "instruments with a volume envelope");
    report(panningEnvelopes, "instruments with a panning envelope");
    report(autoVibrato, "instruments with auto-vibrato");
    for (const auto& [name, f] : ignoredEffects) {
        std::string what = "effect " + name + " (" + meanings[name] + ")";
        report(f, what.c_str());
    }
    if (!ignored)
        std::printf("  nothing\n");

    int different = 0;
    std::printf(full ? "Sounds different with the small player:\n" : "Sounds different here than in other trackers:\n");
    auto note = [&](const Finding& f, const char* what) {
        if (!f.count)
            return;
        ++different;
        std::printf("  %s: %d", what, f.count);
        PrintAt(f);
        std::printf("\n");
    };
    note(keyOffs,
         "key-offs: silence the channel at once (no envelope release), and later notes on the channel "
         "without an instrument number stay silent");
    note(fadeouts, "instruments with a fadeout: inaudible, as a key-off already silences");
    note(effect5, "effect 5xx");
    note(loudVolume, "Cxx above 40 (64): taken as is, louder than full volume");
    note(f00, "F00: speed 0, every tick becomes a row");
    note(notesAbove, "notes above the top pitch the mixer can step through (held just below it)");
    note(notesBelow, "notes that fall below the lowest note with the relative note (they wrap to the top)");
    note(strangeNotes, "cell notes 98..255 other than key-off: played as no note");
    note(multiSample, "instruments with several samples");
    note(loopCut, "samples whose loop reaches past their end: the loop is cut to fit");
    if (!(flags & 1)) {
        ++different;
        std::printf("  Amiga frequency table: arpeggio (0xy) adds no pitch under it\n");
    }
    if (channels > 0) {
        ++different;
        std::printf("  panning runs the other way round: 255 is fully left, 0 fully right\n");
    }
    if (!different)
        std::printf("  nothing\n");

    std::printf("Plays fully with: %s\n", !loads         ? "neither player (it does not load)"
                                          : cut          ? "neither player (the file is cut off)"
                                          : ignored == 0 ? "the small player (the default build)"
                                                         : "the full player only (build with QUILLON_FULL_XM=ON)");
    bool pass = loads && ignored == 0;
    if (full) {
        int unsupported = 0;
        std::printf("Not played by the full player:\n");
        auto missing = [&](const Finding& f, const char* what) {
            if (!f.count)
                return;
            ++unsupported;
            std::printf("  %s: %d", what, f.count);
            PrintAt(f);
            std::printf("\n");
        };
        for (const auto& [name, f] : unsupportedEffects)
            missing(f, ("effect " + name + " (not an effect of the format)").c_str());
        missing(strangeNotes, "cell notes 98..255 other than key-off: played as no note");
        missing(notesAbove, "notes above B-9 with the relative note: not played");
        missing(notesBelow, "notes below C-0 with the relative note: not played");
        if (!unsupported)
            std::printf("  nothing\n");
        pass = loads && unsupported == 0;
    }
    if (song)
        FreeModule(song);
    // A song that loads yet sounds nothing in its whole first pass (no
    // instrument with sample data, every note on an empty one, all volumes
    // 0) would make a silent presentation that every other check passed.
    if (loads && !cut) {
        const SoundCheck sound = ListenToFirstPass(bytes, full);
        if (sound.silent) {
            std::printf("Sounds: NO -- SILENT for its whole first pass (%.1f s) on %s\n", sound.seconds,
                        full ? "the full player" : "the small player");
            pass = false;
        }
    }
    if (cut)
        pass = false;
    std::printf("Result: %s\n", pass ? "within the player's set" : "NOT within the player's set");
    return pass ? 0 : 1;
}
