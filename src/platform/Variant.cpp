#include "platform/Variant.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace zv {

namespace {

std::optional<double> numberOfText(const std::u16string &text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F)
            return std::nullopt;
        ascii += static_cast<char>(c);
    }
    size_t begin = ascii.find_first_not_of(" \t");
    size_t end = ascii.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return std::nullopt;
    ascii = ascii.substr(begin, end - begin + 1);
    char *stop = nullptr;
    double value = std::strtod(ascii.c_str(), &stop);
    if (stop != ascii.c_str() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The numeric value behind a variant's type and value pointer.
std::optional<double> numberOf(uint16_t type, const void *p) {
    auto get = [p](auto sample) {
        decltype(sample) v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    switch (type) {
        case VT_I1:
            return get(int8_t{});
        case VT_UI1:
            return get(uint8_t{});
        case VT_I2:
            return get(int16_t{});
        case VT_BOOL:
            return get(int16_t{});
        case VT_UI2:
            return get(uint16_t{});
        case VT_I4:
        case VT_INT:
            return get(int32_t{});
        case VT_UI4:
        case VT_UINT:
            return get(uint32_t{});
        case VT_I8:
            return static_cast<double>(get(int64_t{}));
        case VT_UI8:
            return static_cast<double>(get(uint64_t{}));
        case VT_R4:
            return get(float{});
        case VT_R8:
        case VT_DATE:
            return get(double{});
        case VT_CY:
            return static_cast<double>(get(int64_t{})) / 10000.0;
        case VT_BSTR: {
            BStr s = get(BStr{});
            return s ? numberOfText(bstrText(s)) : numberOfText(u"");
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

void variantInit(Variant *v) {
    std::memset(v, 0, sizeof *v);
}

void variantClear(Variant *v) {
    if (!v)
        return;
    if ((v->vt & (VT_BYREF | VT_ARRAY)) == 0) {
        if (v->vt == VT_BSTR) {
            sysFreeString(v->bstrVal);
        } else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal) {
            using ReleaseFn = uint32_t (*)(void *);
            auto *vtable = *static_cast<ReleaseFn **>(v->punkVal);
            vtable[2](v->punkVal);
        }
    }
    variantInit(v);
}

BStr sysAllocString(std::u16string_view text) {
    const size_t bytes = text.size() * sizeof(wchar_t);
    auto *block =
        static_cast<unsigned char *>(std::malloc(sizeof(uint32_t) + bytes + sizeof(wchar_t)));
    if (!block)
        return nullptr;
    const auto length = static_cast<uint32_t>(bytes);
    std::memcpy(block, &length, sizeof length);
    auto *units = reinterpret_cast<wchar_t *>(block + sizeof(uint32_t));
    for (size_t i = 0; i < text.size(); ++i)
        units[i] = static_cast<wchar_t>(text[i]);
    units[text.size()] = 0;
    return units;
}

void sysFreeString(BStr s) {
    if (s)
        std::free(reinterpret_cast<unsigned char *>(s) - sizeof(uint32_t));
}

uint32_t sysStringLen(BStr s) {
    if (!s)
        return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char *>(s) - sizeof(uint32_t), sizeof bytes);
    return bytes / sizeof(wchar_t);
}

std::u16string bstrText(BStr s) {
    std::u16string text;
    const uint32_t n = sysStringLen(s);
    text.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        text += static_cast<char16_t>(s[i]);
    return text;
}

namespace {

bool equalsInteger(const Variant &v, int64_t value, int depth) {
    if (v.vt & VT_ARRAY)
        return false;
    uint16_t type = v.vt;
    const void *p = &v.lVal;
    if (type & VT_BYREF) {
        type &= ~VT_BYREF;
        p = v.byref;
        if (!p)
            return false;
        // A variant by reference to another: one level is what OLE allows; never loop.
        if (type == VT_VARIANT)
            return depth == 0 && equalsInteger(*static_cast<const Variant *>(p), value, 1);
    }
    if (type == VT_I8) {  // exact, beyond the 53 bits of a double
        int64_t x;
        std::memcpy(&x, p, sizeof x);
        return x == value;
    }
    std::optional<double> number = numberOf(type, p);
    return number && *number == static_cast<double>(value);
}

}  // namespace

bool variantEqualsInteger(const Variant &v, int64_t value) {
    return equalsInteger(v, value, 0);
}

}  // namespace zv
