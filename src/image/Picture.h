// Picture: an 8-bit RGB drawing surface for everything that is seen rather than measured (the
// display, maps, histogram, contact sheet). Colours are 0xBBGGRR values, RGB(r, g, b) =
// r + 256 g + 65536 b; x is the column, y the row from the top. Drawing outside the picture is
// clipped. PNG is written and read exactly (8 bits per sample); GIF is written through giflib
// with an exact palette when the picture holds at most 256 colours.
//
// Text needs a running QGuiApplication (see QtRuntime.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace brimsal {

struct NewFileName;

constexpr uint32_t RGB(int r, int g, int b) {
    return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) |
           (static_cast<uint32_t>(b) << 16);
}
constexpr uint32_t kWhite = 0xFFFFFF;

// The gamma of pictures shown or drawn from linear frames (the display, the contact sheet).
inline constexpr double kDisplayGamma = 2.2;
constexpr uint32_t kBlack = 0x000000;

enum class SaveFormat { kPng = 3, kGif = 2 };

struct PictureHeader {
    int width = 0;
    int height = 0;
    std::map<std::string, std::string> texts;
};

// A picture that could not be loaded or saved. The message names the file.
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Picture {
  public:
    Picture();
    ~Picture();
    Picture(Picture&&) noexcept;
    Picture& operator=(Picture&&) noexcept;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // LoadFromFile: PNG, GIF, TIFF or any format Qt reads (GIF through giflib). A missing or
    // unreadable file throws PictureError; the picture keeps what it held.
    void LoadFromFile(const std::string& path);
    // SaveToFile in the current save format (PNG by default). The file is written under a
    // temporary name and put in place when complete (PutInPlace), replacing a file of that
    // name. Throws PictureError.
    void SaveToFile(const std::string& path) const;
    // The same for a file the system creates: put in place without replacing any file
    // (PublishWithoutReplacing), under the next free counter when `target` has been taken since
    // it was chosen (`target` then names the file written). A failure to write leaves no file;
    // a complete file that cannot be placed is kept where the PictureError says. Once `abandon`
    // is set, a PNG being written stops at its next chunk and the save throws PictureError.
    void SaveToFile(NewFileName& target, const std::atomic<bool>* abandon = nullptr) const;
    // A text chunk ("key", "value") written into the PNG file.
    void SetText(const std::string& key, const std::string& value);
    // The size and text chunks of a picture file, read from its header without decoding its
    // pixels. Throws PictureError when the file is not a readable picture.
    static PictureHeader ReadHeader(const std::string& path);
    void SetSaveFormat(SaveFormat format) { format_ = format; }

    void CreateBlank(int width, int height, uint32_t colour);
    int GetWidth() const;
    int GetHeight() const;
    bool empty() const;

    uint32_t GetPixelColor(int x, int y) const;
    // Resamples to exactly width x height (smooth).
    void ResizeTo(int width, int height);
    // Tone correction: every 8-bit value v becomes 255 (v / 255)^(1 / gamma), rounded.
    void ApplyGamma(double gamma);

    void SetDrawColor(uint32_t colour) { draw_colour_ = colour; }
    void SetFillColor(uint32_t colour) { fill_colour_ = colour; }
    void PlotPoint(int x, int y);
    void DrawLineSegment(int x0, int y0, int x1, int y1);
    void DrawRectangleOutline(int left, int top, int width, int height);
    void FillRectangle(int left, int top, int width, int height);
    void DrawCircleOutline(int cx, int cy, int radius);
    // Text in the default font (DejaVu Sans, 9 px, not antialiased, so GIF colours stay exact),
    // its top-left corner at (x, y).
    void DrawTextAt(const std::string& text, int x, int y, uint32_t colour);

    Picture CloneImage() const;
    // Places the picture on the system clipboard (needs a running QGuiApplication).
    void CopyToClipboard() const;

    // Bulk access for maps: a grey picture whose every pixel is RGB(L, L, L), and back (the red
    // sample of each pixel), row-major, width * height bytes. A grey picture, set here or
    // loaded from a grey PNG, is held at one byte per pixel until something is drawn on it.
    void SetGreyLevels(int width, int height, const uint8_t* levels);
    void GetRedSamples(uint8_t* out) const;

    // Bulk access for display: pixels as 32-bit words 0xffRRGGBB (the screen's own layout),
    // row-major. Set: `words_per_row` words from one row to the next. Get: width * height words.
    void SetScreenWords(int width, int height, const uint32_t* words, size_t words_per_row);
    void GetScreenWords(uint32_t* out) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    SaveFormat format_ = SaveFormat::kPng;
    uint32_t draw_colour_ = kBlack;
    uint32_t fill_colour_ = kBlack;
};

}  // namespace brimsal
