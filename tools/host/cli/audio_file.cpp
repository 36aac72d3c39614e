#include "audio_file.h"

#include <emmintrin.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "files/files.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

struct Container {
  const char* name;  // for --format, and the usual extension without its dot
  int major;
  int codec;  // the sample format the container always takes, or 0
  int usual;  // the sample format when the input's does not fit
};

constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV, 0, SF_FORMAT_FLOAT},
    {"flac", SF_FORMAT_FLAC, 0, SF_FORMAT_PCM_24},
    {"aiff", SF_FORMAT_AIFF, 0, SF_FORMAT_FLOAT},
    {"w64", SF_FORMAT_W64, 0, SF_FORMAT_FLOAT},
    {"rf64", SF_FORMAT_RF64, 0, SF_FORMAT_FLOAT},
    {"caf", SF_FORMAT_CAF, 0, SF_FORMAT_FLOAT},
    {"au", SF_FORMAT_AU, 0, SF_FORMAT_FLOAT},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_MPEG_LAYER_III},
};

std::string lowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

const Container* containerNamed(std::string name) {
  if (name == "aif" || name == "aifc") name = "aiff";
  if (name == "oga") name = "ogg";
  for (const Container& c : kContainers)
    if (name == c.name) return &c;
  return nullptr;
}

const Container* containerOf(int major) {
  for (const Container& c : kContainers)
    if (c.major == major) return &c;
  return nullptr;
}

int bitsOf(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ALAC_16:
      return 16;
    case SF_FORMAT_ALAC_20:
      return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_ALAC_24:
      return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
      return 32;
    default:
      return 0;
  }
}

int bytesPerSample(int subtype) {
  if (subtype == SF_FORMAT_DOUBLE) return 8;
  if (subtype == SF_FORMAT_FLOAT) return 4;
  const int bits = bitsOf(subtype);
  return bits ? (bits + 7) / 8 : 4;
}

int subtypeForBits(const std::string& bits, int major) {
  const bool unsigned8 =
      major == SF_FORMAT_WAV || major == SF_FORMAT_RF64 || major == SF_FORMAT_W64;
  if (bits == "8") return unsigned8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  if (bits == "16") return SF_FORMAT_PCM_16;
  if (bits == "24") return SF_FORMAT_PCM_24;
  if (bits == "32") return SF_FORMAT_PCM_32;
  if (bits == "float") return SF_FORMAT_FLOAT;
  if (bits == "double") return SF_FORMAT_DOUBLE;
  throw Error("--bits takes 8, 16, 24, 32, float or double, not '" + bits + "'");
}

bool writable(int format, int channels, int rate) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = rate;
  return sf_format_check(&info) == SF_TRUE;
}

std::string formatName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.name) return "?";
  return info.name;
}

// libsndfile's messages as the middle of a sentence: "format not recognised".
std::string reason(SNDFILE* file) {
  std::string text = sf_strerror(file);
  while (!text.empty() && (text.back() == '.' || text.back() == '\n')) text.pop_back();
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

double toDb(double amplitude) {
  return amplitude > 0 ? 20.0 * std::log10(amplitude) : -INFINITY;
}

}  // namespace

void Levels::add(const float* const* channels, int channelCount, std::int64_t frames) {
  // Eight independent partial sums, so that the loop runs in vector
  // registers; each holds at most a block's worth of squares in double.
  constexpr int kLanes = 8;
  for (int c = 0; c < channelCount; ++c) {
    const float* x = channels[c];
    double sum[kLanes] = {};
    float top[kLanes] = {};
    std::int64_t i = 0;
    for (; i + kLanes <= frames; i += kLanes)
      for (int k = 0; k < kLanes; ++k) {
        const float v = x[i + k];
        sum[k] += double(v) * double(v);
        top[k] = std::max(top[k], std::fabs(v));
      }
    for (; i < frames; ++i) {
      sum[0] += double(x[i]) * double(x[i]);
      top[0] = std::max(top[0], std::fabs(x[i]));
    }
    for (int k = 0; k < kLanes; ++k) {
      sumSquares += sum[k];
      peak = std::max(peak, double(top[k]));
    }
    // A value that is not a number counts as full scale and beyond.
    if (!(sumSquares == sumSquares)) peak = INFINITY;
  }
  samples += frames * channelCount;
}

double Levels::peakDb() const {
  return toDb(peak);
}

double Levels::rmsDb() const {
  return samples ? toDb(std::sqrt(sumSquares / double(samples))) : -INFINITY;
}

std::string describeFormat(int format) {
  return formatName(format & SF_FORMAT_TYPEMASK) + ", " + formatName(format & SF_FORMAT_SUBMASK);
}

