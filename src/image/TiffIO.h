// Reading and writing frames as TIFF files (libtiff).
//
// Load: 8- or 16-bit RGB TIFF (chunky or planar, strips or tiles, any compression libtiff
// decodes; 8-bit samples become v * 257). Greyscale, palette, floating point, CMYK and other
// layouts are refused. Save: 16-bit RGB, LZW, written to a temporary name in the same folder and
// renamed when complete, whatever the name's extension.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/Frame.h"

namespace brimsal {

class UserChannel;
struct NewFileName;

// A file that could not be read or written. The message names the file.
class ImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Loads `path`. Throws ImageError with a message naming the file on any failure.
Frame ReadTiff(const std::string& path);

// Saves `frame` to `path`. Throws ImageError on any failure; no partial file is left behind.
void WriteTiff(const Frame& frame, const std::string& path);

// Writes a TIFF strip by strip, for outputs too large to hold twice in memory: rows are handed
// over in order, the file appears under its name only when Finish succeeds. The strips that a
// call completes are compressed on `threads` threads (0: one per core) by libtiff's own codec
// and appended in order, so the file is the same, byte for byte, whatever the thread count.
// This writer takes 16-bit words (LZW with the horizontal predictor); TiffFloatWriter floats.
class TiffStripWriter {
  public:
    TiffStripWriter(const std::string& path, int width, int height, int threads = 0);
    ~TiffStripWriter();  // removes the temporary file when Finish was not reached
    TiffStripWriter(const TiffStripWriter&) = delete;
    TiffStripWriter& operator=(const TiffStripWriter&) = delete;

    // Rows per strip of the file; WriteRows takes any number of whole rows in order.
    int rowsPerStrip() const { return rows_per_strip_; }
    // Appends `rows` rows of interleaved RGB samples (width * 3 each).
    void WriteRows(const uint16_t* samples, int rows);
    // Completes the file under its temporary name (every row must have been written).
    void Close();
    // Close, then puts the file in place (PutInPlace), replacing a file of that name.
    void Finish();
    // Close, then puts the file in place as a new file (PublishWithoutReplacing): never
    // replacing one, under the next free counter when `target` has been taken meanwhile
    // (`target` then names the file). When it cannot be placed the complete file is kept where
    // the ImageError says.
    void Publish(NewFileName& target);

  protected:
    TiffStripWriter(const std::string& path, int width, int height, int threads, bool floats);
    // Appends `rows` rows of the file's samples, as bytes.
    void WriteSamples(const uint8_t* samples, int rows);

  private:
    struct Messages;
    std::string path_;
    std::string temporary_;
    std::unique_ptr<Messages> messages_;
    void* tiff_ = nullptr;
    int width_;
    int height_;
    bool floats_;
    size_t row_bytes_ = 0;
    int rows_per_strip_ = 1;
    int threads_;
    int next_row_ = 0;              // rows handed over
    int next_strip_ = 0;            // strips written
    std::vector<uint8_t> pending_;  // the rows of the strip not yet complete
    bool finished_ = false;
};

// Writes a 32-bit floating-point RGB TIFF strip by strip (LZW with the floating-point
// predictor), for linear outputs beyond the 16-bit range: samples are written as given, with no
// clamp. Otherwise as TiffStripWriter (strips compressed on `threads` threads, same bytes).
class TiffFloatWriter : public TiffStripWriter {
  public:
    TiffFloatWriter(const std::string& path, int width, int height, int threads = 0);
    // Appends `rows` rows of interleaved RGB samples (width * 3 each).
    void WriteRows(const float* samples, int rows);
};

// Reads a TIFF written by TiffFloatWriter (32-bit float RGB, chunky): width * height * 3
// samples, row-major. Throws ImageError naming the file for anything else.
std::vector<float> ReadFloatTiff(const std::string& path, int& width, int& height);

// The unexpected-error report of a failed load or save: its module reads
// "gflLoadBitmap [" + message + "]" or "gflSaveBitmap [" + message + "]".
void ReportLoadFailure(UserChannel& channel, const std::string& message);
void ReportSaveFailure(UserChannel& channel, const std::string& message);

// CargarGflBitmap: loads `path` into `frame`. On failure the load-failure report, `frame` keeps
// what it held, and the result is false.
bool CargarGflBitmap(const std::string& path, Frame& frame, UserChannel& channel);

// GuardarGflBitmap: saves `frame` as a 16-bit LZW TIFF. On failure the save-failure report and
// the result is false.
bool GuardarGflBitmap(const Frame& frame, const std::string& path, UserChannel& channel);

}  // namespace brimsal
