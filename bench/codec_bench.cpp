// Decode and encode speed and stream size of the block codec on files this
// machine ships, beside memcpy, zlib and LZ4 on the same data in the same run.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "package/compress.h"
#include "package/entry.h"
#include "package/expand.h"
#include "package/format.h"
#include "package/writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t KindCap = 4u << 20;       // bytes of each kind of file
constexpr std::size_t FileCap = 1u << 20;       // bytes taken from one file
constexpr std::size_t ExactParseCap = 256u << 10;

// One file is one stream, as one package entry would be.
using Corpus = std::vector<Bytes>;

Bytes ReadPrefix(const fs::path& path, std::size_t cap) {
    std::ifstream in(path, std::ios::binary);
    Bytes data(cap);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(cap));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

// Regular files under `roots` (sorted, so runs pick the same ones) whose
// names pass `wanted`, up to KindCap bytes in all.
template <class Filter>
Corpus Gather(std::initializer_list<const char*> roots, Filter wanted) {
    std::vector<fs::path> paths;
    for (const char* root : roots) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
             it != end; it.increment(error)) {
            if (error) break;
            if (it->is_regular_file(error) && !it->is_symlink(error) && wanted(it->path())) {
                paths.push_back(it->path());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    // Spread the picks over the whole list rather than the first folder.
    Corpus corpus;
    std::size_t total = 0;
    std::size_t stride = std::max<std::size_t>(1, paths.size() / 400);
    for (std::size_t i = 0; i < paths.size() && total < KindCap; i += stride) {
        Bytes data = ReadPrefix(paths[i], std::min(FileCap, KindCap - total));
        if (data.size() < 64) continue;
        total += data.size();
        corpus.push_back(std::move(data));
    }
    return corpus;
}

bool HasExtension(const fs::path& p, std::initializer_list<const char*> extensions) {
    std::string e = p.extension().string();
    return std::any_of(extensions.begin(), extensions.end(), [&](const char* x) { return e == x; });
}

std::map<std::string, Corpus>& Corpora() {
    static std::map<std::string, Corpus> corpora = [] {
        std::map<std::string, Corpus> c;
        c["text"] = Gather({"/usr/share/common-licenses", "/usr/share/doc"}, [](const fs::path& p) {
            return p.filename() == "copyright" || p.parent_path() == "/usr/share/common-licenses" ||
                   HasExtension(p, {".txt", ".md", ".html"});
        });
        c["binary"] = Gather({"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, [](const fs::path& p) {
            return p.parent_path() == "/usr/bin" || HasExtension(p, {".so", ".a"});
        });
        c["media"] = Gather({"/usr/share/pixmaps", "/usr/share/fonts", "/usr/share/wine", "/usr/share/icons"},
                            [](const fs::path& p) {
                                return HasExtension(p, {".png", ".xpm", ".ttf", ".otf", ".pfb", ".bmp",
                                                        ".ico", ".svg", ".ttc", ".fon", ".wav"});
                            });
        Corpus mixed;
        for (auto& [name, files] : c) mixed.insert(mixed.end(), files.begin(), files.end());
        c["mixed"] = std::move(mixed);
        return c;
    }();
    return corpora;
}

std::size_t TotalSize(const Corpus& corpus) {
    std::size_t total = 0;
    for (const Bytes& f : corpus) total += f.size();
    return total;
}

// ---- Codecs, each as compress/decompress of one file.

struct Codec {
    Bytes (*compress)(const Bytes&);
    bool (*decompress)(const Bytes& packed, Bytes& out);
};

Bytes OurCompress(const Bytes& in) { return package::CompressBlock(in, package::DefaultLevel); }
bool OurDecompress(const Bytes& packed, Bytes& out) {
    return package::ExpandBlock(out, packed).status == package::ExpandStatus::Ok;
}

// Extraction's path: the content as one package entry, read piece by piece
// through EntryReader's bounded window, each piece copied out as a file
// write would take it.
Bytes OurPackedEntry(const Bytes& in) {
    package::WriterEntry entry{"ENTRY", in};
    return package::WritePackage(std::span(&entry, 1), {false, package::DefaultLevel});
}
bool OurEntryReaderDecompress(const Bytes& image, Bytes& out) {
    const package::PackageDirectory directory = package::LoadPackageDirectory(image);
    if (!directory.block || directory.entries().size() != 1) return false;
    package::EntryReader reader;
    package::RestoreFailure failure = reader.Open(image, directory.entries()[0], package::HeaderSize);
    std::size_t written = 0;
    for (std::span<const std::uint8_t> piece;
         failure == package::RestoreFailure::None && !(piece = reader.Next(&failure)).empty();) {
        if (piece.size() > out.size() - written) return false;
        std::memcpy(out.data() + written, piece.data(), piece.size());
        written += piece.size();
    }
    return failure == package::RestoreFailure::None && written == out.size();
}

Bytes ZlibCompress(const Bytes& in, int level) {
    uLongf size = compressBound(static_cast<uLong>(in.size()));
    Bytes out(size);
    compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), level);
    out.resize(size);
    return out;
}
bool ZlibDecompress(const Bytes& packed, Bytes& out) {
    uLongf size = static_cast<uLongf>(out.size());
    return uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())) == Z_OK;
}

