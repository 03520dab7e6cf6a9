#include "image/Picture.h"
#include "base/NewFiles.h"
#include "base/TemporaryFiles.h"
#include "base/UserChannel.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <QClipboard>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace brimsal {

struct Picture::Impl {
    // Format_RGB32 (0xffRRGGBB), or Format_Grayscale8 for a grey map (a quarter of the memory)
    // until something is drawn on it.
    QImage image;

    // The image in colour, converted once when it was grey: drawing takes colours.
    QImage& colour() {
        if (image.format() != QImage::Format_RGB32) {
            image = image.convertToFormat(QImage::Format_RGB32);
        }
        return image;
    }
};

namespace {

QColor ToQColor(uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

uint32_t FromQRgb(QRgb rgb) {
    return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw PictureError("'" + path + "': " + what);
}

std::string GifMessage(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "GIF error " + std::to_string(code);
}

void WriteGif(const QImage& image, const std::string& path) {
    const int w = image.width();
    const int h = image.height();
    // Exact palette of the colours present; more than 256 colours are reduced to 3-3-2 bits.
    std::unordered_map<QRgb, uint8_t> index;
    std::vector<QRgb> palette;
    bool reduced = false;
    for (int y = 0; y < h && !reduced; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = line[x] | 0xFF000000u;
            if (index.find(c) == index.end()) {
                if (palette.size() == 256) {
                    reduced = true;
                    break;
                }
                index.emplace(c, static_cast<uint8_t>(palette.size()));
                palette.push_back(c);
            }
        }
    }
    auto reduce = [](QRgb c) {
        return static_cast<uint8_t>((qRed(c) & 0xE0) | ((qGreen(c) >> 3) & 0x1C) | (qBlue(c) >> 6));
    };
    if (reduced) {
        palette.clear();
        for (int i = 0; i < 256; ++i) {
            palette.push_back(
                qRgb((i & 0xE0) * 255 / 0xE0, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3));
        }
    }
    int bits = 1;
    while ((1 << bits) < static_cast<int>(palette.size())) {
        ++bits;
    }
    std::vector<GifColorType> colours(static_cast<size_t>(1) << bits);
    for (size_t i = 0; i < palette.size(); ++i) {
        colours[i] = {static_cast<GifByteType>(qRed(palette[i])),
                      static_cast<GifByteType>(qGreen(palette[i])),
                      static_cast<GifByteType>(qBlue(palette[i]))};
    }
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    if (map == nullptr) {
        Fail(path, "cannot build the GIF palette");
    }
    // Opened here rather than by giflib, which would create the file readable by its owner only.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        GifFreeMapObject(map);
        Fail(path, std::string("cannot create the file (") + std::strerror(errno) + ")");
    }
    int error = 0;
    GifFileType* gif = EGifOpenFileHandle(fd, &error);
    if (gif == nullptr) {
        ::close(fd);
        GifFreeMapObject(map);
        Fail(path, "cannot create the file (" + GifMessage(error) + ")");
    }
    bool ok = EGifPutScreenDesc(gif, w, h, bits, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    for (int y = 0; y < h && ok; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = in[x] | 0xFF000000u;
            line[static_cast<size_t>(x)] = reduced ? reduce(c) : index.at(c);
        }
        ok = EGifPutLine(gif, line.data(), w) == GIF_OK;
    }
    const int write_error = gif->Error;
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    GifFreeMapObject(map);
    if (!ok) {
        Fail(path, "write error (" + GifMessage(write_error != 0 ? write_error : error) + ")");
    }
}

