#include "platform/media_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/file_io.h"

namespace orvane::platform {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct SwrDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// FFmpeg 7 hands the bytes to write over as const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using BytesToWrite = const std::uint8_t*;
#else
using BytesToWrite = std::uint8_t*;
#endif

constexpr int kWriteBufferSize = 64 * 1024;

}  // namespace

struct CMediaWriter::State {
  std::filesystem::path target;
  // Made by an exclusive create, so it is never an existing file or a link planted at its name.
  std::unique_ptr<PendingFile> file;
  MediaFormat format;
  AVFormatContext* container = nullptr;  // writes to `file` through WriteToFile and SeekInFile
  bool finished = false;                 // Finish has run
  std::filesystem::path written;         // the name the file was kept under

  std::int64_t position = 0;    // where the muxer's next write lands
  std::int64_t dataStart = 0;   // the first packet's offset, after the header
  std::int64_t dataEnd = -1;    // the end of the packets when the trailer began; -1 before
  std::int64_t failedAt = -1;   // where the first failed write began; -1 while none failed
  std::string failure;          // why it failed

  CodecContextPtr video;
  AVStream* videoStream = nullptr;
  FramePtr picture;
  std::unique_ptr<SwsContext, SwsDeleter> scaler;
  std::int64_t videoFrames = 0;

  CodecContextPtr audio;
  AVStream* audioStream = nullptr;
  FramePtr sound;
  std::unique_ptr<SwrContext, SwrDeleter> resampler;
  std::unique_ptr<AVAudioFifo, FifoDeleter> fifo;
  std::int64_t audioFrames = 0;  // handed to the encoder, the next sound frame's time stamp

  std::unique_ptr<AVPacket, PacketDeleter> packet{av_packet_alloc()};

  // The pending file, when it was not kept, is removed with it.
  ~State() {
    if (container != nullptr) {
      if (container->pb != nullptr) {
        av_freep(&container->pb->buffer);
        avio_context_free(&container->pb);
      }
      avformat_free_context(container);
    }
  }

  bool WriteFailed() const { return failedAt >= 0; }

  static int WriteToFile(void* opaque, BytesToWrite bytes, int size) {
    State& state = *static_cast<State*>(opaque);
    if (state.WriteFailed()) return AVERROR(EIO);
    for (int done = 0; done < size;) {
      const ssize_t written = ::pwrite(state.file->descriptor(), bytes + done, static_cast<std::size_t>(size - done),
                                       state.position + done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int code = written < 0 ? errno : ENOSPC;
        state.failedAt = state.position;
        state.failure = std::strerror(code);
        return AVERROR(code);
      }
      done += static_cast<int>(written);
    }
    state.position += size;
    return size;
  }

