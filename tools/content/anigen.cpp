// anigen PARAMETERS OUTPUT.bmp: renders the ANI strip from its parameters.
#include "tools/content/ani_generator.h"
#include "tools/content/resource_check.h"
#include "tools/content/builder_main.h"

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
