// xmcheck, run as a musician would run it: on the shipped song (which must
// pass), on small songs built in code that each break one rule, and on the
// real-world songs of the test data (which use features this player ignores).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tools/writers/xm_writer.h"

namespace {

struct CheckResult {
    int status = -1;
    std::string output;
};

CheckResult RunXmcheck(const std::string& path, const std::string& options = "") {
    CheckResult r;
    std::string command = std::string(QUILLON_XMCHECK) + " '" + path + "' " + options + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (std::filesystem::temp_directory_path() / ("xmcheck_test_" + name + ".xm")).string();
    EXPECT_TRUE(WriteXmFile(path, bytes));
    return path;
}

// A clean two-channel song of two patterns; each case spoils it one way.
XmSong CleanSong() {
    XmSong song;
    song.channels = 2;
    song.defaultSpeed = 4;
    song.orders = {0, 1};
    for (int p = 0; p < 2; ++p) {
        XmPattern pattern;
        pattern.rows = 16;
        XmCellAt(pattern, 2, 0, 0) = XmCell{49, 1, 0, 0x4, 0x42};
        pattern.cells.resize(16 * 2);
        song.patterns.push_back(pattern);
    }
    XmInstrument instrument;
    XmSample sample;
    sample.values = {0, 40, 80, 40, 0, -40, -80, -40};
    sample.loopBits = 1;
    sample.loopLength = 8;
    instrument.samples.push_back(sample);
    song.instruments.push_back(instrument);
    return song;
}

struct BrokenCase {
    const char* name;
    void (*spoil)(XmSong&);
    int status;
    std::vector<std::string> lines; // each must appear in the report
};

const BrokenCase cases[] = {
    {"clean",
     [](XmSong&) {},
     0,
     {"Loads: yes", "2 channels, 2 patterns, 1 instruments, song length 2, restart 0, linear frequency table",
      "Ignored by this player:\n  nothing", "Result: within"}},
    {"restart_at_the_second_order",
     [](XmSong& s) { s.restartPosition = 1; },
     0,
     {"2 channels, 2 patterns, 1 instruments, song length 2, restart 1, linear"}},
    {"volume_column",
     [](XmSong& s) {
         XmCellAt(s.patterns[1], 2, 5, 1).volume = 0x30;
         XmCellAt(s.patterns[1], 2, 9, 0).volume = 0x10;
         XmCellAt(s.patterns[1], 2, 12, 1).volume = 0x20;
     },
     1,
     {"volume column entries: 3 (first: pattern 1, row 5, channel 2)", "Result: NOT"}},
    {"ignored_effects",
     [](XmSong& s) {
         XmCellAt(s.patterns[0], 2, 3, 1) = XmCell{0, 0, 0, 0xB, 0x01}; // position jump
         XmCellAt(s.patterns[1], 2, 2, 0) = XmCell{0, 0, 0, 0xE, 0x25}; // fine portamento down
         XmCellAt(s.patterns[1], 2, 7, 0) = XmCell{0, 0, 0, 0xE, 0x23};
         XmCellAt(s.patterns[1], 2, 4, 1) = XmCell{50, 1, 0, 0x5, 0x04}; // tone porta + volume slide
         XmCellAt(s.patterns[0], 2, 6, 0) = XmCell{0, 0, 0, 0xE, 0x12};  // E1x is honoured
     },
     1,
     {"effect Bxx (position jump): 1 (first: pattern 0, row 3, channel 2)",
      "effect E2x (fine portamento down): 2 (first: pattern 1, row 2, channel 1)",
      "effect 5xx (tone portamento + volume slide", "effect 5xx: 1 (first: pattern 1, row 4, channel 2)"}},
    {"full_cells_unpacked",
     [](XmSong& s) {
         // All five fields: stored unpacked, five bytes without a mask; the
         // cell after it must be read from the right byte on.
         XmCellAt(s.patterns[1], 2, 2, 0) = XmCell{50, 1, 0x30, 0xE, 0x25};
         XmCellAt(s.patterns[1], 2, 2, 1) = XmCell{0, 0, 0, 0xB, 0x01};
     },
     1,
     {"volume column entries: 1 (first: pattern 1, row 2, channel 1)",
      "effect E2x (fine portamento down): 1 (first: pattern 1, row 2, channel 1)",
      "effect Bxx (position jump): 1 (first: pattern 1, row 2, channel 2)"}},
    {"envelope_and_vibrato",
     [](XmSong& s) {
         XmInstrument& i = s.instruments[0];
         i.volumeEnvelope = {{0, 64}, {10, 0}};
         i.volumeType = 1;
         i.vibratoDepth = 4;
         i.vibratoRate = 8;
     },
     1,
     {"instruments with a volume envelope: 1 (first: instrument 1, played first in pattern 0, row 0, channel 1)",
      "instruments with auto-vibrato: 1"}},
    {"panning_envelope_of_two_points",
     [](XmSong& s) {
         s.instruments[0].panningEnvelope = {{0, 0}, {10, 64}};
         s.instruments[0].panningType = 1;
     },
     1,
     {"instruments with a panning envelope: 1 (first: instrument 1"}},
    {"vibrato_rate_without_depth_is_no_vibrato",
     [](XmSong& s) { s.instruments[0].vibratoRate = 8; },
     0,
     {"Ignored by this player:\n  nothing"}},
    {"second_instrument_envelope",
     [](XmSong& s) {
         // Read after the first instrument and its sample data: the second
         // one's header starts right where the first's data ends.
         XmInstrument second = s.instruments[0];
         second.volumeEnvelope = {{0, 64}, {10, 0}};
         second.volumeType = 1;
         s.instruments.push_back(second);
     },
     1,
     {"instruments with a volume envelope: 1 (first: instrument 2, never played)"}},
    {"loud_volume_and_f00_are_notes",
     [](XmSong& s) {
         XmCellAt(s.patterns[0], 2, 8, 0) = XmCell{0, 0, 0, 0xC, 0x50};
         XmCellAt(s.patterns[0], 2, 15, 1) = XmCell{97, 0, 0, 0xF, 0x00};
     },
     0,
     {"Cxx above 40 (64)", "F00: speed 0", "key-offs", "Result: within"}},
    {"relative_note_of_the_sample_the_keymap_plays",
     [](XmSong& s) {
         // Every note maps to the first sample (the keymap is all 0), whose
         // relative note +24 lifts B-7 two octaves, past the highest note
         // the player steps through; the second sample's 0 would not.
         XmInstrument& i = s.instruments[0];
         i.samples.push_back(i.samples[0]);
         i.samples[0].relativeNote = 24;
         XmCellAt(s.patterns[0], 2, 4, 0) = XmCell{96, 1, 0, 0, 0};
     },
     0,
     {"notes above the top pitch the mixer can step through (held just below it): 1 (first: pattern 0, row 4, "
      "channel 1)",
      "instruments with several samples: 1"}},
    {"amiga_table",
     [](XmSong& s) { s.flags = 0; },
     0,
     {"Amiga frequency table\n", "Amiga frequency table: arpeggio (0xy) adds no pitch under it", "Result: within"}},
    {"too_many_channels",
     [](XmSong& s) {
         s.channels = 33;
         s.patterns[0].cells.resize(16 * 33);
         s.patterns[1].cells.resize(16 * 33);
     },
     1,
     {"Loads: NO", "it has 33 channels; at most 32"}},
    {"too_many_samples",
     [](XmSong& s) {
         XmInstrument i = s.instruments[0];
         i.samples.assign(17, i.samples[0]);
         s.instruments.push_back(i);
     },
     1,
     {"Loads: NO", "instrument 2 has 17 samples; at most 16"}},
    {"too_long", [](XmSong& s) { s.songLength = 300; }, 1, {"Loads: NO", "its song length is 300; at most 256"}},
    {"silent",
     [](XmSong& s) {
         for (XmInstrument& instrument : s.instruments)
             for (XmSample& sample : instrument.samples)
                 std::fill(sample.values.begin(), sample.values.end(), 0);
     },
     1,
     {"Loads: yes", "Sounds: NO -- SILENT for its whole first pass", "Result: NOT within the player's set"}},
    {"too_many_rows",
     [](XmSong& s) { s.patterns[1].rows = 300; },
     1,
     {"Loads: NO", "pattern 1 has 300 rows; at most 256"}},
};

TEST(Xmcheck, ReportsWhatThePlayerDoes) {
    // Each case runs xmcheck on a file of its own: nothing to reset between them.
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmSong song = CleanSong();
        c.spoil(song);
        CheckResult r = RunXmcheck(WriteTemp(c.name, BuildXm(song)));
        EXPECT_EQ(r.status, c.status) << r.output;
        for (const std::string& line : c.lines)
            EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    }
}