Bytes Lz4Compress(const Bytes& in, int hcLevel) {
    Bytes out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(in.size()))));
    const char* src = reinterpret_cast<const char*>(in.data());
    char* dst = reinterpret_cast<char*>(out.data());
    int size = hcLevel == 0 ? LZ4_compress_default(src, dst, static_cast<int>(in.size()), static_cast<int>(out.size()))
                            : LZ4_compress_HC(src, dst, static_cast<int>(in.size()), static_cast<int>(out.size()), hcLevel);
    out.resize(static_cast<std::size_t>(size));
    return out;
}
bool Lz4Decompress(const Bytes& packed, Bytes& out) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()), reinterpret_cast<char*>(out.data()),
                               static_cast<int>(packed.size()), static_cast<int>(out.size())) ==
           static_cast<int>(out.size());
}

const std::map<std::string, Codec>& DecodePeers() {
    static const std::map<std::string, Codec> peers = {
        {"ExpandBlock", {OurCompress, OurDecompress}},
        {"EntryReader", {OurPackedEntry, OurEntryReaderDecompress}},
        {"zlib_inflate", {[](const Bytes& in) { return ZlibCompress(in, 6); }, ZlibDecompress}},
        {"lz4_decompress", {[](const Bytes& in) { return Lz4Compress(in, 0); }, Lz4Decompress}},
    };
    return peers;
}

void Decode(benchmark::State& state, const std::string& kind, const Codec& codec) {
    const Corpus& corpus = Corpora()[kind];
    std::vector<Bytes> packed, out;
    for (const Bytes& f : corpus) {
        packed.push_back(codec.compress(f));
        out.emplace_back(f.size());
    }
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        if (!codec.decompress(packed[i], out[i]) || out[i] != corpus[i]) {
            state.SkipWithError("round trip failed");
            return;
        }
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.size(); ++i) codec.decompress(packed[i], out[i]);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(corpus)));
}

void Copy(benchmark::State& state, const std::string& kind) {
    const Corpus& corpus = Corpora()[kind];
    std::vector<Bytes> out;
    for (const Bytes& f : corpus) out.emplace_back(f.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.size(); ++i) std::memcpy(out[i].data(), corpus[i].data(), corpus[i].size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(corpus)));
}

Bytes OurLevel(const Bytes& in, int level) { return package::CompressBlock(in, level); }

// Encoding of the mixed corpus: speed, and the stream size relative to the input.
void Encode(benchmark::State& state, Bytes (*compress)(const Bytes&, int), int level) {
    const Corpus& corpus = Corpora()["mixed"];
    std::size_t packed = 0;
    std::vector<Bytes> streams(corpus.size());
    // One pass untimed first: the timed one then runs as the thousandth
    // entry of a package would, with the allocator's memory in use and
    // the code warm, not paying once-per-process page faults for it.
    for (std::size_t i = 0; i < corpus.size(); ++i) streams[i] = compress(corpus[i], level);
    for (auto _ : state) {
        packed = 0;
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            streams[i] = compress(corpus[i], level);
            packed += streams[i].size();
        }
    }
    // Our streams must restore: a fast encoder that writes wrong streams
    // has measured nothing.
    if (compress == OurLevel) {
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            Bytes restored(corpus[i].size());
            if (package::ExpandBlock(restored, streams[i]).status != package::ExpandStatus::Ok ||
                restored != corpus[i]) {
                state.SkipWithError("round trip failed");
                return;
            }
        }
    }
    std::size_t total = TotalSize(corpus);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
    state.counters["stream_bytes"] = static_cast<double>(packed);
    state.counters["ratio_pct"] = 100.0 * static_cast<double>(packed) / static_cast<double>(total);
}

