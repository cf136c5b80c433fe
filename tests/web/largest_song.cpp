// largest_song BYTES OUT.xm
// Writes the song that needs the most memory for its size, as the web
// page's song limit must allow for: every pattern the format allows (256,
// each of 256 rows of 32 channels; all but the first stored empty, so they
// cost the file 9 bytes and the loaded song 40 kB each), and one instrument
// whose one 8-bit sample (loaded as 16-bit values: twice its bytes) fills
// the file to exactly BYTES. Channel 1 plays it from the first row on.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/writers/xm_writer.h"

namespace {

XmSong LargestSong(uint32_t sampleBytes) {
    XmSong song;
    song.name = "largest";
    song.channels = 32;
    for (int i = 0; i < 256; ++i)
        song.orders.push_back(static_cast<uint8_t>(i));
    for (int i = 0; i < 256; ++i) {
        XmPattern pattern;
        pattern.rows = 256;
        if (i == 0) {
            XmCell& cell = XmCellAt(pattern, song.channels, 0, 0);
            cell.note = 49; // C-4
            cell.instrument = 1;
        } else {
            pattern.rawPacked = std::vector<uint8_t>{};
        }
        song.patterns.push_back(pattern);
    }
    XmSample sample;
    sample.name = "noise";
    std::vector<uint8_t> deltas(sampleBytes);
    uint32_t state = 12345;
    for (uint8_t& delta : deltas) {
        state = state * 1103515245u + 12345u;
        delta = static_cast<uint8_t>(state >> 24);
    }
    sample.rawData = std::move(deltas);
    XmInstrument instrument;
    instrument.name = "noise";
    instrument.samples.push_back(std::move(sample));
    song.instruments.push_back(std::move(instrument));
    return song;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: largest_song BYTES OUT.xm\n", stderr);
        return 2;
    }
    const unsigned long bytes = std::strtoul(argv[1], nullptr, 10);
    const size_t overhead = BuildXm(LargestSong(0)).size();
    if (bytes <= overhead || bytes > 0xFFFFFFFFul) {
        std::fprintf(stderr, "largest_song: %lu bytes cannot hold the %zu the song needs besides its sample\n", bytes,
                     overhead);
        return 1;
    }
    const std::vector<uint8_t> xm = BuildXm(LargestSong(static_cast<uint32_t>(bytes - overhead)));
    if (xm.size() != bytes || !WriteXmFile(argv[2], xm)) {
        std::fprintf(stderr, "largest_song: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
