// The recorder writes to "<FILE>.part" and renames it to FILE only once the
// trailer is written, so an interrupted or failed recording never leaves a
// file that looks complete. Everything is encoded bit-exact on the virtual
// clock: two recordings with the same options hold the same frames and audio.
// The encoding runs on a thread of its own, in the order the frames and
// samples arrived, so the demo renders the next frame meanwhile; the file is
// the same as if it were encoded in place.
#include "record/recorder.h"

#include <SDL.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/knobs.h"
#include "common/present_hooks.h"
#include "record/convert.h"
#include "record/progress.h"

namespace sombrella::record {
namespace {

constexpr int kChannels = 2;
constexpr long kDemoSeconds = 42;  // the demo's own length, for the progress estimate
// Frames waiting for the encoder; the demo waits when it is this far ahead.
constexpr size_t kFramesAhead = 2;

std::string ErrorText(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

struct Codecs {
    AVCodecID video, audio;
};

// The codecs for a container: H.264 + AAC in MP4-like files, FFV1 + FLAC
// (lossless) in Matroska, otherwise the container's own defaults.
Codecs CodecsFor(const AVOutputFormat* f) {
    const std::string name = f->name;
    if (name.find("mp4") != std::string::npos || name.find("mov") != std::string::npos)
        return {AV_CODEC_ID_H264, AV_CODEC_ID_AAC};
    if (name == "matroska") return {AV_CODEC_ID_FFV1, AV_CODEC_ID_FLAC};
    return {f->video_codec, f->audio_codec};
}

// What the demo handed over, in order, for the encoder thread.
struct Job {
    enum class Kind { Begin, Samples, Frame } kind = Kind::Begin;
    explicit Job(Kind k = Kind::Begin) : kind(k) {}
    int rate = 0;
    std::vector<int16_t> samples;
    std::vector<uint8_t> pixels;  // a frame's rows, packed
    present::FrameView frame{};
};

class Recorder {
public:
    std::string path, partPath;
    long fps = 60;
    uint64_t frameLimit = 0;  // 0: none
    int outW = 0, outH = 0;   // 0: the picture's own size
    std::atomic<bool> failed{false};

    int Open();
    // On the demo's thread: queue for the encoder.
    void SubmitFrame(const present::FrameView& frame);
    void SubmitBegin(int rate);
    void SubmitSamples(const int16_t* s, size_t frames);
    void StartEncoder();
    bool Close();

private:
    void EncoderLoop();
    void Push(Job job);
    void OnFrame(const present::FrameView& frame);
    void BeginAudio(int rate);
    void OnSamples(const int16_t* s, size_t frames);
    void Convert(const present::FrameView& f);
    bool OpenStreams(int width, int height);
    bool OpenAudio();
    AVStream* OpenEncoder(AVCodecContext* ctx, const AVCodec* codec, const char* what);
    bool Encode(AVCodecContext* ctx, AVStream* st, AVFrame* f);
    bool EncodeAudioChunks(bool flushAll);
    void Fail(const std::string& what);
    uint64_t SamplesFor(uint64_t frames) const {
        return frames * static_cast<uint64_t>(sampleRate_) / static_cast<uint64_t>(fps);
    }

    const AVOutputFormat* format_ = nullptr;
    Codecs codecs_{};
    AVFormatContext* fmt_ = nullptr;
    AVCodecContext* venc_ = nullptr;
    AVCodecContext* aenc_ = nullptr;
    AVStream* vst_ = nullptr;
    AVStream* ast_ = nullptr;
    AVFrame* vframe_ = nullptr;
    AVFrame* aframe_ = nullptr;
    AVFrame* canvas_ = nullptr;  // pillarboxing: the picture placed on black first
    int boxX_ = 0, boxY_ = 0;    // where on the canvas
    AVPacket* pkt_ = nullptr;
    SwsContext* sws_ = nullptr;
    SwsContext* canvasSws_ = nullptr;
    int srcW_ = 0, srcH_ = 0, srcBpp_ = 0;
    uint32_t srcGreen_ = 0;
    int sampleRate_ = 44100;
    bool audioBegun_ = false;
    bool started_ = false;  // header written
    uint64_t frames_ = 0, samplesIn_ = 0, samplesOut_ = 0;
    std::vector<int16_t> pending_;  // audio not yet encoded
    std::unique_ptr<Progress> progress_;
    enum class Direct { None, Yuv420, Bgr0 } direct_ = Direct::None;  // conversion without swscale

    std::thread encoder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::vector<std::vector<uint8_t>> spare_;  // frame buffers to reuse
    size_t framesQueued_ = 0;
    uint64_t framesSubmitted_ = 0;
    bool closing_ = false;
};

Recorder* g_rec = nullptr;

void FrameHook(void* user, uint64_t, const present::FrameView& f) { static_cast<Recorder*>(user)->SubmitFrame(f); }
void BeginHook(void* user, int rate) { static_cast<Recorder*>(user)->SubmitBegin(rate); }
void SamplesHook(void* user, const int16_t* s, size_t n) { static_cast<Recorder*>(user)->SubmitSamples(s, n); }
present::AudioSink g_sink{BeginHook, SamplesHook, nullptr};

int Recorder::Open() {
    format_ = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!format_) {
        std::fprintf(stderr, "sombrella: no video format for the file name '%s' (try .mp4 or .mkv)\n", path.c_str());
        return 2;
    }
    codecs_ = CodecsFor(format_);
    if (codecs_.video == AV_CODEC_ID_NONE || !avcodec_find_encoder(codecs_.video)) {
        std::fprintf(stderr, "sombrella: no video encoder for '%s'\n", path.c_str());
        return 2;
    }
    partPath = path + ".part";
    // Find out now, before the demo starts, whether the file can be written.
    AVIOContext* probe = nullptr;
    const int err = avio_open(&probe, partPath.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) {
        std::fprintf(stderr, "sombrella: cannot write '%s': %s\n", path.c_str(), ErrorText(err).c_str());
        return 1;
    }
    avio_closep(&probe);
    std::remove(partPath.c_str());
    const long quitAfter = knobs::Int("SOMBRELLA_QUIT_AFTER_FRAMES", 0);
    frameLimit = quitAfter > 0 ? static_cast<uint64_t>(quitAfter) : 0;
    progress_ = std::make_unique<Progress>(frameLimit ? frameLimit : kDemoSeconds * fps, fps);
    return 0;
}

void Recorder::StartEncoder() { encoder_ = std::thread([this] { EncoderLoop(); }); }

void Recorder::Push(Job job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (job.kind == Job::Kind::Frame) {
        changed_.wait(lock, [&] { return framesQueued_ < kFramesAhead; });
        ++framesQueued_;
    }
    jobs_.push_back(std::move(job));
    changed_.notify_all();
}

void Recorder::SubmitFrame(const present::FrameView& f) {
    if (failed || (frameLimit && framesSubmitted_ >= frameLimit)) return;
    ++framesSubmitted_;
    Job job(Job::Kind::Frame);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
            job.pixels = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    const size_t row = static_cast<size_t>(f.width) * static_cast<size_t>(f.bitsPerPixel / 8);
    job.pixels.resize(row * static_cast<size_t>(f.height));
    for (int y = 0; y < f.height; ++y)
        std::memcpy(job.pixels.data() + row * static_cast<size_t>(y), f.bits + static_cast<ptrdiff_t>(y) * f.pitch, row);
    job.frame = f;
    job.frame.bits = job.pixels.data();
    job.frame.pitch = static_cast<long>(row);
    Push(std::move(job));
}

void Recorder::SubmitBegin(int rate) {
    Job job(Job::Kind::Begin);
    job.rate = rate;
    Push(std::move(job));
}

void Recorder::SubmitSamples(const int16_t* s, size_t n) {
    if (failed) return;
    Job job(Job::Kind::Samples);
    job.samples.assign(s, s + n * kChannels);
    Push(std::move(job));
}

void Recorder::EncoderLoop() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        switch (job.kind) {
            case Job::Kind::Begin: BeginAudio(job.rate); break;
            case Job::Kind::Samples: OnSamples(job.samples.data(), job.samples.size() / kChannels); break;
            case Job::Kind::Frame: OnFrame(job.frame); break;
        }
        if (job.kind == Job::Kind::Frame) {
            std::lock_guard<std::mutex> lock(mutex_);
            spare_.push_back(std::move(job.pixels));
            --framesQueued_;
            changed_.notify_all();
        }
    }
}

