// The process entry: reads the viewer's options, then hands over to the
// program's WinMain as the platform would, with an empty command line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/options.h"
#include "record/recorder.h"
#include "windows.h"

namespace {

// SOMBRELLA_DATA_DIR: the program reads its files from the working folder, so
// an installed launcher runs it in the data folder. Paths the user gave stay
// relative to where the user started it.
bool EnterDataFolder() {
    const char* dir = std::getenv("SOMBRELLA_DATA_DIR");
    if (!dir || !*dir) return true;
    for (const char* knob : {"SOMBRELLA_RECORD", "SOMBRELLA_CAPTURE_DIR", "SOMBRELLA_FRAME_LOG"}) {
        const char* v = std::getenv(knob);
        std::error_code ec;
        if (v && *v) setenv(knob, std::filesystem::absolute(v, ec).c_str(), 1);
    }
    if (chdir(dir) == 0) return true;
    std::fprintf(stderr, "sombrella: cannot enter the data folder %s\n", dir);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using sombrella::options::Parsed;
    const Parsed parsed = sombrella::options::Parse(argc, argv, [](const char* n) -> const char* { return std::getenv(n); });
    switch (parsed.action) {
        case Parsed::Action::Help: std::fputs(sombrella::options::HelpText().c_str(), stdout); return 0;
        case Parsed::Action::Version: std::printf("sombrella %s\n", sombrella::options::Version()); return 0;
        case Parsed::Action::Error:
            std::fprintf(stderr, "%s\n%s\n", parsed.error.c_str(), sombrella::options::UsageLine());
            return 2;
        case Parsed::Action::Run: break;
    }
    for (const auto& [name, value] : parsed.env) setenv(name.c_str(), value.c_str(), 1);
    if (!EnterDataFolder()) return 1;
    if (const int status = sombrella::record::Start()) {
        if (status == 2) std::fprintf(stderr, "%s\n", sombrella::options::UsageLine());
        return status;
    }
    char empty[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, empty, SW_SHOWDEFAULT);
    if (!sombrella::record::Finish()) return 1;
    return status;
}
