#include "image/TiffIO.h"

#include <tiffio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/NewFiles.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/TemporaryFiles.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

// Frames above this many pixels are refused rather than attempted (about 1.3 GB of samples).
constexpr uint64_t kMaxPixels = 220'000'000;
// RGB, or RGB with one extra sample (alpha); a header declaring more is refused.
constexpr uint16_t kMaxSamplesPerPixel = 4;
// Tile sizes are multiples of this many pixels.
constexpr uint32_t kTileGranule = 16;
// No single buffer libtiff allocates for a file may exceed this.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 30;
// The most any codec of TIFF expands its data: LZW codes of 9 bits stand for at most 4096
// bytes, Deflate expands at most 1032 times; other codecs (zstd runs) get a wider bound.
constexpr uint64_t kMaxRatioLzwDeflate = 4096;
constexpr uint64_t kMaxRatioOther = 65536;

// libtiff reports through handlers; each open file gets one that keeps the last message.
struct TiffMessages {
    std::string last_error;
};

int OnTiffError(TIFF*, void* user_data, const char* module, const char* format, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user_data);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    messages->last_error = (module != nullptr && *module != '\0')
                               ? std::string(module) + ": " + text
                               : std::string(text);
    return 1;
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const {
        if (tiff != nullptr) {
            TIFFClose(tiff);
        }
    }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenTiff(const std::string& path, const char* mode, TiffMessages& messages) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, &messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
    TiffHandle tiff(TIFFOpenExt(path.c_str(), mode, options));
    TIFFOpenOptionsFree(options);
    return tiff;
}

// What a TIFF's directory declares, as both readers check it; libtiff's defaults stand for
// absent tags.
struct TiffHeader {
    bool has_size = false;  // both the width and the height tag are present
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 0;
    uint16_t spp = 0;
    uint16_t photometric = 0;  // absent: RGB for three samples or more, grey below
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t sample_format = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE;
    bool tiled = false;
    uint32_t tile_width = 0;  // tiled files
    uint32_t tile_height = 0;
    uint32_t rows_per_strip = 0;  // files in strips
};

TiffHeader ReadHeader(TIFF* tiff) {
    TiffHeader header;
    header.has_size = TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &header.width) == 1 &&
                      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &header.height) == 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &header.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &header.spp);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &header.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &header.sample_format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &header.compression);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &header.photometric)) {
        header.photometric = header.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    header.tiled = TIFFIsTiled(tiff) != 0;
    if (header.tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &header.tile_width);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &header.tile_height);
    } else {
        header.rows_per_strip = header.height;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &header.rows_per_strip);
    }
    return header;
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw ImageError("'" + path + "': " + what);
}

std::string Reason(const TiffMessages& messages, const char* fallback) {
    return messages.last_error.empty() ? fallback : messages.last_error;
}

// Copies one decoded block (strip or tile) of `block_w` x `block_h` samples-per-pixel `spp`
// (or one plane of it, `plane` >= 0) into the frame at (x0, y0), clipped to the frame.
void CopyBlock(const uint8_t* data, int bits, int spp, int plane, int block_w, int block_h, int x0,
               int y0, Frame& frame) {
    const int stride_samples = plane >= 0 ? 1 : spp;
    const int x_end = std::min(frame.width, x0 + block_w);
    const int y_end = std::min(frame.height, y0 + block_h);
    for (int y = y0; y < y_end; ++y) {
        const size_t row_offset = static_cast<size_t>(y - y0) * block_w * stride_samples;
        uint16_t* out = frame.at(x0, y);
        for (int x = x0; x < x_end; ++x) {
            const size_t in = row_offset + static_cast<size_t>(x - x0) * stride_samples;
            for (int c = 0; c < 3; ++c) {
                if (plane >= 0 && c != plane) {
                    continue;
                }
                const size_t s = plane >= 0 ? in : in + c;
                uint16_t v;
                if (bits == 16) {
                    std::memcpy(&v, data + s * 2, 2);
                } else {
                    v = static_cast<uint16_t>(data[s] * 257);
                }
                out[c] = v;
            }
            out += 3;
        }
    }
}

