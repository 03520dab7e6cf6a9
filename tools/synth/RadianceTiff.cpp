#include "RadianceTiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "image/TiffIO.h"

namespace brimsal::synth {

namespace {

TIFF* AsTiff(void* handle) {
    return static_cast<TIFF*>(handle);
}

}  // namespace

RadianceTiffWriter::RadianceTiffWriter(const std::string& path, int width, int height)
    : path_(path), temporary_(path + ".part"), width_(width), height_(height) {
    TIFF* tiff = TIFFOpen(temporary_.c_str(), "w");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot create '" + temporary_ + "'");
    }
    tiff_ = tiff;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(kRowsPerStrip));
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "brimsal-synth");
    strip_.resize(static_cast<size_t>(width) * kRowsPerStrip * 3);
}

RadianceTiffWriter::~RadianceTiffWriter() {
    if (tiff_ != nullptr) {
        TIFFClose(AsTiff(tiff_));
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void RadianceTiffWriter::WriteRows(const float* rgb, int rows) {
    if (tiff_ == nullptr || next_row_ + rows > height_) {
        throw std::runtime_error("too many rows for '" + path_ + "'");
    }
    const size_t row_floats = static_cast<size_t>(width_) * 3;
    for (int r = 0; r < rows; ++r) {
        std::memcpy(strip_.data() + rows_in_strip_ * row_floats, rgb + r * row_floats,
                    row_floats * sizeof(float));
        ++next_row_;
        if (++rows_in_strip_ == kRowsPerStrip || next_row_ == height_) {
            Flush();
        }
    }
}

void RadianceTiffWriter::Flush() {
    const tmsize_t bytes =
        static_cast<tmsize_t>(rows_in_strip_) * width_ * 3 * static_cast<tmsize_t>(sizeof(float));
    // libtiff's predictor works in place, so it is handed a buffer it may change.
    if (TIFFWriteEncodedStrip(AsTiff(tiff_), static_cast<uint32_t>(strip_index_), strip_.data(),
                              bytes) < 0) {
        throw std::runtime_error("cannot write '" + path_ + "'");
    }
    ++strip_index_;
    rows_in_strip_ = 0;
}

void RadianceTiffWriter::Finish() {
    if (tiff_ == nullptr || next_row_ != height_) {
        throw std::runtime_error("'" + path_ + "' is missing rows");
    }
    TIFF* tiff = AsTiff(tiff_);
    tiff_ = nullptr;
    const bool flushed = TIFFFlush(tiff) == 1;
    TIFFClose(tiff);
    std::error_code error;
    if (flushed) {
        std::filesystem::rename(temporary_, path_, error);
    }
    if (!flushed || error) {
        std::filesystem::remove(temporary_, error);
        throw std::runtime_error("cannot write '" + path_ + "'");
    }
}

RadianceImage ReadRadianceTiff(const std::string& path) {
    RadianceImage image;
    image.rgb = ReadFloatTiff(path, image.width, image.height);
    return image;
}

}  // namespace brimsal::synth