// Files that are not Extended Modules: refused, named for what they seem to
// be, and no count read from their bytes is printed as if it meant anything.
// A file of `size` bytes (0x11 apart from the marks) with each text at its offset.
std::vector<uint8_t> Marked(size_t size, std::vector<std::pair<size_t, std::string>> marks) {
    std::vector<uint8_t> bytes(size, 0x11);
    for (const auto& [at, text] : marks)
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

TEST(Xmcheck, ForeignFilesAreNamedAndNotCounted) {
    // The marks each format puts at a fixed place: a ProTracker module's at
    // byte 1080 ("M.K.", "M!K!", "FLT4", "6CHN" for 6 channels, "16CH" for
    // 16), Scream Tracker 3's "SCRM" at 44, the others at the start.
    const std::string mod = "it looks like a ProTracker module (.mod)";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string kind; // empty: nothing recognised
    };
    const Case cases[] = {
        {"text", std::vector<uint8_t>(40, 'x'), ""},
        {"mod_M.K.", Marked(1084, {{1080, "M.K."}}), mod},
        {"mod_M!K!", Marked(1084, {{1080, "M!K!"}}), mod},
        {"mod_FLT4", Marked(1084, {{1080, "FLT4"}}), mod},
        {"mod_6CHN", Marked(1084, {{1080, "6CHN"}}), mod},
        {"mod_16CH", Marked(1084, {{1080, "16CH"}}), mod},
        {"mod_mark_cut_off", Marked(1083, {{1080, "M.K"}}), ""},
        {"s3m", Marked(96, {{44, "SCRM"}}), "it looks like a Scream Tracker 3 module (.s3m)"},
        {"it", Marked(64, {{0, "IMPM"}}), "it looks like an Impulse Tracker module (.it)"},
        {"midi", Marked(64, {{0, "MThd"}}), "it looks like a MIDI file"},
        {"wav", Marked(64, {{0, "RIFF"}, {8, "WAVE"}}), "it looks like a WAV recording"},
        {"riff_without_wave", Marked(64, {{0, "RIFF"}, {8, "AVI "}}), ""},
        {"ogg", Marked(64, {{0, "OggS"}}), "it looks like an Ogg file"},
        {"mp3_with_a_tag", Marked(64, {{0, "ID3"}}), "it looks like an MP3 file"},
        {"mp3_frame", Marked(64, {{0, "\xFF\xFB"}}), "it looks like an MP3 file"},
        {"zip", Marked(64, {{0, "PK"}}), "it looks like a zip archive (unpack the song first)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CheckResult r = RunXmcheck(WriteTemp(std::string("foreign_") + c.name, c.bytes));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Loads: NO"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("the signature \"Extended Module: \" is missing"), std::string::npos) << r.output;
        if (!c.kind.empty())
            EXPECT_NE(r.output.find(c.kind), std::string::npos) << r.output;
        else
            EXPECT_EQ(r.output.find("it looks like"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("channels"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("patterns"), std::string::npos) << r.output;
    }
}

// An interrupted download: the loader takes a cut file as far as it goes,
// so xmcheck must tell it is cut, where, and what will be missing.
TEST(Xmcheck, CutOffFilesAreReported) {
    const std::vector<uint8_t> whole = BuildXm(CleanSong());
    XmSong noInstruments = CleanSong();
    noInstruments.instruments.clear();
    // Header and patterns end where the song without instruments ends.
    const size_t patternsEnd = BuildXm(noInstruments).size();
    ASSERT_LT(patternsEnd + 40, whole.size());
    struct Case {
        size_t size;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {17, {"the song's header is cut", "the whole song will be silent"}},
        {64, {"the song's header is cut"}},
        {200, {"the song's header is cut"}},
        {345, {"patterns 0 to 1 missing or cut short", "the whole song will be silent"}},
        {patternsEnd - 3, {"pattern 1 missing or cut short", "the whole song will be silent"}},
        {patternsEnd + 5, {"instrument 1 missing", "the whole song will be silent"}},
        {whole.size() - 1, {"the sample data of instrument 1 is cut short"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.size));
        CheckResult r = RunXmcheck(WriteTemp("cut_" + std::to_string(c.size), cut));
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("CUT OFF -- it ends at byte " + std::to_string(c.size) + ","), std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find("Result: NOT within the player's set"), std::string::npos) << r.output;
        for (const std::string& line : c.lines)
            EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    }
    // An instrument of two samples: its sample data is both samples' lengths
    // (8 + 100 bytes), after both 40-byte sample headers.
    XmSong twoSamples = CleanSong();
    twoSamples.instruments[0].samples.push_back(twoSamples.instruments[0].samples[0]);
    twoSamples.instruments[0].samples[1].values.assign(100, 20);
    const std::vector<uint8_t> wholeTwo = BuildXm(twoSamples);
    EXPECT_EQ(RunXmcheck(WriteTemp("two_samples", wholeTwo)).output.find("CUT OFF"), std::string::npos);
    for (const size_t size : {wholeTwo.size() - 1, wholeTwo.size() - 100}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> cut(wholeTwo.begin(), wholeTwo.begin() + static_cast<std::ptrdiff_t>(size));
        const std::string report = RunXmcheck(WriteTemp("two_samples_cut", cut)).output;
        EXPECT_NE(report.find("CUT OFF -- it ends at byte " + std::to_string(size) + ","), std::string::npos) << report;
        EXPECT_NE(report.find("the sample data of instrument 1 is cut short"), std::string::npos) << report;
    }
    // Cut right after the last pattern: every pattern is there, whole.
    const std::vector<uint8_t> atPatternsEnd(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(patternsEnd));
    const std::string patternsWhole = RunXmcheck(WriteTemp("cut_at_patterns_end", atPatternsEnd)).output;
    EXPECT_NE(patternsWhole.find("instrument 1 missing"), std::string::npos) << patternsWhole;
    EXPECT_EQ(patternsWhole.find("played as empty rows"), std::string::npos) << patternsWhole;
    // The whole file announces exactly its own length.
    CheckResult r = RunXmcheck(WriteTemp("cut_none", whole));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("CUT OFF"), std::string::npos) << r.output;
    const std::vector<uint8_t> cut(whole.begin(), whole.end() - 1);
    EXPECT_NE(RunXmcheck(WriteTemp("cut_one", cut)).output.find("announce at least " + std::to_string(whole.size())),
              std::string::npos);
}