QImage ReadGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        Fail(path, "not a readable GIF file (" + GifMessage(error) + ")");
    }
    struct Closer {
        GifFileType* gif;
        ~Closer() {
            int ignored = 0;
            DGifCloseFile(gif, &ignored);
        }
    } closer{gif};
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        Fail(path, "damaged GIF file (" + GifMessage(gif->Error) + ")");
    }
    const SavedImage& frame = gif->SavedImages[0];
    const ColorMapObject* map =
        frame.ImageDesc.ColorMap != nullptr ? frame.ImageDesc.ColorMap : gif->SColorMap;
    const int w = frame.ImageDesc.Width;
    const int h = frame.ImageDesc.Height;
    if (map == nullptr || w <= 0 || h <= 0 || frame.RasterBits == nullptr) {
        Fail(path, "GIF without colour map or image");
    }
    QImage image(w, h, QImage::Format_RGB32);
    // Interlaced images store rows in four passes.
    std::vector<int> row_of_line;
    if (frame.ImageDesc.Interlace) {
        const int starts[] = {0, 4, 2, 1};
        const int steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = starts[pass]; y < h; y += steps[pass]) {
                row_of_line.push_back(y);
            }
        }
    } else {
        for (int y = 0; y < h; ++y) {
            row_of_line.push_back(y);
        }
    }
    for (int line = 0; line < h; ++line) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(row_of_line[static_cast<size_t>(line)]));
        const GifByteType* in = frame.RasterBits + static_cast<size_t>(line) * w;
        for (int x = 0; x < w; ++x) {
            const int i = std::min<int>(in[x], map->ColorCount - 1);
            const GifColorType& c = map->Colors[i];
            out[x] = qRgb(c.Red, c.Green, c.Blue);
        }
    }
    return image;
}

// A PNG chunk that declares more bytes than the file holds is refused before libpng sees it: it
// would allocate the declared length, up to 2 GB, for a text chunk of a 70-byte file. Files that
// are not PNG are left to their readers.
void RefuseOversizedPngChunks(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return;
    }
    uint8_t head[8];
    bool png = std::fread(head, 1, 8, file) == 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    long at = 8;
    bool oversized = false;
    while (png && !oversized && std::fseek(file, at, SEEK_SET) == 0 &&
           std::fread(head, 1, 8, file) == 8) {
        const long length =
            static_cast<long>((uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) |
                              (uint32_t{head[2]} << 8) | head[3]);
        oversized = length > size - at - 12;  // length, type and CRC around the data
        png = std::memcmp(head + 4, "IEND", 4) != 0;
        at += 12 + length;
    }
    std::fclose(file);
    if (oversized) {
        Fail(path, "not a readable image (a PNG chunk is longer than the file)");
    }
}

bool IsGifFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char magic[3] = {};
    const size_t got = std::fread(magic, 1, 3, file);
    std::fclose(file);
    return got == 3 && std::memcmp(magic, "GIF", 3) == 0;
}

QFont DefaultFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace

Picture::Picture() : impl_(std::make_unique<Impl>()) {}
Picture::~Picture() = default;
Picture::Picture(Picture&&) noexcept = default;
Picture& Picture::operator=(Picture&&) noexcept = default;

void Picture::LoadFromFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
        Fail(path, "file not found");
    }
    RefuseOversizedPngChunks(path);
    QImage loaded;
    if (IsGifFile(path)) {
        loaded = ReadGif(path);
    } else {
        // Maps of 100 MP sets exceed Qt's default decoding limit (128 MB); the frames they
        // belong to are far larger, so the limit protects nothing here.
        static const bool unlimited = (QImageReader::setAllocationLimit(0), true);
        (void)unlimited;
        QImageReader reader(QString::fromStdString(path));
        reader.setAutoTransform(false);
        loaded = reader.read();
        if (loaded.isNull()) {
            Fail(path, "not a readable image (" + reader.errorString().toStdString() + ")");
        }
    }
    impl_->image = loaded.format() == QImage::Format_Grayscale8
                       ? std::move(loaded)
                       : loaded.convertToFormat(QImage::Format_RGB32);
}

namespace {

// A file that refuses further writes once `abandon` is set, so that the PNG encoder gives up
// at its next chunk instead of compressing a picture nobody will keep.
class AbandonableFile : public QFile {
  public:
    AbandonableFile(const std::string& path, const std::atomic<bool>* abandon)
        : QFile(QString::fromStdString(path)), abandon_(abandon) {}

  protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (abandon_ != nullptr && abandon_->load()) {
            return -1;
        }
        return QFile::writeData(data, length);
    }

  private:
    const std::atomic<bool>* abandon_;
};

void WritePng(const QImage& image, const std::string& temporary, const std::string& path,
              const std::atomic<bool>* abandon) {
    AbandonableFile file(temporary, abandon);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Fail(path, "cannot create the file (" + file.errorString().toStdString() + ")");
    }
    QImageWriter writer(&file, "PNG");
    const bool written = writer.write(image);
    file.close();
    if (abandon != nullptr && abandon->load()) {
        Fail(path, "abandoned");
    }
    if (!written || file.error() != QFileDevice::NoError) {
        Fail(path, "cannot write the PNG file (" + writer.errorString().toStdString() + ")");
    }
}

// Writes `image` in `format` to `temporary`; on failure removes it and throws naming `path`.
void WriteTemporary(const QImage& image, SaveFormat format, const std::string& temporary,
                    const std::string& path, const std::atomic<bool>* abandon = nullptr) {
    if (image.isNull()) {
        Fail(path, "nothing to save");
    }
    try {
        if (format == SaveFormat::kGif) {
            WriteGif(image.format() == QImage::Format_RGB32
                         ? image
                         : image.convertToFormat(QImage::Format_RGB32),
                     temporary);
        } else {
            // A grey picture (a map) is stored as an 8-bit greyscale PNG: the same levels,
            // a third of the data to compress.
            const QImage stored = image.format() != QImage::Format_Grayscale8 && image.allGray()
                                      ? image.convertToFormat(QImage::Format_Grayscale8)
                                      : image;
            WritePng(stored, temporary, path, abandon);
        }
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
}

}  // namespace

void Picture::SaveToFile(const std::string& path) const {
    const std::string temporary = TemporaryNameBeside(path, ".part");
    WriteTemporary(impl_->image, format_, temporary, path);
    try {
        PutInPlace(temporary, path);
    } catch (const RunTimeError& error) {
        std::remove(temporary.c_str());
        throw PictureError(error.what());
    }
}

void Picture::SaveToFile(NewFileName& target, const std::atomic<bool>* abandon) const {
    const std::string temporary = TemporaryNameBeside(target.path(), ".part");
    WriteTemporary(impl_->image, format_, temporary, target.path(), abandon);
    try {
        PublishWithoutReplacing(temporary, target);
    } catch (const RunTimeError& error) {
        throw PictureError(error.what());  // the complete file stays where the message says
    }
}

void Picture::SetText(const std::string& key, const std::string& value) {
    impl_->image.setText(QString::fromStdString(key), QString::fromStdString(value));
}

PictureHeader Picture::ReadHeader(const std::string& path) {
    RefuseOversizedPngChunks(path);
    QImageReader reader(QString::fromStdString(path));
    const QSize size = reader.size();
    if (!size.isValid()) {
        Fail(path, "not a readable image (" + reader.errorString().toStdString() + ")");
    }
    PictureHeader header;
    header.width = size.width();
    header.height = size.height();
    for (const QString& key : reader.textKeys()) {
        header.texts[key.toStdString()] = reader.text(key).toStdString();
    }
    return header;
}

void Picture::CreateBlank(int width, int height, uint32_t colour) {
    if (width <= 0 || height <= 0) {
        throw PictureError("cannot create a picture of " + std::to_string(width) + "x" +
                           std::to_string(height) + " pixels");
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    image.fill(ToQColor(colour));
    impl_->image = std::move(image);
}

int Picture::GetWidth() const {
    return impl_->image.width();
}
int Picture::GetHeight() const {
    return impl_->image.height();
}
bool Picture::empty() const {
    return impl_->image.isNull();
}

uint32_t Picture::GetPixelColor(int x, int y) const {
    if (!impl_->image.valid(x, y)) {
        throw PictureError("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           ") outside the picture");
    }
    return FromQRgb(impl_->image.pixel(x, y));
}

void Picture::ResizeTo(int width, int height) {
    impl_->image =
        impl_->colour().scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void Picture::ApplyGamma(double gamma) {
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        table[v] = static_cast<uint8_t>(std::nearbyint(255.0 * std::pow(v / 255.0, 1.0 / gamma)));
    }
    QImage& image = impl_->colour();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgb(table[qRed(line[x])], table[qGreen(line[x])], table[qBlue(line[x])]);
        }
    }
}

