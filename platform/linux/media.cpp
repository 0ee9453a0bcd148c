// Recordings on FFmpeg: libavformat for containers, libavcodec for pictures and AAC, libswscale
// for scaling and colour, libswresample for sound.
#include "platform/linux/media.hpp"

#include "platform/fd.hpp"
#include "platform/linux/orientation.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plenk {
namespace {

// AV_TIME_BASE_Q as a constant: the macro is a C compound literal, which C++ does not have.
constexpr AVRational MICROSECONDS{1, AV_TIME_BASE};

// Containers a user hands over as recordings, by FFmpeg's demuxer names (mov covers MP4, M4A,
// 3GP and 3G2; matroska covers WebM; mpeg is the program stream, mpegvideo the elementary one).
// FFmpeg would also open still pictures (as image sequences), text (as "tty" video) and
// playlists; those are not recordings. The list is all the container parsing a file can reach.
constexpr const char* RECORDING_FORMATS =
    "mov,mp3,aac,wav,aiff,caf,flac,ogg,matroska,avi,mpegts,mpeg,mpegvideo,asf,flv,amr,ac3,eac3,au,"
    "w64,gsm";

// Raw streams (GSM, AC-3, MPEG audio and video) have no header to recognise: when no demuxer
// claims a file, FFmpeg's last probing round takes any that scores at all, by its name's
// extension alone (a text file called notes.gsm scores 1). At or below this score FFmpeg itself
// warns of a likely misdetection; every real file tried scored above it once probed to the end.
constexpr int MIN_PROBE_SCORE = AVPROBE_SCORE_RETRY + 1;

void quietFfmpeg() {
  static std::once_flag once;
  // Standard error carries only the program's own line.
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string ffError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string s = text;
  if (!s.empty()) s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
  return s;
}

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
  void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrCloser {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoCloser {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;
using PacketPtr = std::unique_ptr<AVPacket, PacketCloser>;
using SwsPtr = std::unique_ptr<SwsContext, SwsCloser>;
using SwrPtr = std::unique_ptr<SwrContext, SwrCloser>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoCloser>;

FramePtr newFrame() {
  return FramePtr(av_frame_alloc());
}
PacketPtr newPacket() {
  return PacketPtr(av_packet_alloc());
}

FormatPtr openContainer(const std::string& path) {
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) return nullptr;
  raw->format_whitelist = av_strdup(RECORDING_FORMATS);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  // The "file:" prefix keeps a name such as "a:b.mp4" from being read as a protocol.
  std::string url = "file:" + path;
  int rc = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) return nullptr; // avformat_open_input freed the context
  FormatPtr ctx(raw);
  if (ctx->probe_score < MIN_PROBE_SCORE) return nullptr;
  if (avformat_find_stream_info(ctx.get(), nullptr) < 0) return nullptr;
  return ctx;
}

bool isPictureTrack(const AVStream* s) {
  return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
         (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
}

bool isSoundTrack(const AVStream* s) {
  return s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

CodecPtr openDecoder(const AVStream* s, bool threads) {
  const AVCodec* codec = avcodec_find_decoder(s->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  CodecPtr c(avcodec_alloc_context3(codec));
  if (!c || avcodec_parameters_to_context(c.get(), s->codecpar) < 0) return nullptr;
  c->pkt_timebase = s->time_base;
  if (threads) {
    // One thread per core, but at most two above 1080p: each frame thread holds its own
    // reference pictures, and a 4K one is 12 MB.
    c->thread_count = s->codecpar->width * s->codecpar->height > 1920 * 1088 ? 2 : 0;
    c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  }
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
  return c;
}

// ---- pictures ----

int coefficientsFor(const AVFrame* f) {
  switch (f->colorspace) {
  case AVCOL_SPC_BT709:
    return SWS_CS_ITU709;
  case AVCOL_SPC_FCC:
    return SWS_CS_FCC;
  case AVCOL_SPC_BT470BG:
  case AVCOL_SPC_SMPTE170M:
    return SWS_CS_ITU601;
  case AVCOL_SPC_SMPTE240M:
    return SWS_CS_SMPTE240M;
  case AVCOL_SPC_BT2020_NCL:
  case AVCOL_SPC_BT2020_CL:
    return SWS_CS_BT2020;
  default:
    // Untagged: high-definition pictures are BT.709 in practice, smaller ones BT.601.
    return f->height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

bool fullRange(const AVFrame* f) {
  switch (f->format) {
  case AV_PIX_FMT_YUVJ420P:
  case AV_PIX_FMT_YUVJ422P:
  case AV_PIX_FMT_YUVJ444P:
  case AV_PIX_FMT_YUVJ440P:
  case AV_PIX_FMT_YUVJ411P:
    return true;
  default:
    return f->color_range == AVCOL_RANGE_JPEG;
  }
}

// The decoded frame as an upright sRGB picture within a maxEdge square, never enlarged.
std::optional<Picture> toPicture(const AVFrame* f, const AVStream* s, int maxEdge) {
  if (f->width < 1 || f->height < 1 || maxEdge < 1) return std::nullopt;
  Orientation o = orientationOf(reinterpret_cast<const std::int32_t*>(
      av_stream_get_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, nullptr)));

  // Stored size with non-square pixels made square, then the upright size.
  double sw = f->width, sh = f->height;
  AVRational sar =
      f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : s->codecpar->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0) sw = sw * sar.num / sar.den;
  double dw = o.transpose ? sh : sw, dh = o.transpose ? sw : sh;
  double scale = std::min(1.0, maxEdge / std::max(dw, dh));
  int tw = std::max(1, static_cast<int>(std::lround(dw * scale)));
  int th = std::max(1, static_cast<int>(std::lround(dh * scale)));
  tw = std::min(tw, maxEdge);
  th = std::min(th, maxEdge);
  int outW = o.transpose ? th : tw, outH = o.transpose ? tw : th;

  SwsPtr sws(sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), outW, outH,
                            AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                            nullptr));
  if (!sws) return std::nullopt;
  const int* coefficients = sws_getCoefficients(coefficientsFor(f));
  // Fails harmlessly for sources that are already RGB.
  sws_setColorspaceDetails(sws.get(), coefficients, fullRange(f) ? 1 : 0, coefficients, 1, 0,
                           1 << 16, 1 << 16);

  Picture stored;
  stored.width = outW;
  stored.height = outH;
  // swscale may write a little past the last row's end with vector code; give it room.
  stored.rgb.resize(static_cast<std::size_t>(outW) * outH * 3 + 64);
  std::uint8_t* dst[4] = {stored.rgb.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {outW * 3, 0, 0, 0};
  if (sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride) != outH)
    return std::nullopt;
  stored.rgb.resize(static_cast<std::size_t>(outW) * outH * 3);
  return oriented(stored, o);
}

// ---- sound export ----

// Writes into a file descriptor; the M4A muxer seeks back to finish its boxes.
struct FdOutput {
  FileDescriptor fd;
  AVIOContext* io = nullptr;
  std::string failure;

  static int write(void* opaque, std::uint8_t* buf, int size) {
    auto* self = static_cast<FdOutput*>(opaque);
    std::string_view bytes(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(size));
    if (writeAll(self->fd.get(), bytes)) return size;
    if (self->failure.empty()) self->failure = std::strerror(errno);
    return AVERROR(EIO);
  }

  static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<FdOutput*>(opaque);
    if (whence == AVSEEK_SIZE) {
      struct stat st {};
      return fstat(self->fd.get(), &st) == 0 ? st.st_size : AVERROR(errno);
    }
    off_t at = lseek(self->fd.get(), offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
  }

  ~FdOutput() {
    if (io != nullptr) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }
};

ExportOutcome failed(std::string why) {
  return {false, std::move(why)};
}

struct Muxer {
  FdOutput out;
  OutputPtr ctx;
  AVStream* stream = nullptr;
};

// Creates the file (never replacing one) and an M4A muxer writing into it.
std::optional<std::string> startMuxer(Muxer& m, const std::string& path) {
  m.out.fd = FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!m.out.fd) return std::string("the file could not be created: ") + std::strerror(errno);
  constexpr int BUFFER = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(BUFFER));
  if (buffer == nullptr) return "out of memory";
  m.out.io =
      avio_alloc_context(buffer, BUFFER, 1, &m.out, nullptr, FdOutput::write, FdOutput::seek);
  if (m.out.io == nullptr) {
    av_free(buffer);
    return "out of memory";
  }
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, av_guess_format("ipod", nullptr, nullptr), nullptr,
                                     nullptr) < 0 ||
      raw == nullptr)
    return "the M4A writer is not available";
  m.ctx.reset(raw);
  m.ctx->pb = m.out.io;
  m.ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  m.stream = avformat_new_stream(m.ctx.get(), nullptr);
  if (m.stream == nullptr) return "out of memory";
  return std::nullopt;
}

