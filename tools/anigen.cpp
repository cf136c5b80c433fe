// anigen PARAMETERS OUTPUT.bmp: renders the ANI strip from its parameters.
#include "tools/ani_generator.h"
#include "tools/art_check.h"
#include "tools/art_main.h"

int main(int argc, char** argv)
{
    return RunArtBuilder(
        "anigen", argc, argv,
        [](const std::string& source, std::vector<uint8_t>& out, std::string& error) {
            AniParams params;
            if (!ParseAniParams(source, params, error)) return false;
            out = EncodeBmp(RenderAni(params));
            return true;
        },
        CheckAniBmp);
}