// The tags every written file carries: 16-bit words with the horizontal predictor, or 32-bit
// floats with the floating-point predictor; LZW either way.
void SetOutputTags(TIFF* tiff, int width, int height, int rows_per_strip, bool floats) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, floats ? 32 : 16);
    if (floats) {
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    }
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rows_per_strip));
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Brimsal");
}

// A file in memory for libtiff's client interface: the strip encoder writes into it.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;

    static tmsize_t Read(thandle_t handle, void* data, tmsize_t size) {
        auto* file = static_cast<MemoryFile*>(handle);
        const uint64_t available =
            file->position < file->bytes.size() ? file->bytes.size() - file->position : 0;
        const auto count = static_cast<tmsize_t>(std::min<uint64_t>(available, size));
        std::memcpy(data, file->bytes.data() + file->position, static_cast<size_t>(count));
        file->position += static_cast<uint64_t>(count);
        return count;
    }
    static tmsize_t Write(thandle_t handle, void* data, tmsize_t size) {
        auto* file = static_cast<MemoryFile*>(handle);
        const uint64_t end = file->position + static_cast<uint64_t>(size);
        if (end > file->bytes.size()) {
            file->bytes.resize(end);
        }
        std::memcpy(file->bytes.data() + file->position, data, static_cast<size_t>(size));
        file->position = end;
        return size;
    }
    static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
        auto* file = static_cast<MemoryFile*>(handle);
        const uint64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? file->position
                                                   : file->bytes.size();
        file->position = base + offset;
        return file->position;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}
};

// One strip compressed by libtiff's own LZW codec, exactly as the file's writer would compress
// it: a one-strip image with the file's tags is written into memory and its strip taken out.
// `samples` is the strip's rows (libtiff may change them while encoding).
std::vector<uint8_t> EncodeStrip(uint8_t* samples, int width, int rows, bool floats) {
    MemoryFile file;
    TiffMessages messages;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, &messages);
    TiffHandle tiff(TIFFClientOpenExt("strip", "w", &file, MemoryFile::Read, MemoryFile::Write,
                                      MemoryFile::Seek, MemoryFile::Close, MemoryFile::Size,
                                      MemoryFile::Map, MemoryFile::Unmap, options));
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        throw ImageError("cannot start the LZW encoder (" + Reason(messages, "no memory") + ")");
    }
    SetOutputTags(tiff.get(), width, rows, rows, floats);
    const auto size =
        static_cast<tmsize_t>(static_cast<size_t>(width) * 3 * rows * (floats ? 4 : 2));
    if (TIFFWriteEncodedStrip(tiff.get(), 0, samples, size) != size) {
        throw ImageError("LZW encoding failed (" + Reason(messages, "no memory") + ")");
    }
    const uint64_t offset = TIFFGetStrileOffset(tiff.get(), 0);
    const uint64_t count = TIFFGetStrileByteCount(tiff.get(), 0);
    if (offset + count > file.bytes.size()) {
        throw ImageError("LZW encoding failed (strip out of place)");
    }
    return {file.bytes.begin() + static_cast<ptrdiff_t>(offset),
            file.bytes.begin() + static_cast<ptrdiff_t>(offset + count)};
}