std::optional<std::string> finishMuxer(Muxer& m) {
  int rc = av_write_trailer(m.ctx.get());
  avio_flush(m.out.io);
  if (!m.out.failure.empty()) return "writing the file failed: " + m.out.failure;
  if (rc < 0) return "writing the file failed: " + ffError(rc);
  return std::nullopt;
}

std::optional<std::string> writePacket(Muxer& m, AVPacket* pkt) {
  pkt->stream_index = m.stream->index;
  int rc = av_interleaved_write_frame(m.ctx.get(), pkt);
  if (rc < 0)
    return "writing the file failed: " + (m.out.failure.empty() ? ffError(rc) : m.out.failure);
  return std::nullopt;
}

class FfRecording final : public Recording {
public:
  explicit FfRecording(const std::string& path) : ctx_(openContainer(path)) {
    if (!ctx_) return;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i) {
      const AVStream* s = ctx_->streams[i];
      if (isPictureTrack(s)) {
        if (video_ < 0) video_ = static_cast<int>(i);
        ++facts_.videoTracks;
      } else if (isSoundTrack(s)) {
        if (audio_ < 0) audio_ = static_cast<int>(i);
        ++facts_.audioTracks;
      }
    }
    if (video_ >= 0) {
      const AVStream* v = ctx_->streams[video_];
      facts_.width = v->codecpar->width;
      facts_.height = v->codecpar->height;
      AVRational rate = v->avg_frame_rate.num > 0 && v->avg_frame_rate.den > 0 ? v->avg_frame_rate
                                                                               : v->r_frame_rate;
      if (rate.num > 0 && rate.den > 0) facts_.frameRate = static_cast<float>(av_q2d(rate));
    }
    // A length guessed from the bit rate (an MP3 without a frame count, say) is no statement of
    // how much sound there is.
    if (audio_ >= 0 && ctx_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
      const AVStream* a = ctx_->streams[audio_];
      if (a->duration != AV_NOPTS_VALUE && a->duration > 0 && a->time_base.den > 0)
        facts_.soundDuration = static_cast<double>(a->duration) * av_q2d(a->time_base);
    }
    if (ctx_->duration != AV_NOPTS_VALUE)
      facts_.duration = static_cast<double>(ctx_->duration) / AV_TIME_BASE;
    if (ctx_->start_time != AV_NOPTS_VALUE) start_ = ctx_->start_time;
    // A raw picture stream (MPEG video) states no length, and the one guessed from its stated bit
    // rate was 0.006 s for a 2 s clip: its pictures are counted instead.
    if (video_ >= 0 && std::strcmp(ctx_->iformat->name, "mpegvideo") == 0 &&
        ctx_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
      facts_.duration = measuredLength();
  }