// The verdict is for the player the build's program has, unless told: the
// build's song check and a person running xmcheck after `make run FULLXM=1`
// must hear the same. A volume column entry is ignored by the small player
// only.
TEST(Xmcheck, JudgesForTheBuildsPlayerUnlessTold) {
    XmSong song = CleanSong();
    XmCellAt(song.patterns[0], 2, 4, 1) = XmCell{0, 0, 0x30, 0, 0};
    const std::string path = WriteTemp("volume_column", BuildXm(song));
    const CheckResult helped = RunXmcheck("", "--help");
    EXPECT_EQ(helped.status, 0) << helped.output;
    const std::string help = helped.output;
    const bool buildIsFull = help.find("this build's program has (the full player)") != std::string::npos;
    ASSERT_TRUE(buildIsFull || help.find("this build's program has (the small player)") != std::string::npos) << help;
    struct Case {
        const char* options;
        int status;
        const char* line;
    };
    const Case cases[] = {
        {"--small", 1, "Ignored by this player:\n  volume column entries: 1"},
        {"--full", 0, "Not played by the full player:\n  nothing"},
        {"", buildIsFull ? 0 : 1, buildIsFull ? "Not played by the full player:" : "Ignored by this player:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        CheckResult r = RunXmcheck(path, c.options);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.line), std::string::npos) << r.output;
    }
}

TEST(Xmcheck, TheShippedSongPasses) {
#ifdef OWN_SONG
    GTEST_SKIP() << "built with a song of one's own, not the shipped one";
#endif
    ResourceBytes bytes{};
    ASSERT_TRUE(OsFindResource(nullptr, "MUSIC", RT_RCDATA_TYPE, &bytes));
    CheckResult r = RunXmcheck(WriteTemp("MUSIC", std::vector<uint8_t>(bytes.data, bytes.data + bytes.size)));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Ignored by this player:\n  nothing"), std::string::npos) << r.output;
}

// Real songs made in other trackers: each loads, and each uses the volume
// column and effects this player ignores, which xmcheck must name.
TEST(Xmcheck, TestDataSongsReportTheirIgnoredFeatures) {
    struct Expected {
        const char* file;
        std::vector<std::string> lines;
    };
    const Expected songs[] = {
        {"finalman-quickie.xm",
         {"Loads: yes", "volume column entries:", "effect E2x (fine portamento down):", "effect E9x (retrigger):"}},
        {"pk2-intro.xm",
         {"Loads: yes",
          "volume column entries:", "instruments with a volume envelope:", "effect Dxx (pattern break):"}},
    };
    int found = 0;
    for (const Expected& e : songs) {
        std::string path = std::string(QUILLON_SHARED_XM_DIR) + "/" + e.file;
        if (!std::filesystem::exists(path))
            continue;
        ++found;
        CheckResult r = RunXmcheck(path);
        EXPECT_EQ(r.status, 1) << r.output;
        for (const std::string& line : e.lines)
            EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    }
    if (!found)
        GTEST_SKIP() << "no test data songs in " << QUILLON_SHARED_XM_DIR;
}

} // namespace
