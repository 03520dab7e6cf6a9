#include "DngWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace brimsal::synth {

namespace {

// TIFF field types.
constexpr uint16_t kByte = 1;
constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kSRational = 10;

// Tags.
constexpr uint16_t kNewSubFileType = 254;
constexpr uint16_t kImageWidth = 256;
constexpr uint16_t kImageLength = 257;
constexpr uint16_t kBitsPerSample = 258;
constexpr uint16_t kCompression = 259;
constexpr uint16_t kPhotometric = 262;
constexpr uint16_t kMake = 271;
constexpr uint16_t kModel = 272;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kOrientation = 274;
constexpr uint16_t kSamplesPerPixel = 277;
constexpr uint16_t kRowsPerStrip = 278;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kPlanarConfiguration = 284;
constexpr uint16_t kSoftware = 305;
constexpr uint16_t kCfaRepeatPatternDim = 33421;
constexpr uint16_t kCfaPattern = 33422;
constexpr uint16_t kExposureTime = 33434;
constexpr uint16_t kFNumber = 33437;
constexpr uint16_t kExifIfd = 34665;
constexpr uint16_t kIsoSpeedRatings = 34855;
constexpr uint16_t kExifVersion = 36864;
constexpr uint16_t kDngVersion = 50706;
constexpr uint16_t kDngBackwardVersion = 50707;
constexpr uint16_t kUniqueCameraModel = 50708;
constexpr uint16_t kBlackLevelRepeatDim = 50713;
constexpr uint16_t kBlackLevel = 50714;
constexpr uint16_t kWhiteLevel = 50717;
constexpr uint16_t kColorMatrix1 = 50721;
constexpr uint16_t kAsShotNeutral = 50728;
constexpr uint16_t kCalibrationIlluminant1 = 50778;

constexpr uint16_t kPhotometricCfa = 32803;
constexpr uint16_t kIlluminantD65 = 21;
constexpr int64_t kDenominator = 1000000;
constexpr size_t kRawDataAlignment = 16;

class Bytes {
  public:
    void U8(uint8_t v) { data_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Append(const std::vector<uint8_t>& more) {
        data_.insert(data_.end(), more.begin(), more.end());
    }
    void PadTo(size_t multiple) {
        while (data_.size() % multiple != 0) {
            U8(0);
        }
    }
    size_t size() const { return data_.size(); }
    std::vector<uint8_t>& data() { return data_; }

  private:
    std::vector<uint8_t> data_;
};

struct Field {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> value;  // little-endian bytes
};

Field Shorts(uint16_t tag, std::initializer_list<uint16_t> values) {
    Bytes b;
    for (auto v : values) {
        b.U16(v);
    }
    return {tag, kShort, static_cast<uint32_t>(values.size()), b.data()};
}

Field Longs(uint16_t tag, std::initializer_list<uint32_t> values) {
    Bytes b;
    for (auto v : values) {
        b.U32(v);
    }
    return {tag, kLong, static_cast<uint32_t>(values.size()), b.data()};
}

Field ByteField(uint16_t tag, uint16_t type, const std::vector<uint8_t>& values) {
    return {tag, type, static_cast<uint32_t>(values.size()), values};
}

Field Text(uint16_t tag, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return {tag, kAscii, static_cast<uint32_t>(bytes.size()), bytes};
}

template <typename Values>
Field Rationals(uint16_t tag, const Values& values) {
    Bytes b;
    for (double v : values) {
        const auto r = ToRational(v);
        b.U32(r[0]);
        b.U32(r[1]);
    }
    return {tag, kRational, static_cast<uint32_t>(values.size()), b.data()};
}

template <typename Values>
Field SignedRationals(uint16_t tag, const Values& values) {
    Bytes b;
    for (double v : values) {
        b.U32(static_cast<uint32_t>(static_cast<int32_t>(std::llround(v * kDenominator))));
        b.U32(static_cast<uint32_t>(kDenominator));
    }
    return {tag, kSRational, static_cast<uint32_t>(values.size()), b.data()};
}

size_t OutOfLineSize(const Field& f) {
    return f.value.size() > 4 ? f.value.size() + (f.value.size() & 1) : 0;
}

// Bytes an IFD takes with its out-of-line values.
size_t IfdSize(const std::vector<Field>& fields) {
    size_t size = 2 + 12 * fields.size() + 4;
    for (const auto& f : fields) {
        size += OutOfLineSize(f);
    }
    return size;
}

// Appends the IFD that starts at out.size(), its values right after it.
void WriteIfd(Bytes& out, std::vector<Field> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const Field& a, const Field& b) { return a.tag < b.tag; });
    const size_t start = out.size();
    size_t extra = start + 2 + 12 * fields.size() + 4;
    Bytes values;
    out.U16(static_cast<uint16_t>(fields.size()));
    for (const auto& f : fields) {
        out.U16(f.tag);
        out.U16(f.type);
        out.U32(f.count);
        if (f.value.size() <= 4) {
            std::vector<uint8_t> inline_value = f.value;
            inline_value.resize(4, 0);
            out.Append(inline_value);
        } else {
            out.U32(static_cast<uint32_t>(extra + values.size()));
            values.Append(f.value);
            values.PadTo(2);
        }
    }
    out.U32(0);  // no next IFD
    out.Append(values.data());
}

}  // namespace