// ---------------------------------------------------------------------------

AudioFileReader::AudioFileReader(const std::string& name) : path(name) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error("no such file: " + path);
  if (fs::is_directory(path, ec)) throw Error(path + " is a folder, not an audio file");
  SF_INFO info{};
  file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
    throw Error("cannot read " + path + ": " + reason(nullptr) + " (not audio, or damaged)");
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0 || info.frames == SF_COUNT_MAX) {
    sf_close(file);
    throw Error("cannot read " + path + ": no channels, no sample rate or no known length");
  }
  fileInfo = {info.samplerate, info.channels, info.frames, info.format};
  for (int t = SF_STR_FIRST; t <= SF_STR_LAST; ++t)
    if (const char* s = sf_get_string(file, t)) meta.strings.emplace_back(t, s);
  SF_BROADCAST_INFO broadcast{};
  if (sf_command(file, SFC_GET_BROADCAST_INFO, &broadcast, sizeof broadcast) == SF_TRUE)
    meta.broadcast = broadcast;
}

AudioFileReader::~AudioFileReader() {
  sf_close(file);
}

std::int64_t AudioFileReader::read(float* const* channels, std::int64_t frames) {
  const int count = fileInfo.channels;
  interleaved.resize(static_cast<std::size_t>(frames) * count);
  const sf_count_t got = sf_readf_float(file, interleaved.data(), frames);
  if (got < 0 || sf_error(file) != SF_ERR_NO_ERROR)
    throw Error("cannot read " + path + ": " + reason(file));
  for (sf_count_t i = 0; i < got; ++i)
    for (int c = 0; c < count; ++c) channels[c][i] = interleaved[i * count + c];
  if (got < frames && position + got < fileInfo.frames)
    throw Error("cannot read " + path + ": it ends after " + std::to_string(position + got) +
                " of " + std::to_string(fileInfo.frames) + " frames");
  const std::int64_t fresh = position + got - std::max(position, measured);
  if (fresh > 0) {
    firstReads.assign(channels, channels + count);
    for (auto& p : firstReads) p += got - fresh;
    inputLevels.add(firstReads.data(), count, fresh);
    measured = position + got;
  }
  position += got;
  return got;
}

void AudioFileReader::seek(std::int64_t frame) {
  if (sf_seek(file, frame, SEEK_SET) != frame)
    throw Error("cannot go back in " + path + " (its format does not allow seeking)");
  position = frame;
}

// ---------------------------------------------------------------------------

int chooseOutputFormat(const FileInfo& input, const std::string& outputPath,
                       const std::string& formatName, const std::string& bits) {
  const Container* container = nullptr;
  if (!formatName.empty()) {
    container = containerNamed(formatName);
    if (!container)
      throw Error("unknown format '" + formatName +
                  "' (wav, flac, aiff, w64, rf64, caf, au, ogg, opus or mp3)");
  } else if (const std::string ext = lowerExtension(outputPath); !ext.empty()) {
    container = containerNamed(ext.substr(1));
    // Other extensions libsndfile knows keep the input's container (a batch
    // names outputs as their inputs).
    if (!container && !isAudioExtension(ext))
      throw Error("unsupported output format '" + ext +
                  "' (name the output .wav, .flac, .aiff, .w64, .rf64, .caf, .au, .ogg, .opus "
                  "or .mp3, or give --format)");
  }
  const int major = container ? container->major : input.format & SF_FORMAT_TYPEMASK;
  const int inputSubtype = input.format & SF_FORMAT_SUBMASK;
  int subtype;
  if (!bits.empty()) {
    subtype = subtypeForBits(bits, major);
  } else if (container && container->codec) {
    subtype = (major == (input.format & SF_FORMAT_TYPEMASK) && inputSubtype == container->codec)
                  ? inputSubtype
                  : container->codec;
  } else if (writable(major | inputSubtype, input.channels, input.sampleRate)) {
    subtype = inputSubtype;
  } else {
    const Container* known = container ? container : containerOf(major);
    subtype = known ? known->usual : SF_FORMAT_PCM_24;
  }
  int format = major | subtype;
  // Plain WAV counts its data in 32 bits.
  const double bytes = double(input.frames) * input.channels * bytesPerSample(subtype);
  if (major == SF_FORMAT_WAV && bytes > 4294967295.0 - 65536.0) format = SF_FORMAT_RF64 | subtype;
  if (!writable(format, input.channels, input.sampleRate))
    throw Error("libsndfile cannot write " + describeFormat(format) + " with " +
                std::to_string(input.channels) + " channels at " +
                std::to_string(input.sampleRate) + " Hz (choose --format or --bits)");
  return format;
}