// A header that declares more than its file can hold is refused before the frame is allocated:
// tiles larger than the image, or more pixels than its data can encode at the codec's highest
// expansion.
void RefuseHostileLayout(TIFF* tiff, const std::string& path, const TiffHeader& header) {
    const uint32_t width = header.width;
    const uint32_t height = header.height;
    const auto round_up = [](uint32_t v) {
        return (static_cast<uint64_t>(v) + kTileGranule - 1) / kTileGranule * kTileGranule;
    };
    uint32_t strips = 0;
    if (header.tiled) {
        const uint32_t tile_w = header.tile_width;
        const uint32_t tile_h = header.tile_height;
        if (tile_w == 0 || tile_h == 0 || tile_w > round_up(width) || tile_h > round_up(height)) {
            Fail(path, "tiles of " + std::to_string(tile_w) + "x" + std::to_string(tile_h) +
                           " on an image of " + std::to_string(width) + "x" +
                           std::to_string(height));
        }
        strips = TIFFNumberOfTiles(tiff);
    } else {
        strips = TIFFNumberOfStrips(tiff);
    }
    const uint16_t compression = header.compression;
    const uint64_t ratio = compression == COMPRESSION_NONE ? 1
                           : compression == COMPRESSION_LZW || compression == COMPRESSION_DEFLATE ||
                                   compression == COMPRESSION_ADOBE_DEFLATE ||
                                   compression == COMPRESSION_PACKBITS
                               ? kMaxRatioLzwDeflate
                               : kMaxRatioOther;
    const uint64_t needed = static_cast<uint64_t>(width) * height * header.spp * (header.bits / 8);
    std::error_code ignored;
    const uint64_t file_size = std::filesystem::file_size(path, ignored);
    uint64_t stored = 0;
    for (uint32_t i = 0; i < strips && stored < file_size; ++i) {
        stored += TIFFGetStrileByteCount(tiff, i);
    }
    stored = std::min(stored, file_size);
    if (stored * ratio < needed) {
        Fail(path, "the header declares " + std::to_string(width) + "x" + std::to_string(height) +
                       " pixels, more than its " + std::to_string(stored) +
                       " bytes of image data can hold");
    }
}