void Picture::PlotPoint(int x, int y) {
    if (impl_->image.valid(x, y)) {
        impl_->colour().setPixel(x, y, ToQColor(draw_colour_).rgb());
    }
}

void Picture::DrawLineSegment(int x0, int y0, int x1, int y1) {
    QPainter painter(&impl_->colour());
    painter.setPen(QPen(ToQColor(draw_colour_), 1));
    painter.drawLine(x0, y0, x1, y1);
}

void Picture::DrawRectangleOutline(int left, int top, int width, int height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    QPainter painter(&impl_->colour());
    painter.setPen(QPen(ToQColor(draw_colour_), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(left, top, width - 1, height - 1);
}

void Picture::FillRectangle(int left, int top, int width, int height) {
    QPainter painter(&impl_->colour());
    painter.fillRect(left, top, width, height, ToQColor(fill_colour_));
}

void Picture::DrawCircleOutline(int cx, int cy, int radius) {
    QPainter painter(&impl_->colour());
    painter.setPen(QPen(ToQColor(draw_colour_), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPoint(cx, cy), radius, radius);
}

void Picture::DrawTextAt(const std::string& text, int x, int y, uint32_t colour) {
    QPainter painter(&impl_->colour());
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(DefaultFont());
    painter.setPen(ToQColor(colour));
    painter.drawText(QRect(x, y, 4096, 64), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromStdString(text));
}

Picture Picture::CloneImage() const {
    Picture copy;
    copy.impl_->image = impl_->image.copy();
    copy.format_ = format_;
    copy.draw_colour_ = draw_colour_;
    copy.fill_colour_ = fill_colour_;
    return copy;
}

void Picture::CopyToClipboard() const {
    if (QGuiApplication::instance() == nullptr || impl_->image.isNull()) {
        throw PictureError("no clipboard available");
    }
    QGuiApplication::clipboard()->setImage(impl_->image);
}

void Picture::SetGreyLevels(int width, int height, const uint8_t* levels) {
    if (width <= 0 || height <= 0) {
        throw PictureError("cannot create a picture of " + std::to_string(width) + "x" +
                           std::to_string(height) + " pixels");
    }
    QImage image(width, height, QImage::Format_Grayscale8);
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), levels + static_cast<size_t>(y) * width,
                    static_cast<size_t>(width));
    }
    impl_->image = std::move(image);
}

void Picture::GetRedSamples(uint8_t* out) const {
    const QImage& image = impl_->image;
    if (image.format() == QImage::Format_Grayscale8) {
        for (int y = 0; y < image.height(); ++y) {
            std::memcpy(out + static_cast<size_t>(y) * image.width(), image.constScanLine(y),
                        static_cast<size_t>(image.width()));
        }
        return;
    }
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* row = out + static_cast<size_t>(y) * image.width();
        for (int x = 0; x < image.width(); ++x) {
            row[x] = static_cast<uint8_t>(qRed(line[x]));
        }
    }
}

void Picture::SetScreenWords(int width, int height, const uint32_t* words, size_t words_per_row) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), words + static_cast<size_t>(y) * words_per_row,
                    static_cast<size_t>(width) * sizeof(uint32_t));
    }
    impl_->image = std::move(image);
}

void Picture::GetScreenWords(uint32_t* out) const {
    const QImage image = impl_->image.format() == QImage::Format_RGB32
                             ? impl_->image
                             : impl_->image.convertToFormat(QImage::Format_RGB32);
    const size_t width = static_cast<size_t>(image.width());
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(out + static_cast<size_t>(y) * width, image.constScanLine(y),
                    width * sizeof(uint32_t));
    }
}

}  // namespace brimsal
