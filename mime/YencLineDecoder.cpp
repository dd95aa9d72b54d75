#include "mime/YencLineDecoder.h"

namespace nimbra {
namespace {

YencLineDecoder::Path requested = YencLineDecoder::Path::Auto;

YencLineDecoder::Path best()
{
    if (YencLineDecoder::available(YencLineDecoder::Path::Avx512))
        return YencLineDecoder::Path::Avx512;
    if (YencLineDecoder::available(YencLineDecoder::Path::Avx2))
        return YencLineDecoder::Path::Avx2;
    if (YencLineDecoder::available(YencLineDecoder::Path::Ssse3))
        return YencLineDecoder::Path::Ssse3;
    return YencLineDecoder::Path::Scalar;
}

} // namespace

std::size_t YencLineDecoder::decodeScalar(const char* in, std::size_t length, char* out, bool& escaped)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* end = p + length;
    auto* o = reinterpret_cast<unsigned char*>(out);
    bool esc = escaped;
    while (p < end) {
        const unsigned char c = *p++;
        if (c == '\r' || c == '\n')
            continue;
        if (esc) {
            *o++ = static_cast<unsigned char>(c - 106);
            esc = false;
        } else if (c == '=') {
            esc = true;
        } else {
            *o++ = static_cast<unsigned char>(c - 42);
        }
    }
    escaped = esc;
    return static_cast<std::size_t>(o - reinterpret_cast<unsigned char*>(out));
}

bool YencLineDecoder::available(Path path)
{
    switch (path) {
    case Path::Auto:
    case Path::Scalar:
        return true;
    case Path::Ssse3:
        return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    case Path::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
            && __builtin_cpu_supports("avx512vbmi2") && available(Path::Avx2);
    case Path::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("ssse3")
            && __builtin_cpu_supports("popcnt");
    }
    return false;
}

void YencLineDecoder::choose(Path path)
{
    requested = path;
}

YencLineDecoder::Path YencLineDecoder::chosen()
{
    if (requested == Path::Auto)
        return best();
    if (available(requested))
        return requested;
    if (requested == Path::Avx512 && available(Path::Avx2))
        return Path::Avx2;
    return (requested == Path::Avx2 || requested == Path::Avx512) && available(Path::Ssse3) ? Path::Ssse3 : Path::Scalar;
}

const char* YencLineDecoder::name(Path path)
{
    switch (path) {
    case Path::Auto: return "auto";
    case Path::Scalar: return "scalar";
    case Path::Ssse3: return "ssse3";
    case Path::Avx2: return "avx2";
    case Path::Avx512: return "avx512";
    }
    return "?";
}

std::size_t YencLineDecoder::decode(const char* in, std::size_t length, char* out, bool& escaped)
{
    static const Path autoPath = best();
    const Path path = requested == Path::Auto ? autoPath : chosen();
    switch (path) {
    case Path::Avx512: return decodeAvx512(in, length, out, escaped);
    case Path::Avx2: return decodeAvx2(in, length, out, escaped);
    case Path::Ssse3: return decodeSsse3(in, length, out, escaped);
    default: return decodeScalar(in, length, out, escaped);
    }
}

} // namespace nimbra