Frame ReadFrame(const std::string& path) {
    if (!ExisteArchivo(path)) {
        Fail(path, "file not found");
    }
    TiffMessages messages;
    // Not memory-mapped: the mapping would count a whole file more in resident memory while
    // the strips are copied out of it, and uncompressed strips are read straight into the frame.
    TiffHandle tiff = OpenTiff(path, "rm", messages);
    if (!tiff) {
        Fail(path, "not a readable TIFF file (" + Reason(messages, "cannot open") + ")");
    }
    const TiffHeader header = ReadHeader(tiff.get());
    if (!header.has_size) {
        Fail(path, "TIFF without image size");
    }
    const uint32_t width = header.width;
    const uint32_t height = header.height;
    const uint16_t bits = header.bits;
    const uint16_t spp = header.spp;
    if (spp > kMaxSamplesPerPixel) {
        Fail(path, std::to_string(spp) + " samples per pixel (RGB images have 3 or 4)");
    }
    if (header.photometric != PHOTOMETRIC_RGB || spp < 3) {
        Fail(path,
             "not an RGB image (greyscale, palette, CMYK and other colour layouts are not "
             "supported)");
    }
    if (header.sample_format != SAMPLEFORMAT_UINT) {
        Fail(path, "floating-point or signed samples are not supported");
    }
    if (bits != 8 && bits != 16) {
        Fail(path, std::to_string(bits) + "-bit samples are not supported (8 or 16 bits)");
    }
    if (width == 0 || height == 0 || static_cast<uint64_t>(width) * height > kMaxPixels) {
        Fail(path,
             "unsupported image size " + std::to_string(width) + "x" + std::to_string(height));
    }

    RefuseHostileLayout(tiff.get(), path, header);

    Frame frame = Frame::Unfilled(static_cast<int>(width), static_cast<int>(height));
    const bool separate = header.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? 3 : 1;
    const int bytes = bits / 8;
    if (header.tiled) {
        const uint32_t tile_w = header.tile_width;  // not 0: RefuseHostileLayout checked
        const uint32_t tile_h = header.tile_height;
        const tmsize_t tile_size = TIFFTileSize(tiff.get());
        const size_t needed = static_cast<size_t>(tile_w) * tile_h * (separate ? 1 : spp) * bytes;
        if (tile_size <= 0 || static_cast<size_t>(tile_size) < needed) {
            Fail(path, "invalid tile layout");
        }
        std::vector<uint8_t> buffer(static_cast<size_t>(tile_size));
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t y = 0; y < height; y += tile_h) {
                for (uint32_t x = 0; x < width; x += tile_w) {
                    const uint32_t tile =
                        TIFFComputeTile(tiff.get(), x, y, 0, static_cast<uint16_t>(plane));
                    if (TIFFReadEncodedTile(tiff.get(), tile, buffer.data(), tile_size) < 0) {
                        Fail(path, "damaged tile data (" + Reason(messages, "read error") + ")");
                    }
                    CopyBlock(buffer.data(), bits, spp, separate ? plane : -1,
                              static_cast<int>(tile_w), static_cast<int>(tile_h),
                              static_cast<int>(x), static_cast<int>(y), frame);
                }
            }
        }
    } else {
        const uint32_t rows_per_strip =
            std::min(std::max<uint32_t>(header.rows_per_strip, 1), height);
        const size_t row_bytes = static_cast<size_t>(width) * (separate ? 1 : spp) * bytes;
        if (!separate && bits == 16 && spp == 3) {
            // The layout dcraw writes: strips decode straight into the frame.
            for (uint32_t y = 0; y < height; y += rows_per_strip) {
                const uint32_t rows = std::min(rows_per_strip, height - y);
                const tmsize_t want = static_cast<tmsize_t>(row_bytes * rows);
                if (TIFFReadEncodedStrip(tiff.get(), TIFFComputeStrip(tiff.get(), y, 0),
                                         frame.row(static_cast<int>(y)), want) != want) {
                    Fail(path, "damaged or truncated image data (" +
                                   Reason(messages, "short strip") + ")");
                }
            }
            return frame;
        }
        std::vector<uint8_t> buffer(row_bytes * rows_per_strip);
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t y = 0; y < height; y += rows_per_strip) {
                const uint32_t rows = std::min(rows_per_strip, height - y);
                const uint32_t strip =
                    TIFFComputeStrip(tiff.get(), y, static_cast<uint16_t>(plane));
                const tmsize_t want = static_cast<tmsize_t>(row_bytes * rows);
                if (TIFFReadEncodedStrip(tiff.get(), strip, buffer.data(), want) != want) {
                    Fail(path, "damaged or truncated image data (" +
                                   Reason(messages, "short strip") + ")");
                }
                CopyBlock(buffer.data(), bits, spp, separate ? plane : -1, static_cast<int>(width),
                          static_cast<int>(rows), 0, static_cast<int>(y), frame);
            }
        }
    }
    return frame;
}

}  // namespace

struct TiffStripWriter::Messages : TiffMessages {};

Frame ReadTiff(const std::string& path) {
    try {
        return ReadFrame(path);
    } catch (const std::bad_alloc&) {
        Fail(path, "not enough memory to load it");
    }
}

TiffStripWriter::TiffStripWriter(const std::string& path, int width, int height, int threads)
    : TiffStripWriter(path, width, height, threads, false) {}

TiffStripWriter::TiffStripWriter(const std::string& path, int width, int height, int threads,
                                 bool floats)
    : path_(path),
      temporary_(TemporaryNameBeside(path, ".part")),
      messages_(std::make_unique<Messages>()),
      width_(width),
      height_(height),
      floats_(floats),
      threads_(threads) {
    if (width <= 0 || height <= 0) {
        Fail(path, "cannot write an empty image");
    }
    row_bytes_ = static_cast<size_t>(width) * 3 * (floats ? 4 : 2);
    // About 1 MB of samples per strip: large enough for LZW, small enough to stream.
    rows_per_strip_ =
        std::max(1, std::min(height, static_cast<int>((size_t{1} << 20) / row_bytes_)));
    TIFF* tiff = OpenTiff(temporary_, "w", *messages_).release();
    if (tiff == nullptr) {
        Fail(path, "cannot create the file (" + Reason(*messages_, std::strerror(errno)) + ")");
    }
    tiff_ = tiff;
    SetOutputTags(tiff, width, height, rows_per_strip_, floats);
}

