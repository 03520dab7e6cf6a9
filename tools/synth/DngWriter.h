// Writes one uncompressed Bayer DNG, little-endian, rows streamed in order:
//   IFD 0: the raw image itself (NewSubFileType 0), 16-bit CFA samples (photometric 32803),
//          CFARepeatPatternDim 2 x 2, CFAPattern, one strip, Make/Model, DNGVersion 1.1,
//          BlackLevel, WhiteLevel, ColorMatrix1, AsShotNeutral, CalibrationIlluminant1 (D65),
//          and a pointer to
//   the EXIF IFD: ExposureTime, FNumber, ISOSpeedRatings, ExifVersion.
// The file appears under its name only when Finish succeeds (written to a temporary name in the
// same folder first). Failures throw std::runtime_error naming the file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace brimsal::synth {

struct DngInfo {
    int width = 0;                                      // even, >= 2
    int height = 0;                                     // even, >= 2
    std::array<uint8_t, 4> cfa_pattern = {0, 1, 1, 2};  // 2 x 2, row by row: RGGB
    int black_level = 0;
    int white_level = 65535;
    std::array<double, 9> color_matrix{};  // XYZ to camera, row-major
    std::array<double, 3> as_shot_neutral = {1, 1, 1};
    double exposure_time = 1;  // seconds
    double f_number = 8;
    int iso = 100;
    std::string make;
    std::string model;
    std::string software;
};

class DngWriter {
  public:
    DngWriter(const std::string& path, const DngInfo& info);
    ~DngWriter();  // removes the temporary file when Finish was not reached
    DngWriter(const DngWriter&) = delete;
    DngWriter& operator=(const DngWriter&) = delete;

    // Appends `rows` whole rows of `width` raw samples.
    void WriteRows(const uint16_t* samples, int rows);
    // Closes the file and renames it into place; every row must have been written.
    void Finish();

  private:
    void Fail(const std::string& what);
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    int width_;
    int height_;
    int next_row_ = 0;
};

// A positive value as a rational: 1/n when it is the inverse of a whole number n (exposure
// times such as 1/1024), else the nearest fraction over 1000000.
std::array<uint32_t, 2> ToRational(double value);

}  // namespace brimsal::synth