std::string extensionForFormat(const std::string& formatName) {
  const Container* c = containerNamed(formatName);
  return c ? std::string(".") + c->name : std::string();
}

bool isAudioExtension(const std::string& extension) {
  std::string ext = extension;
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext.size() < 2 || ext[0] != '.') return false;
  if (containerNamed(ext.substr(1))) return true;
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension &&
        ext.substr(1) == info.extension)
      return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

AudioFileWriter::AudioFileWriter(const std::string& name, int format, int sampleRate, int channels,
                                 const Metadata& metadata)
    : path(name), channelCount(channels) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) throw Error("cannot write " + path + ": " + reason(nullptr));
  // Not every container holds every string or the broadcast chunk: what it
  // cannot hold is left out.
  for (const auto& [type, text] : metadata.strings) sf_set_string(file, type, text.c_str());
  if (metadata.broadcast) {
    SF_BROADCAST_INFO broadcast = *metadata.broadcast;
    sf_command(file, SFC_SET_BROADCAST_INFO, &broadcast, sizeof broadcast);
  }
  const int subtype = format & SF_FORMAT_SUBMASK;
  integerBits = bitsOf(subtype);
  clampFloats = !integerBits && subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE;
}

AudioFileWriter::~AudioFileWriter() {
  if (file) sf_close(file);
}

void AudioFileWriter::write(const float* const* channels, std::int64_t frames) {
  outputLevels.add(channels, channelCount, frames);
  const std::size_t n = static_cast<std::size_t>(frames) * channelCount;
  sf_count_t put;
  if (integerBits) {
    // Our own rounding to the format's steps, handed over left-justified in
    // 32 bits: libsndfile's float path scales by 2^(b-1) - 1, so a 16-bit
    // sample read and written back would not come out the same.
    const double scale = std::ldexp(1.0, integerBits - 1);
    const double highest = scale - 1, lowest = -scale;
    const int shift = 32 - integerBits;
    ints.resize(n);
    for (int c = 0; c < channelCount; ++c) {
      const float* x = channels[c];
      int* to = ints.data() + c;
      for (std::int64_t i = 0; i < frames; ++i, to += channelCount) {
        double v = double(x[i]) * scale;
        if (!(v < highest + 0.5 && v >= lowest - 0.5)) {
          v = v > 0 ? highest : (v < 0 ? lowest : 0.0);  // not a number: silence
          ++clippedSamples;
        }
        // Round to nearest, ties to even (the default rounding mode).
        const int step = _mm_cvtsd_si32(_mm_set_sd(v));
        *to = static_cast<int>(static_cast<std::uint32_t>(step) << shift);
      }
    }
    put = sf_writef_int(file, ints.data(), frames);
  } else {
    floats.resize(n);
    for (int c = 0; c < channelCount; ++c) {
      const float* x = channels[c];
      float* to = floats.data() + c;
      for (std::int64_t i = 0; i < frames; ++i, to += channelCount) {
        float v = x[i];
        if (clampFloats && !(std::fabs(v) <= 1.0f)) {
          v = v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f);
          ++clippedSamples;
        }
        *to = v;
      }
    }
    put = sf_writef_float(file, floats.data(), frames);
  }
  if (put != frames) throw Error("cannot write " + path + ": " + reason(file));
}

void AudioFileWriter::close() {
  SNDFILE* f = std::exchange(file, nullptr);
  if (f && sf_close(f) != 0) throw Error("cannot write " + path + ": the disk refused the data");
}

// ---------------------------------------------------------------------------

Audio readAudio(const std::string& path) {
  AudioFileReader reader(path);
  const FileInfo& info = reader.info();
  Audio audio;
  audio.sampleRate = info.sampleRate;
  audio.channels.assign(info.channels, std::vector<float>(static_cast<std::size_t>(info.frames)));
  std::vector<float*> to;
  for (auto& c : audio.channels) to.push_back(c.data());
  reader.read(to.data(), info.frames);
  return audio;
}

void writeAudio(const std::string& path, const Audio& audio, int format, const Metadata& metadata) {
  std::vector<const float*> from;
  for (const auto& c : audio.channels) from.push_back(c.data());
  const bool written = files::writeAtomically(path, [&](const std::string& temp) {
    AudioFileWriter writer(temp, format ? format : SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                           audio.sampleRate, static_cast<int>(audio.channels.size()), metadata);
    writer.write(from.data(), audio.frames());
    writer.close();
    return true;
  });
  if (!written) throw Error("cannot write " + path);
}

}  // namespace orvane::host
