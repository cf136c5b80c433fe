// feeder_load [SECONDS]
// The feeder thread's CPU use while the shipped song plays in real time: the
// program's MusicStart on the headless backend, with this thread moving the
// virtual device's play position as a real device would (176400 bytes a
// second) for SECONDS (default 30). Prints the feeder thread's user and
// system time over the run, as a share of one core, from /proc.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <dirent.h>
#include <unistd.h>

#include "music/audio_output.h"
#include "music/music.h"
#include "platform/headless/headless.h"

namespace {

// utime + stime in clock ticks of every thread of this process but `skip`.
long long OtherThreadsTicks(long skip) {
    long long total = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    while (dirent* e = readdir(dir)) {
        long tid = std::atol(e->d_name);
        if (tid <= 0 || tid == skip)
            continue;
        std::ifstream in("/proc/self/task/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(in, line);
        // Fields after the command name (which may hold blanks) start at ')'.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string f;
        long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14)
                utime = std::atoll(f.c_str());
            if (i == 15)
                stime = std::atoll(f.c_str());
        }
        total += utime + stime;
    }
    closedir(dir);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    HeadlessReset();
    if (!MusicStart()) {
        std::fprintf(stderr, "feeder_load: the song does not start\n");
        return 1;
    }
    long self = static_cast<long>(gettid());
    long long before = OtherThreadsTicks(self);
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        HeadlessAudioSetPosition(static_cast<uint32_t>(static_cast<long long>(elapsed * 44100) * 4));
        if (elapsed >= seconds)
            break;
    }
    long long after = OtherThreadsTicks(self);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    MusicStop();
    std::printf("feeder thread: %.3f s of CPU over %.1f s of playing = %.2f%% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