void Recorder::Fail(const std::string& what) {
    if (failed.exchange(true)) return;
    std::fprintf(stderr, "\nsombrella: recording to '%s' failed: %s\n", path.c_str(), what.c_str());
    // End the run the way closing the window would.
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}

bool Recorder::OpenStreams(int width, int height) {
    if (avformat_alloc_output_context2(&fmt_, format_, nullptr, partPath.c_str()) < 0 || !fmt_) return false;
    fmt_->flags |= AVFMT_FLAG_BITEXACT;
    const AVCodec* vc = avcodec_find_encoder(codecs_.video);
    venc_ = avcodec_alloc_context3(vc);
    if (!venc_) return false;
    const int w = outW ? outW : width, h = outH ? outH : height;
    venc_->width = w;
    venc_->height = h;
    venc_->time_base = AVRational{1, static_cast<int>(fps)};
    venc_->framerate = AVRational{static_cast<int>(fps), 1};
    venc_->sample_aspect_ratio = AVRational{1, 1};
    // No AV_CODEC_FLAG_BITEXACT here: x264 then drops its assembly. It gives
    // the same stream run after run on one machine anyway.
    venc_->gop_size = static_cast<int>(fps) * 2;
    // Every core; x264's and FFV1's threading keeps the output the same.
    venc_->thread_count = 0;
    // Lossless codecs keep RGB where they can; the rest get the most widely played format.
    AVPixelFormat pix = AV_PIX_FMT_YUV420P;
    if (vc->pix_fmts) {
        bool has420 = false;
        for (const AVPixelFormat* p = vc->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) has420 |= *p == AV_PIX_FMT_YUV420P;
        if (codecs_.video == AV_CODEC_ID_FFV1 || !has420)
            pix = avcodec_find_best_pix_fmt_of_list(vc->pix_fmts, AV_PIX_FMT_RGB24, 0, nullptr);
    }
    venc_->pix_fmt = pix;
    if (codecs_.video == AV_CODEC_ID_FFV1) {
        venc_->level = 3;
        venc_->slices = 4;
        av_opt_set_int(venc_->priv_data, "slicecrc", 1, 0);
    }
    if (!std::strcmp(vc->name, "libx264")) {
        // Encoding costs as much CPU as rendering, on the same two cores.
        // ultrafast at CRF 16 keeps the detail of superfast at CRF 18 (luma
        // SSIM 0.983 against 0.982 at 640x480, 0.992 against 0.993 at
        // 1920x1440) in less than half the encoding time, for files about
        // 1.4 times larger.
        av_opt_set(venc_->priv_data, "preset", "ultrafast", 0);
        av_opt_set(venc_->priv_data, "crf", "16", 0);
    }
    if (pix == AV_PIX_FMT_YUV420P) {
        // Say which matrix the samples use, so players do not guess BT.709 for large frames.
        venc_->colorspace = AVCOL_SPC_SMPTE170M;
        venc_->color_primaries = AVCOL_PRI_SMPTE170M;
        venc_->color_trc = AVCOL_TRC_SMPTE170M;
        venc_->color_range = AVCOL_RANGE_MPEG;
    }
    vst_ = OpenEncoder(venc_, vc, "video");
    if (!vst_) return false;
    vst_->avg_frame_rate = venc_->framerate;

    vframe_ = av_frame_alloc();
    if (!vframe_) return false;
    vframe_->format = pix;
    vframe_->width = w;
    vframe_->height = h;
    if (av_frame_get_buffer(vframe_, 0) < 0) return false;

    const AVPixelFormat src = srcBpp_ == 32        ? AV_PIX_FMT_BGR0
                              : srcGreen_ == 0x07E0 ? AV_PIX_FMT_RGB565LE
                                                    : AV_PIX_FMT_RGB555LE;
    // swscale's fast paths give the same result run after run on one machine.
    const int flags = SWS_BICUBIC;
    if (w == width && h == height) {
        if (pix == AV_PIX_FMT_YUV420P) direct_ = Direct::Yuv420;
        else if (pix == AV_PIX_FMT_BGR0) direct_ = Direct::Bgr0;
        else sws_ = sws_getContext(width, height, src, w, h, pix, flags, nullptr, nullptr, nullptr);
    } else {
        // Fit the picture inside the frame with its aspect kept, centred on black.
        canvas_ = av_frame_alloc();
        if (!canvas_) return false;
        canvas_->format = AV_PIX_FMT_BGR0;
        canvas_->width = w;
        canvas_->height = h;
        if (av_frame_get_buffer(canvas_, 0) < 0) return false;
        for (int y = 0; y < h; ++y) std::memset(canvas_->data[0] + y * canvas_->linesize[0], 0, w * 4);
        const double fit = std::min(static_cast<double>(w) / width, static_cast<double>(h) / height);
        const int fw = std::max(1, static_cast<int>(width * fit + 0.5)), fh = std::max(1, static_cast<int>(height * fit + 0.5));
        sws_ = sws_getContext(width, height, src, fw, fh, AV_PIX_FMT_BGR0, flags, nullptr, nullptr, nullptr);
        if (pix == AV_PIX_FMT_YUV420P) direct_ = Direct::Yuv420;
        else if (pix != AV_PIX_FMT_BGR0) canvasSws_ = sws_getContext(w, h, AV_PIX_FMT_BGR0, w, h, pix, flags, nullptr, nullptr, nullptr);
        if (!canvasSws_ && pix != AV_PIX_FMT_YUV420P && pix != AV_PIX_FMT_BGR0) return false;
        boxX_ = (w - fw) / 2;
        boxY_ = (h - fh) / 2;
    }
    if (!sws_ && (canvas_ || direct_ == Direct::None)) return false;

    if (codecs_.audio != AV_CODEC_ID_NONE && !OpenAudio()) return false;

    int err = 0;
    if (!(fmt_->oformat->flags & AVFMT_NOFILE)) {
        err = avio_open(&fmt_->pb, partPath.c_str(), AVIO_FLAG_WRITE);
        if (err < 0) {
            Fail(ErrorText(err));
            return false;
        }
    }
    err = avformat_write_header(fmt_, nullptr);
    if (err < 0) {
        Fail(ErrorText(err));
        return false;
    }
    pkt_ = av_packet_alloc();
    started_ = pkt_ != nullptr;
    return started_;
}

