// tvplay: the command-line player over TarvoPlayLib, its demo, and the record
// index tool. Options.cpp says what each option does (tvplay --help).
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "Demo.h"
#include "Options.h"
#include "Player.h"
#include "RecordIndex.h"

int main(int argc, char** argv)
{
    PlayOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tvplay: %s\n\n", error.c_str());
        PrintUsage(stderr);
        return 2;
    }
    // The decoders' library reports every picture it cannot decode, which a
    // stream joined between two key frames gives plenty of; tvplay's own lines
    // say whether the picture plays. TARVO_TRACE brings them back.
    if (!std::getenv("TARVO_TRACE"))
        av_log_set_level(AV_LOG_FATAL);
    switch (options.mode) {
    case RunMode::Help:
        PrintUsage(stdout);
        return 0;
    case RunMode::Demo:
        return RunDemo(options);
    case RunMode::Index:
        return RunIndex(options.file.c_str());
    case RunMode::Play:
        break;
    }
    return RunPlayer(options);
}