  // The trailer seeks back to the header to give it the file's final sizes.
  static std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence) {
    State& state = *static_cast<State*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == SEEK_END || whence == AVSEEK_SIZE) {
      struct stat status {};
      if (::fstat(state.file->descriptor(), &status) != 0) return AVERROR(errno);
      if (whence == AVSEEK_SIZE) return status.st_size;
      offset += status.st_size;
    } else if (whence == SEEK_CUR) {
      offset += state.position;
    } else if (whence != SEEK_SET) {
      return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    state.position = offset;
    return offset;
  }

  // The header and the whole packets before the first failed write; the packet it tore, and
  // the trailer's index after the packets, are cut off.
  std::int64_t IntactLength() const {
    std::int64_t end = WriteFailed() ? failedAt : position;
    if (dataEnd >= 0) end = std::min(end, dataEnd);
    if (end <= dataStart) return dataStart;
    const std::int64_t packet = std::max<std::int64_t>(container->packet_size, 1);
    return dataStart + (end - dataStart) / packet * packet;
  }

  // Keeps what the file holds up to its last whole packet as "NAME-incomplete.EXT", or the next
  // free name after it. A second pending file under that name takes the data by a rename over
  // its own empty file, so the kept file is synced and named as every finished file is.
  std::optional<std::filesystem::path> KeepIncomplete() {
    if (::ftruncate(file->descriptor(), IntactLength()) != 0) return std::nullopt;
    const std::filesystem::path name =
        target.parent_path() / (target.stem().string() + "-incomplete" + target.extension().string());
    PendingFile kept(name);
    if (!kept.ok()) return std::nullopt;
    ::close(kept.ReleaseDescriptor());
    if (::rename(file->path().c_str(), kept.path().c_str()) != 0) return std::nullopt;
    return kept.Commit(FilePlacement::NewFile(NextDashedName));
  }

  // Sends one frame (null: flush) and writes every packet the encoder gives back.
  bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    for (;;) {
      const int result = avcodec_receive_packet(codec, packet.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) return false;
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(container, packet.get()) < 0) return false;
    }
  }

  // Encodes whole encoder frames from the queue; `flush` also sends the last, short one.
  bool DrainSound(bool flush) {
    const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    while (av_audio_fifo_size(fifo.get()) >= frameSize ||
           (flush && av_audio_fifo_size(fifo.get()) > 0)) {
      const int available = std::min(av_audio_fifo_size(fifo.get()), frameSize);
      if (av_frame_make_writable(sound.get()) < 0) return false;
      const bool shortFrameAllowed = (audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
      sound->nb_samples = shortFrameAllowed ? available : frameSize;
      if (available < frameSize) {
        av_samples_set_silence(sound->extended_data, 0, sound->nb_samples, audio->ch_layout.nb_channels,
                               audio->sample_fmt);
      }
      if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(sound->extended_data), available) != available) {
        return false;
      }
      sound->pts = audioFrames;
      audioFrames += sound->nb_samples;
      if (!Encode(audio.get(), audioStream, sound.get())) return false;
    }
    return true;
  }
};

CMediaWriter::CMediaWriter() = default;
CMediaWriter::~CMediaWriter() = default;