  RecordingFacts facts() override { return facts_; }

  std::optional<Picture> pictureAt(double seconds, int maxEdge) override {
    if (video_ < 0 || !std::isfinite(seconds) || maxEdge < 1) return std::nullopt;
    AVStream* s = ctx_->streams[video_];
    if (!decoder_) {
      decoder_ = openDecoder(s, true);
      if (!decoder_) return std::nullopt;
    }
    std::int64_t target =
        av_rescale_q(start_ + static_cast<std::int64_t>(std::llround(seconds * AV_TIME_BASE)),
                     MICROSECONDS, s->time_base);
    std::int64_t first = s->start_time != AV_NOPTS_VALUE
                             ? s->start_time
                             : av_rescale_q(start_, MICROSECONDS, s->time_base);
    // Some containers seek to a key frame after the moment; start further back until the first
    // picture decoded is not later than the moment, or the start is reached.
    std::int64_t back = 0;
    const std::int64_t second = std::max<std::int64_t>(1, av_rescale_q(1, {1, 1}, s->time_base));
    for (;;) {
      std::int64_t seekTo = target - back;
      bool atStart = seekTo <= first;
      if (atStart) seekTo = first;
      Decoded shown = decodeUntil(seekTo, target, atStart);
      if (shown.frame) return toPicture(shown.frame.get(), s, maxEdge);
      if (!shown.tooLate) return std::nullopt;
      back = back == 0 ? second : back * 4;
    }
  }

