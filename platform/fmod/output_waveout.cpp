// The Windows sound card through waveOut ("waveout"): a feeder thread keeps a
// ring of buffers queued, refilling each one from the mixer when the device
// hands it back.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "fmod/mixer.h"
#include "fmod/output.h"

namespace sombrella::fmod {
namespace {

// Four buffers of 1024 frames: about 93 ms queued at 44.1 kHz, short enough
// for the song to follow the demo, long enough not to starve under load.
constexpr int kBuffers = 4;
constexpr DWORD kFramesPerBuffer = 1024;

HWAVEOUT g_device = nullptr;
HANDLE g_ready = nullptr;  // signalled by the device whenever a buffer is done
// Never destroyed at exit (see output_silent.cpp): the system stops the
// thread itself when the process ends.
std::thread* g_thread = nullptr;
std::atomic<bool> g_stop{false};
std::vector<int16_t> g_samples;
WAVEHDR g_headers[kBuffers];

void Queue(WAVEHDR& header) {
    Mix(reinterpret_cast<int16_t*>(header.lpData), kFramesPerBuffer);
    header.dwFlags &= ~WHDR_DONE;
    waveOutWrite(g_device, &header, sizeof(header));
}

void Run() {
    for (WAVEHDR& header : g_headers) Queue(header);
    while (!g_stop.load()) {
        WaitForSingleObject(g_ready, 50);
        for (WAVEHDR& header : g_headers)
            if ((header.dwFlags & WHDR_DONE) && !g_stop.load()) Queue(header);
    }
}

void Release() {
    if (g_device) {
        waveOutReset(g_device);
        for (WAVEHDR& header : g_headers)
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(g_device, &header, sizeof(header));
        waveOutClose(g_device);
        g_device = nullptr;
    }
    if (g_ready) {
        CloseHandle(g_ready);
        g_ready = nullptr;
    }
    g_samples.clear();
}

bool Open() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = static_cast<DWORD>(MixerRate());
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(kChannels * sizeof(int16_t));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    g_ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_ready) return false;
    if (waveOutOpen(&g_device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(g_ready), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR) {
        g_device = nullptr;
        Release();
        return false;
    }
    g_samples.assign(static_cast<size_t>(kBuffers) * kFramesPerBuffer * kChannels, 0);
    for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR& header = g_headers[i];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(&g_samples[static_cast<size_t>(i) * kFramesPerBuffer * kChannels]);
        header.dwBufferLength = kFramesPerBuffer * format.nBlockAlign;
        if (waveOutPrepareHeader(g_device, &header, sizeof(header)) != MMSYSERR_NOERROR) {
            Release();
            return false;
        }
    }
    g_stop = false;
    g_thread = new std::thread(Run);
    return true;
}

void Close() {
    if (!g_thread) return;
    g_stop = true;
    SetEvent(g_ready);
    g_thread->join();
    delete g_thread;
    g_thread = nullptr;
    Release();
}

void Flush() {}

}  // namespace

const Output kWaveOutOutput = {"waveout", Open, Close, Flush};

}  // namespace sombrella::fmod