TiffStripWriter::~TiffStripWriter() {
    if (tiff_ != nullptr) {
        TIFFClose(static_cast<TIFF*>(tiff_));
    }
    if (!finished_) {
        std::remove(temporary_.c_str());
    }
}

void TiffStripWriter::WriteRows(const uint16_t* samples, int rows) {
    WriteSamples(reinterpret_cast<const uint8_t*>(samples), rows);
}

void TiffStripWriter::WriteSamples(const uint8_t* samples, int rows) {
    if (rows < 0 || next_row_ + rows > height_) {
        Fail(path_, "more rows written than the image holds");
    }
    const int first_row = next_row_;
    next_row_ += rows;
    if (pending_.empty()) {
        pending_.resize(row_bytes_ * static_cast<size_t>(rows_per_strip_));
    }
    // The strips these rows complete: one may begin in the rows kept from the last call.
    struct Strip {
        const uint8_t* samples;
        int rows;
    };
    std::vector<Strip> strips;
    int strip_start = next_strip_ * rows_per_strip_;
    while (strip_start < height_) {
        const int strip_end = std::min(height_, strip_start + rows_per_strip_);
        if (strip_end > next_row_) {
            break;
        }
        if (strip_start < first_row) {
            std::memcpy(pending_.data() + static_cast<size_t>(first_row - strip_start) * row_bytes_,
                        samples, static_cast<size_t>(strip_end - first_row) * row_bytes_);
            strips.push_back({pending_.data(), strip_end - strip_start});
        } else {
            strips.push_back({samples + static_cast<size_t>(strip_start - first_row) * row_bytes_,
                              strip_end - strip_start});
        }
        strip_start = strip_end;
    }

    // Strips are compressed side by side, a few per thread at a time, then appended in order:
    // the same bytes as one thread compressing row after row.
    const int workers = threads_ > 0 ? threads_ : AvailableThreads();
    const size_t batch = static_cast<size_t>(2 * workers);
    auto* tiff = static_cast<TIFF*>(tiff_);
    for (size_t first = 0; first < strips.size(); first += batch) {
        const size_t count = std::min(batch, strips.size() - first);
        std::vector<std::vector<uint8_t>> encoded(count);
        try {
            ParallelFor(
                static_cast<int64_t>(count), 1,
                [&](int64_t s, int64_t, int64_t) {
                    const Strip& strip = strips[first + static_cast<size_t>(s)];
                    std::vector<uint8_t> copy(strip.samples,
                                              strip.samples + row_bytes_ * strip.rows);
                    encoded[static_cast<size_t>(s)] =
                        EncodeStrip(copy.data(), width_, strip.rows, floats_);
                },
                workers);
        } catch (const ImageError& error) {
            Fail(path_, error.what());
        }
        for (const std::vector<uint8_t>& bytes : encoded) {
            const auto size = static_cast<tmsize_t>(bytes.size());
            if (TIFFWriteRawStrip(tiff, static_cast<uint32_t>(next_strip_),
                                  const_cast<uint8_t*>(bytes.data()), size) != size) {
                Fail(path_, "write error (" + Reason(*messages_, "disk full?") + ")");
            }
            ++next_strip_;
        }
    }
    // Rows of an unfinished strip wait for the next call.
    const int strip_begin = std::min(next_row_, next_strip_ * rows_per_strip_);
    const int kept_from = std::max(first_row, strip_begin);
    std::memcpy(pending_.data() + static_cast<size_t>(kept_from - strip_begin) * row_bytes_,
                samples + static_cast<size_t>(kept_from - first_row) * row_bytes_,
                static_cast<size_t>(next_row_ - kept_from) * row_bytes_);
}