  bool canExportSound() override {
    if (audio_ < 0) return false;
    const AVCodecParameters* p = ctx_->streams[audio_]->codecpar;
    if (p->codec_id == AV_CODEC_ID_AAC) return true;
    return avcodec_find_decoder(p->codec_id) != nullptr &&
           avcodec_find_encoder(AV_CODEC_ID_AAC) != nullptr;
  }

  ExportOutcome exportSound(const std::string& path, double seconds) override {
    if (audio_ < 0) return failed("that recording carries no sound");
    if (!(seconds > 0) || !std::isfinite(seconds))
      return failed("the length asked for is not usable");
    if (touched_) {
      // Back to the start for the sound (a picture may have been taken before).
      if (avformat_seek_file(ctx_.get(), -1, INT64_MIN, start_, start_, 0) < 0)
        return failed("the recording could not be read from its start");
    }
    touched_ = true;
    Muxer m;
    if (auto why = startMuxer(m, path)) return failed(*why);
    AVStream* in = ctx_->streams[audio_];
    std::optional<std::string> why = in->codecpar->codec_id == AV_CODEC_ID_AAC
                                         ? copySound(m, in, seconds)
                                         : encodeSound(m, in, seconds);
    if (why) return failed(*why);
    if (auto trailer = finishMuxer(m)) return failed(*trailer);
    return {true, std::nullopt};
  }

private:
  // The end of the last picture of the first picture track, read from its packets without
  // decoding; not finite when no packet tells its time.
  double measuredLength() {
    touched_ = true;
    const AVStream* s = ctx_->streams[video_];
    std::int64_t first = AV_NOPTS_VALUE, end = AV_NOPTS_VALUE;
    PacketPtr pkt = newPacket();
    while (pkt && av_read_frame(ctx_.get(), pkt.get()) >= 0) {
      std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (pkt->stream_index == video_ && ts != AV_NOPTS_VALUE) {
        if (first == AV_NOPTS_VALUE || ts < first) first = ts;
        end = std::max(end == AV_NOPTS_VALUE ? ts : end,
                       ts + std::max<std::int64_t>(0, pkt->duration));
      }
      av_packet_unref(pkt.get());
    }
    avformat_seek_file(ctx_.get(), -1, INT64_MIN, start_, start_, 0);
    if (first == AV_NOPTS_VALUE || end <= first) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(end - first) * av_q2d(s->time_base);
  }

  struct Decoded {
    FramePtr frame;
    bool tooLate = false; // the seek landed after the moment
  };

