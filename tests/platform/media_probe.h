// Reads a recording back with libavformat: what a player would find in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace orvane::testing {

// Mean values of a decoded YUV 4:2:0 picture's planes; -1 when none was decoded.
struct PlaneMeans {
  double y = -1, u = -1, v = -1;
};

struct ProbedStream {
  std::string codec;  // "wmv2", "wmav2"
  int width = 0;
  int height = 0;
  int sampleRate = 0;
  double frameRate = 0;   // as the demuxer reports it
  int packets = 0;
  double seconds = 0;     // from the first packet's start to the last packet's end
  PlaneMeans first;  // of the first decoded picture
  PlaneMeans last;   // of the last decoded picture
};

struct ProbedFile {
  bool opened = false;
  std::string container;  // "asf"
  std::vector<ProbedStream> streams;

  const ProbedStream* Find(const std::string& codec) const {
    for (const auto& stream : streams) {
      if (stream.codec == codec) return &stream;
    }
    return nullptr;
  }
};

inline ProbedFile ProbeMediaFile(const std::filesystem::path& file) {
  ProbedFile probed;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0) return probed;
  if (avformat_find_stream_info(context, nullptr) < 0) {
    avformat_close_input(&context);
    return probed;
  }
  probed.opened = true;
  probed.container = context->iformat->name;
  std::vector<double> first(context->nb_streams, -1), last(context->nb_streams, 0);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    ProbedStream entry;
    entry.codec = avcodec_get_name(stream->codecpar->codec_id);
    entry.width = stream->codecpar->width;
    entry.height = stream->codecpar->height;
    entry.sampleRate = stream->codecpar->sample_rate;
    const AVRational rate = stream->avg_frame_rate.num != 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    entry.frameRate = rate.den != 0 ? av_q2d(rate) : 0;
    probed.streams.push_back(entry);
  }
  std::vector<AVCodecContext*> decoders(context->nb_streams, nullptr);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVCodecParameters* parameters = context->streams[i]->codecpar;
    if (parameters->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) continue;
    decoders[i] = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(decoders[i], parameters) < 0 || avcodec_open2(decoders[i], codec, nullptr) < 0) {
      avcodec_free_context(&decoders[i]);
    }
  }
  auto planeMean = [](const AVFrame* frame, int plane, int width, int height) {
    double sum = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) sum += frame->data[plane][y * frame->linesize[plane] + x];
    }
    return sum / (static_cast<double>(width) * height);
  };
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    if (index < probed.streams.size()) {
      ProbedStream& entry = probed.streams[index];
      if (decoders[index] != nullptr && avcodec_send_packet(decoders[index], packet) >= 0) {
        while (avcodec_receive_frame(decoders[index], frame) >= 0) {
          if (frame->format != AV_PIX_FMT_YUV420P) continue;
          entry.last = {planeMean(frame, 0, frame->width, frame->height),
                        planeMean(frame, 1, frame->width / 2, frame->height / 2),
                        planeMean(frame, 2, frame->width / 2, frame->height / 2)};
          if (entry.first.y < 0) entry.first = entry.last;
        }
      }
      const double base = av_q2d(context->streams[index]->time_base);
      ++probed.streams[index].packets;
      if (packet->pts != AV_NOPTS_VALUE) {
        const double start = static_cast<double>(packet->pts) * base;
        if (first[index] < 0 || start < first[index]) first[index] = start;
        last[index] = std::max(last[index], start + static_cast<double>(packet->duration) * base);
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  for (auto*& decoder : decoders) avcodec_free_context(&decoder);
  for (unsigned i = 0; i < probed.streams.size(); ++i) {
    if (first[i] >= 0) probed.streams[i].seconds = last[i] - first[i];
  }
  avformat_close_input(&context);
  return probed;
}

}  // namespace orvane::testing