// About ExactParseCap bytes of a corpus in pieces of files spread over it,
// each piece from a different depth of its file (headers, bodies, tails),
// each piece one stream.
Corpus ExactParseSlice(const Corpus& corpus) {
    const std::size_t pieceSize = ExactParseCap / 24;
    const std::size_t perFile = std::min(pieceSize, TotalSize(corpus) / std::max<std::size_t>(1, corpus.size()));
    const std::size_t files = ExactParseCap / std::max<std::size_t>(1, perFile);
    const std::size_t stride = std::max<std::size_t>(1, corpus.size() / std::max<std::size_t>(1, files));
    Corpus slice;
    std::size_t total = 0;
    // Passes of `stride` steps, each starting one file later, until full.
    const std::size_t passes = (corpus.size() + stride - 1) / stride;
    for (std::size_t j = 0; j < passes * stride && total < ExactParseCap; ++j) {
        std::size_t index = j % passes * stride + j / passes;
        if (index >= corpus.size()) continue;
        const Bytes& f = corpus[index];
        std::size_t take = std::min({f.size(), pieceSize, ExactParseCap - total});
        std::size_t at = (f.size() - take) * (slice.size() % 4) / 3;
        slice.emplace_back(f.begin() + static_cast<std::ptrdiff_t>(at),
                           f.begin() + static_cast<std::ptrdiff_t>(at + take));
        total += take;
    }
    return slice;
}

// The default level against an exhaustive optimal parse, on a slice of a
// corpus small enough for the exhaustive search.
void GapToExactParse(benchmark::State& state, const std::string& kind) {
    const Corpus slice = ExactParseSlice(Corpora()[kind]);
    std::size_t best = 0, exact = 0;
    for (auto _ : state) {
        best = exact = 0;
        for (const Bytes& f : slice) {
            best += package::CompressBlock(f, package::DefaultLevel).size();
            exact += package::CompressBlockWith(f, package::ExhaustiveSettings()).size();
        }
    }
    state.counters["input_bytes"] = static_cast<double>(TotalSize(slice));
    state.counters["default_bytes"] = static_cast<double>(best);
    state.counters["exact_bytes"] = static_cast<double>(exact);
    state.counters["gap_pct"] = 100.0 * (static_cast<double>(best) / static_cast<double>(exact) - 1.0);
}

Bytes Lz4Level(const Bytes& in, int level) { return Lz4Compress(in, level); }

void RegisterAll() {
    for (const auto& [kind, corpus] : Corpora()) {
        std::string suffix = "/" + kind;
        benchmark::RegisterBenchmark(("decode/memcpy" + suffix).c_str(), Copy, kind);
        for (const auto& [name, codec] : DecodePeers()) {
            benchmark::RegisterBenchmark(("decode/" + name + suffix).c_str(), Decode, kind, codec);
        }
    }
    for (int level = package::FastestLevel; level <= package::BestLevel; ++level) {
        benchmark::RegisterBenchmark(("encode/ours_level" + std::to_string(level)).c_str(), Encode, OurLevel, level)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
    }
    for (int level : {6, 9}) {
        benchmark::RegisterBenchmark(("encode/zlib_" + std::to_string(level)).c_str(), Encode, ZlibCompress, level)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("encode/lz4", Encode, Lz4Level, 0)->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("encode/lz4hc_12", Encode, Lz4Level, 12)->Iterations(1)->Unit(benchmark::kMillisecond);
    for (const char* kind : {"mixed", "binary"}) {
        benchmark::RegisterBenchmark((std::string("gap_to_exact_parse/") + kind).c_str(), GapToExactParse,
                                     std::string(kind))
            ->Iterations(1)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const auto& [kind, corpus] : Corpora()) {
        std::fprintf(stderr, "corpus %s: %zu files, %zu bytes\n", kind.c_str(), corpus.size(), TotalSize(corpus));
    }
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