AVStream* Recorder::OpenEncoder(AVCodecContext* ctx, const AVCodec* codec, const char* what) {
    if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int err = avcodec_open2(ctx, codec, nullptr);
    if (err < 0) {
        Fail(std::string("cannot open the ") + what + " encoder: " + ErrorText(err));
        return nullptr;
    }
    AVStream* st = avformat_new_stream(fmt_, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, ctx) < 0) return nullptr;
    st->time_base = ctx->time_base;
    return st;
}

bool Recorder::OpenAudio() {
    const AVCodec* ac = avcodec_find_encoder(codecs_.audio);
    if (!ac) return true;  // the video alone
    aenc_ = avcodec_alloc_context3(ac);
    if (!aenc_) return false;
    aenc_->sample_rate = sampleRate_;
    av_channel_layout_default(&aenc_->ch_layout, kChannels);
    aenc_->sample_fmt = ac->sample_fmts ? ac->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    aenc_->time_base = AVRational{1, sampleRate_};
    aenc_->bit_rate = codecs_.audio == AV_CODEC_ID_AAC ? 192000 : 0;
    aenc_->flags |= AV_CODEC_FLAG_BITEXACT;
    ast_ = OpenEncoder(aenc_, ac, "audio");
    if (!ast_) return false;
    aframe_ = av_frame_alloc();
    return aframe_ != nullptr;
}

