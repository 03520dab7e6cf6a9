// The scene's radiance as a TIFF of 32-bit floating point RGB (SAMPLEFORMAT_IEEEFP, Deflate with
// the floating-point predictor), for quality checks of what the road makes of the series.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace brimsal::synth {

// Writes rows in order; the file appears under its name only when Finish succeeds. Failures
// throw std::runtime_error naming the file.
class RadianceTiffWriter {
  public:
    RadianceTiffWriter(const std::string& path, int width, int height);
    ~RadianceTiffWriter();
    RadianceTiffWriter(const RadianceTiffWriter&) = delete;
    RadianceTiffWriter& operator=(const RadianceTiffWriter&) = delete;

    // Rows per strip: WriteRows takes any number of whole rows, in order.
    static constexpr int kRowsPerStrip = 16;
    void WriteRows(const float* rgb, int rows);
    void Finish();

  private:
    void Flush();
    std::string path_;
    std::string temporary_;
    void* tiff_ = nullptr;
    int width_;
    int height_;
    int next_row_ = 0;
    std::vector<float> strip_;
    int rows_in_strip_ = 0;
    int strip_index_ = 0;
};

struct RadianceImage {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;  // width * height * 3, interleaved, top row first
    const float* at(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

// Reads a radiance TIFF written above (the core's float TIFF reader). Throws std::runtime_error
// naming the file on failure.
RadianceImage ReadRadianceTiff(const std::string& path);

}  // namespace brimsal::synth
