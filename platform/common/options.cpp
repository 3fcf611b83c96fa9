#include "common/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#ifndef SOMBRELLA_VERSION
#define SOMBRELLA_VERSION "0"
#endif

namespace sombrella::options {
namespace {

enum class Kind { Flag, Int, Choice, Scale, Size, Path };

struct Option {
    const char* name;      // without the leading dashes
    const char* env;       // its environment form
    Kind kind;
    const char* flagValue; // Flag: the value it sets
    long lo, hi;           // Int: the accepted range
    const char* choices;   // Choice: '|' separated
    const char* arg;       // the value's name in the help
    const char* help;
};

constexpr Option kOptions[] = {
    {"windowed", "SOMBRELLA_WINDOWED", Kind::Flag, "1", 0, 0, nullptr, nullptr,
     "Run in a resizable window (default: full screen)."},
    {"fullscreen", "SOMBRELLA_WINDOWED", Kind::Flag, "0", 0, 0, nullptr, nullptr,
     "Run full screen on the desktop (the default)."},
    {"scale", "SOMBRELLA_SCALE", Kind::Scale, nullptr, 1, 8, nullptr, "N|native",
     "Internal rendering size: 640x480 times N (1-8), or the display's size with 4:3 kept (default: 1)."},
    {"filter", "SOMBRELLA_FILTER", Kind::Choice, nullptr, 0, 0, "point|bilinear", "point|bilinear",
     "How the picture is scaled to the screen (default: bilinear)."},
    {"integer", "SOMBRELLA_INTEGER", Kind::Flag, "1", 0, 0, nullptr, nullptr,
     "Scale the picture by whole numbers only, with black bars around it."},
    {"aa", "SOMBRELLA_AA", Kind::Choice, nullptr, 0, 0, "1|4|9|16", "N",
     "Supersampling: N samples a pixel on a square grid, 1, 4, 9 or 16 (default: 1)."},
    {"mipmaps", "SOMBRELLA_MIPMAPS", Kind::Flag, "1", 0, 0, nullptr, nullptr,
     "Mipmaps made from each texture's top level, sampled bilinearly where a texture is minified "
     "(default: off)."},
    {"no-mipmaps", "SOMBRELLA_MIPMAPS", Kind::Flag, "0", 0, 0, nullptr, nullptr,
     "No mipmaps, also under --enhanced."},
    {"enhanced", "SOMBRELLA_ENHANCED", Kind::Flag, "1", 0, 0, nullptr, nullptr,
     "Preset: --scale native --aa 4 --mipmaps (default: the faithful 640x480x16 picture). Explicit --scale, "
     "--aa and --no-mipmaps win."},
    {"record", "SOMBRELLA_RECORD", Kind::Path, nullptr, 0, 0, nullptr, "FILE",
     "Record the whole run on the virtual clock to a video file; the extension picks the format (.mp4: H.264 + "
     "AAC, .mkv: lossless FFV1 + FLAC, others: the format's own codecs)."},
    {"record-size", "SOMBRELLA_RECORD_SIZE", Kind::Size, nullptr, 16, 8192, nullptr, "WxH",
     "Video frame size; the picture is pillarboxed into it (default: the internal rendering size)."},
    {"fps", "SOMBRELLA_REFRESH_HZ", Kind::Int, nullptr, 1, 1000, nullptr, "N",
     "Frames per second: pacing without a display vsync, and a recording's frame rate (default: vsync, else "
     "60; recording: 60)."},
    {"quit-after", "SOMBRELLA_QUIT_AFTER_FRAMES", Kind::Int, nullptr, 1, 100000000, nullptr, "N",
     "End after N frames (as if Escape were pressed); a recording then holds exactly N frames."},
};

struct Knob {
    const char* env;
    const char* help;
};

// Knobs that have no option of their own.
constexpr Knob kKnobs[] = {
    {"SOMBRELLA_FIXED_STEP_HZ=N", "A virtual clock advancing 1/N s per presented frame (default: real time)."},
    {"SOMBRELLA_CAPTURE_DIR=DIR", "Save presented frames as DIR/frame_NNNNNN.png, and the music as DIR/music.wav "
                                  "with a virtual clock (default: none)."},
    {"SOMBRELLA_CAPTURE_FRAMES=SEL", "Frames to save: all, or numbers and ranges such as 0,10,100-200 "
                                     "(default: all)."},
    {"SOMBRELLA_DXSDK_SAMPLES_PATH=DIR", "The registry's \"DXSDK Samples Path\" (default: unset)."},
    {"SOMBRELLA_FRAME_LOG=FILE", "Write the time of every presented frame (ns) to FILE (default: none)."},
    {"SOMBRELLA_RASTER_THREADS=N", "Software rasterizer threads (default: the number of cores)."},
    {"SOMBRELLA_DATA_DIR=DIR", "Run in DIR, where the demo's files are; paths given elsewhere stay relative to "
                               "the starting folder (default: the working folder; the installed launcher sets it)."},
    {"SOMBRELLA_NO_DIALOGS=1", "Start-up failure messages to standard error only (default: also a dialog)."},
    {"SDL_VIDEODRIVER=dummy", "No display at all (headless)."},
    {"SDL_AUDIODRIVER=dummy|disk", "No sound device, or the mixed audio to a file."},
};

bool WholeNumber(const char* s, long lo, long hi, long* out) {
    if (!s || !*s) return false;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(s, &end, 10);
    if (errno || *end || n < lo || n > hi || *s == '+' || *s == ' ') return false;
    *out = n;
    return true;
}

bool OneOf(const char* choices, const std::string& v) {
    const std::string all = std::string("|") + choices + "|";
    return !v.empty() && all.find("|" + v + "|") != std::string::npos;
}

// Empty when the value is fine, else what is wrong with it.
std::string CheckValue(const Option& o, const std::string& v) {
    long n = 0;
    switch (o.kind) {
        case Kind::Flag: return {};
        case Kind::Int:
            if (WholeNumber(v.c_str(), o.lo, o.hi, &n)) return {};
            return "a whole number from " + std::to_string(o.lo) + " to " + std::to_string(o.hi);
        case Kind::Choice:
            if (OneOf(o.choices, v)) return {};
            return std::string("one of ") + o.choices;
        case Kind::Scale:
            if (v == "native" || WholeNumber(v.c_str(), o.lo, o.hi, &n)) return {};
            return "1 to 8 or native";
        case Kind::Size: {
            const size_t x = v.find('x');
            long w = 0, h = 0;
            if (x != std::string::npos && WholeNumber(v.substr(0, x).c_str(), o.lo, o.hi, &w) &&
                WholeNumber(v.substr(x + 1).c_str(), o.lo, o.hi, &h) && w % 2 == 0 && h % 2 == 0)
                return {};
            return "WIDTHxHEIGHT, even numbers from 16 to 8192";
        }
        case Kind::Path: return v.empty() ? "a file name" : std::string{};
    }
    return {};
}

const Option* Find(const std::string& name) {
    for (const Option& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

const char* UsageLine() { return "usage: sombrella [--help] [--version] [options]"; }

const char* Version() { return SOMBRELLA_VERSION; }

std::string HelpText() {
    std::string t = std::string(UsageLine()) +
                    "\n\nTiro el Sombrella: a real-time 3D demo, re-created. Escape ends it; Alt+Enter switches "
                    "between window and full screen.\n\nOptions (each also read from the environment variable "
                    "shown; the option wins):\n";
    auto line = [&](const std::string& left, const std::string& right) {
        t += "  " + left;
        t += left.size() < 28 ? std::string(28 - left.size(), ' ') : "\n" + std::string(30, ' ');
        t += right + "\n";
    };
    line("--help", "Show this help and exit.");
    line("--version", "Show the version and exit.");
    for (const Option& o : kOptions) {
        std::string left = std::string("--") + o.name + (o.arg ? std::string(" ") + o.arg : "");
        std::string env = std::string(o.env) + "=" + (o.kind == Kind::Flag ? o.flagValue : (o.arg ? o.arg : ""));
        line(left, std::string(o.help) + " [" + env + "]");
    }
    t += "\nOther environment variables:\n";
    for (const Knob& k : kKnobs) line(k.env, k.help);
    t += "\nExit status: 0 when the demo ran, 1 when it could not start or a recording failed, 2 for a bad "
         "option or value.\n";
    return t;
}

Parsed Parse(int argc, const char* const* argv, Getenv getenv) {
    Parsed p;
    auto fail = [&](std::string message) {
        p.action = Parsed::Action::Error;
        p.error = "sombrella: " + std::move(message);
        p.env.clear();
        return p;
    };
    std::map<std::string, std::string> cli;  // env name -> value from the command line
    bool cliEnhanced = false;
    std::optional<std::string> cliFps;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            p.action = Parsed::Action::Help;
            return p;
        }
        if (a == "--version") {
            p.action = Parsed::Action::Version;
            return p;
        }
        if (a.rfind("--", 0) != 0) return fail("unexpected argument " + Quote(a));
        std::string name = a.substr(2), value;
        const size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const Option* o = Find(name);
        if (!o) return fail("unknown option " + Quote("--" + name));
        if (o->kind == Kind::Flag) {
            if (inlineValue) return fail("option " + Quote("--" + name) + " takes no value");
            value = o->flagValue;
        } else if (!inlineValue) {
            if (i + 1 >= argc) return fail("option " + Quote("--" + name) + " needs a value (" + o->arg + ")");
            value = argv[++i];
        }
        const std::string why = CheckValue(*o, value);
        if (!why.empty()) return fail("bad value " + Quote(value) + " for --" + name + ": " + why);
        if (o->kind == Kind::Flag && !std::strcmp(o->name, "enhanced")) cliEnhanced = true;
        if (!std::strcmp(o->name, "fps")) cliFps = value;
        cli[o->env] = value;
    }

    // The environment forms are checked like options, so a typo never passes silently.
    auto fromEnv = [&](const char* env) -> std::optional<std::string> {
        const char* v = getenv(env);
        if (!v || !*v) return std::nullopt;
        return std::string(v);
    };
    for (const Option& o : kOptions) {
        if (o.kind == Kind::Flag || o.kind == Kind::Int || cli.count(o.env)) continue;
        if (auto v = fromEnv(o.env)) {
            const std::string why = CheckValue(o, *v);
            if (!why.empty()) return fail("bad value " + Quote(*v) + " for " + o.env + ": " + why);
        }
    }
    for (auto& [env, value] : cli) p.env.emplace_back(env, value);

    // --enhanced fills in what was not given at its own level or above.
    const auto envEnhanced = fromEnv("SOMBRELLA_ENHANCED");
    const bool enhanced = cliEnhanced || (envEnhanced && *envEnhanced != "0");
    if (enhanced) {
        auto preset = [&](const char* env, const char* value) {
            if (cli.count(env)) return;
            if (!cliEnhanced && fromEnv(env)) return;
            p.env.emplace_back(env, value);
        };
        preset("SOMBRELLA_SCALE", "native");
        preset("SOMBRELLA_AA", "4");
        preset("SOMBRELLA_MIPMAPS", "1");
    }

    // A recording runs on the virtual clock, unpaced, at the chosen rate.
    const std::optional<std::string> record =
        cli.count("SOMBRELLA_RECORD") ? std::optional(cli["SOMBRELLA_RECORD"]) : fromEnv("SOMBRELLA_RECORD");
    if (record) {
        std::string fps = "60";
        long n = 0;
        if (cliFps) fps = *cliFps;
        else if (auto v = fromEnv("SOMBRELLA_FIXED_STEP_HZ")) fps = *v;
        // A pacing rate counts only as a rate: 0 (unpaced) says nothing about the video.
        else if (auto r = fromEnv("SOMBRELLA_REFRESH_HZ"); r && WholeNumber(r->c_str(), 1, 1000, &n)) fps = *r;
        if (!WholeNumber(fps.c_str(), 1, 1000, &n))
            return fail("bad frame rate " + Quote(fps) + " for SOMBRELLA_FIXED_STEP_HZ when recording");
        p.env.emplace_back("SOMBRELLA_FIXED_STEP_HZ", fps);
        p.env.emplace_back("SOMBRELLA_REFRESH_HZ", "0");
        // Recording never takes over the screen unless asked to.
        if (!cli.count("SOMBRELLA_WINDOWED") && !fromEnv("SOMBRELLA_WINDOWED"))
            p.env.emplace_back("SOMBRELLA_WINDOWED", "1");
    }
    return p;
}

}  // namespace sombrella::options