bool Recorder::Encode(AVCodecContext* ctx, AVStream* st, AVFrame* f) {
    int err = avcodec_send_frame(ctx, f);
    while (err >= 0) {
        err = avcodec_receive_packet(ctx, pkt_);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err < 0) break;
        av_packet_rescale_ts(pkt_, ctx->time_base, st->time_base);
        pkt_->stream_index = st->index;
        err = av_interleaved_write_frame(fmt_, pkt_);
    }
    if (err < 0 && err != AVERROR_EOF) {
        Fail(ErrorText(err));
        return false;
    }
    return true;
}

// Converts a chunk of interleaved 16-bit samples into the encoder's format.
void FillSamples(AVFrame* f, const int16_t* s, int n) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            const int16_t v = s[i * kChannels + c];
            const int idx = planar ? i : i * kChannels + c;
            uint8_t* plane = f->data[planar ? c : 0];
            switch (av_get_packed_sample_fmt(fmt)) {
                case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(plane)[idx] = v; break;
                case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(plane)[idx] = v * 65536; break;
                case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(plane)[idx] = v / 32768.0f; break;
                case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(plane)[idx] = v / 32768.0; break;
                default: break;
            }
        }
    }
}

bool Recorder::EncodeAudioChunks(bool flushAll) {
    if (!aenc_ || !started_) return true;
    const int chunk = aenc_->frame_size > 0 ? aenc_->frame_size : 4096;
    size_t at = 0;
    const size_t have = pending_.size() / kChannels;
    while (have - at >= static_cast<size_t>(chunk) || (flushAll && at < have)) {
        const int n = static_cast<int>(std::min<size_t>(chunk, have - at));
        av_frame_unref(aframe_);
        aframe_->format = aenc_->sample_fmt;
        aframe_->sample_rate = sampleRate_;
        aframe_->nb_samples = n;
        av_channel_layout_copy(&aframe_->ch_layout, &aenc_->ch_layout);
        if (av_frame_get_buffer(aframe_, 0) < 0) {
            Fail("out of memory");
            return false;
        }
        FillSamples(aframe_, pending_.data() + at * kChannels, n);
        aframe_->pts = static_cast<int64_t>(samplesOut_);
        samplesOut_ += static_cast<uint64_t>(n);
        at += static_cast<size_t>(n);
        if (!Encode(aenc_, ast_, aframe_)) return false;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at * kChannels));
    return true;
}

