// Replays a fuzz target without libFuzzer: every file of a seed corpus, then a fixed number
// of deterministic random mutations of them. Lets the regular (g++, ASan) test suite run the
// fuzz entry points, and reproduces a crash file found by the real fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A decoder that trusts a forged length would try to allocate gigabytes from a message of a
// few bytes. The replay inputs are all small, so any single allocation above this limit is
// such a fault: stop at once with a clear message instead of thrashing the machine.
constexpr std::size_t maxAllocation = std::size_t{64} << 20;

void* checkedAllocate(std::size_t size)
{
    if (size > maxAllocation) {
        std::fprintf(stderr, "allocation of %zu bytes from a small input: a length is trusted unchecked\n", size);
        std::abort();
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

void* operator new(std::size_t size)
{
    return checkedAllocate(size);
}
void* operator new[](std::size_t size)
{
    return checkedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return size > maxAllocation ? checkedAllocate(size) : std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return size > maxAllocation ? checkedAllocate(size) : std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace {

using Input = std::vector<std::uint8_t>;

void run(const Input& input)
{
    // Copy into an exactly sized heap block so ASan catches any read past the end.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[input.size() ? input.size() : 1]);
    if (!input.empty()) {
        std::memcpy(exact.get(), input.data(), input.size());
    }
    LLVMFuzzerTestOneInput(exact.get(), input.size());
}

bool readFile(const std::filesystem::path& path, Input& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

/// One random edit of the kinds that break decoders: flipped bits, boundary values written
/// over a length field, inserted, deleted or duplicated bytes, truncation, splicing.
void mutate(Input& data, const std::vector<Input>& corpus, std::mt19937& rng)
{
    auto pick = [&rng](std::size_t n) { return n == 0 ? std::size_t{0} : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    static const std::int32_t boundary[] = {0, 1, -1, 0x7f, 0x80, 0xff, 0x7fff, 0xffff, 0x7fffffff,
                                            static_cast<std::int32_t>(0x80000000), 64, 65, 1000000};
    switch (pick(7)) {
    case 0:
        if (!data.empty()) {
            data[pick(data.size())] ^= static_cast<std::uint8_t>(1u << pick(8));
        }
        break;
    case 1:
        if (data.size() >= 4) {
            const std::int32_t v = boundary[pick(std::size(boundary))];
            std::memcpy(&data[pick(data.size() - 3)], &v, 4);
        }
        break;
    case 2: {
        const std::size_t at = pick(data.size() + 1);
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(rng()));
        break;
    }
    case 3:
        if (!data.empty()) {
            const std::size_t at = pick(data.size());
            const std::size_t len = std::min(data.size() - at, pick(8) + 1);
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + len));
        }
        break;
    case 4:
        if (!data.empty()) {
            const std::size_t at = pick(data.size());
            const std::size_t len = std::min(data.size() - at, pick(16) + 1);
            const Input chunk(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + len));
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(pick(data.size() + 1)), chunk.begin(), chunk.end());
        }
        break;
    case 5:
        data.resize(pick(data.size() + 1));
        break;
    default:
        if (!corpus.empty()) {
            const Input& other = corpus[pick(corpus.size())];
            const std::size_t keep = pick(data.size() + 1);
            const std::size_t from = pick(other.size() + 1);
            data.resize(keep);
            data.insert(data.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("usage: %s <corpus dir or file>... [--mutations N]\n"
                    "Runs the fuzz target over every file, then over N (default 4000) seeded\n"
                    "random mutations of them.\n",
                    argv[0]);
        return argc < 2 ? 2 : 0;
    }
    long mutations = 4000;
    std::vector<Input> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mutations") == 0 && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
            continue;
        }
        const std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(path);
        }
        std::sort(files.begin(), files.end()); // directory order is not stable
        for (const auto& file : files) {
            Input input;
            if (!readFile(file, input)) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 2;
            }
            corpus.push_back(std::move(input));
        }
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus files found\n");
        return 2;
    }
    for (const Input& input : corpus) {
        run(input);
    }
    std::mt19937 rng(20240607u);
    for (long i = 0; i < mutations; ++i) {
        Input input = corpus[rng() % corpus.size()];
        const unsigned edits = 1 + rng() % 4;
        for (unsigned e = 0; e < edits; ++e) {
            mutate(input, corpus, rng);
        }
        run(input);
    }
    std::printf("%zu corpus files and %ld mutations passed\n", corpus.size(), mutations);
    return 0;
}
