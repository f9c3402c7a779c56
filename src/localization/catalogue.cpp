#include "catalogue.h"

#include <string>

#include "apperror.h"
#include "languagefile.h"

namespace {

class TReader {
public:
    explicit TReader(const QByteArray& bytes) : bytes_(bytes) {}
    qsizetype Left() const { return bytes_.size() - pos_; }
    const char* Take(qsizetype n) {
        if (n > Left()) throw EAppError("The message catalogue is truncated");
        const char* p = bytes_.constData() + pos_;
        pos_ += n;
        return p;
    }
    uint32_t Unsigned(int n) {
        const auto* p = reinterpret_cast<const unsigned char*>(Take(n));
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
        return v;
    }
    QByteArray Bytes8() {
        const uint32_t n = Unsigned(2);
        return QByteArray(Take(n), n);
    }

private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
};

void PutUnsigned(QByteArray& out, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}

void PutBytes8(QByteArray& out, const QByteArray& bytes) {
    if (bytes.size() > 0xFFFF) throw EAppError("A catalogue string is longer than 65535 bytes");
    PutUnsigned(out, static_cast<uint32_t>(bytes.size()), 2);
    out += bytes;
}

}  // namespace

std::vector<TCatalogueEntry> ReadCatalogue(const QByteArray& bytes, uint16_t codePage) {
    TReader in(bytes);
    const int version = static_cast<int>(in.Unsigned(1));
    if (version > kCatalogueVersion)
        throw EAppError("Stream version (" + std::to_string(version) +
                        ") is greater than the current one (" +
                        std::to_string(kCatalogueVersion) + ")");
    if (version == 2) in.Unsigned(1);  // flags: none are defined
    const uint32_t count = in.Unsigned(4);
    // Every entry takes at least four bytes, so a count beyond that is a lie, not a reason to
    // reserve gigabytes.
    if (count > static_cast<uint64_t>(in.Left()) / 4)
        throw EAppError("The message catalogue is truncated");
    std::vector<TCatalogueEntry> entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        TCatalogueEntry entry;
        entry.key = QString::fromLatin1(in.Bytes8());
        if (version == 2) {
            const uint32_t chars = in.Unsigned(2);
            const char* p = in.Take(static_cast<qsizetype>(chars) * 2);
            entry.text.resize(chars);
            for (uint32_t c = 0; c < chars; ++c)
                entry.text[c] = QChar(static_cast<char16_t>(
                    static_cast<unsigned char>(p[2 * c]) |
                    static_cast<unsigned char>(p[2 * c + 1]) << 8));
        } else {
            entry.text = DecodeCodePage(in.Bytes8(), codePage);
        }
        entries.push_back(std::move(entry));
    }
    if (in.Left() != 0)
        throw EAppError("The message catalogue has " + std::to_string(in.Left()) +
                        " bytes after its last entry");
    return entries;
}

QByteArray WriteCatalogue(const std::vector<TCatalogueEntry>& entries, int version,
                          uint16_t codePage) {
    QByteArray out;
    PutUnsigned(out, static_cast<uint32_t>(version), 1);
    if (version == 2) PutUnsigned(out, 0, 1);
    PutUnsigned(out, static_cast<uint32_t>(entries.size()), 4);
    for (const TCatalogueEntry& e : entries) {
        PutBytes8(out, e.key.toLatin1());
        if (version == 2) {
            if (e.text.size() > 0xFFFF)
                throw EAppError("A catalogue text is longer than 65535 characters");
            PutUnsigned(out, static_cast<uint32_t>(e.text.size()), 2);
            for (QChar c : e.text) PutUnsigned(out, c.unicode(), 2);
        } else {
            PutBytes8(out, EncodeCodePage(e.text, codePage));
        }
    }
    return out;
}