bool CMediaWriter::Open(const std::filesystem::path& file, const MediaFormat& format, std::string* error) {
  auto fail = [&](std::string text) {
    if (error != nullptr) *error = std::move(text);
    state_.reset();
    return false;
  };
  state_.reset();
  if (format.width < 2 || format.height < 2 || format.width % 2 != 0 || format.height % 2 != 0) {
    return fail("the picture size must be even and at least 2 x 2");
  }
  if (format.framesPerSecond < 1) return fail("the frame rate must be at least 1");
  const bool withSound = format.audioSampleRate > 0;
  if (withSound && (format.audioChannels < 1 || format.audioChannels > 2)) {
    return fail("the sound must have one or two channels");
  }

  auto state = std::make_unique<State>();
  state->target = file;
  state->format = format;
  if (state->packet == nullptr) return fail("out of memory");

  // Forced by name: ".avi" or ".wmv" names get ASF too.
  int result = avformat_alloc_output_context2(&state->container, nullptr, "asf", nullptr);
  if (result < 0 || state->container == nullptr) return fail("no ASF muxer: " + AvError(result));

  // Pictures.
  const AVCodec* videoCodec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
  if (videoCodec == nullptr) return fail("no WMV2 encoder");
  state->video.reset(avcodec_alloc_context3(videoCodec));
  state->videoStream = avformat_new_stream(state->container, nullptr);
  if (!state->video || state->videoStream == nullptr) return fail("out of memory");
  AVCodecContext* video = state->video.get();
  video->width = format.width;
  video->height = format.height;
  video->pix_fmt = AV_PIX_FMT_YUV420P;
  video->time_base = AVRational{1, format.framesPerSecond};
  video->framerate = AVRational{format.framesPerSecond, 1};
  video->gop_size = format.framesPerSecond;
  if (format.videoBitrate > 0) video->bit_rate = format.videoBitrate;
  if ((state->container->oformat->flags & AVFMT_GLOBALHEADER) != 0) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((result = avcodec_open2(video, videoCodec, nullptr)) < 0) return fail("WMV2 encoder: " + AvError(result));
  if (avcodec_parameters_from_context(state->videoStream->codecpar, video) < 0) return fail("out of memory");
  state->videoStream->time_base = video->time_base;
  state->videoStream->avg_frame_rate = video->framerate;
  state->videoStream->r_frame_rate = video->framerate;

  state->picture.reset(av_frame_alloc());
  if (!state->picture) return fail("out of memory");
  state->picture->format = video->pix_fmt;
  state->picture->width = format.width;
  state->picture->height = format.height;
  if (av_frame_get_buffer(state->picture.get(), 0) < 0) return fail("out of memory");
  state->scaler.reset(sws_getContext(format.width, format.height, AV_PIX_FMT_BGR24, format.width, format.height,
                                     AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
  if (!state->scaler) return fail("no BGR to YUV 4:2:0 conversion");

  // Sound.
  if (withSound) {
    const AVCodec* audioCodec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (audioCodec == nullptr) return fail("no WMA2 encoder");
    state->audio.reset(avcodec_alloc_context3(audioCodec));
    state->audioStream = avformat_new_stream(state->container, nullptr);
    if (!state->audio || state->audioStream == nullptr) return fail("out of memory");
    AVCodecContext* audio = state->audio.get();
    audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio->sample_rate = format.audioSampleRate;
    av_channel_layout_default(&audio->ch_layout, format.audioChannels);
    audio->bit_rate = 64000 * format.audioChannels;
    audio->time_base = AVRational{1, format.audioSampleRate};
    if ((state->container->oformat->flags & AVFMT_GLOBALHEADER) != 0) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((result = avcodec_open2(audio, audioCodec, nullptr)) < 0) return fail("WMA2 encoder: " + AvError(result));
    if (avcodec_parameters_from_context(state->audioStream->codecpar, audio) < 0) return fail("out of memory");
    state->audioStream->time_base = audio->time_base;

    SwrContext* resampler = nullptr;
    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, format.audioChannels);
    result = swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &inputLayout,
                                 AV_SAMPLE_FMT_S16, format.audioSampleRate, 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    state->resampler.reset(resampler);
    if (result < 0 || swr_init(resampler) < 0) return fail("no sound conversion");
    state->fifo.reset(av_audio_fifo_alloc(audio->sample_fmt, audio->ch_layout.nb_channels,
                                          std::max(audio->frame_size, 1024) * 4));
    state->sound.reset(av_frame_alloc());
    if (!state->fifo || !state->sound) return fail("out of memory");
    state->sound->format = audio->sample_fmt;
    state->sound->sample_rate = audio->sample_rate;
    state->sound->nb_samples = audio->frame_size > 0 ? audio->frame_size : 1024;
    if (av_channel_layout_copy(&state->sound->ch_layout, &audio->ch_layout) < 0 ||
        av_frame_get_buffer(state->sound.get(), 0) < 0) {
      return fail("out of memory");
    }
  }

  // Written beside the target under a hidden name of its own and renamed when finished.
  state->file = std::make_unique<PendingFile>(file);
  if (!state->file->ok()) {
    return fail("cannot write in " + file.parent_path().string() + ": " + std::strerror(errno));
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(kWriteBufferSize));
  if (buffer == nullptr) return fail("out of memory");
  state->container->pb = avio_alloc_context(buffer, kWriteBufferSize, 1, state.get(), nullptr, &State::WriteToFile,
                                            &State::SeekInFile);
  if (state->container->pb == nullptr) {
    av_free(buffer);
    return fail("out of memory");
  }
  state->container->flags |= AVFMT_FLAG_CUSTOM_IO;
  // Each packet the muxer completes goes to the file at once: a write that fails then loses
  // only the packet in hand.
  state->container->flush_packets = 1;
  if ((result = avformat_write_header(state->container, nullptr)) < 0) {
    return fail("cannot start the file: " + AvError(result));
  }
  avio_flush(state->container->pb);
  if (state->WriteFailed()) return fail("cannot start the file: " + state->failure);
  state->dataStart = state->position;
  state_ = std::move(state);
  return true;
}

bool CMediaWriter::WriteVideoFrame(const std::uint8_t* bgr, std::ptrdiff_t stride) {
  if (!state_ || state_->finished || state_->WriteFailed() || bgr == nullptr) return false;
  AVFrame* picture = state_->picture.get();
  if (av_frame_make_writable(picture) < 0) return false;
  const std::uint8_t* source[] = {bgr};
  const int sourceStride[] = {static_cast<int>(stride)};
  sws_scale(state_->scaler.get(), source, sourceStride, 0, state_->format.height, picture->data, picture->linesize);
  picture->pts = state_->videoFrames++;
  return state_->Encode(state_->video.get(), state_->videoStream, picture);
}

bool CMediaWriter::WriteAudio(const std::int16_t* samples, int frames) {
  if (!state_ || state_->finished || state_->WriteFailed() || frames < 0) return false;
  if (!state_->audio || frames == 0) return true;
  if (samples == nullptr) return false;
  AVCodecContext* audio = state_->audio.get();
  // Same rate in and out: the conversion gives back as many frames as it was given.
  std::uint8_t** converted = nullptr;
  if (av_samples_alloc_array_and_samples(&converted, nullptr, audio->ch_layout.nb_channels, frames,
                                         audio->sample_fmt, 0) < 0) {
    return false;
  }
  const std::uint8_t* input[] = {reinterpret_cast<const std::uint8_t*>(samples)};
  const int convertedFrames = swr_convert(state_->resampler.get(), converted, frames, input, frames);
  bool ok = convertedFrames >= 0 &&
            av_audio_fifo_write(state_->fifo.get(), reinterpret_cast<void**>(converted), convertedFrames) ==
                convertedFrames;
  av_freep(&converted[0]);
  av_freep(&converted);
  return ok && state_->DrainSound(false);
}

bool CMediaWriter::Finish(std::string* error) {
  auto report = [&](std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
  };
  if (!state_ || state_->finished) return report("no file is being written");
  State& state = *state_;
  state.finished = true;
  std::string problem;
  if (!state.WriteFailed()) {
    if (state.audio && (!state.DrainSound(true) || !state.Encode(state.audio.get(), state.audioStream, nullptr))) {
      problem = "the sound could not be encoded";
    }
    if (!state.Encode(state.video.get(), state.videoStream, nullptr) && problem.empty()) {
      problem = "the pictures could not be encoded";
    }
    // What the muxer holds back for interleaving goes out first, so a trailer that fails
    // costs no more than the packet it was filling.
    av_interleaved_write_frame(state.container, nullptr);
    avio_flush(state.container->pb);
  }
  bool trailerWritten = false;
  if (!state.WriteFailed()) {
    state.dataEnd = state.position;
    const int result = av_write_trailer(state.container);
    trailerWritten = result >= 0 && !state.WriteFailed();
    if (!trailerWritten && !state.WriteFailed()) problem = "cannot finish the file: " + AvError(result);
  }
  if (state.WriteFailed()) problem = "the file could not be written: " + state.failure;

  if (trailerWritten) {
    // Synced before it is named.
    const std::optional<std::filesystem::path> named = state.file->Commit(FilePlacement::NewFile(NextDashedName));
    if (!named) return report("cannot name the file " + state.target.string());
    state.written = *named;
  } else {
    const std::optional<std::filesystem::path> kept = state.KeepIncomplete();
    if (!kept) return report(problem + "; what was written could not be kept");
    state.written = *kept;
  }
  return problem.empty() || report(problem);
}

std::filesystem::path CMediaWriter::WrittenPath() const { return state_ ? state_->written : std::filesystem::path(); }

bool CMediaWriter::WriteFailed() const { return state_ && state_->WriteFailed(); }

std::int64_t CMediaWriter::VideoFrames() const { return state_ ? state_->videoFrames : 0; }
std::int64_t CMediaWriter::AudioFrames() const { return state_ ? state_->audioFrames : 0; }

}  // namespace orvane::platform