void Recorder::BeginAudio(int rate) {
    // The first song sets the rate; the streams open with the first frame.
    if (!audioBegun_ && !started_) sampleRate_ = rate;
    audioBegun_ = true;
}

void Recorder::OnSamples(const int16_t* s, size_t n) {
    if (failed) return;
    // With a frame limit, exactly the samples of those frames.
    if (frameLimit) {
        const uint64_t cap = SamplesFor(frameLimit);
        if (samplesIn_ >= cap) return;
        n = static_cast<size_t>(std::min<uint64_t>(n, cap - samplesIn_));
    }
    pending_.insert(pending_.end(), s, s + n * kChannels);
    samplesIn_ += n;
    EncodeAudioChunks(false);
}

void Recorder::OnFrame(const present::FrameView& f) {
    if (failed || (frameLimit && frames_ >= frameLimit)) return;
    if (!started_) {
        srcW_ = f.width, srcH_ = f.height, srcBpp_ = f.bitsPerPixel, srcGreen_ = f.greenMask;
        if (!OpenStreams(f.width, f.height)) {
            Fail("cannot set up the encoders");
            return;
        }
        EncodeAudioChunks(false);
    }
    if (f.width != srcW_ || f.height != srcH_) return;  // a mode change mid-run: keep the first size
    if (av_frame_make_writable(vframe_) < 0) return Fail("out of memory");
    Convert(f);
    vframe_->pts = static_cast<int64_t>(frames_++);
    if (!Encode(venc_, vst_, vframe_)) return;
    progress_->Update(frames_);
}

