// UTF-8 and Base64 conversions of 10 MB inputs against iconv and OpenSSL's block codec. The text
// is mostly ASCII with some two-, three- and four-byte characters, as a log or an INI file in a
// European language holds.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <openssl/evp.h>
#include <string>

#include "base/Base64Utils.h"
#include "base/Utf8Utils.h"
#include "platform/WinNls.h"
#include "support/AllocationCounter.h"

namespace {

const size_t TEN_MB = 10 * 1024 * 1024;

// About one character in twelve is not ASCII; none is zero.
const std::wstring& mixedText() {
    static const std::wstring text = [] {
        const wchar_t* const words[] = {L"Temperature ",   L"r\u00E9glage ", L"value=42; ",
                                        L"\u20AC 17,50 ",  L"Stra\u00DFe ",  L"sensor ",
                                        L"\U0001F600 ok ", L"\u65E5\u672C ", L"line end\r\n"};
        std::wstring result;
        for (size_t i = 0; result.size() < TEN_MB; i = (i + 4) % 9) {
            result += words[i];
        }
        return result;
    }();
    return text;
}

const std::string& mixedUtf8() {
    static const std::string bytes = krel_std::Utf8Utils::unicodeToUtf8(mixedText());
    return bytes;
}

// 10 MB of Base64 text.
const std::string& base64Text() {
    static const std::string text =
        krel_std::Base64Utils::mbcsToBase64(mixedUtf8().substr(0, TEN_MB / 4 * 3));
    return text;
}

const std::string& base64Input() {
    static const std::string bytes = mixedUtf8().substr(0, TEN_MB);
    return bytes;
}

// What a user of iconv writes: one descriptor per conversion, the output sized for the worst
// case and cut to what was written.
template <typename Out, typename In>
std::basic_string<Out> iconvConvert(const char* to, const char* from,
                                    const std::basic_string<In>& in, size_t outUnitsPerIn) {
    iconv_t handle = iconv_open(to, from);
    std::basic_string<Out> out(in.size() * outUnitsPerIn, Out());
    char* source = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    size_t sourceLeft = in.size() * sizeof(In);
    char* target = reinterpret_cast<char*>(&out[0]);
    size_t targetLeft = out.size() * sizeof(Out);
    iconv(handle, &source, &sourceLeft, &target, &targetLeft);
    iconv_close(handle);
    out.resize(out.size() - targetLeft / sizeof(Out));
    return out;
}

void utf8ToWideKrel(benchmark::State& state) {
    const std::string& bytes = mixedUtf8();
    state.SetLabel("goal<=1");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(krel_std::Utf8Utils::utf8ToUnicode(bytes));
    }
    scope.report(state);
}

void utf8ToWidePeer(benchmark::State& state) {
    const std::string& bytes = mixedUtf8();
    for (auto _ : state) {
        benchmark::DoNotOptimize(iconvConvert<wchar_t>("WCHAR_T", "UTF-8", bytes, 1));
    }
}

void wideToUtf8Krel(benchmark::State& state) {
    const std::wstring& text = mixedText();
    state.SetLabel("goal<=1");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(krel_std::Utf8Utils::unicodeToUtf8(text));
    }
    scope.report(state);
}

void wideToUtf8Peer(benchmark::State& state) {
    const std::wstring& text = mixedText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(iconvConvert<char>("UTF-8", "WCHAR_T", text, 4));
    }
}

// The Windows call as a caller makes it: ask the size, then convert into a string of it.
void codePageUtf8Krel(benchmark::State& state) {
    const std::wstring& text = mixedText();
    const int count = static_cast<int>(text.size());
    state.SetLabel("goal<=1");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), count, &bytes[0], size, nullptr, nullptr);
        benchmark::DoNotOptimize(bytes);
    }
    scope.report(state);
}

// The other direction as the iconv peer does it: the output sized for the worst case (one
// character a byte) and cut to what was written.
void codePageWideKrel(benchmark::State& state) {
    const std::string& bytes = mixedUtf8();
    const int count = static_cast<int>(bytes.size());
    state.SetLabel("goal<=1");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        std::wstring text(bytes.size(), L'\0');
        text.resize(static_cast<size_t>(
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, &text[0], count)));
        benchmark::DoNotOptimize(text);
    }
    scope.report(state);
}

void base64DecodeKrel(benchmark::State& state) {
    const std::string& text = base64Text();
    state.SetLabel("goal<=1.5");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(krel_std::Base64Utils::base64ToMbcs(text));
    }
    scope.report(state);
}

void base64DecodePeer(benchmark::State& state) {
    const std::string& text = base64Text();
    for (auto _ : state) {
        std::string bytes(text.size() / 4 * 3, '\0');
        const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&bytes[0]),
                                           reinterpret_cast<const unsigned char*>(text.data()),
                                           static_cast<int>(text.size()));
        const size_t padding = text.size() - text.find_last_not_of('=') - 1;
        bytes.resize(static_cast<size_t>(length) - padding);
        benchmark::DoNotOptimize(bytes);
    }
}

void base64EncodeKrel(benchmark::State& state) {
    const std::string& bytes = base64Input();
    state.SetLabel("goal<=1.5");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(krel_std::Base64Utils::mbcsToBase64(bytes));
    }
    scope.report(state);
}

void base64EncodePeer(benchmark::State& state) {
    const std::string& bytes = base64Input();
    for (auto _ : state) {
        std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
        const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                                           reinterpret_cast<const unsigned char*>(bytes.data()),
                                           static_cast<int>(bytes.size()));
        text.resize(static_cast<size_t>(length));
        benchmark::DoNotOptimize(text);
    }
}

} // namespace

BENCHMARK(utf8ToWideKrel)->Name("utf8 to wide 10MB/krel");
BENCHMARK(utf8ToWidePeer)->Name("utf8 to wide 10MB/peer");
BENCHMARK(wideToUtf8Krel)->Name("wide to utf8 10MB/krel");
BENCHMARK(wideToUtf8Peer)->Name("wide to utf8 10MB/peer");
BENCHMARK(codePageUtf8Krel)->Name("WideCharToMultiByte utf8 10MB/krel");
BENCHMARK(wideToUtf8Peer)->Name("WideCharToMultiByte utf8 10MB/peer");
BENCHMARK(codePageWideKrel)->Name("MultiByteToWideChar utf8 10MB/krel");
BENCHMARK(utf8ToWidePeer)->Name("MultiByteToWideChar utf8 10MB/peer");
BENCHMARK(base64DecodeKrel)->Name("base64 decode 10MB/krel");
BENCHMARK(base64DecodePeer)->Name("base64 decode 10MB/peer");
BENCHMARK(base64EncodeKrel)->Name("base64 encode 10MB/krel");
BENCHMARK(base64EncodePeer)->Name("base64 encode 10MB/peer");
