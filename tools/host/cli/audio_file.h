// Audio files through libsndfile, streamed: a reader that is the stream
// driver's source and a writer that is its sink. The output keeps what the
// input was (container, sample format, rate, channels, the text strings and
// the broadcast-extension chunk) unless asked otherwise; integer formats are
// clamped at full scale and the clamped samples counted, float formats keep
// every value.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vsthost/stream.h"

namespace orvane::host {

// Peak and RMS of the samples that went through, in dBFS.
struct Levels {
  double peak = 0;
  double sumSquares = 0;
  std::int64_t samples = 0;
  void add(const float* const* channels, int channelCount, std::int64_t frames);
  double peakDb() const;
  double rmsDb() const;
};

// What the output carries over from the input besides the audio.
struct Metadata {
  std::vector<std::pair<int, std::string>> strings;  // SF_STR_* and text
  std::optional<SF_BROADCAST_INFO> broadcast;
};

struct FileInfo {
  int sampleRate = 0;
  int channels = 0;
  std::int64_t frames = 0;
  int format = 0;  // SF_FORMAT_* container | sample format
};

// "WAV, 16-bit" for a format word.
std::string describeFormat(int format);

class AudioFileReader : public AudioSource {
 public:
  // Throws host::Error with one line when the file is missing, a folder, not
  // audio libsndfile knows, or has no channels or rate.
  explicit AudioFileReader(const std::string& path);
  ~AudioFileReader() override;
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  const FileInfo& info() const { return fileInfo; }
  const Metadata& metadata() const { return meta; }
  // Levels of the input, each frame counted once however often it is read.
  const Levels& levels() const { return inputLevels; }

  std::int64_t read(float* const* channels, std::int64_t frames) override;
  void seek(std::int64_t frame) override;

 private:
  std::string path;
  SNDFILE* file = nullptr;
  FileInfo fileInfo;
  Metadata meta;
  Levels inputLevels;
  std::int64_t position = 0, measured = 0;
  std::vector<float> interleaved;
  std::vector<const float*> firstReads;  // the frames read for the first time
};

// The format an output takes: `formatName` (wav, flac, aiff, ...) or else the
// container the output name's extension names (one that names no audio
// format is refused), or else the input's container; `bits` (8, 16, 24, 32, float, double) or else
// the input's sample format where the container holds it, or else the container's usual one. WAV
// becomes RF64 when the data would pass 4 GiB. Throws host::Error for names it does not know or
// combinations libsndfile cannot write.
int chooseOutputFormat(const FileInfo& input, const std::string& outputPath,
                       const std::string& formatName, const std::string& bits);
// The usual extension of a container name given to --format ("wav"), empty if unknown.
std::string extensionForFormat(const std::string& formatName);
// True when the extension (".wav") is one libsndfile reads.
bool isAudioExtension(const std::string& extension);

class AudioFileWriter : public AudioSink {
 public:
  AudioFileWriter(const std::string& path, int format, int sampleRate, int channels,
                  const Metadata& metadata);
  ~AudioFileWriter() override;
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  void write(const float* const* channels, std::int64_t frames) override;
  // Completes the file; throws host::Error when the disk refused the data.
  void close();

  const Levels& levels() const { return outputLevels; }
  // Samples clamped because the format could not hold them.
  std::int64_t clipped() const { return clippedSamples; }

 private:
  std::string path;
  SNDFILE* file = nullptr;
  int channelCount = 0;
  int integerBits = 0;  // 0: the format takes floats
  bool clampFloats = false;
  Levels outputLevels;
  std::int64_t clippedSamples = 0;
  std::vector<float> floats;
  std::vector<int> ints;
};

// Whole files in memory, for the demo and the tests.
struct Audio {
  int sampleRate = 0;
  std::vector<std::vector<float>> channels;
  std::int64_t frames() const {
    return channels.empty() ? 0 : static_cast<std::int64_t>(channels[0].size());
  }
};
Audio readAudio(const std::string& path);
// Written atomically; `format` 0 means 32-bit float WAV.
void writeAudio(const std::string& path, const Audio& audio, int format = 0,
                const Metadata& metadata = {});

}  // namespace orvane::host
