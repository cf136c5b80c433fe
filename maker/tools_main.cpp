// quillon-tools TOOL ARGUMENTS...: the maker page's checks in one
// WebAssembly module. TOOL is textc, fontc, anigen, fpsgen, iconc or xmcheck,
// and the tool runs its own main() on the rest of the command line exactly as
// the command-line tool does (it sees TOOL as its argv[0]), so the page shows
// the same messages and exit codes. Each tool's source is compiled with its
// main renamed (maker/CMakeLists.txt).
//
// The module's memory grows to QUILLON_TOOLS_MEMORY_MB. An input too large
// for it (a file of several hundred MB: a tool may hold two or three copies)
// ends the run with "TOOL: not enough memory for this input ..." and exit
// status 1, where the command line, with the machine's memory, would go on.
#include <cstdio>
#include <cstring>
#include <new>

int quillon_textc_main(int argc, char** argv);
int quillon_fontc_main(int argc, char** argv);
int quillon_anigen_main(int argc, char** argv);
int quillon_fpsgen_main(int argc, char** argv);
int quillon_iconc_main(int argc, char** argv);
int quillon_xmcheck_main(int argc, char** argv);

namespace {

struct Tool {
    const char* name;
    int (*main)(int, char**);
};

const Tool TOOLS[] = {
    {"textc", quillon_textc_main},   {"fontc", quillon_fontc_main}, {"anigen", quillon_anigen_main},
    {"fpsgen", quillon_fpsgen_main}, {"iconc", quillon_iconc_main}, {"xmcheck", quillon_xmcheck_main},
};

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2)
        for (const Tool& tool : TOOLS)
            if (std::strcmp(argv[1], tool.name) == 0) {
                try {
                    return tool.main(argc - 1, argv + 1);
                } catch (const std::bad_alloc&) {
                    std::fprintf(stderr,
                                 "%s: not enough memory for this input (the page's tools have %d MB in all; "
                                 "is it the right file?)\n",
                                 tool.name, QUILLON_TOOLS_MEMORY_MB);
                    return 1;
                }
            }
    std::fputs(
        "usage: quillon-tools TOOL ARGUMENTS...\n"
        "TOOL is textc, fontc, anigen, fpsgen, iconc or xmcheck; the rest is its command line.\n",
        stderr);
    return 2;
}
