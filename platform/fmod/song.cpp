#include "fmod/song.h"

#include <libopenmpt/libopenmpt.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/regular_file.h"
#include "fmod/xm_check.h"

namespace sombrella::fmod {
namespace {

void CollectLog(const char* message, void* user) {
    if (!user || !message) return;
    auto* log = static_cast<std::string*>(user);
    log->append(message);
    log->push_back('\n');
}

int IgnoreError(int, void*) { return OPENMPT_ERROR_FUNC_RESULT_NONE; }

bool IsKnownFormat(openmpt_module* player) {
    const char* type = openmpt_module_get_metadata(player, "type");
    bool known = false;
    if (type) {
        for (const char* t : {"mod", "s3m", "xm", "it"})
            if (std::strcmp(type, t) == 0) known = true;
        openmpt_free_string(type);
    }
    return known;
}

}  // namespace

FMUSIC_MODULE* LoadSongFromMemory(const void* data, size_t size, std::string* log) {
    if (!data || size == 0 || size > kMaxSongBytes) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (LooksLikeXm(bytes, size) && !XmIsComplete(bytes, size)) return nullptr;
    int error = 0;
    openmpt_module* player = openmpt_module_create_from_memory2(
        data, size, CollectLog, log, IgnoreError, nullptr, &error, nullptr, nullptr);
    if (!player) return nullptr;
    if (!IsKnownFormat(player) || openmpt_module_get_num_orders(player) <= 0) {
        openmpt_module_destroy(player);
        return nullptr;
    }
    // The music library loops songs until they are stopped.
    openmpt_module_set_repeat_count(player, -1);
    // libopenmpt dithers 16-bit output with a randomly seeded generator; off,
    // the same song renders the same samples every time (capture relies on it).
    openmpt_module_ctl_set_integer(player, "dither", 0);
    auto* song = new FMUSIC_MODULE;
    song->player = player;
    return song;
}

FMUSIC_MODULE* LoadSongFile(const char* name, std::string* log) {
    if (!name || !*name) return nullptr;
    std::string path(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    std::FILE* f = files::OpenRegularStream(path.c_str(), "rb");
    if (!f) return nullptr;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t n;
    bool tooBig = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + n > kMaxSongBytes) {
            tooBig = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (tooBig || readError || bytes.empty()) return nullptr;
    return LoadSongFromMemory(bytes.data(), bytes.size(), log);
}

void DestroySong(FMUSIC_MODULE* song) {
    if (!song) return;
    openmpt_module_destroy(song->player);
    delete song;
}

}  // namespace sombrella::fmod
