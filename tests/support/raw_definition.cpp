#include "raw_definition.h"

#include "text_codec.h"

#include <stdexcept>

namespace testsupport {

namespace {

constexpr std::size_t kPage = 4096;

class Stream {
public:
    Stream(const std::string& file, std::uint32_t page) : file_(file)
    {
        // The definition continues on the pages its header chain names, after their 8 bytes.
        for (std::uint32_t p = page; p != 0; ++pages_) {
            if ((p + 1) * kPage > file.size()) throw std::runtime_error("definition page past the file's end");
            const char* d = file.data() + p * kPage;
            if (d[0] != 0x02 || d[1] != 0x01) throw std::runtime_error("not a table definition page");
            bytes_.append(d + (pages_ == 0 ? 0 : 8), pages_ == 0 ? kPage : kPage - 8);
            p = u32At(d + 4);
            if (pages_ > 64) throw std::runtime_error("definition chain too long");
        }
    }
    int pages() const { return pages_; }
    std::uint8_t u8(std::size_t at) const { return static_cast<std::uint8_t>(check(at, 1)[0]); }
    std::uint16_t u16(std::size_t at) const
    {
        const char* p = check(at, 2);
        return static_cast<std::uint16_t>(static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8);
    }
    std::uint32_t u32(std::size_t at) const { return u32At(check(at, 4)); }
    std::string name(std::size_t& at) const
    {
        std::size_t len = u16(at);
        const char* p = check(at + 2, len);
        at += 2 + len;
        return engine::utf16leToUtf8(reinterpret_cast<const std::uint8_t*>(p), len);
    }

private:
    static std::uint32_t u32At(const char* p)
    {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(p[i]);
        return v;
    }
    const char* check(std::size_t at, std::size_t n) const
    {
        if (at + n > bytes_.size()) throw std::runtime_error("read past the definition's end");
        return bytes_.data() + at;
    }
    const std::string& file_;
    std::string bytes_;
    int pages_ = 0;
};

}  // namespace

RawDefinition readDefinition(const std::string& file, std::uint32_t page)
{
    Stream s(file, page);
    RawDefinition d;
    d.pages = s.pages();
    d.rows = s.u32(16);
    d.tableType = s.u8(40);
    std::size_t columns = s.u16(45);
    std::size_t logical = s.u32(47);
    std::size_t real = s.u32(51);
    std::size_t at = 63 + 12 * real;
    for (std::size_t i = 0; i < columns; ++i, at += 25)
        d.columns.push_back({"", s.u8(at), s.u16(at + 5), s.u8(at + 15), s.u16(at + 23)});
    for (auto& c : d.columns) c.name = s.name(at);
    for (std::size_t i = 0; i < real; ++i, at += 52) {
        RawRealIndex r;
        for (std::size_t k = 0; k < 10; ++k)
            if (s.u16(at + 4 + 3 * k) != 0xFFFF) r.columns.emplace_back(s.u16(at + 4 + 3 * k), s.u8(at + 6 + 3 * k));
        r.flags = s.u8(at + 46);
        d.realIndexes.push_back(r);
    }
    for (std::size_t i = 0; i < logical; ++i, at += 28)
        d.indexes.push_back({"", s.u32(at + 4), s.u32(at + 8), s.u8(at + 12), static_cast<std::int32_t>(s.u32(at + 13)),
                             s.u32(at + 17), s.u8(at + 21), s.u8(at + 22), s.u8(at + 23)});
    for (auto& ix : d.indexes) ix.name = s.name(at);
    return d;
}

}  // namespace testsupport