std::array<uint32_t, 2> ToRational(double value) {
    if (value > 0 && value < 1) {
        const double inverse = 1 / value;
        if (std::fabs(inverse - std::nearbyint(inverse)) < 1e-9 * inverse) {
            return {1, static_cast<uint32_t>(std::nearbyint(inverse))};
        }
    }
    auto numerator = static_cast<int64_t>(std::llround(value * kDenominator));
    const int64_t divisor = std::gcd(numerator, kDenominator);
    return {static_cast<uint32_t>(numerator / divisor),
            static_cast<uint32_t>(kDenominator / divisor)};
}

DngWriter::DngWriter(const std::string& path, const DngInfo& info)
    : path_(path), width_(info.width), height_(info.height) {
    static_assert(std::endian::native == std::endian::little,
                  "raw rows are written in the host's byte order, declared little-endian");
    const uint64_t data_bytes = static_cast<uint64_t>(info.width) * info.height * 2;
    if (info.width < 2 || info.height < 2 || info.width % 2 != 0 || info.height % 2 != 0 ||
        data_bytes > 0xF0000000ULL) {
        throw std::runtime_error("cannot write '" + path + "': unsupported size " +
                                 std::to_string(info.width) + "x" + std::to_string(info.height));
    }
    const auto w = static_cast<uint32_t>(info.width);
    const auto h = static_cast<uint32_t>(info.height);

    std::vector<Field> exif = {
        Rationals(kExposureTime, std::array<double, 1>{info.exposure_time}),
        Rationals(kFNumber, std::array<double, 1>{info.f_number}),
        Shorts(kIsoSpeedRatings, {static_cast<uint16_t>(info.iso)}),
        ByteField(kExifVersion, kUndefined, {'0', '2', '3', '0'}),
    };
    std::vector<Field> main = {
        Longs(kNewSubFileType, {0}),
        Longs(kImageWidth, {w}),
        Longs(kImageLength, {h}),
        Shorts(kBitsPerSample, {16}),
        Shorts(kCompression, {1}),
        Shorts(kPhotometric, {kPhotometricCfa}),
        Text(kMake, info.make),
        Text(kModel, info.model),
        Longs(kStripOffsets, {0}),  // filled below
        Shorts(kOrientation, {1}),
        Shorts(kSamplesPerPixel, {1}),
        Longs(kRowsPerStrip, {h}),
        Longs(kStripByteCounts, {static_cast<uint32_t>(data_bytes)}),
        Shorts(kPlanarConfiguration, {1}),
        Text(kSoftware, info.software),
        Shorts(kCfaRepeatPatternDim, {2, 2}),
        ByteField(
            kCfaPattern, kByte,
            {info.cfa_pattern[0], info.cfa_pattern[1], info.cfa_pattern[2], info.cfa_pattern[3]}),
        Longs(kExifIfd, {0}),  // filled below
        ByteField(kDngVersion, kByte, {1, 1, 0, 0}),
        ByteField(kDngBackwardVersion, kByte, {1, 1, 0, 0}),
        Text(kUniqueCameraModel, info.make + " " + info.model),
        Shorts(kBlackLevelRepeatDim, {1, 1}),
        Longs(kBlackLevel, {static_cast<uint32_t>(info.black_level)}),
        Longs(kWhiteLevel, {static_cast<uint32_t>(info.white_level)}),
        SignedRationals(kColorMatrix1, info.color_matrix),
        Rationals(kAsShotNeutral, info.as_shot_neutral),
        Shorts(kCalibrationIlluminant1, {kIlluminantD65}),
    };

    constexpr size_t kHeaderSize = 8;
    const size_t exif_offset = kHeaderSize + IfdSize(main);
    size_t data_offset = exif_offset + IfdSize(exif);
    data_offset += (kRawDataAlignment - data_offset % kRawDataAlignment) % kRawDataAlignment;
    for (auto& f : main) {
        if (f.tag == kStripOffsets) {
            f = Longs(kStripOffsets, {static_cast<uint32_t>(data_offset)});
        } else if (f.tag == kExifIfd) {
            f = Longs(kExifIfd, {static_cast<uint32_t>(exif_offset)});
        }
    }

    Bytes head;
    head.U8('I');
    head.U8('I');
    head.U16(42);
    head.U32(kHeaderSize);
    WriteIfd(head, main);
    WriteIfd(head, exif);
    head.PadTo(kRawDataAlignment);

    temporary_ = path + ".part";
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        throw std::runtime_error("cannot create '" + temporary_ + "'");
    }
    if (head.size() != data_offset ||
        std::fwrite(head.data().data(), 1, head.size(), file_) != head.size()) {
        Fail("cannot write the header of");
    }
}

DngWriter::~DngWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void DngWriter::Fail(const std::string& what) {
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    throw std::runtime_error(what + " '" + path_ + "'");
}

void DngWriter::WriteRows(const uint16_t* samples, int rows) {
    if (file_ == nullptr || rows < 0 || next_row_ + rows > height_) {
        throw std::runtime_error("too many rows for '" + path_ + "'");
    }
    const size_t count = static_cast<size_t>(width_) * rows;
    if (std::fwrite(samples, sizeof(uint16_t), count, file_) != count) {
        Fail("cannot write the raw data of");
    }
    next_row_ += rows;
}

void DngWriter::Finish() {
    if (file_ == nullptr || next_row_ != height_) {
        throw std::runtime_error("'" + path_ + "' is missing rows");
    }
    if (std::fclose(file_) != 0) {
        file_ = nullptr;
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
        throw std::runtime_error("cannot write '" + path_ + "'");
    }
    file_ = nullptr;
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    if (error) {
        std::filesystem::remove(temporary_, error);
        throw std::runtime_error("cannot rename into '" + path_ + "'");
    }
}

}  // namespace brimsal::synth
