#include "image/PngRows.h"

#include <png.h>

#include <QImage>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/NewFiles.h"
#include "base/TemporaryFiles.h"
#include "base/UserChannel.h"
#include "image/Picture.h"

namespace brimsal {

namespace {

// Text values this long or longer are compressed (zTXt), as the picture writer does.
constexpr size_t kCompressTextFrom = 40;

// libpng reports errors by longjmp; they become a message and a false result here.
struct PngErrors {
    std::string message;
};

void OnPngError(png_structp png, png_const_charp message) {
    static_cast<PngErrors*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes the whole file; false (with `errors` set) on a libpng failure or when abandoned.
// Kept free of C++ objects with destructors between setjmp and the rows, as longjmp requires.
bool WritePng(std::FILE* file, const PngRowsHeader& header, const PngRowSource& rows,
              const std::atomic<bool>* abandon, png_textp texts, int num_texts, uint8_t* row,
              PngErrors& errors) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, OnPngError, OnPngWarning);
    if (png == nullptr) {
        errors.message = "cannot start the PNG encoder";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        errors.message = "cannot start the PNG encoder";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_benign_errors(png, 1);
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(header.width),
                 static_cast<png_uint_32>(header.height), 8,
                 header.colour == PngColour::kRgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (header.dots_per_meter_x > 0 || header.dots_per_meter_y > 0) {
        png_set_pHYs(png, info, static_cast<png_uint_32>(header.dots_per_meter_x),
                     static_cast<png_uint_32>(header.dots_per_meter_y), PNG_RESOLUTION_METER);
    }
    if (num_texts > 0) {
        png_set_text(png, info, texts, num_texts);
    }
    png_write_info(png, info);
    for (int y = 0; y < header.height; ++y) {
        if (abandon != nullptr && abandon->load()) {
            errors.message = "abandoned";
            png_destroy_write_struct(&png, &info);
            return false;
        }
        try {
            rows(y, row);
        } catch (...) {
            png_destroy_write_struct(&png, &info);
            throw;
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

PngRowsHeader NewPngHeader(int width, int height, PngColour colour) {
    const QImage fresh(1, 1, QImage::Format_Grayscale8);
    PngRowsHeader header;
    header.width = width;
    header.height = height;
    header.colour = colour;
    header.dots_per_meter_x = fresh.dotsPerMeterX();
    header.dots_per_meter_y = fresh.dotsPerMeterY();
    return header;
}

void SavePngByRows(const PngRowsHeader& header, const PngRowSource& rows, NewFileName& target,
                   const std::atomic<bool>* abandon) {
    const std::string path = target.path();
    if (header.width <= 0 || header.height <= 0) {
        throw PictureError("'" + path + "': nothing to save");
    }
    // Text chunks in key order, as the picture writer lists them.
    std::vector<std::string> keys;
    std::vector<std::string> values;
    for (const auto& [key, value] : header.texts) {
        keys.push_back(key);
        values.push_back(value);
    }
    std::vector<png_text> texts(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        texts[i] = png_text{};
        texts[i].compression = values[i].size() < kCompressTextFrom ? PNG_TEXT_COMPRESSION_NONE
                                                                    : PNG_TEXT_COMPRESSION_zTXt;
        texts[i].key = keys[i].data();
        texts[i].text = values[i].data();
        texts[i].text_length = values[i].size();
    }
    const size_t row_bytes =
        static_cast<size_t>(header.width) * (header.colour == PngColour::kRgb ? 3 : 1);
    std::vector<uint8_t> row(row_bytes);

    const std::string temporary = TemporaryNameBeside(path, ".rows");
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        throw PictureError("'" + path + "': cannot create the file (" + std::strerror(errno) + ")");
    }
    PngErrors errors;
    bool written = false;
    try {
        written = WritePng(file, header, rows, abandon, texts.data(),
                           static_cast<int>(texts.size()), row.data(), errors);
    } catch (...) {
        std::fclose(file);
        std::remove(temporary.c_str());
        throw;
    }
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        throw PictureError("'" + path + "': cannot write the PNG file (" +
                           (errors.message.empty() ? "write error" : errors.message) + ")");
    }
    try {
        PublishWithoutReplacing(temporary, target);
    } catch (const RunTimeError& error) {
        throw PictureError(error.what());  // the complete file stays where the message says
    }
}

}  // namespace brimsal