void Recorder::Convert(const present::FrameView& f) {
    Picture pic{f.bits, f.width, f.height, f.pitch, f.bitsPerPixel, f.greenMask};
    if (canvas_) {
        // Scaled onto the black canvas, which then goes to the encoder.
        const uint8_t* src[1] = {f.bits};
        const int srcStride[1] = {static_cast<int>(f.pitch)};
        uint8_t* dst[1] = {canvas_->data[0] + static_cast<ptrdiff_t>(boxY_) * canvas_->linesize[0] + boxX_ * 4};
        sws_scale(sws_, src, srcStride, 0, f.height, dst, canvas_->linesize);
        if (canvasSws_) {
            sws_scale(canvasSws_, canvas_->data, canvas_->linesize, 0, canvas_->height, vframe_->data,
                      vframe_->linesize);
            return;
        }
        pic = Picture{canvas_->data[0], canvas_->width, canvas_->height, canvas_->linesize[0], 32, 0};
        if (direct_ != Direct::Yuv420) {
            for (int y = 0; y < canvas_->height; ++y)
                std::memcpy(vframe_->data[0] + static_cast<ptrdiff_t>(y) * vframe_->linesize[0],
                            canvas_->data[0] + static_cast<ptrdiff_t>(y) * canvas_->linesize[0],
                            static_cast<size_t>(canvas_->width) * 4);
            return;
        }
    }
    switch (direct_) {
        case Direct::Yuv420:
            ToYuv420(pic, vframe_->data[0], vframe_->linesize[0], vframe_->data[1], vframe_->linesize[1],
                     vframe_->data[2], vframe_->linesize[2]);
            break;
        case Direct::Bgr0: ToBgr0(pic, vframe_->data[0], vframe_->linesize[0]); break;
        case Direct::None: {
            const uint8_t* src[1] = {f.bits};
            const int srcStride[1] = {static_cast<int>(f.pitch)};
            sws_scale(sws_, src, srcStride, 0, f.height, vframe_->data, vframe_->linesize);
            break;
        }
    }
}

bool Recorder::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (encoder_.joinable()) encoder_.join();
    bool ok = !failed && started_;
    if (!failed && !started_) std::fprintf(stderr, "sombrella: nothing was recorded to '%s'\n", path.c_str());
    if (ok && aenc_) {
        // Exactly the music of the frames recorded: silence fills in for a song that stopped early.
        const uint64_t want = SamplesFor(frames_);
        if (samplesIn_ < want) pending_.resize(pending_.size() + (want - samplesIn_) * kChannels, 0);
        else if (samplesIn_ > want) pending_.resize(pending_.size() - std::min<uint64_t>(pending_.size() / kChannels, samplesIn_ - want) * kChannels);
        samplesIn_ = want;
        ok = EncodeAudioChunks(true) && Encode(aenc_, ast_, nullptr);
    }
    if (ok) ok = Encode(venc_, vst_, nullptr);
    if (ok) {
        const int err = av_write_trailer(fmt_);
        if (err < 0) Fail(ErrorText(err)), ok = false;
    }
    if (fmt_ && fmt_->pb) {
        avio_flush(fmt_->pb);
        if (ok && fmt_->pb->error < 0) Fail(ErrorText(fmt_->pb->error)), ok = false;
        if (avio_closep(&fmt_->pb) < 0 && ok) Fail("cannot close the file"), ok = false;
    }
    if (ok && std::rename(partPath.c_str(), path.c_str()) != 0) Fail("cannot rename the finished file"), ok = false;
    if (!ok) std::remove(partPath.c_str());
    if (ok && progress_) progress_->Done(frames_);

    sws_freeContext(sws_);
    sws_freeContext(canvasSws_);
    av_frame_free(&vframe_);
    av_frame_free(&aframe_);
    av_frame_free(&canvas_);
    av_packet_free(&pkt_);
    avcodec_free_context(&venc_);
    avcodec_free_context(&aenc_);
    avformat_free_context(fmt_);
    fmt_ = nullptr;
    return ok;
}

}  // namespace

int Start() {
    const char* file = knobs::String("SOMBRELLA_RECORD");
    if (!file) return 0;
    av_log_set_level(AV_LOG_ERROR);
    auto rec = std::make_unique<Recorder>();
    rec->path = file;
    rec->fps = knobs::Int("SOMBRELLA_FIXED_STEP_HZ", 60);
    if (rec->fps <= 0) rec->fps = 60;
    if (const char* size = knobs::String("SOMBRELLA_RECORD_SIZE"))
        std::sscanf(size, "%dx%d", &rec->outW, &rec->outH);
    if (const int status = rec->Open()) return status;
    g_rec = rec.release();
    g_rec->StartEncoder();
    g_sink.user = g_rec;
    present::SetFrameListener(FrameHook, g_rec);
    present::SetAudioSink(&g_sink);
    return 0;
}

bool Finish() {
    if (!g_rec) return true;
    present::SetFrameListener(nullptr, nullptr);
    present::SetAudioSink(nullptr);
    const bool ok = g_rec->Close();
    delete g_rec;
    g_rec = nullptr;
    return ok;
}

}  // namespace sombrella::record