  // Decodes from the key frame at or before seekTo up to the picture shown at target: the last
  // one starting no later than target (the first one when target lies before them all, which
  // only counts when atStart; otherwise the answer is tooLate).
  Decoded decodeUntil(std::int64_t seekTo, std::int64_t target, bool atStart) {
    touched_ = true;
    if (av_seek_frame(ctx_.get(), video_, seekTo, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(ctx_.get(), video_, INT64_MIN, seekTo, seekTo, 0) < 0 && !atStart)
      return {};
    avcodec_flush_buffers(decoder_.get());
    FramePtr kept = newFrame(), frame = newFrame();
    PacketPtr pkt = newPacket();
    if (!kept || !frame || !pkt) return {};
    bool haveKept = false, draining = false, firstSeen = false;
    auto result = [&]() -> Decoded {
      if (haveKept) return {std::move(kept), false};
      return {};
    };
    for (;;) {
      int rc = avcodec_receive_frame(decoder_.get(), frame.get());
      if (rc == 0) {
        std::int64_t pts = frame->best_effort_timestamp;
        bool later = pts != AV_NOPTS_VALUE && pts > target;
        if (!firstSeen) {
          firstSeen = true;
          if (later && !atStart) return {nullptr, true};
        }
        if (later) {
          if (haveKept) return result();
          return {std::move(frame), false}; // the moment lies before the first picture
        }
        av_frame_unref(kept.get());
        av_frame_move_ref(kept.get(), frame.get());
        haveKept = true;
        continue;
      }
      if (rc != AVERROR(EAGAIN) || draining) return result();
      // The decoder wants input.
      for (;;) {
        rc = av_read_frame(ctx_.get(), pkt.get());
        if (rc < 0) {
          avcodec_send_packet(decoder_.get(), nullptr);
          draining = true;
          break;
        }
        if (pkt->stream_index != video_) {
          av_packet_unref(pkt.get());
          continue;
        }
        // A picture that nothing refers to and that ends well before the moment need not be
        // decoded at all.
        bool early = pkt->pts != AV_NOPTS_VALUE && pkt->duration > 0 &&
                     pkt->pts + 2 * pkt->duration <= target;
        decoder_->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        rc = avcodec_send_packet(decoder_.get(), pkt.get());
        av_packet_unref(pkt.get());
        // A damaged packet is skipped, as players do.
        if (rc == 0 || rc == AVERROR(EAGAIN) || rc == AVERROR_INVALIDDATA) break;
        return result();
      }
    }
  }

  // AAC already: the packets go into the M4A unchanged, up to the end of the range.
  std::optional<std::string> copySound(Muxer& m, AVStream* in, double seconds) {
    if (avcodec_parameters_copy(m.stream->codecpar, in->codecpar) < 0) return "out of memory";
    m.stream->codecpar->codec_tag = 0;
    m.stream->time_base = in->time_base;
    int rc = avformat_write_header(m.ctx.get(), nullptr);
    if (rc < 0) return "the M4A file could not be started: " + ffError(rc);
    std::int64_t end =
        av_rescale_q(std::llround(seconds * AV_TIME_BASE), MICROSECONDS, in->time_base);
    std::int64_t origin = AV_NOPTS_VALUE;
    PacketPtr pkt = newPacket();
    if (!pkt) return "out of memory";
    while ((rc = av_read_frame(ctx_.get(), pkt.get())) >= 0) {
      if (pkt->stream_index != audio_) {
        av_packet_unref(pkt.get());
        continue;
      }
      std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      // The first packet's time becomes zero.
      if (origin == AV_NOPTS_VALUE) origin = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : ts;
      if (origin == AV_NOPTS_VALUE) origin = 0;
      if (ts != AV_NOPTS_VALUE && ts - origin >= end) {
        av_packet_unref(pkt.get());
        break;
      }
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= origin;
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts -= origin;
      av_packet_rescale_ts(pkt.get(), in->time_base, m.stream->time_base);
      pkt->pos = -1;
      auto why = writePacket(m, pkt.get());
      av_packet_unref(pkt.get());
      if (why) return why;
    }
    if (rc < 0 && rc != AVERROR_EOF) return "the recording could not be read: " + ffError(rc);
    return std::nullopt;
  }

  // Any other sound: decoded, resampled and encoded with FFmpeg's AAC encoder using its fast
  // coder (the default search coder takes three times as long), cut at exactly the range's end.
  std::optional<std::string> encodeSound(Muxer& m, AVStream* in, double seconds) {
    CodecPtr dec = openDecoder(in, false);
    if (!dec) return "the sound of that recording cannot be decoded";
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (aac == nullptr) return "no AAC encoder is available";
    CodecPtr enc(avcodec_alloc_context3(aac));
    if (!enc) return "out of memory";

    int inRate = dec->sample_rate > 0 ? dec->sample_rate : 44100;
    int outRate = 0;
    for (const int* r = aac->supported_samplerates; r != nullptr && *r != 0; ++r)
      if (*r == inRate) outRate = inRate;
    if (outRate == 0) outRate = inRate > 44100 ? 48000 : 44100;
    const int outChannels = dec->ch_layout.nb_channels == 1 ? 1 : 2;
    av_channel_layout_default(&enc->ch_layout, outChannels);
    enc->sample_rate = outRate;
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->bit_rate = 64000 * outChannels;
    enc->time_base = {1, outRate};
    if (m.ctx->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "aac_coder", "fast", 0);
    int rc = avcodec_open2(enc.get(), aac, &options);
    av_dict_free(&options);
    if (rc < 0) return "the AAC encoder could not be started: " + ffError(rc);
    if (avcodec_parameters_from_context(m.stream->codecpar, enc.get()) < 0) return "out of memory";
    m.stream->time_base = enc->time_base;
    FifoPtr fifo(av_audio_fifo_alloc(enc->sample_fmt, outChannels, enc->frame_size * 4));
    if (!fifo) return "out of memory";
    rc = avformat_write_header(m.ctx.get(), nullptr);
    if (rc < 0) return "the M4A file could not be started: " + ffError(rc);

    SwrPtr swr;
    const std::int64_t wanted = std::llround(seconds * outRate);
    std::int64_t queued = 0, sent = 0;
    FramePtr decoded = newFrame(), chunk = newFrame();
    PacketPtr pkt = newPacket(), outPkt = newPacket();
    if (!decoded || !chunk || !pkt || !outPkt) return "out of memory";
    std::vector<std::uint8_t*> planes(static_cast<std::size_t>(outChannels));

    // The converter is made from the first decoded frame: only then are its format and
    // channels certain. What it was made for is kept: a later frame may differ.
    int swrFormat = -1, swrRate = 0, swrChannels = 0;
    auto rateOf = [&](const AVFrame* f) { return f->sample_rate > 0 ? f->sample_rate : inRate; };
    auto fits = [&](const AVFrame* f) {
      return f->format == swrFormat && rateOf(f) == swrRate &&
             f->ch_layout.nb_channels == swrChannels;
    };
    auto startConverter = [&](const AVFrame* f) -> bool {
      swrFormat = f->format;
      swrRate = rateOf(f);
      swrChannels = f->ch_layout.nb_channels;
      AVChannelLayout layout{};
      if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels < 1)
        av_channel_layout_default(&layout, std::max(1, f->ch_layout.nb_channels));
      else if (av_channel_layout_copy(&layout, &f->ch_layout) < 0)
        return false;
      SwrContext* raw = nullptr;
      int r = swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, outRate, &layout,
                                  static_cast<AVSampleFormat>(f->format), rateOf(f), 0, nullptr);
      av_channel_layout_uninit(&layout);
      swr.reset(raw);
      return r >= 0 && swr && swr_init(swr.get()) >= 0;
    };
    auto drainEncoder = [&]() -> std::optional<std::string> {
      for (;;) {
        int r = avcodec_receive_packet(enc.get(), outPkt.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return std::nullopt;
        if (r < 0) return "the AAC encoder failed: " + ffError(r);
        av_packet_rescale_ts(outPkt.get(), enc->time_base, m.stream->time_base);
        auto why = writePacket(m, outPkt.get());
        av_packet_unref(outPkt.get());
        if (why) return why;
      }
    };
    // Encodes whole encoder frames from the queue; with `last`, the remainder too.
    auto encodeQueued = [&](bool last) -> std::optional<std::string> {
      for (;;) {
        int have = av_audio_fifo_size(fifo.get());
        if (have == 0 || (!last && have < enc->frame_size)) return std::nullopt;
        int n = std::min(have, enc->frame_size);
        av_frame_unref(chunk.get());
        chunk->nb_samples = n;
        chunk->format = enc->sample_fmt;
        chunk->sample_rate = outRate;
        if (av_channel_layout_copy(&chunk->ch_layout, &enc->ch_layout) < 0 ||
            av_frame_get_buffer(chunk.get(), 0) < 0)
          return "out of memory";
        if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(chunk->data), n) != n)
          return "the sound could not be converted";
        chunk->pts = sent;
        sent += n;
        int r = avcodec_send_frame(enc.get(), chunk.get());
        if (r < 0) return "the AAC encoder failed: " + ffError(r);
        if (auto why = drainEncoder()) return why;
      }
    };
    // Converts samples (or empties the converter when frame is null) into the queue, keeping
    // only what the range still needs.
    auto pushThrough = [&](const AVFrame* frame) -> std::optional<std::string> {
      int inSamples = frame != nullptr ? frame->nb_samples : 0;
      int room = swr_get_out_samples(swr.get(), inSamples);
      if (room < 0) return "the sound could not be converted";
      if (room == 0) return std::nullopt;
      if (av_samples_alloc(planes.data(), nullptr, outChannels, room, enc->sample_fmt, 0) < 0)
        return "out of memory";
      const std::uint8_t** source =
          frame != nullptr ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr;
      int got = swr_convert(swr.get(), planes.data(), room, source, inSamples);
      std::optional<std::string> why;
      int keep = static_cast<int>(std::min<std::int64_t>(got, wanted - queued));
      if (got < 0)
        why = "the sound could not be converted";
      else if (keep > 0 && av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planes.data()),
                                               keep) != keep)
        why = "out of memory";
      else if (keep > 0)
        queued += keep;
      av_freep(&planes[0]);
      if (!why) why = encodeQueued(false);
      return why;
    };
    auto convert = [&](const AVFrame* frame) -> std::optional<std::string> {
      // A stream may change its channels, sample format or rate part-way (an MP3 that turns
      // mono): the old converter is emptied, and one made for the new frames takes the rest.
      // Fed on as before, it read planes the frame does not have.
      if (frame != nullptr && swr && !fits(frame)) {
        if (auto why = pushThrough(nullptr)) return why;
        swr.reset();
      }
      if (!swr) {
        if (frame == nullptr) return std::nullopt;
        if (!startConverter(frame)) return "the sound could not be converted";
      }
      return pushThrough(frame);
    };
    auto receiveDecoded = [&]() -> std::optional<std::string> {
      while (queued < wanted && avcodec_receive_frame(dec.get(), decoded.get()) == 0) {
        auto why = convert(decoded.get());
        av_frame_unref(decoded.get());
        if (why) return why;
      }
      return std::nullopt;
    };

    while (queued < wanted && (rc = av_read_frame(ctx_.get(), pkt.get())) >= 0) {
      if (pkt->stream_index != audio_) {
        av_packet_unref(pkt.get());
        continue;
      }
      int sendRc = avcodec_send_packet(dec.get(), pkt.get());
      av_packet_unref(pkt.get());
      // A damaged packet is skipped, as players do.
      if (sendRc < 0 && sendRc != AVERROR_INVALIDDATA && sendRc != AVERROR(EAGAIN))
        return "the sound of that recording could not be decoded: " + ffError(sendRc);
      if (auto why = receiveDecoded()) return why;
    }
    if (rc < 0 && rc != AVERROR_EOF) return "the recording could not be read: " + ffError(rc);
    if (queued < wanted) {
      avcodec_send_packet(dec.get(), nullptr);
      if (auto why = receiveDecoded()) return why;
      if (queued < wanted)
        if (auto why = convert(nullptr)) return why;
    }
    if (sent == 0 && av_audio_fifo_size(fifo.get()) == 0)
      return "no sound could be decoded from that recording";
    if (auto why = encodeQueued(true)) return why;
    avcodec_send_frame(enc.get(), nullptr);
    return drainEncoder();
  }

  FormatPtr ctx_;
  RecordingFacts facts_;
  int video_ = -1;
  int audio_ = -1;
  std::int64_t start_ = 0; // AV_TIME_BASE units
  bool touched_ = false;
  CodecPtr decoder_;
};

struct FfRecordings final : Recordings {
  FfRecordings() { quietFfmpeg(); }
  std::unique_ptr<Recording> open(const std::string& path) override {
    return std::make_unique<FfRecording>(path);
  }
};

} // namespace

std::unique_ptr<Recordings> linuxRecordings() {
  return std::make_unique<FfRecordings>();
}

} // namespace plenk