void TiffStripWriter::Close() {
    if (tiff_ == nullptr) {
        return;
    }
    if (next_row_ != height_) {
        Fail(path_, "image incomplete");
    }
    auto* tiff = static_cast<TIFF*>(tiff_);
    const int flushed = TIFFFlush(tiff);
    TIFFClose(tiff);
    tiff_ = nullptr;
    if (flushed != 1) {
        Fail(path_, "write error (disk full?)");
    }
}

void TiffStripWriter::Finish() {
    Close();
    try {
        PutInPlace(temporary_, path_);
    } catch (const RunTimeError& error) {
        throw ImageError(error.what());
    }
    finished_ = true;
}

void TiffStripWriter::Publish(NewFileName& target) {
    Close();
    try {
        PublishWithoutReplacing(temporary_, target);
    } catch (const RunTimeError& error) {
        finished_ = true;  // the complete file stays where the message says
        throw ImageError(error.what());
    }
    finished_ = true;
}

void WriteTiff(const Frame& frame, const std::string& path) {
    if (frame.empty()) {
        Fail(path, "cannot write an empty image");
    }
    TiffStripWriter writer(path, frame.width, frame.height);
    writer.WriteRows(frame.pixels.data(), frame.height);
    writer.Finish();
}

TiffFloatWriter::TiffFloatWriter(const std::string& path, int width, int height, int threads)
    : TiffStripWriter(path, width, height, threads, true) {}

void TiffFloatWriter::WriteRows(const float* samples, int rows) {
    WriteSamples(reinterpret_cast<const uint8_t*>(samples), rows);
}

std::vector<float> ReadFloatTiff(const std::string& path, int& width, int& height) {
    TiffMessages messages;
    TiffHandle tiff = OpenTiff(path, "r", messages);
    if (!tiff) {
        Fail(path, "cannot open (" + Reason(messages, "not a TIFF") + ")");
    }
    const TiffHeader header = ReadHeader(tiff.get());
    const uint32_t w = header.width;
    const uint32_t h = header.height;
    if (w == 0 || h == 0 || header.bits != 32 || header.spp != 3 ||
        header.sample_format != SAMPLEFORMAT_IEEEFP || header.planar != PLANARCONFIG_CONTIG ||
        header.tiled || static_cast<uint64_t>(w) * h > kMaxPixels) {
        Fail(path, "not a 32-bit float RGB TIFF");
    }
    std::vector<float> samples(static_cast<size_t>(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tiff.get(), samples.data() + static_cast<size_t>(y) * w * 3, y, 0) <
            0) {
            Fail(path, "damaged image data (" + Reason(messages, "read error") + ")");
        }
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return samples;
}

void ReportLoadFailure(UserChannel& channel, const std::string& message) {
    ErrorInesperado(channel, "gflLoadBitmap [" + message + "]");
}

void ReportSaveFailure(UserChannel& channel, const std::string& message) {
    ErrorInesperado(channel, "gflSaveBitmap [" + message + "]");
}

bool CargarGflBitmap(const std::string& path, Frame& frame, UserChannel& channel) {
    return TrapUnexpected(channel, "CargarGflBitmap", false, [&] {
        try {
            frame = ReadTiff(path);
            return true;
        } catch (const ImageError& error) {
            ReportLoadFailure(channel, error.what());
            return false;
        }
    });
}

bool GuardarGflBitmap(const Frame& frame, const std::string& path, UserChannel& channel) {
    return TrapUnexpected(channel, "GuardarGflBitmap", false, [&] {
        try {
            WriteTiff(frame, path);
            return true;
        } catch (const ImageError& error) {
            ReportSaveFailure(channel, error.what());
            return false;
        }
    });
}

}  // namespace brimsal
